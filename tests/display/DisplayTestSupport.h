// Helpers for the display control tests: a control holder, dispatch calls by
// DISPID, float arrays to and from vectors, and the thread's error description.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display/SonalterDisplay2.h"

namespace qelv::test {

class Control {
public:
    Control() : control_(CSonalterDisplay2::Create()) {}
    ~Control() {
        if (control_) control_->Release();
    }
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;
    CSonalterDisplay2* operator->() const { return control_; }
    CSonalterDisplay2* get() const { return control_; }

private:
    CSonalterDisplay2* control_;
};

// A property get through IDispatch::Invoke; the result variant is returned
// (VT_EMPTY when the call failed, with hr set).
VARIANT DispatchGet(IDispatch* object, DISPID id, HRESULT* hr = nullptr);

// A property put through IDispatch::Invoke with one argument.
HRESULT DispatchPut(IDispatch* object, DISPID id, VARIANT value, EXCEPINFO* info = nullptr);

VARIANT MakeR4(float value);

// A new float array (lower bound 0) holding values; the caller destroys it.
SAFEARRAY* MakeFloatArray(const std::vector<float>& values);
std::vector<float> FloatsOf(SAFEARRAY* array);

// The thread's error description ("" if none), cleared.
std::u16string TakeDescription();

// Records each event as "dispid:arg,arg" with the arguments in call order.
class EventSink final : public IDispatch {
public:
    std::vector<std::string> events;
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) ||
            IsEqualIID(riid, DIID__ISonalterDisplay2Events)) {
            *ppv = static_cast<IDispatch*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        std::string text = std::to_string(id) + ":";
        for (UINT k = params->cArgs; k-- > 0;) {
            const VARIANT& arg = params->rgvarg[k];
            text += std::to_string(V_VT(&arg) == VT_INT ? V_INT(&arg) : V_I4(&arg));
            if (k) text += ",";
        }
        events.push_back(text);
        return S_OK;
    }
};

std::vector<float> PointArrayOf(CSonalterDisplay2* control);
std::vector<float> LineArrayOf(CSonalterDisplay2* control);

}  // namespace qelv::test
