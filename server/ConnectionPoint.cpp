#include "server/ConnectionPoint.h"

#include <new>

namespace qelv {
namespace {

// A snapshot enumerator (IEnumConnections, IEnumConnectionPoints): it holds a
// reference on every item it lists and on its owner, and hands out AddRef'ed items.
// Traits supply the item's interface pointer.
struct ConnectionTraits {
    using Enum = IEnumConnections;
    using Item = CONNECTDATA;
    static const IID& Iid() { return IID_IEnumConnections; }
    static IUnknown* Unknown(const Item& item) { return item.pUnk; }
};
struct PointTraits {
    using Enum = IEnumConnectionPoints;
    using Item = IConnectionPoint*;
    static const IID& Iid() { return IID_IEnumConnectionPoints; }
    static IUnknown* Unknown(Item item) { return item; }
};

template <class Traits>
class CEnumerator final : public Traits::Enum {
public:
    using Item = typename Traits::Item;
    CEnumerator(std::vector<Item> items, IUnknown* owner) : items_(std::move(items)), owner_(owner) {
        for (const Item& item : items_) Traits::Unknown(item)->AddRef();
        if (owner_) owner_->AddRef();
    }
    ~CEnumerator() {
        for (const Item& item : items_) Traits::Unknown(item)->Release();
        if (owner_) owner_->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, Traits::Iid())) {
            *ppv = static_cast<typename Traits::Enum*>(this);
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

    STDMETHODIMP Next(ULONG count, Item* out, ULONG* fetched) override {
        if (!out || (count != 1 && !fetched)) return E_POINTER;
        ULONG n = 0;
        while (n < count && pos_ < items_.size()) {
            out[n] = items_[pos_++];
            Traits::Unknown(out[n])->AddRef();
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
    STDMETHODIMP Clone(typename Traits::Enum** ppEnum) override {
        if (!ppEnum) return E_POINTER;
        auto* copy = new (std::nothrow) CEnumerator(items_, owner_);
        if (!copy) return E_OUTOFMEMORY;
        copy->pos_ = pos_;
        *ppEnum = copy;
        return S_OK;
    }

private:
    LONG volatile refs_ = 1;
    std::vector<Item> items_;
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
        *ppEnum = new CEnumerator<ConnectionTraits>(std::move(items), nullptr);
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
        *ppEnum = new CEnumerator<PointTraits>(std::vector<IConnectionPoint*>(points, points + count), owner);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

}  // namespace qelv
