// _core: the Python binding's native half. It activates a class of the
// component by program identifier (registering the module on first use), reads
// the members of the object's dispatch interface from its type information, and
// calls them through IDispatch::Invoke, converting between numpy arrays and safe
// arrays. Events reach Python callables through a dispatch sink. Everything
// about particular methods comes from the type library: nothing here names one.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <qelvsonalter2/platform.h>

#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "../../display/TopDownBitmap.h"

namespace py = pybind11;

namespace {

std::u16string Utf16(const std::string& s) {
    std::u16string out;
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    out.resize(static_cast<std::size_t>(n));
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), out.data(), n);
    return out;
}

std::string Utf8(const OLECHAR* s, std::size_t length) {
    if (!s || length == 0) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, static_cast<int>(length), out.data(), n, nullptr, nullptr);
    return out;
}

std::string TakeBstr(BSTR& b) {
    std::string s = Utf8(b, b ? SysStringLen(b) : 0);
    SysFreeString(b);
    b = nullptr;
    return s;
}

std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

// Raised as qelvsonalter2.Error by the Python side (see __init__.py), which
// registers the class here.
py::object g_errorClass;

[[noreturn]] void RaiseError(HRESULT hr, const std::string& description, py::object number) {
    py::object error = g_errorClass(description.empty() ? "call failed with status " + Hex(hr) : description,
                                    number, static_cast<long>(static_cast<std::uint32_t>(hr)));
    PyErr_SetObject(g_errorClass.ptr(), error.ptr());
    throw py::error_already_set();
}

// The description of the thread's current error information, if any.
std::string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    return TakeBstr(text);
}

// What the binding needs to know of a parameter's type.
enum class Kind { Float, Double, Long, Short, Bool, String, ShortArray, FloatArray, Other };

Kind KindOf(const TYPEDESC& t, ITypeInfo* info) {
    const TYPEDESC* d = &t;
    if (d->vt == VT_PTR) d = d->lptdesc;
    switch (d->vt) {
        case VT_R4: return Kind::Float;
        case VT_R8: return Kind::Double;
        case VT_I4: case VT_INT: case VT_UI4: case VT_HRESULT: return Kind::Long;
        case VT_I2: case VT_UI2: return Kind::Short;
        case VT_BOOL: return Kind::Bool;
        case VT_BSTR: return Kind::String;
        case VT_USERDEFINED: {
            // Enumerations travel as 32-bit integers.
            ITypeInfo* ref = nullptr;
            Kind kind = Kind::Other;
            if (SUCCEEDED(info->GetRefTypeInfo(d->hreftype, &ref)) && ref) {
                TYPEATTR* attr = nullptr;
                if (SUCCEEDED(ref->GetTypeAttr(&attr)) && attr) {
                    if (attr->typekind == TKIND_ENUM) kind = Kind::Long;
                    ref->ReleaseTypeAttr(attr);
                }
                ref->Release();
            }
            return kind;
        }
        case VT_SAFEARRAY:
            if (d->lptdesc && d->lptdesc->vt == VT_I2) return Kind::ShortArray;
            if (d->lptdesc && d->lptdesc->vt == VT_R4) return Kind::FloatArray;
            return Kind::Other;
        default: return Kind::Other;
    }
}

const char* KindName(Kind k) {
    switch (k) {
        case Kind::Float: return "float";
        case Kind::Double: return "double";
        case Kind::Long: return "long";
        case Kind::Short: return "short";
        case Kind::Bool: return "bool";
        case Kind::String: return "str";
        case Kind::ShortArray: return "int16[]";
        case Kind::FloatArray: return "float32[]";
        default: return "other";
    }
}

struct Parameter {
    std::string name;
    Kind kind = Kind::Other;
    bool in = true, out = false, retval = false;
};

// The most parameters a member may have to be callable here (the widest
// member of the component has seven).
constexpr std::size_t kMaxArguments = 16;

struct Member {
    std::string name, doc;
    DISPID dispid = 0;
    int invkind = 0;  // INVOKE_FUNC, INVOKE_PROPERTYGET, INVOKE_PROPERTYPUT
    std::vector<Parameter> params;
    Kind result = Kind::Other;  // of a property get or a retval
    // Worked out once from params: the parameters a caller passes, in order,
    // whether there is a retval, and the one [in,out] parameter among the
    // inputs (-1 when there are none or several), which a call returns.
    std::vector<const Parameter*> inputs;
    bool hasRetval = false;
    int soleInOut = -1;
};

// What the binding knows of a class's dispatch interface, read from its type
// information once per class and shared by all its objects.
struct ClassMembers {
    std::vector<Member> list;
    DISPID cancelId = DISPID_UNKNOWN;     // CancelTransform, if any
    DISPID lastErrorId = DISPID_UNKNOWN;  // the LastErrorNum get, if any
};

// An IDispatch sink for the class's event interface: event DISPIDs go to
// Python callables, which may cancel the running call.
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

// Owns an array handed out by the component while numpy uses its data.
void DestroyArrayCapsule(PyObject* capsule) {
    auto* array = static_cast<SAFEARRAY*>(PyCapsule_GetPointer(capsule, nullptr));
    if (array) {
        SafeArrayUnaccessData(array);
        SafeArrayDestroy(array);
    }
}

// A numpy array over the data of a component's array, without a copy; the
// array is destroyed when numpy lets go of it.
py::object AdoptArray(SAFEARRAY* array) {
    if (!array) return py::none();
    const VARTYPE vt = array->cbElements == sizeof(float) ? VT_R4 : VT_I2;
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        throw std::runtime_error("cannot read the returned array");
    }
    const py::ssize_t n = upper + 1;
    py::capsule owner(array, nullptr, DestroyArrayCapsule);
    if (vt == VT_R4) return py::array_t<float>({n}, {sizeof(float)}, static_cast<float*>(data), owner);
    return py::array_t<std::int16_t>({n}, {sizeof(std::int16_t)}, static_cast<std::int16_t*>(data), owner);
}

// A safe-array descriptor over a numpy buffer (no copy), made here rather than
// by the platform: its data is marked as not its own (FADF_STATIC), so the
// component can neither free nor resize it, and SafeArrayDestroy leaves a
// descriptor it did not make to its owner (this binding, which keeps it on the
// stack for the call).
void WrapBuffer(SAFEARRAY& array, void* data, std::size_t count) {
    array = SAFEARRAY{};
    array.cDims = 1;
    array.fFeatures = FADF_STATIC;
    array.cbElements = sizeof(std::int16_t);
    array.pvData = data;
    array.rgsabound[0].cElements = static_cast<ULONG>(count);
}

SAFEARRAY* CopyToArray(const void* data, std::size_t count, VARTYPE vt, std::size_t elementSize) {
    SAFEARRAY* array = SafeArrayCreateVector(vt, 0, static_cast<ULONG>(count));
    if (!array) throw std::bad_alloc();
    void* target = nullptr;
    SafeArrayAccessData(array, &target);
    if (count) std::memcpy(target, data, count * elementSize);
    SafeArrayUnaccessData(array);
    return array;
}

// The calling thread's apartment: entered with the first object made in the
// thread and left when the thread ends. Leaving it with each thread's last
// object would unload the component, and the next object would load it again
// (0.4 ms, where making an object otherwise takes 0.1 ms): a batch worker makes
// one object per file.
class Apartment {
public:
    static HRESULT Enter() {
        thread_local const Apartment apartment;
        return apartment.status_;
    }

private:
    Apartment() : status_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(status_)) CoUninitialize();
    }
    HRESULT status_;
};

class Object {
public:
    Object(const std::string& progId, const std::string& modulePath) {
        const HRESULT init = Apartment::Enter();
        if (FAILED(init)) throw std::runtime_error("CoInitializeEx failed: " + Hex(init));
        const std::u16string wideId = Utf16(progId);
        CLSID clsid{};
        HRESULT hr = CLSIDFromProgID(wideId.c_str(), &clsid);
        if (FAILED(hr) && !modulePath.empty()) {
            Register(modulePath, progId);
            hr = CLSIDFromProgID(wideId.c_str(), &clsid);
        }
        if (FAILED(hr)) throw std::runtime_error(progId + " is not registered (status " + Hex(hr) + ")");
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, reinterpret_cast<void**>(&object_));
        if (FAILED(hr)) throw std::runtime_error("cannot create " + progId + " (status " + Hex(hr) + ")");
        members_ = MembersOf(clsid);
        Advise();
    }
    ~Object() {
        if (point_) {
            point_->Unadvise(cookie_);
            point_->Release();
        }
        if (sink_) {
            sink_->object = nullptr;
            sink_->Release();
        }
        if (object_) object_->Release();
    }
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    py::list Members() const {
        py::list out;
        for (const Member& m : members_->list) {
            py::list params;
            for (const Parameter& p : m.params) {
                params.append(py::make_tuple(p.name, KindName(p.kind), p.in, p.out, p.retval));
            }
            const char* kind = m.invkind == INVOKE_PROPERTYGET ? "get" : m.invkind == INVOKE_FUNC ? "method" : "put";
            out.append(py::make_tuple(m.name, kind, static_cast<long>(m.dispid), m.doc, params, KindName(m.result)));
        }
        return out;
    }

    void SetHandler(py::object handler) { sink_->handler = std::move(handler); }

    const Member& MemberAt(std::size_t index) const {
        if (index >= members_->list.size()) throw py::index_error("no such member");
        return members_->list[index];
    }

    // Calls a member by index in Members(). Arguments are the [in] and [in,out]
    // parameters in order. Returns what the method returns to Python: the retval;
    // else the one [in,out] argument; with [in,out] arrays that the component
    // replaced or resized, the new array (or the retval and the new arrays).
    py::object Call(std::size_t index, py::tuple args) {
        const Member& m = MemberAt(index);
        if (args.size() != m.inputs.size()) {
            throw py::type_error(m.name + "() takes " + std::to_string(m.inputs.size()) + " arguments, " +
                                 std::to_string(args.size()) + " given");
        }
        if (m.inputs.size() > kMaxArguments) {
            throw py::type_error(m.name + "() has more parameters than this binding can pass");
        }
        return Invoke(m, args, /*owned=*/false);
    }

private:
    // One call's arguments. Fixed-size, so that a call allocates nothing of
    // its own: a call that follows a long transform finds little of its path
    // in the caches, and every allocation is more of that path.
    struct Arguments {
        VARIANT variants[kMaxArguments];
        SAFEARRAY* arrays[kMaxArguments] = {};  // what the component sees (and may replace)
        SAFEARRAY* passed[kMaxArguments] = {};  // what was passed
        SAFEARRAY descriptors[kMaxArguments];   // zero-copy wrappers over numpy memory
        std::size_t count = 0;

        explicit Arguments(std::size_t n) : count(n) {
            for (std::size_t i = 0; i < n; ++i) VariantInit(&variants[i]);
        }
        ~Arguments() { Clear(); }
        Arguments(const Arguments&) = delete;
        Arguments& operator=(const Arguments&) = delete;

        void Clear() {
            for (std::size_t i = 0; i < count; ++i) {
                if (arrays[i] && arrays[i] != &descriptors[i]) SafeArrayDestroy(arrays[i]);
                arrays[i] = nullptr;
                // The variants hold arrays by reference only: nothing of theirs to
                // free but a string.
                if (variants[i].vt == VT_BSTR) VariantClear(&variants[i]);
            }
        }
    };

    // Fills argument i (given in order, stored in reverse as IDispatch wants);
    // returns whether it wraps numpy memory.
    static bool Convert(const Member& m, const Parameter& p, py::handle a, Arguments& call, std::size_t i,
                        bool owned) {
        try {
            return ConvertValue(m, p, a, call, i, owned);
        } catch (const py::cast_error&) {
            throw py::type_error(m.name + "(): " + p.name + " must be a " + KindName(p.kind) + ", not " +
                                 std::string(Py_TYPE(a.ptr())->tp_name));
        }
    }

    static bool ConvertValue(const Member& m, const Parameter& p, py::handle a, Arguments& call, std::size_t i,
                             bool owned) {
        VARIANT& v = call.variants[call.count - 1 - i];
        switch (p.kind) {
            case Kind::Float: v.vt = VT_R4; v.fltVal = a.cast<float>(); return false;
            case Kind::Double: v.vt = VT_R8; v.dblVal = a.cast<double>(); return false;
            case Kind::Long: v.vt = VT_I4; v.lVal = a.cast<LONG>(); return false;
            case Kind::Short: v.vt = VT_I2; v.iVal = a.cast<SHORT>(); return false;
            case Kind::Bool: v.vt = VT_BOOL; v.boolVal = a.cast<bool>() ? VARIANT_TRUE : VARIANT_FALSE; return false;
            case Kind::String: {
                const std::u16string s = Utf16(a.cast<std::string>());
                v.vt = VT_BSTR;
                v.bstrVal = SysAllocStringLen(s.data(), static_cast<UINT>(s.size()));
                return false;
            }
            case Kind::ShortArray: {
                // Any array whose elements are native 16-bit integers, whatever
                // its dtype object (a ctypes buffer's is a distinct one).
                if (!py::array_t<std::int16_t>::check_(a)) {
                    throw py::type_error(m.name + "(): " + p.name +
                                         " must be a numpy int16 array (numpy.asarray(x, dtype=numpy.int16))");
                }
                auto array = py::reinterpret_borrow<py::array>(a);
                if (array.ndim() != 1) throw py::type_error(m.name + "(): " + p.name + " must be one-dimensional");
                const bool contiguous = (array.flags() & py::array::c_style) != 0;
                if (p.out && (!contiguous || !array.writeable())) {
                    throw py::type_error(m.name + "(): " + p.name +
                                         " is changed in place: pass a writable C-contiguous int16 array "
                                         "(numpy.ascontiguousarray(x, dtype=numpy.int16))");
                }
                bool wrapped = false;
                if (!owned && p.out) {
                    WrapBuffer(call.descriptors[i], array.mutable_data(), static_cast<std::size_t>(array.size()));
                    call.arrays[i] = &call.descriptors[i];
                    wrapped = true;
                } else {
                    const py::array_t<std::int16_t, py::array::c_style> data(array);
                    call.arrays[i] = CopyToArray(data.data(), static_cast<std::size_t>(data.size()), VT_I2, 2);
                }
                call.passed[i] = call.arrays[i];
                v.vt = VT_ARRAY | VT_I2 | VT_BYREF;
                v.pparray = &call.arrays[i];
                return wrapped;
            }
            case Kind::FloatArray: {
                const py::array_t<float, py::array::c_style | py::array::forcecast> data(a.cast<py::object>());
                if (data.ndim() != 1) throw py::type_error(m.name + "(): " + p.name + " must be one-dimensional");
                call.arrays[i] = CopyToArray(data.data(), static_cast<std::size_t>(data.size()), VT_R4, 4);
                call.passed[i] = call.arrays[i];
                v.vt = VT_ARRAY | VT_R4 | VT_BYREF;
                v.pparray = &call.arrays[i];
                return false;
            }
            default:
                throw py::type_error(m.name + "(): parameter " + p.name + " has a type this binding cannot pass");
        }
    }

    // One call; with zero-copy arrays first, and once more with arrays the
    // component owns when that call was refused (refusals change nothing and
    // fire nothing, so the retry is invisible). A component can then resize an
    // [in,out] array, which it cannot do to numpy's memory.
    py::object Invoke(const Member& m, py::tuple args, bool owned) {
        const std::size_t count = m.inputs.size();
        Arguments call(count);
        bool wrapped = false;
        for (std::size_t i = 0; i < count; ++i) {
            wrapped = Convert(m, *m.inputs[i], args[i], call, i, owned) || wrapped;
        }

        DISPPARAMS params = {call.variants, nullptr, static_cast<UINT>(count), 0};
        DISPID put = DISPID_PROPERTYPUT;
        WORD flags = DISPATCH_METHOD;
        if (m.invkind == INVOKE_PROPERTYGET) flags = DISPATCH_PROPERTYGET;
        if (m.invkind == INVOKE_PROPERTYPUT) {
            flags = DISPATCH_PROPERTYPUT;
            params.rgdispidNamedArgs = &put;
            params.cNamedArgs = 1;
        }
        VARIANT result;
        VariantInit(&result);
        EXCEPINFO exception{};
        UINT argError = 0;
        sink_->failed = false;
        sink_->pending = py::none();
        SetErrorInfo(0, nullptr);
        HRESULT hr = object_->Invoke(m.dispid, IID_NULL, 0, flags, &params, &result, &exception, &argError);
        std::string description;
        if (hr == DISP_E_EXCEPTION) {
            // The method's own status travels in the exception information.
            if (FAILED(exception.scode)) hr = exception.scode;
            description = TakeBstr(exception.bstrDescription);
            SysFreeString(exception.bstrSource);
            SysFreeString(exception.bstrHelpFile);
        } else if (FAILED(hr)) {
            description = TakeErrorDescription();
        }

        if (FAILED(hr) && wrapped && !sink_->failed) {
            VariantClear(&result);
            call.Clear();
            return Invoke(m, args, /*owned=*/true);
        }

        // [in,out] arrays: a wrapper still in place means numpy's memory holds
        // the result; an owned copy of the same length is copied back; an array
        // the component replaced (the old one is then its to destroy) or resized
        // is handed back as a new numpy array.
        py::list replaced;
        for (std::size_t i = 0; i < count; ++i) {
            const Parameter& p = *m.inputs[i];
            if (p.kind != Kind::ShortArray || !p.out) continue;
            SAFEARRAY* now = call.arrays[i];
            auto caller = py::reinterpret_borrow<py::array>(args[i]);
            if (now == call.passed[i] && now && static_cast<py::ssize_t>(now->rgsabound[0].cElements) == caller.size()) {
                if (owned && caller.size() > 0) {
                    void* data = nullptr;
                    SafeArrayAccessData(now, &data);
                    std::memcpy(caller.mutable_data(), data, static_cast<std::size_t>(caller.size()) * sizeof(std::int16_t));
                    SafeArrayUnaccessData(now);
                }
                continue;
            }
            call.arrays[i] = nullptr;  // adopted by numpy, or already released by the component
            replaced.append(AdoptArray(now));
        }

        py::object value = py::none();
        if (SUCCEEDED(hr)) {
            if (result.vt == (VT_ARRAY | VT_I2) || result.vt == (VT_ARRAY | VT_R4)) {
                value = AdoptArray(result.parray);
                result.vt = VT_EMPTY;
            } else {
                value = FromVariant(result);
            }
        }
        VariantClear(&result);
        call.Clear();

        if (sink_->failed) {
            py::object pending = sink_->pending;
            sink_->failed = false;
            sink_->pending = py::none();
            if (!pending.is_none()) {
                PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(pending.ptr())), pending.ptr());
                throw py::error_already_set();
            }
        }
        if (FAILED(hr)) RaiseError(hr, description, LastErrorNumber());
        if (!replaced.empty()) {
            if (replaced.size() == 1 && value.is_none()) return replaced[0];
            py::list all;
            all.append(value);
            for (py::handle array : replaced) all.append(array);
            return py::tuple(all);
        }
        if (!value.is_none() || m.hasRetval || m.soleInOut < 0) return value;
        return args[static_cast<std::size_t>(m.soleInOut)];
    }

    static py::object FromVariant(const VARIANT& v) {
        switch (v.vt) {
            case VT_EMPTY: return py::none();
            case VT_R4: return py::float_(v.fltVal);
            case VT_R8: return py::float_(v.dblVal);
            case VT_I4: return py::int_(static_cast<long>(v.lVal));
            case VT_I2: return py::int_(static_cast<long>(v.iVal));
            case VT_BOOL: return py::bool_(v.boolVal != VARIANT_FALSE);
            case VT_BSTR: return py::str(Utf8(v.bstrVal, SysStringLen(v.bstrVal)));
            default: {
                VARIANT converted;
                VariantInit(&converted);
                py::object out = py::none();
                if (SUCCEEDED(VariantChangeType(&converted, &v, 0, VT_I4))) out = py::int_(static_cast<long>(converted.lVal));
                VariantClear(&converted);
                return out;
            }
        }
    }

    py::object LastErrorNumber() {
        const DISPID lastErrorId = members_->lastErrorId;
        if (lastErrorId == DISPID_UNKNOWN) return py::none();
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        VARIANT v;
        VariantInit(&v);
        if (FAILED(object_->Invoke(lastErrorId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr))) {
            return py::none();
        }
        py::object out = FromVariant(v);
        VariantClear(&v);
        return out;
    }

    static void Register(const std::string& path, const std::string& progId) {
        const std::u16string widePath = Utf16(path);
        HMODULE module = LoadLibraryW(widePath.c_str());
        if (!module) throw std::runtime_error(progId + " is not registered and the module " + path + " cannot be loaded");
        using RegisterFn = HRESULT (*)();
        auto registerServer = reinterpret_cast<RegisterFn>(
            reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
        const HRESULT hr = registerServer ? registerServer() : CO_E_ERRORINDLL;
        FreeLibrary(module);
        if (FAILED(hr)) throw std::runtime_error("cannot register " + path + " (status " + Hex(hr) + ")");
        std::fprintf(stderr, "qelvsonalter2: registered %s for %s\n", path.c_str(), progId.c_str());
    }

    // The members of the class, read from the object's type information the
    // first time an object of the class is made (reading them takes longer than
    // making the object).
    std::shared_ptr<const ClassMembers> MembersOf(REFCLSID clsid) {
        static std::mutex lock;
        static std::map<std::string, std::shared_ptr<const ClassMembers>> known;
        const std::string key(reinterpret_cast<const char*>(&clsid), sizeof clsid);
        const std::lock_guard<std::mutex> hold(lock);
        std::shared_ptr<const ClassMembers>& members = known[key];
        if (!members) members = ReadMembers();
        return members;
    }

    std::shared_ptr<const ClassMembers> ReadMembers() {
        auto read = std::make_shared<ClassMembers>();
        std::vector<Member>& members = read->list;
        ITypeInfo* info = nullptr;
        HRESULT hr = object_->GetTypeInfo(0, 0, &info);
        if (FAILED(hr) || !info) throw std::runtime_error("the object has no type information");
        TYPEATTR* attr = nullptr;
        info->GetTypeAttr(&attr);
        for (UINT f = 0; attr && f < attr->cFuncs; ++f) {
            FUNCDESC* desc = nullptr;
            if (FAILED(info->GetFuncDesc(f, &desc)) || !desc) continue;
            Member m;
            m.dispid = desc->memid;
            m.invkind = desc->invkind;
            BSTR names[32] = {};
            UINT got = 0;
            info->GetNames(desc->memid, names, 32, &got);
            m.name = got ? TakeBstr(names[0]) : std::string();
            BSTR doc = nullptr;
            info->GetDocumentation(desc->memid, nullptr, &doc, nullptr, nullptr);
            m.doc = TakeBstr(doc);
            for (SHORT i = 0; i < desc->cParams; ++i) {
                Parameter p;
                const ELEMDESC& e = desc->lprgelemdescParam[i];
                const USHORT pf = e.paramdesc.wParamFlags;
                // A property put's value has no name of its own in the type information.
                p.name = static_cast<UINT>(i + 1) < got ? TakeBstr(names[i + 1])
                         : desc->invkind == INVOKE_FUNC ? "arg" + std::to_string(i)
                                                        : std::string("value");
                p.kind = KindOf(e.tdesc, info);
                p.retval = (pf & PARAMFLAG_FRETVAL) != 0;
                p.out = (pf & PARAMFLAG_FOUT) != 0;
                p.in = (pf & PARAMFLAG_FIN) != 0 || !p.out;
                if (p.retval) m.result = p.kind;
                m.params.push_back(p);
            }
            for (UINT i = static_cast<UINT>(desc->cParams) + 1; i < got; ++i) SysFreeString(names[i]);
            if (m.invkind == INVOKE_PROPERTYGET && m.params.empty()) m.result = KindOf(desc->elemdescFunc.tdesc, info);
            if (m.invkind == INVOKE_PROPERTYPUTREF) m.invkind = INVOKE_PROPERTYPUT;
            info->ReleaseFuncDesc(desc);
            // The IDispatch members themselves are not the object's own.
            if (m.dispid >= 0x60000000 || m.name.empty()) continue;
            if (m.name == "CancelTransform") read->cancelId = m.dispid;
            if (m.name == "LastErrorNum" && m.invkind == INVOKE_PROPERTYGET) read->lastErrorId = m.dispid;
            members.push_back(std::move(m));
        }
        // Pointers into params, taken once no member moves any more.
        for (Member& m : members) {
            int inOuts = 0;
            for (const Parameter& p : m.params) {
                if (p.retval) {
                    m.hasRetval = true;
                    continue;
                }
                if (p.in && p.out) {
                    m.soleInOut = static_cast<int>(m.inputs.size());
                    ++inOuts;
                }
                m.inputs.push_back(&p);
            }
            if (inOuts != 1) m.soleInOut = -1;
        }
        if (attr) info->ReleaseTypeAttr(attr);
        info->Release();
        return read;
    }

    void Advise() {
        sink_ = new EventSink;
        sink_->object = object_;
        sink_->cancelId = members_->cancelId;
        IConnectionPointContainer* container = nullptr;
        if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) return;
        IEnumConnectionPoints* points = nullptr;
        if (SUCCEEDED(container->EnumConnectionPoints(&points)) && points) {
            IConnectionPoint* point = nullptr;
            ULONG fetched = 0;
            if (points->Next(1, &point, &fetched) == S_OK && point) {
                if (SUCCEEDED(point->Advise(sink_, &cookie_))) {
                    point_ = point;
                } else {
                    point->Release();
                }
            }
            points->Release();
        }
        container->Release();
    }

public:
    // The object's picture through its view interface (IViewObject::Draw) into
    // a 32-bit top-down bitmap of width x height: rows of blue, green, red and
    // an unused byte, as a (height, width, 4) uint8 array.
    py::array_t<std::uint8_t> Draw(int width, int height) {
        if (width <= 0 || height <= 0 || width > 16384 || height > 16384) {
            throw py::value_error("the picture's size must be 1 to 16384 pixels each way");
        }
        IViewObject* view = nullptr;
        if (FAILED(object_->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view))) || !view) {
            throw py::type_error("this object draws no picture");
        }
        py::array_t<std::uint8_t> out({height, width, 4});
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = dc ? qelv::CreateTopDownBitmap(width, height, &bits) : nullptr;
        HRESULT hr = E_OUTOFMEMORY;
        if (bitmap && bits) {
            HGDIOBJ old = SelectObject(dc, bitmap);
            const RECTL bounds{0, 0, width, height};
            hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
            SelectObject(dc, old);
            std::memcpy(out.mutable_data(), bits, static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
        }
        if (bitmap) DeleteObject(bitmap);
        if (dc) DeleteDC(dc);
        view->Release();
        if (FAILED(hr)) RaiseError(hr, "the picture could not be drawn", py::none());
        return out;
    }

private:
    IDispatch* object_ = nullptr;
    EventSink* sink_ = nullptr;
    IConnectionPoint* point_ = nullptr;
    DWORD cookie_ = 0;
    std::shared_ptr<const ClassMembers> members_;
};

// ---- Members as native functions -------------------------------------------
//
// The generated classes' methods and property accessors are native functions
// with the vector calling convention: a call runs no Python code of the
// binding's and no general argument dispatch, only the conversions it needs.
// Each function gets the object it is called on first (a method through an
// instance-method wrapper, an accessor from the property), reads its
// `_object`, binds keyword arguments by the member's parameter names, and
// calls the member by index.

struct NativeMember {
    std::size_t index = 0;
    std::string name, doc;  // what the function's definition points to
    PyMethodDef def{};
};

// The functions point into these for as long as the process runs.
std::deque<NativeMember>& NativeMembers() {
    static std::deque<NativeMember> members;
    return members;
}

// The arguments of a call with keywords, in the member's parameter order.
py::tuple BindArguments(const Member& member, PyObject* const* args, std::size_t given, PyObject* names) {
    const std::size_t count = member.inputs.size();
    const std::size_t named = static_cast<std::size_t>(PyTuple_GET_SIZE(names));
    if (given > count) {
        throw py::type_error(member.name + "() takes " + std::to_string(count) + " arguments, " +
                             std::to_string(given + named) + " given");
    }
    std::vector<PyObject*> values(count, nullptr);
    for (std::size_t i = 0; i < given; ++i) values[i] = args[i];
    for (std::size_t k = 0; k < named; ++k) {
        const char* name = PyUnicode_AsUTF8(PyTuple_GET_ITEM(names, static_cast<Py_ssize_t>(k)));
        if (!name) throw py::error_already_set();
        std::size_t i = 0;
        while (i < count && member.inputs[i]->name != name) ++i;
        if (i == count) throw py::type_error(member.name + "() got an unexpected keyword argument '" + name + "'");
        if (values[i]) throw py::type_error(member.name + "() got multiple values for argument '" + name + "'");
        values[i] = args[given + k];
    }
    py::tuple bound(count);
    for (std::size_t i = 0; i < count; ++i) {
        if (!values[i]) {
            throw py::type_error(member.name + "() missing a required argument: '" + member.inputs[i]->name + "'");
        }
        bound[i] = py::reinterpret_borrow<py::object>(values[i]);
    }
    return bound;
}

PyObject* CallNativeMember(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* names) {
    const auto* member = static_cast<const NativeMember*>(PyCapsule_GetPointer(self, nullptr));
    if (!member) return nullptr;
    try {
        if (nargs < 1) throw py::type_error(member->name + "() must be called on an object");
        static PyObject* const objectName = PyUnicode_InternFromString("_object");
        const auto holder = py::reinterpret_steal<py::object>(PyObject_GetAttr(args[0], objectName));
        if (!holder) throw py::error_already_set();
        Object& object = holder.cast<Object&>();
        const std::size_t given = static_cast<std::size_t>(nargs - 1);
        if (names && PyTuple_GET_SIZE(names) > 0) {
            return object.Call(member->index, BindArguments(object.MemberAt(member->index), args + 1, given, names))
                .release()
                .ptr();
        }
        // Every argument in order: the usual call, with nothing to match by name.
        py::tuple bound(given);
        for (std::size_t i = 0; i < given; ++i) bound[i] = py::reinterpret_borrow<py::object>(args[i + 1]);
        return object.Call(member->index, bound).release().ptr();
    } catch (py::error_already_set& e) {
        e.restore();
    } catch (const py::builtin_exception& e) {
        e.set_error();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        PyErr_SetString(PyExc_RuntimeError, e.what());
    }
    return nullptr;
}

// A native function calling member index (of the class of `object`) with the
// object as its first argument; as_method wraps it so that it binds to an
// instance as a method. The docstring starts with the signature (for help and
// inspect).
py::object MakeNativeMember(const Object& object, std::size_t index, const std::string& doc, bool asMethod) {
    const Member& described = object.MemberAt(index);
    NativeMember& member = NativeMembers().emplace_back();
    member.index = index;
    member.name = described.name;
    member.doc = described.name + "(self";
    for (const Parameter* input : described.inputs) member.doc += ", " + input->name;
    member.doc += ")\n--\n\n" + doc;
    member.def.ml_name = member.name.c_str();
    member.def.ml_meth = reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&CallNativeMember));
    member.def.ml_flags = METH_FASTCALL | METH_KEYWORDS;
    member.def.ml_doc = member.doc.c_str();
    const py::capsule self(static_cast<void*>(&member));
    auto function = py::reinterpret_steal<py::object>(PyCFunction_NewEx(&member.def, self.ptr(), nullptr));
    if (!function) throw py::error_already_set();
    if (!asMethod) return function;
    auto method = py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
    if (!method) throw py::error_already_set();
    return method;
}

}  // namespace

PYBIND11_MODULE(_core, m) {
    m.doc() = "Native half of qelvsonalter2: activation, members from the type library, dispatch calls.";
    m.def("set_error_class", [](py::object cls) { g_errorClass = std::move(cls); });
    py::class_<Object>(m, "Object")
        .def(py::init<const std::string&, const std::string&>(), py::arg("prog_id"), py::arg("module_path") = "")
        .def("members", &Object::Members)
        .def("set_handler", &Object::SetHandler)
        .def("draw", &Object::Draw, py::arg("width"), py::arg("height"));
    m.def("member", &MakeNativeMember, py::arg("object"), py::arg("index"), py::arg("doc"), py::arg("as_method"),
          "A native function calling the member at index (in object.members()) on an object of the same class "
          "given first: a method of the class when as_method, else a property accessor.");
}
