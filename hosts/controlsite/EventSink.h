// A dispatch sink for any object's outgoing dispatch interface: each event
// arrives as its DISPID and its arguments, in the order the event declares them,
// at one callback.
#pragma once

#include "ComPtr.h"

#include <qelvsonalter2/QelvSonalter2.h>

#include <functional>
#include <optional>

namespace controlsite {

// The arguments of one event. Index 0 is the first declared argument (the
// dispatch convention passes them last first).
class EventArguments {
public:
    explicit EventArguments(const DISPPARAMS* params) : params_(params) {}
    UINT Count() const { return params_ ? params_->cArgs : 0; }
    const VARIANT* At(UINT index) const;
    // Argument index converted to a 32-bit integer; nothing when it is missing
    // or does not convert.
    std::optional<LONG> AsLong(UINT index) const;
    // The same, with fallback in place of nothing.
    LONG Long(UINT index, LONG fallback = 0) const { return AsLong(index).value_or(fallback); }

private:
    const DISPPARAMS* params_;
};

using EventCallback = std::function<void(DISPID, const EventArguments&)>;

class EventSink final : public IDispatch {
public:
    // Create
    //   [in] events    the outgoing interface it answers to (besides IDispatch)
    //   [in] callback  called for every event, on the thread that fires it
    //   RETURNS a sink with one reference, or null when out of memory.
    static EventSink* Create(REFIID events, EventCallback callback);

    // Connects to object's connection point for the sink's interface; one
    // connection at a time. Disconnect (or the destructor of the owner) ends it.
    HRESULT Connect(IUnknown* object);
    void Disconnect();
    bool Connected() const { return cookie_ != 0; }

    ULONG References() const { return refs_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    EventSink(REFIID events, EventCallback callback) : events_(events), callback_(std::move(callback)) {}
    ~EventSink() = default;

    ULONG refs_ = 1;
    IID events_;
    EventCallback callback_;
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace controlsite
