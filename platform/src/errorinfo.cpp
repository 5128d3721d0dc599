// Rich error information: the error object that CreateErrorInfo hands out and
// the per-thread slot that SetErrorInfo fills and GetErrorInfo empties.
#include <qelvsonalter2/platform.h>

#include <atomic>
#include <new>

namespace {

// Copies a string into a fresh BSTR; a NULL source gives the NULL (empty) BSTR.
// Returns false only when memory is short.
bool CopyText(LPCOLESTR src, BSTR* dst) {
    if (src == nullptr) {
        *dst = nullptr;
        return true;
    }
    *dst = SysAllocString(src);
    return *dst != nullptr;
}

// Hands out a copy of a stored string; the caller frees it.
HRESULT GiveText(BSTR stored, BSTR* out) {
    if (out == nullptr) return E_INVALIDARG;
    *out = nullptr;
    if (stored == nullptr) return S_OK;
    *out = SysAllocStringLen(stored, SysStringLen(stored));
    return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Replaces a stored string with a copy of `text`.
HRESULT StoreText(BSTR* slot, LPOLESTR text) {
    BSTR copy = nullptr;
    if (!CopyText(text, &copy)) return E_OUTOFMEMORY;
    SysFreeString(*slot);
    *slot = copy;
    return S_OK;
}

// One object answers both the writer's and the reader's interface; IUnknown
// identity is the IErrorInfo side.
class ErrorObject final : public IErrorInfo, public ICreateErrorInfo {
public:
    ErrorObject() = default;
    ErrorObject(const ErrorObject&) = delete;
    ErrorObject& operator=(const ErrorObject&) = delete;

    // IUnknown (reached through either base).
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
            *ppv = static_cast<IErrorInfo*>(this);
        } else if (riid == IID_ICreateErrorInfo) {
            *ppv = static_cast<ICreateErrorInfo*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0) delete this;
        return left;
    }

    // IErrorInfo.
    STDMETHODIMP GetGUID(GUID* pGUID) override {
        if (pGUID == nullptr) return E_INVALIDARG;
        *pGUID = guid_;
        return S_OK;
    }
    STDMETHODIMP GetSource(BSTR* pBstrSource) override { return GiveText(source_, pBstrSource); }
    STDMETHODIMP GetDescription(BSTR* pBstrDescription) override { return GiveText(description_, pBstrDescription); }
    STDMETHODIMP GetHelpFile(BSTR* pBstrHelpFile) override { return GiveText(helpFile_, pBstrHelpFile); }
    STDMETHODIMP GetHelpContext(DWORD* pdwHelpContext) override {
        if (pdwHelpContext == nullptr) return E_INVALIDARG;
        *pdwHelpContext = helpContext_;
        return S_OK;
    }

    // ICreateErrorInfo.
    STDMETHODIMP SetGUID(REFGUID rguid) override {
        guid_ = rguid;
        return S_OK;
    }
    STDMETHODIMP SetSource(LPOLESTR szSource) override { return StoreText(&source_, szSource); }
    STDMETHODIMP SetDescription(LPOLESTR szDescription) override { return StoreText(&description_, szDescription); }
    STDMETHODIMP SetHelpFile(LPOLESTR szHelpFile) override { return StoreText(&helpFile_, szHelpFile); }
    STDMETHODIMP SetHelpContext(DWORD dwHelpContext) override {
        helpContext_ = dwHelpContext;
        return S_OK;
    }

private:
    ~ErrorObject() {
        SysFreeString(source_);
        SysFreeString(description_);
        SysFreeString(helpFile_);
    }

    std::atomic<ULONG> refs_{1};
    GUID guid_{};
    BSTR source_ = nullptr;
    BSTR description_ = nullptr;
    BSTR helpFile_ = nullptr;
    DWORD helpContext_ = 0;
};

// The calling thread's current error object; released when the thread ends.
struct ThreadErrorSlot {
    IErrorInfo* info = nullptr;
    ~ThreadErrorSlot() {
        IErrorInfo* last = info;
        info = nullptr;
        if (last != nullptr) last->Release();
    }
};
thread_local ThreadErrorSlot t_errorSlot;

}  // namespace

// CreateErrorInfo: creates an error object to describe a failure.
//   pperrinfo [out] receives the writer interface (one reference).
// Returns S_OK; E_INVALIDARG when pperrinfo is NULL; E_OUTOFMEMORY.
// NOTES: the object also answers IErrorInfo, which is what SetErrorInfo takes.
WINOLEAUTAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr) return E_INVALIDARG;
    auto* object = new (std::nothrow) ErrorObject();
    *pperrinfo = object;
    return object != nullptr ? S_OK : E_OUTOFMEMORY;
}

// SetErrorInfo: makes an error object the calling thread's current one.
//   dwReserved [in] must be 0.
//   perrinfo   [in] the object (a reference is taken); NULL clears the slot.
// Returns S_OK; E_INVALIDARG when dwReserved is not 0.
// NOTES: the previous object, if any, is released.
WINOLEAUTAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    if (dwReserved != 0) return E_INVALIDARG;
    if (perrinfo != nullptr) perrinfo->AddRef();
    IErrorInfo* previous = t_errorSlot.info;
    t_errorSlot.info = perrinfo;
    // Release last: a releasing object may itself set error information.
    if (previous != nullptr) previous->Release();
    return S_OK;
}

// GetErrorInfo: takes the calling thread's current error object.
//   dwReserved [in] must be 0.
//   pperrinfo  [out] receives the object (the slot's reference moves to the
//              caller), or NULL when there is none.
// Returns S_OK when an object was handed out, S_FALSE when there was none;
// E_INVALIDARG when pperrinfo is NULL or dwReserved is not 0.
// NOTES: the slot is emptied, so a second call returns S_FALSE.
WINOLEAUTAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    if (pperrinfo == nullptr || dwReserved != 0) return E_INVALIDARG;
    *pperrinfo = t_errorSlot.info;
    t_errorSlot.info = nullptr;
    return *pperrinfo != nullptr ? S_OK : S_FALSE;
}
