#include "module/ConnectionPoint.h"

#include <new>

namespace qelv {
namespace {

// Snapshot enumerator over connections (IEnumConnections): holds a reference on
// every sink it lists.
class CEnumConnections final : public IEnumConnections {
public:
    explicit CEnumConnections(std::vector<CONNECTDATA> items) : items_(std::move(items)) {
        for (CONNECTDATA& cd : items_) cd.pUnk->AddRef();
    }
    ~CEnumConnections() {
        for (CONNECTDATA& cd : items_) cd.pUnk->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnections)) {
            *ppv = static_cast<IEnumConnections*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP Next(ULONG count, CONNECTDATA* out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && pos_ < items_.size()) {
            out[n] = items_[pos_++];
            out[n].pUnk->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const std::size_t left = items_.size() - pos_;
        if (count > left) {
            pos_ = items_.size();
            return S_FALSE;
        }
        pos_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnections** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        auto* copy = new (std::nothrow) CEnumConnections(items_);
        if (!copy) return E_OUTOFMEMORY;
        copy->pos_ = pos_;
        *ppEnum = copy;
        return S_OK;
    }

private:
    LONG volatile refs_ = 1;
    std::vector<CONNECTDATA> items_;
    std::size_t pos_ = 0;
};

class CEnumConnectionPoints final : public IEnumConnectionPoints {
public:
    CEnumConnectionPoints(std::vector<IConnectionPoint*> points, IUnknown* owner)
        : points_(std::move(points)), owner_(owner) {
        owner_->AddRef();
    }
    ~CEnumConnectionPoints() { owner_->Release(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumConnectionPoints)) {
            *ppv = static_cast<IEnumConnectionPoints*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP Next(ULONG count, IConnectionPoint** out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && pos_ < points_.size()) {
            out[n] = points_[pos_++];
            out[n]->AddRef();
            ++n;
        }
        if (fetched) *fetched = n;
        return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
        const std::size_t left = points_.size() - pos_;
        if (count > left) {
            pos_ = points_.size();
            return S_FALSE;
        }
        pos_ += count;
        return S_OK;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumConnectionPoints** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        auto* copy = new (std::nothrow) CEnumConnectionPoints(points_, owner_);
        if (!copy) return E_OUTOFMEMORY;
        copy->pos_ = pos_;
        *ppEnum = copy;
        return S_OK;
    }

private:
    LONG volatile refs_ = 1;
    std::vector<IConnectionPoint*> points_;
    IUnknown* owner_;
    std::size_t pos_ = 0;
};

}  // namespace

CConnectionPoint::CConnectionPoint(IConnectionPointContainer* owner, REFIID eventInterface)
    : owner_(owner), eventInterface_(eventInterface) {}

CConnectionPoint::~CConnectionPoint() {
    for (IDispatch* sink : sinks_) {
        if (sink) sink->Release();
    }
}

STDMETHODIMP CConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IConnectionPoint)) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CConnectionPoint::AddRef() { return owner_->AddRef(); }
STDMETHODIMP_(ULONG) CConnectionPoint::Release() { return owner_->Release(); }

STDMETHODIMP CConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (!pIID) return E_POINTER;
    *pIID = eventInterface_;
    return S_OK;
}

STDMETHODIMP CConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (!ppCPC) return E_POINTER;
    *ppCPC = owner_;
    owner_->AddRef();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (!pdwCookie) return E_POINTER;
    *pdwCookie = 0;
    if (!pUnkSink) return E_POINTER;
    // A sink must speak the event interface; a plain dispatch sink is accepted too,
    // since events are delivered through IDispatch::Invoke either way.
    IDispatch* sink = nullptr;
    if (FAILED(pUnkSink->QueryInterface(eventInterface_, reinterpret_cast<void**>(&sink))) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&sink)))) {
        return CONNECT_E_CANNOTCONNECT;
    }
    for (std::size_t i = 0; i < sinks_.size(); ++i) {
        if (!sinks_[i]) {
            sinks_[i] = sink;
            *pdwCookie = static_cast<DWORD>(i + 1);
            return S_OK;
        }
    }
    try {
        sinks_.push_back(sink);
    } catch (const std::bad_alloc&) {
        sink->Release();
        return E_OUTOFMEMORY;
    }
    *pdwCookie = static_cast<DWORD>(sinks_.size());
    return S_OK;
}

STDMETHODIMP CConnectionPoint::Unadvise(DWORD dwCookie) {
    if (dwCookie == 0 || dwCookie > sinks_.size() || !sinks_[dwCookie - 1]) return CONNECT_E_NOCONNECTION;
    IDispatch* sink = sinks_[dwCookie - 1];
    sinks_[dwCookie - 1] = nullptr;
    sink->Release();
    return S_OK;
}

STDMETHODIMP CConnectionPoint::EnumConnections(IEnumConnections** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    std::vector<CONNECTDATA> items;
    try {
        for (std::size_t i = 0; i < sinks_.size(); ++i) {
            if (sinks_[i]) items.push_back({sinks_[i], static_cast<DWORD>(i + 1)});
        }
        *ppEnum = new CEnumConnections(std::move(items));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CConnectionPoint::Fire(DISPID dispid, VARIANTARG* args, UINT argCount) {
    // Index loop: a handler may advise (growing the list) or unadvise (emptying a slot).
    for (std::size_t i = 0; i < sinks_.size(); ++i) {
        IDispatch* sink = sinks_[i];
        if (!sink) continue;
        sink->AddRef();
        DISPPARAMS params = {args, nullptr, argCount, 0};
        sink->Invoke(dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
        sink->Release();
    }
}

HRESULT CreateConnectionPointEnumerator(IConnectionPoint* const* points, ULONG count, IUnknown* owner,
                                        IEnumConnectionPoints** ppEnum) {
    if (!ppEnum) return E_POINTER;
    *ppEnum = nullptr;
    try {
        *ppEnum = new CEnumConnectionPoints(std::vector<IConnectionPoint*>(points, points + count), owner);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace qelv
