// An IDispatch sink for the class's event interface: event DISPIDs go to
// Python callables, which may cancel the running call.
#pragma once

#include <pybind11/pybind11.h>

#include <qelvsonalter2/platform.h>

namespace qelv::python {

namespace py = pybind11;

class EventSink final : public IDispatch {
public:
    py::object handler = py::none();  // handler(dispid, args) -> None, or None while no callback is set
    bool failed = false;  // a handler raised, or Ctrl-C arrived
    py::object pending;   // the exception to raise when the call returns
    IDispatch* object = nullptr;
    DISPID cancelId = DISPID_UNKNOWN;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        // Sinks are accepted for the event interface through plain IDispatch.
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG r = --refs_;
        if (r == 0) delete this;
        return r;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        if (n) *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (failed) return S_OK;
        try {
            if (!handler.is_none()) handler(static_cast<long>(id), Arguments(params));
            // Ctrl-C arrives as a pending signal; it cancels the running call.
            if (PyErr_CheckSignals() != 0) throw py::error_already_set();
        } catch (py::error_already_set& e) {
            failed = true;
            pending = e.value();
            Cancel();
        }
        return S_OK;
    }

private:
    static py::list Arguments(const DISPPARAMS* params) {
        py::list args;
        for (UINT i = params ? params->cArgs : 0; i-- > 0;) {
            VARIANT converted;
            VariantInit(&converted);
            if (SUCCEEDED(VariantChangeType(&converted, &params->rgvarg[i], 0, VT_I4))) {
                args.append(static_cast<long>(converted.lVal));
            } else {
                args.append(py::none());
            }
            VariantClear(&converted);
        }
        return args;
    }
    void Cancel() {
        if (!object || cancelId == DISPID_UNKNOWN) return;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        object->Invoke(cancelId, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    }
    ULONG refs_ = 1;
};

}  // namespace qelv::python
