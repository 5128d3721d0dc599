// Class objects of the module: one factory per creatable class. They are static,
// so they do not count as live objects; LockServer does.
#pragma once

#include "server/Platform.h"

namespace qelv {

// Creates a new instance, AddRef'ed once, or returns nullptr when out of memory.
using CreateFunction = IUnknown* (*)();

class CClassFactory final : public IClassFactory {
public:
    explicit CClassFactory(CreateFunction create) : create_(create) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) override;
    STDMETHODIMP LockServer(BOOL fLock) override;

private:
    CreateFunction create_;
};

}  // namespace qelv
