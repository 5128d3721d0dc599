// The ITypeLib / ITypeInfo objects over a LibraryModel and how they refer to each other.
//
// A library type is served in one or two views. A dual interface is, as on Windows, a
// TKIND_DISPATCH type (the view GetTypeInfo / GetTypeInfoOfGuid give) whose
// GetRefTypeOfImplType(-1) leads to its TKIND_INTERFACE view. Every other type has one view.
// IUnknown and IDispatch come from a built-in "stdole" library so that base interfaces can be
// followed to the end as on Windows.
#pragma once

#include <atomic>

#include "typelib_model.h"

namespace qelv_rt {

// The identity and reference count of an object that serves one interface (and
// IUnknown): the type-library and type-information objects.
template <class Interface, const IID& kIid>
class SingleInterfaceObject : public Interface {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, kIid)) {
            *ppv = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }

protected:
    SingleInterfaceObject() = default;
    virtual ~SingleInterfaceObject() = default;

private:
    std::atomic<ULONG> refs_{1};
};

// A reference from one type to another (HREFTYPE): the referenced type index shifted left
// by one, the low bit selecting the interface view of a dual interface; types of the
// built-in library have the top bit set.
constexpr HREFTYPE kHrefStdoleBit = 0x80000000u;
constexpr int32_t kStdoleIUnknown = 0;
constexpr int32_t kStdoleIDispatch = 1;

inline HREFTYPE HrefOf(int32_t index, bool interfaceView) {
    return (static_cast<HREFTYPE>(index) << 1) | (interfaceView ? 1u : 0u);
}

// The built-in library with IUnknown and IDispatch.
std::shared_ptr<const LibraryModel> StdoleModel();
// Its ITypeLib object (a new reference).
void GetStdoleTypeLib(ITypeLib** out);

// Creates the ITypeInfo for a type of a library (reference count 1). owner is the ITypeLib
// serving model; the type info keeps a reference to it.
HRESULT CreateTypeInfo(ITypeLib* owner, std::shared_ptr<const LibraryModel> model, int32_t index,
                       bool interfaceView, ITypeInfo** out);

// Whether the type at index is served in two views.
inline bool IsDual(const TypeModel& t) {
    return t.kind == TKIND_INTERFACE && (t.flags & TYPEFLAG_FDUAL) != 0;
}

// The index of the function with memid and an invoke kind in flags, found in
// one of this platform's own type descriptions without building a FUNCDESC for
// each function on the way: S_OK with the index, S_FALSE when it has no such
// function, E_NOINTERFACE when info is not one of them (the caller then
// searches through the interface).
HRESULT FindFuncIndex(ITypeInfo* info, MEMBERID memid, WORD flags, UINT* index);

// The description of the function with memid and an invoke kind in flags in a
// vtable view of one of this platform's own type descriptions, made once and
// kept with it (the caller releases nothing): S_OK; S_FALSE when the view
// declares no such function itself; E_NOINTERFACE when info is not such a view.
HRESULT FindKeptFuncDesc(ITypeInfo* info, MEMBERID memid, WORD flags, const FUNCDESC** desc);

// The work behind ITypeInfo::Invoke and DispInvoke, written against the public ITypeInfo
// methods so it works for any type description of a vtable interface.
HRESULT InvokeFromTypeInfo(ITypeInfo* typeInfo, void* instance, MEMBERID memid, WORD flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace qelv_rt
