// The host's handler of the component's events (_ISonalter2Events): progress
// from TransformBlock, completion from EndTransform, and the place where a
// pending Ctrl-C turns into CancelTransform while a method runs.
#pragma once

#include "ComPtr.h"

#include <functional>

namespace sonalter {

class Progress;

class EventSink final : public IDispatch {
public:
    // Create
    //   [in] progress  receives the events; must outlive the sink's connection
    //   [in] cancel    called once per method when Ctrl-C is pending; returns true
    //                  when the component accepted the cancel
    //   RETURNS a sink with one reference.
    static ComPtr<EventSink> Create(Progress& progress, std::function<bool()> cancel);

    // Starts counting for the next method: no cancel sent yet.
    void Reset() { cancelSent_ = false; }
    // True when CancelTransform was called during the current method.
    bool CancelSent() const { return cancelSent_; }

    // IUnknown: answers IUnknown, IDispatch and the event interface.
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IDispatch: only Invoke is meaningful; events come by DISPID.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                        VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

private:
    EventSink(Progress& progress, std::function<bool()> cancel);
    ~EventSink() = default;

    ULONG refs_ = 1;
    Progress& progress_;
    std::function<bool()> cancel_;
    bool cancelSent_ = false;
};

// Connects a sink to the object's event source for the lifetime of this value
// (IConnectionPointContainer::FindConnectionPoint, IConnectionPoint::Advise).
class EventConnection {
public:
    // Connected() is false when the object offers no such events; the tool then
    // runs without progress bar and stops only between methods on Ctrl-C.
    EventConnection(IDispatch* object, IDispatch* sink);
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;
    ~EventConnection();
    bool Connected() const { return cookie_ != 0; }

private:
    ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};

}  // namespace sonalter
