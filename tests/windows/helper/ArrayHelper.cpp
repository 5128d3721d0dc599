// QelvSonalter2Test.ArrayHelper: a test-only in-process server that converts
// between script arrays and the typed arrays the component's methods take.
//
// The script engines can neither build a safe array of 16-bit integers nor read
// elements of one, and a Variant array passed for a SAFEARRAY(short)* parameter
// is refused with "Type mismatch". Scripts therefore keep samples in typed
// arrays made here and read results back through ToScript or Item:
//
//   ToShorts(array [, lowerBound])  VBScript array, JScript array or typed array
//                                   -> VT_ARRAY|VT_I2 (one dimension)
//   ToFloats(array)                 -> VT_ARRAY|VT_R4
//   ToScript(typed)                 typed array -> VT_ARRAY|VT_VARIANT (VBScript array;
//                                   JScript reads it with new VBArray(x).toArray())
//   Item(typed, index)              one element of a typed array
//   Count(typed)                    number of elements
//   Apply(object, "Method", args...) calls a method of an automation object by name
//                                   with every typed-array argument passed by
//                                   reference (a copy of the script's array), and
//                                   returns the method's result, or, when it has
//                                   none, its first array argument as changed
//                                   by the call. A failure comes back with the
//                                   object's own error number, description and source.
//
// Apply exists because Wine's automation layer cannot pass a script variable
// holding a typed array (VT_BYREF|VT_VARIANT) to a SAFEARRAY(short)* parameter,
// and a typed array passed by value is copied, so in-place changes never reach
// the script.
//
// The object is registered only in the test prefix. It answers late-bound calls
// by name without a type library.
#include <windows.h>
#include <ole2.h>

#include <atomic>
#include <new>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// {2E8C4F7A-91D3-4B6E-8A15-6C0D2F3B9E41}
const CLSID kClsid = {0x2e8c4f7a, 0x91d3, 0x4b6e, {0x8a, 0x15, 0x6c, 0x0d, 0x2f, 0x3b, 0x9e, 0x41}};
const wchar_t kClsidText[] = L"{2E8C4F7A-91D3-4B6E-8A15-6C0D2F3B9E41}";
const wchar_t kProgId[] = L"QelvSonalter2Test.ArrayHelper";

std::atomic<long> g_locks{0};
HMODULE g_module = nullptr;

enum Member : DISPID { kToShorts = 1, kToFloats, kToScript, kItem, kCount, kApply };

struct Name {
    const wchar_t* text;
    DISPID id;
};
const Name kNames[] = {{L"ToShorts", kToShorts}, {L"ToFloats", kToFloats}, {L"ToScript", kToScript},
                       {L"Item", kItem},         {L"Count", kCount},
                       {L"Apply", kApply}};

// Follows VT_BYREF|VT_VARIANT references to the variant that holds the value.
const VARIANT* Deref(const VARIANT* v) {
    while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v)) v = V_VARIANTREF(v);
    return v;
}

// The safe array a variant holds (directly or by reference), or nullptr.
SAFEARRAY* ArrayOf(const VARIANT* v) {
    v = Deref(v);
    if (!(V_VT(v) & VT_ARRAY)) return nullptr;
    return (V_VT(v) & VT_BYREF) ? (V_ARRAYREF(v) ? *V_ARRAYREF(v) : nullptr) : V_ARRAY(v);
}

// Reads a named property of a script object (a JScript array's "length" or index).
HRESULT GetProperty(IDispatch* object, const std::wstring& name, VARIANT* out) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name.c_str())};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, out, nullptr, nullptr);
}

// Collects the elements of any script array as variants.
HRESULT Elements(const VARIANT* source, std::vector<VARIANT>& out) {
    source = Deref(source);
    if (SAFEARRAY* array = ArrayOf(source)) {
        if (SafeArrayGetDim(array) != 1) return DISP_E_TYPEMISMATCH;
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(array, 1, &lo);
        SafeArrayGetUBound(array, 1, &hi);
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(array, &vt);
        for (LONG i = lo; i <= hi; ++i) {
            VARIANT element;
            VariantInit(&element);
            HRESULT hr = S_OK;
            if (vt == VT_VARIANT) {
                hr = SafeArrayGetElement(array, &i, &element);
            } else if (vt == VT_I2 || vt == VT_R4 || vt == VT_I4 || vt == VT_R8) {
                V_VT(&element) = vt;
                hr = SafeArrayGetElement(array, &i, &V_I4(&element));
            } else {
                hr = DISP_E_TYPEMISMATCH;
            }
            if (FAILED(hr)) return hr;
            out.push_back(element);
        }
        return S_OK;
    }
    if (V_VT(source) == VT_DISPATCH && V_DISPATCH(source)) {
        VARIANT length;
        VariantInit(&length);
        HRESULT hr = GetProperty(V_DISPATCH(source), L"length", &length);
        if (SUCCEEDED(hr)) hr = VariantChangeType(&length, &length, 0, VT_I4);
        if (FAILED(hr)) return hr;
        for (LONG i = 0; i < V_I4(&length); ++i) {
            VARIANT element;
            VariantInit(&element);
            if (FAILED(hr = GetProperty(V_DISPATCH(source), std::to_wstring(i), &element))) return hr;
            out.push_back(element);
        }
        return S_OK;
    }
    return DISP_E_TYPEMISMATCH;
}

// Makes a one-dimensional typed array from any script array.
HRESULT MakeTyped(const VARIANT* source, VARTYPE vt, LONG lowerBound, VARIANT* result) {
    std::vector<VARIANT> elements;
    HRESULT hr = Elements(source, elements);
    SAFEARRAYBOUND bound = {static_cast<ULONG>(elements.size()), lowerBound};
    SAFEARRAY* array = SUCCEEDED(hr) ? SafeArrayCreate(vt, 1, &bound) : nullptr;
    if (SUCCEEDED(hr) && !array) hr = E_OUTOFMEMORY;
    for (size_t i = 0; SUCCEEDED(hr) && i < elements.size(); ++i) {
        VARIANT value;
        VariantInit(&value);
        hr = VariantChangeType(&value, &elements[i], 0, vt);
        LONG index = lowerBound + static_cast<LONG>(i);
        if (SUCCEEDED(hr)) hr = SafeArrayPutElement(array, &index, &V_I4(&value));
    }
    for (VARIANT& v : elements) VariantClear(&v);
    if (FAILED(hr)) {
        if (array) SafeArrayDestroy(array);
        return hr;
    }
    V_VT(result) = VT_ARRAY | vt;
    V_ARRAY(result) = array;
    return S_OK;
}

// Copies a typed array into a Variant array with the same bounds.
HRESULT MakeScript(const VARIANT* source, VARIANT* result) {
    std::vector<VARIANT> elements;
    HRESULT hr = Elements(source, elements);
    if (FAILED(hr)) return hr;
    SAFEARRAYBOUND bound = {static_cast<ULONG>(elements.size()), 0};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 1, &bound);
    if (!array) hr = E_OUTOFMEMORY;
    for (LONG i = 0; SUCCEEDED(hr) && i < static_cast<LONG>(elements.size()); ++i) {
        hr = SafeArrayPutElement(array, &i, &elements[i]);
    }
    for (VARIANT& v : elements) VariantClear(&v);
    if (FAILED(hr)) {
        if (array) SafeArrayDestroy(array);
        return hr;
    }
    V_VT(result) = VT_ARRAY | VT_VARIANT;
    V_ARRAY(result) = array;
    return S_OK;
}

HRESULT ElementAt(const VARIANT* source, const VARIANT* indexArg, VARIANT* result) {
    VARIANT index;
    VariantInit(&index);
    HRESULT hr = VariantChangeType(&index, const_cast<VARIANT*>(Deref(indexArg)), 0, VT_I4);
    if (FAILED(hr)) return hr;
    std::vector<VARIANT> elements;
    if (FAILED(hr = Elements(source, elements))) return hr;
    if (V_I4(&index) < 0 || V_I4(&index) >= static_cast<LONG>(elements.size())) {
        hr = DISP_E_BADINDEX;
    } else {
        hr = VariantCopy(result, &elements[V_I4(&index)]);
    }
    for (VARIANT& v : elements) VariantClear(&v);
    return hr;
}

// Calls object.name(args) with typed arrays passed by reference; see Apply above.
HRESULT ApplyMethod(const VARIANT* objectArg, const VARIANT* nameArg, const VARIANT* args, UINT count,
                    VARIANT* result, EXCEPINFO* error) {
    objectArg = Deref(objectArg);
    nameArg = Deref(nameArg);
    if (V_VT(objectArg) != VT_DISPATCH || !V_DISPATCH(objectArg) || V_VT(nameArg) != VT_BSTR) {
        return DISP_E_TYPEMISMATCH;
    }
    IDispatch* object = V_DISPATCH(objectArg);
    LPOLESTR names[] = {V_BSTR(nameArg)};
    DISPID id = 0;
    HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) return hr;

    // args are in call order; the array slots outlive the call.
    std::vector<SAFEARRAY*> slots(count, nullptr);
    std::vector<VARIANT> passed(count);
    int firstArray = -1;
    for (UINT i = 0; i < count && SUCCEEDED(hr); ++i) {
        const VARIANT* value = Deref(&args[i]);
        VARIANT& p = passed[count - 1 - i];
        VariantInit(&p);
        const VARTYPE vt = static_cast<VARTYPE>(V_VT(value) & ~(VT_ARRAY | VT_BYREF));
        if ((V_VT(value) & VT_ARRAY) && (vt == VT_I2 || vt == VT_R4)) {
            SAFEARRAY* source = ArrayOf(value);
            if (source) hr = SafeArrayCopy(source, &slots[i]);
            V_VT(&p) = VT_BYREF | VT_ARRAY | vt;
            V_ARRAYREF(&p) = &slots[i];
            if (firstArray < 0) firstArray = static_cast<int>(i);
        } else {
            hr = VariantCopy(&p, const_cast<VARIANT*>(value));
        }
    }
    VARIANT returned;
    VariantInit(&returned);
    if (SUCCEEDED(hr)) {
        DISPPARAMS params = {passed.data(), nullptr, count, 0};
        EXCEPINFO local{};
        UINT argError = 0;
        hr = object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &returned, &local,
                            &argError);
        if (hr == DISP_E_EXCEPTION) {
            if (local.pfnDeferredFillIn) local.pfnDeferredFillIn(&local);
            if (error) {
                *error = local;
            } else {
                SysFreeString(local.bstrDescription);
                SysFreeString(local.bstrSource);
                SysFreeString(local.bstrHelpFile);
            }
        }
    }
    if (SUCCEEDED(hr)) {
        if (V_VT(&returned) != VT_EMPTY || firstArray < 0) {
            *result = returned;
            VariantInit(&returned);
        } else {
            V_VT(result) = VT_ARRAY | static_cast<VARTYPE>(V_VT(&passed[count - 1 - firstArray]) & ~(VT_ARRAY | VT_BYREF));
            V_ARRAY(result) = slots[firstArray];
            slots[firstArray] = nullptr;
        }
    }
    VariantClear(&returned);
    for (UINT i = 0; i < count; ++i) {
        if (V_VT(&passed[i]) & VT_BYREF) continue;  // points into slots
        VariantClear(&passed[i]);
    }
    for (SAFEARRAY* slot : slots) {
        if (slot) SafeArrayDestroy(slot);
    }
    return hr;
}

class ArrayHelper final : public IDispatch {
public:
    ArrayHelper() { ++g_locks; }
    ~ArrayHelper() { --g_locks; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --refs_;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
        if (!names || !ids || count == 0) return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
        for (const Name& name : kNames) {
            if (_wcsicmp(name.text, names[0]) == 0) ids[0] = name.id;
        }
        if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
        return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO* error,
                        UINT*) override {
        if (!params) return E_INVALIDARG;
        VARIANT scratch;
        VariantInit(&scratch);
        VARIANT* out = result ? result : &scratch;
        VariantInit(out);
        const UINT n = params->cArgs;
        // Arguments arrive last first.
        auto arg = [&](UINT i) { return &params->rgvarg[n - 1 - i]; };
        HRESULT hr = DISP_E_BADPARAMCOUNT;
        switch (id) {
            case kToShorts:
            case kToFloats: {
                if (n < 1 || n > 2) break;
                LONG lower = 0;
                if (n == 2) {
                    VARIANT lb;
                    VariantInit(&lb);
                    if (FAILED(hr = VariantChangeType(&lb, const_cast<VARIANT*>(Deref(arg(1))), 0, VT_I4))) break;
                    lower = V_I4(&lb);
                }
                hr = MakeTyped(arg(0), id == kToShorts ? VT_I2 : VT_R4, lower, out);
                break;
            }
            case kToScript:
                if (n == 1) hr = MakeScript(arg(0), out);
                break;
            case kItem:
                if (n == 2) hr = ElementAt(arg(0), arg(1), out);
                break;
            case kCount:
                if (n == 1) {
                    std::vector<VARIANT> elements;
                    hr = Elements(arg(0), elements);
                    for (VARIANT& v : elements) VariantClear(&v);
                    if (SUCCEEDED(hr)) {
                        V_VT(out) = VT_I4;
                        V_I4(out) = static_cast<LONG>(elements.size());
                    }
                }
                break;
            case kApply: {
                if (n < 2) break;
                std::vector<VARIANT> rest;
                for (UINT i = 2; i < n; ++i) rest.push_back(*arg(i));
                hr = ApplyMethod(arg(0), arg(1), rest.data(), n - 2, out, error);
                break;
            }
            default:
                hr = DISP_E_MEMBERNOTFOUND;
        }
        VariantClear(&scratch);
        return hr;
    }

private:
    std::atomic<ULONG> refs_{1};
};

class Factory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        *ppv = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        ArrayHelper* helper = new (std::nothrow) ArrayHelper;
        if (!helper) return E_OUTOFMEMORY;
        const HRESULT hr = helper->QueryInterface(riid, ppv);
        helper->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        lock ? ++g_locks : --g_locks;
        return S_OK;
    }
};

Factory g_factory;

LSTATUS SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                                     nullptr);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return status;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(rclsid, kClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    return g_factory.QueryInterface(riid, ppv);
}

STDAPI DllCanUnloadNow(void) { return g_locks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer(void) {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(g_module, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return E_FAIL;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + kClsidText;
    LSTATUS status = SetKey(kProgId, nullptr, L"Array conversions for test scripts");
    if (status == ERROR_SUCCESS) status = SetKey(std::wstring(kProgId) + L"\\CLSID", nullptr, kClsidText);
    if (status == ERROR_SUCCESS) status = SetKey(clsidKey, nullptr, L"Array conversions for test scripts");
    if (status == ERROR_SUCCESS) status = SetKey(clsidKey + L"\\ProgID", nullptr, kProgId);
    if (status == ERROR_SUCCESS) status = SetKey(clsidKey + L"\\InprocServer32", nullptr, path);
    if (status == ERROR_SUCCESS) status = SetKey(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment");
    return HRESULT_FROM_WIN32(status);
}

STDAPI DllUnregisterServer(void) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (std::wstring(L"CLSID\\") + kClsidText).c_str());
    return S_OK;
}
