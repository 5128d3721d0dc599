// In-memory form of a type library, as read from the binary file idlc.py writes (the layout
// is described at the top of platform/tools/idlc.py). ITypeLib / ITypeInfo objects serve
// descriptions built from this model; it is immutable once read and shared between them.
#pragma once

#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qelv_rt {

// A TYPEDESC chain: chain[0] is the outermost type (VT_PTR, VT_SAFEARRAY or a final type),
// the last element is never VT_PTR / VT_SAFEARRAY. VT_USERDEFINED refers to userType,
// an index into LibraryModel::types.
struct TypeDescModel {
    std::vector<VARTYPE> chain;
    int32_t userType = -1;
};

struct ParamModel {
    std::u16string name;
    USHORT flags = 0;
    TypeDescModel type;
};

struct FuncModel {
    MEMBERID memid = 0;
    INVOKEKIND invkind = INVOKE_FUNC;
    WORD flags = 0;
    std::u16string name;
    std::u16string doc;
    DWORD helpContext = 0;
    TypeDescModel result;
    std::vector<ParamModel> params;
};

struct ConstModel {
    std::u16string name;
    int32_t value = 0;
    std::u16string doc;
};

struct VarModel {
    MEMBERID memid = 0;
    std::u16string name;
    std::u16string doc;
    WORD flags = 0;
    TypeDescModel type;
};

struct ImplModel {
    int32_t type = -1;
    WORD flags = 0;
};

// Interface bases outside the library.
constexpr int32_t kBaseIDispatch = -1;
constexpr int32_t kBaseIUnknown = -2;
// Base of an interface with no base (IUnknown itself, in the built-in library).
constexpr int32_t kBaseNone = -3;

struct TypeModel {
    TYPEKIND kind = TKIND_ENUM;
    GUID guid{};
    std::u16string name;
    std::u16string doc;
    DWORD helpContext = 0;
    WORD flags = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    int32_t base = kBaseIDispatch;     // TKIND_INTERFACE: kBase* or the index of a library interface
    std::vector<ConstModel> constants; // TKIND_ENUM
    std::vector<VarModel> vars;        // TKIND_DISPATCH
    std::vector<FuncModel> funcs;      // TKIND_INTERFACE, TKIND_DISPATCH
    std::vector<ImplModel> impls;      // TKIND_COCLASS
};

struct LibraryModel {
    GUID guid{};
    LCID lcid = 0;
    WORD majorVersion = 0;
    WORD minorVersion = 0;
    WORD flags = 0;
    std::u16string name;
    std::u16string doc;
    std::u16string helpFile;
    DWORD helpContext = 0;
    std::vector<TypeModel> types;
};

// Flags outside the platform headers (Windows values).

// Reads a type library image. Returns S_OK, TYPE_E_UNSUPFORMAT for data that is not a type
// library of a known format version, TYPE_E_INVDATAREAD for a damaged or inconsistent one,
// E_OUTOFMEMORY.
HRESULT ReadTypeLibrary(const void* data, size_t size, std::shared_ptr<const LibraryModel>& out);

// True when data starts like a type library image (so it is not tried as a module).
bool LooksLikeTypeLibrary(const void* data, size_t size);

// Creates the ITypeLib object serving model (reference count 1).
HRESULT CreateTypeLib(std::shared_ptr<const LibraryModel> model, ITypeLib** out);

// Number of vtable slots before the first own method of interface type index (7 for an
// interface deriving from IDispatch).
int BaseSlotCount(const LibraryModel& lib, int32_t index);

// Case-insensitive name comparison as GetIDsOfNames uses it.
bool NamesEqual(const std::u16string& a, const OLECHAR* b);

}  // namespace qelv_rt
