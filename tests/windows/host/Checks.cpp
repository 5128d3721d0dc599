// Checks of the registered component as a Windows host sees it: the registry
// entries, the event connection and the late-bound calls.
#include <cmath>

#include "Host.h"

namespace host {
namespace {

const std::string kClsid = "{8B1F94B2-BD94-4738-A81E-A24FF7385127}";
const std::string kDisplayClsid = "{41D14EDD-2AB6-43B3-B406-8CFA67CB9B0E}";
const std::string kLibid = "{58B5AA04-6B88-4738-9E0A-AE3E9588560F}";

bool KeyExists(const std::string& key) {
    HKEY handle = nullptr;
    const WString wide = Widen(key);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, wide.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

// A string value of a key below HKEY_CLASSES_ROOT; "<missing>" when absent.
std::string Value(const std::string& key, const char* name = nullptr) {
    HKEY handle = nullptr;
    const WString wideKey = Widen(key);
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, wideKey.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<missing>";
    WCHAR buffer[1024] = {};
    DWORD size = sizeof buffer - sizeof(WCHAR);
    DWORD type = 0;
    const WString wideName = name ? Widen(name) : WString();
    const LSTATUS status = RegQueryValueExW(handle, name ? wideName.c_str() : nullptr, nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS) return "<missing>";
    if (type != REG_SZ) return "<not a string>";
    return Narrow(buffer);
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void ExpectValue(Tally& t, const std::string& key, const char* name, const std::string& expected,
                 bool ignoreCase = false) {
    const std::string seen = Value(key, name);
    const bool ok = ignoreCase ? Lower(seen) == Lower(expected) : seen == expected;
    const std::string what = key + (name ? std::string(" [") + name + "]" : std::string(" @"));
    t.Check(ok, what.c_str(), "expected \"" + expected + "\", found \"" + seen + "\"");
    if (ok) std::printf("ok %s = \"%s\"\n", what.c_str(), seen.c_str());
}

void ExpectKey(Tally& t, const std::string& key, bool present) {
    const bool ok = KeyExists(key) == present;
    t.Check(ok, (key + (present ? " exists" : " is absent")).c_str());
    if (ok) std::printf("ok %s %s\n", key.c_str(), present ? "exists" : "is absent");
}

struct ClassEntries {
    std::string progId, description, clsid;
};
const ClassEntries kClasses[] = {
    {"QelvSonalter2.Sonalter2", "Sonalter2 Class", kClsid},
    {"QelvSonalter2.SonalterDisplay2", "QelvSonalterDisplay2 Class", kDisplayClsid},
};

}  // namespace

int CheckRegistry(const std::string& modulePath) {
    Tally t;
    for (const ClassEntries& c : kClasses) {
        const std::string versioned = c.progId + ".2";
        ExpectValue(t, versioned, nullptr, c.description);
        ExpectValue(t, versioned + "\\CLSID", nullptr, c.clsid);
        ExpectValue(t, c.progId, nullptr, c.description);
        ExpectValue(t, c.progId + "\\CLSID", nullptr, c.clsid);
        ExpectValue(t, c.progId + "\\CurVer", nullptr, versioned);
        const std::string key = "CLSID\\" + c.clsid;
        ExpectValue(t, key, nullptr, c.description);
        ExpectValue(t, key + "\\ProgID", nullptr, versioned);
        ExpectValue(t, key + "\\VersionIndependentProgID", nullptr, c.progId);
        ExpectKey(t, key + "\\Programmable", true);
        ExpectValue(t, key + "\\InprocServer32", nullptr, modulePath, true);
        ExpectValue(t, key + "\\InprocServer32", "ThreadingModel", "Apartment");
        ExpectValue(t, key + "\\TypeLib", nullptr, kLibid);
    }
    const std::string display = "CLSID\\" + kDisplayClsid;
    ExpectKey(t, display + "\\Control", true);
    ExpectKey(t, display + "\\Insertable", true);
    ExpectValue(t, display + "\\ToolboxBitmap32", nullptr, modulePath + ", 103", true);
    ExpectValue(t, display + "\\MiscStatus", nullptr, "0");
    ExpectValue(t, display + "\\MiscStatus\\1", nullptr, "131473");
    ExpectValue(t, display + "\\Version", nullptr, "2.0");
    ExpectKey(t, "CLSID\\" + kClsid + "\\Control", false);

    // The type library, registered from the module's own resource.
    ExpectValue(t, "TypeLib\\" + kLibid + "\\2.0", nullptr, "QelvSonalter2 2.0 Type Library");
    ExpectValue(t, "TypeLib\\" + kLibid + "\\2.0\\409\\win64", nullptr, modulePath, true);

    // Activation by the version-independent identifier goes through CurVer.
    CLSID clsid{};
    t.Check(SUCCEEDED(CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &clsid)) &&
                IsEqualCLSID(clsid, CLSID_Sonalter2),
            "CLSIDFromProgID(QelvSonalter2.Sonalter2)");
    ISonalter2* object = nullptr;
    const HRESULT hr = CreateByProgId(OLESTR("QelvSonalter2.Sonalter2"), IID_ISonalter2,
                                      reinterpret_cast<void**>(&object));
    t.Check(SUCCEEDED(hr) && object, "create QelvSonalter2.Sonalter2", Hex(hr));
    if (object) object->Release();
    return t.Finish();
}

int CheckUnregistered() {
    Tally t;
    for (const ClassEntries& c : kClasses) {
        ExpectKey(t, c.progId + ".2", false);
        ExpectKey(t, c.progId, false);
        ExpectKey(t, "CLSID\\" + c.clsid, false);
    }
    ExpectKey(t, "TypeLib\\" + kLibid + "\\2.0", false);
    ExpectKey(t, "CLSID", true);
    CLSID clsid{};
    t.Check(FAILED(CLSIDFromProgID(OLESTR("QelvSonalter2.Sonalter2"), &clsid)), "program identifier is gone");
    return t.Finish();
}

// ---- Events -------------------------------------------------------------------

namespace {

// Records the events it receives; may cancel the transform from a handler.
class RecordingSink final : public IDispatch {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, events)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
        if (id == 1 && params && params->cArgs == 1) {
            VARIANT percent;
            VariantInit(&percent);
            if (SUCCEEDED(VariantChangeType(&percent, &params->rgvarg[0], 0, VT_I4))) {
                percents.push_back(V_I4(&percent));
                if (cancelAt >= 0 && V_I4(&percent) == cancelAt && object) object->CancelTransform();
            }
        } else if (id == 2) {
            ++ends;
        } else {
            ++unknown;
        }
        return S_OK;
    }

    IID events = IID_NULL;
    ISonalter2* object = nullptr;
    LONG cancelAt = -1;
    std::vector<LONG> percents;
    int ends = 0;
    int unknown = 0;
    ULONG refs = 1;
};

std::string Describe(const RecordingSink& sink) {
    std::string s = std::to_string(sink.percents.size()) + " TransformBlock";
    if (!sink.percents.empty()) {
        s += " (" + std::to_string(sink.percents.front()) + ".." + std::to_string(sink.percents.back()) + ")";
    }
    return s + ", " + std::to_string(sink.ends) + " EndTransform";
}

}  // namespace

int CheckEvents() {
    Tally t;
    ISonalter2* object = nullptr;
    HRESULT hr = CreateByProgId(OLESTR("QelvSonalter2.Sonalter2"), IID_ISonalter2, reinterpret_cast<void**>(&object));
    if (!t.Check(SUCCEEDED(hr), "create QelvSonalter2.Sonalter2", Hex(hr))) return t.Finish();

    // The source interface, as a host finds it: from the class information.
    RecordingSink sink;
    sink.object = object;
    IProvideClassInfo2* classInfo = nullptr;
    hr = object->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&classInfo));
    if (t.Check(SUCCEEDED(hr), "IProvideClassInfo2", Hex(hr))) {
        hr = classInfo->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &sink.events);
        t.Check(SUCCEEDED(hr) && IsEqualIID(sink.events, DIID__ISonalter2Events), "default source is _ISonalter2Events");
        ITypeInfo* info = nullptr;
        if (t.Check(SUCCEEDED(classInfo->GetClassInfo(&info)), "GetClassInfo")) {
            BSTR name = nullptr;
            info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
            t.Check(Narrow(name) == "Sonalter2", "class information names Sonalter2", Narrow(name));
            SysFreeString(name);
            info->Release();
        }
        classInfo->Release();
    }
    IConnectionPointContainer* container = nullptr;
    IConnectionPoint* point = nullptr;
    DWORD cookie = 0;
    hr = object->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container));
    if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(sink.events, &point);
    if (SUCCEEDED(hr)) hr = point->Advise(&sink, &cookie);
    if (!t.Check(SUCCEEDED(hr), "connect the sink", Hex(hr))) {
        if (point) point->Release();
        if (container) container->Release();
        object->Release();
        return t.Finish();
    }

    std::vector<short> ramp(1000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<short>(i + 1);

    // A whole transform: one progress event per percent, then the end.
    object->put_SmoothLeftEnabled(VARIANT_FALSE);
    object->put_SmoothRightEnabled(VARIANT_FALSE);
    SAFEARRAY* array = MakeShorts(ramp);
    hr = object->Invert(&array);
    std::printf("Invert of 1000 samples: %s\n", Describe(sink).c_str());
    std::vector<LONG> expected(100);
    for (LONG i = 0; i < 100; ++i) expected[i] = i;
    t.Check(hr == S_OK, "Invert", Hex(hr));
    t.Check(sink.percents == expected && sink.ends == 1 && sink.unknown == 0, "progress 0..99 then EndTransform",
            Describe(sink));
    std::vector<short> values = ReadShorts(array);
    bool negated = values.size() == ramp.size();
    for (size_t i = 0; negated && i < values.size(); ++i) negated = values[i] == -ramp[i];
    t.Check(negated, "every sample negated");
    SafeArrayDestroy(array);

    // Cancelled from the handler at 10 %: the sample after that event is still
    // processed, the rest is left alone, and EndTransform does not come.
    sink.percents.clear();
    sink.ends = 0;
    sink.cancelAt = 10;
    array = MakeShorts(ramp);
    hr = object->Invert(&array);
    std::printf("Invert cancelled at 10%%: %s\n", Describe(sink).c_str());
    t.Check(hr == S_OK, "cancelled Invert succeeds", Hex(hr));
    t.Check(sink.ends == 0 && !sink.percents.empty() && sink.percents.back() == 10, "no EndTransform after cancel",
            Describe(sink));
    values = ReadShorts(array);
    bool split = values.size() == ramp.size();
    for (size_t i = 0; split && i < values.size(); ++i) split = values[i] == (i <= 101 ? -ramp[i] : ramp[i]);
    t.Check(split, "samples 0..101 negated, 102.. untouched");
    SafeArrayDestroy(array);

    // Progress events off: only the end.
    sink.percents.clear();
    sink.ends = 0;
    sink.cancelAt = -1;
    object->put_TBEventEnabled(VARIANT_FALSE);
    array = MakeShorts(ramp);
    object->Amplify(&array, 50.0f);
    std::printf("Amplify with progress events off: %s\n", Describe(sink).c_str());
    t.Check(sink.percents.empty() && sink.ends == 1, "TBEventEnabled off leaves only EndTransform", Describe(sink));
    SafeArrayDestroy(array);

    t.Check(SUCCEEDED(point->Unadvise(cookie)), "Unadvise");
    t.Check(point->Unadvise(cookie) == CONNECT_E_NOCONNECTION, "second Unadvise refused");
    point->Release();
    container->Release();
    object->Release();
    t.Check(sink.refs == 1, "the sink is released", std::to_string(sink.refs));
    return t.Finish();
}

// ---- Late binding -------------------------------------------------------------

namespace {

HRESULT Call(IDispatch* object, DISPID id, WORD flags, std::vector<VARIANT> argsInCallOrder, VARIANT* result,
             EXCEPINFO* error) {
    std::vector<VARIANT> reversed(argsInCallOrder.rbegin(), argsInCallOrder.rend());
    DISPID put = DISPID_PROPERTYPUT;
    DISPPARAMS params = {reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    if (flags == DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
    UINT argError = 0;
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, error, &argError);
}

DISPID IdOf(IDispatch* object, const WCHAR* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return DISPID_UNKNOWN;
    return id;
}

VARIANT R4(float value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_R4;
    V_R4(&v) = value;
    return v;
}

VARIANT I4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT ArrayRef(SAFEARRAY** array) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_ARRAY | VT_I2 | VT_BYREF;
    V_ARRAYREF(&v) = array;
    return v;
}

void ClearError(EXCEPINFO& e) {
    SysFreeString(e.bstrDescription);
    SysFreeString(e.bstrSource);
    SysFreeString(e.bstrHelpFile);
    e = EXCEPINFO{};
}

}  // namespace

int CheckLateBound() {
    Tally t;
    IDispatch* object = nullptr;
    HRESULT hr = CreateByProgId(OLESTR("QelvSonalter2.Sonalter2"), IID_IDispatch, reinterpret_cast<void**>(&object));
    if (!t.Check(SUCCEEDED(hr), "create by program identifier", Hex(hr))) return t.Finish();

    UINT count = 0;
    t.Check(SUCCEEDED(object->GetTypeInfoCount(&count)) && count == 1, "GetTypeInfoCount is 1");
    ITypeInfo* info = nullptr;
    if (t.Check(SUCCEEDED(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info)), "GetTypeInfo")) {
        BSTR name = nullptr;
        info->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
        t.Check(Narrow(name) == "ISonalter2", "type information names ISonalter2", Narrow(name));
        SysFreeString(name);
        info->Release();
    }

    // Names resolve to the published DISPIDs, without regard to case.
    t.Check(IdOf(object, OLESTR("Amplify")) == 23, "DISPID of Amplify is 23");
    t.Check(IdOf(object, OLESTR("smoothtime")) == 102, "DISPID of smoothtime is 102");
    t.Check(IdOf(object, OLESTR("LastErrorNum")) == 106, "DISPID of LastErrorNum is 106");
    t.Check(IdOf(object, OLESTR("CancelTransform")) == 70, "DISPID of CancelTransform is 70");
    LPOLESTR unknown[] = {const_cast<LPOLESTR>(OLESTR("NoSuchMember"))};
    DISPID id = 0;
    hr = object->GetIDsOfNames(IID_NULL, unknown, 1, LOCALE_USER_DEFAULT, &id);
    t.Check(hr == DISP_E_UNKNOWNNAME && id == DISPID_UNKNOWN, "unknown name refused", Hex(hr));

    // Properties through Invoke.
    VARIANT result;
    VariantInit(&result);
    EXCEPINFO error{};
    hr = Call(object, 102, DISPATCH_PROPERTYPUT, {I4(7)}, nullptr, &error);
    t.Check(hr == S_OK, "put SmoothTime", Hex(hr));
    hr = Call(object, 102, DISPATCH_PROPERTYGET, {}, &result, &error);
    t.Check(hr == S_OK && V_VT(&result) == VT_I4 && V_I4(&result) == 7, "get SmoothTime is 7");
    VariantClear(&result);
    hr = Call(object, 103, DISPATCH_PROPERTYPUT, {I4(22050)}, nullptr, &error);
    hr = Call(object, 103, DISPATCH_PROPERTYGET, {}, &result, &error);
    t.Check(hr == S_OK && V_I4(&result) == 22050, "ArrayFrequency round trip");
    VariantClear(&result);

    // A method with an array argument by reference and a float.
    SAFEARRAY* samples = MakeShorts(std::vector<short>(1000, 100));
    hr = Call(object, 23, DISPATCH_METHOD, {ArrayRef(&samples), R4(150.0f)}, nullptr, &error);
    std::vector<short> values = ReadShorts(samples);
    t.Check(hr == S_OK && values.size() == 1000 && values[500] == 150, "Amplify by Invoke", Hex(hr));
    std::printf("Amplify by Invoke: %s, sample 500 is %d\n", Hex(hr).c_str(), values.empty() ? 0 : values[500]);

    // Coercion of arguments: a string holding a number is accepted for a float.
    VARIANT text;
    VariantInit(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(OLESTR("50"));
    hr = Call(object, 71, DISPATCH_METHOD, {text}, &result, &error);
    t.Check(hr == S_OK && V_VT(&result) == VT_R4 && std::fabs(V_R4(&result) + 6.0206f) < 1e-3f,
            "PercentToDB(\"50\") is -6.02 dB", Hex(hr));
    VariantClear(&result);
    VariantClear(&text);
    V_VT(&text) = VT_BSTR;
    V_BSTR(&text) = SysAllocString(OLESTR("not a number"));
    hr = Call(object, 71, DISPATCH_METHOD, {text}, &result, &error);
    t.Check(hr == DISP_E_TYPEMISMATCH, "PercentToDB(\"not a number\") is a type mismatch", Hex(hr));
    VariantClear(&text);
    hr = Call(object, 23, DISPATCH_METHOD, {ArrayRef(&samples)}, nullptr, &error);
    t.Check(FAILED(hr), "Amplify without its gain fails", Hex(hr));

    // A failure of the component comes back as DISP_E_EXCEPTION with its description.
    SAFEARRAY* tiny = MakeShorts({1});
    error = EXCEPINFO{};
    hr = Call(object, 22, DISPATCH_METHOD, {ArrayRef(&tiny)}, nullptr, &error);
    std::printf("Invert on one sample: %s (%s) \"%s\" from %s\n", Hex(hr).c_str(), Hex(error.scode).c_str(),
                Narrow(error.bstrDescription).c_str(), Narrow(error.bstrSource).c_str());
    t.Check(hr == DISP_E_EXCEPTION, "failure is DISP_E_EXCEPTION", Hex(hr));
    t.Check(error.scode == static_cast<SCODE>(0x8004030B), "EXCEPINFO scode 0x8004030B", Hex(error.scode));
    t.Check(Narrow(error.bstrDescription) == "Invalid parameter(argument).", "EXCEPINFO description");
    t.Check(Narrow(error.bstrSource) == "QelvSonalter2.Sonalter2.2", "EXCEPINFO source");
    ClearError(error);
    hr = Call(object, 106, DISPATCH_PROPERTYGET, {}, &result, &error);
    t.Check(hr == S_OK && V_I4(&result) == -20, "LastErrorNum is -20", std::to_string(V_I4(&result)));
    VariantClear(&result);

    // The same failure through the vtable: the status, then the thread's error information.
    ISonalter2* typed = nullptr;
    object->QueryInterface(IID_ISonalter2, reinterpret_cast<void**>(&typed));
    ISupportErrorInfo* support = nullptr;
    object->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support));
    t.Check(support && support->InterfaceSupportsErrorInfo(IID_ISonalter2) == S_OK, "ISupportErrorInfo");
    if (support) support->Release();
    if (typed) {
        hr = typed->Reverse(&tiny);
        t.Check(hr == static_cast<HRESULT>(0x8004030B), "vtable Reverse on one sample", Hex(hr));
        IErrorInfo* errorInfo = nullptr;
        if (t.Check(GetErrorInfo(0, &errorInfo) == S_OK && errorInfo, "GetErrorInfo")) {
            BSTR description = nullptr, source = nullptr;
            errorInfo->GetDescription(&description);
            errorInfo->GetSource(&source);
            t.Check(Narrow(description) == "Invalid parameter(argument).", "error information description",
                    Narrow(description));
            t.Check(Narrow(source) == "QelvSonalter2.Sonalter2.2", "error information source", Narrow(source));
            SysFreeString(description);
            SysFreeString(source);
            errorInfo->Release();
        }
        typed->Release();
    }
    SafeArrayDestroy(tiny);
    SafeArrayDestroy(samples);
    object->Release();
    return t.Finish();
}

}  // namespace host
