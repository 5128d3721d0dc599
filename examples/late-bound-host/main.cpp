// A host that knows QelvSonalter2 only by its program identifier and member
// names, as a scripting host does: activation by program identifier, late binding
// by name, a dispatch event sink, and rich error information.
#include <qelvsonalter2/platform.h>

#include <cstdio>
#include <string>

namespace {

std::string Narrow(const OLECHAR* s) {
    std::string out;
    for (; s && *s; ++s) out.push_back(*s < 128 ? static_cast<char>(*s) : '?');
    return out;
}

// Prints the transform's progress events.
class ProgressSink final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, events_)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == 1 && params->cArgs == 1) {
            if (V_I4(&params->rgvarg[0]) % 25 == 0) std::printf("progress %d%%\n", static_cast<int>(V_I4(&params->rgvarg[0])));
        } else if (id == 2) {
            std::printf("transform finished\n");
        }
        return S_OK;
    }
    IID events_ = IID_NULL;

private:
    ULONG refs_ = 1;
};

// Calls a method by name with the given arguments (in call order).
HRESULT CallByName(IDispatch* object, const OLECHAR* name, VARIANTARG* argsInCallOrder, UINT count,
                   EXCEPINFO* error) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    VARIANTARG reversed[8];
    for (UINT i = 0; i < count; ++i) reversed[i] = argsInCallOrder[count - 1 - i];
    DISPPARAMS params = {reversed, nullptr, count, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, error, nullptr);
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &clsid);
    if (FAILED(hr)) {
        std::printf("QelvSonalter2.Sonalter2 is not registered (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }
    IDispatch* object = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        std::printf("cannot create the object (0x%08X)\n", static_cast<unsigned>(hr));
        return 1;
    }

    // Connect to the default event interface that the class reports.
    ProgressSink sink;
    IProvideClassInfo2* classInfo = nullptr;
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    if (SUCCEEDED(object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo))) &&
        SUCCEEDED(classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &sink.events_)) &&
        SUCCEEDED(object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container))) &&
        SUCCEEDED(container->FindConnectionPoint(sink.events_, &point))) {
        point->Advise(&sink, &cookie);
    }

    // Amplify 1000 samples of 100 by 150 percent.
    SAFEARRAY* samples = SafeArrayCreateVector(VT_I2, 0, 1000);
    short* data = nullptr;
    SafeArrayAccessData(samples, reinterpret_cast<void**>(&data));
    for (int i = 0; i < 1000; ++i) data[i] = 100;
    SafeArrayUnaccessData(samples);
    VARIANTARG args[2];
    VariantInit(&args[0]);
    V_VT(&args[0]) = VT_ARRAY | VT_I2 | VT_BYREF;
    V_ARRAYREF(&args[0]) = &samples;
    VariantInit(&args[1]);
    V_VT(&args[1]) = VT_R4;
    V_R4(&args[1]) = 150.0f;
    EXCEPINFO error{};
    hr = CallByName(object, OLESTR("Amplify"), args, 2, &error);
    short middle = 0;
    LONG index = 500;
    SafeArrayGetElement(samples, &index, &middle);
    std::printf("Amplify: 0x%08X, sample 500 is now %d\n", static_cast<unsigned>(hr), middle);

    // A one-sample array is refused; the description comes with the failure.
    SAFEARRAY* tiny = SafeArrayCreateVector(VT_I2, 0, 1);
    V_ARRAYREF(&args[0]) = &tiny;
    hr = CallByName(object, OLESTR("Invert"), args, 1, &error);
    std::printf("Invert on one sample: 0x%08X (0x%08X) \"%s\" from %s\n", static_cast<unsigned>(hr),
                static_cast<unsigned>(error.scode), Narrow(error.bstrDescription).c_str(),
                Narrow(error.bstrSource).c_str());
    SysFreeString(error.bstrDescription);
    SysFreeString(error.bstrSource);
    SysFreeString(error.bstrHelpFile);

    if (point) {
        point->Unadvise(cookie);
        point->Release();
    }
    if (container) container->Release();
    if (classInfo) classInfo->Release();
    object->Release();
    SafeArrayDestroy(samples);
    SafeArrayDestroy(tiny);
    CoUninitialize();
    return 0;
}
