// A connection point for one outgoing dispatch interface, embedded in the
// object that fires the events. Sinks are kept in slots; a cookie is the slot
// number plus one and an unadvised slot is left empty, so firing can run while a
// handler advises or unadvises.
#pragma once

#include <vector>

#include "server/Platform.h"

namespace qelv {

class CConnectionPoint final : public IConnectionPoint {
public:
    // owner: the container whose lifetime this point shares (its reference count).
    CConnectionPoint(IConnectionPointContainer* owner, REFIID eventInterface);
    ~CConnectionPoint();
    CConnectionPoint(const CConnectionPoint&) = delete;
    CConnectionPoint& operator=(const CConnectionPoint&) = delete;

    // IUnknown: identity of the point itself, lifetime of the owner.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* pIID) override;
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    STDMETHODIMP Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    STDMETHODIMP Unadvise(DWORD dwCookie) override;
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override;

    REFIID EventInterface() const { return eventInterface_; }

    // Calls the event on every connected sink, in slot order, synchronously.
    // args are in dispatch order (last argument first); sink statuses are ignored.
    void Fire(DISPID dispid, VARIANTARG* args, UINT argCount);

private:
    IConnectionPointContainer* owner_;
    IID eventInterface_;
    std::vector<IDispatch*> sinks_;
};

// Enumerates the single connection point of an object (IEnumConnectionPoints).
HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count, IUnknown* owner,
                                        IEnumConnectionPoints** ppEnum);

}  // namespace qelv
