#include "Object.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <utility>

#include "../../display/TopDownBitmap.h"
#include "Arrays.h"
#include "Errors.h"
#include "Strings.h"

namespace qelv::python {

namespace {

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
bool ConvertValue(const Member& m, const Parameter& p, py::handle a, Arguments& call, std::size_t i, bool owned) {
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

// ConvertValue, with a value of the wrong type refused as a TypeError that
// names the parameter.
bool Convert(const Member& m, const Parameter& p, py::handle a, Arguments& call, std::size_t i, bool owned) {
    try {
        return ConvertValue(m, p, a, call, i, owned);
    } catch (const py::cast_error&) {
        throw py::type_error(m.name + "(): " + p.name + " must be a " + KindName(p.kind) + ", not " +
                             std::string(Py_TYPE(a.ptr())->tp_name));
    }
}

py::object FromVariant(const VARIANT& v) {
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
            if (SUCCEEDED(VariantChangeType(&converted, &v, 0, VT_I4))) {
                out = py::int_(static_cast<long>(converted.lVal));
            }
            VariantClear(&converted);
            return out;
        }
    }
}

void Register(const std::string& path, const std::string& progId) {
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

}  // namespace

Object::Object(const std::string& progId, const std::string& modulePath) {
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
    members_ = MembersOf(clsid, object_);
    Advise();
}

Object::~Object() {
    if (sink_) {
        sink_->Disconnect();
        sink_->Release();
    }
    if (object_) object_->Release();
}

py::list Object::Members() const {
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

py::object Object::Call(std::size_t index, py::tuple args) {
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

py::object Object::Invoke(const Member& m, py::tuple args, bool owned) {
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
    failed_ = false;
    pending_ = py::none();
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

    if (FAILED(hr) && wrapped && !failed_) {
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
                std::memcpy(caller.mutable_data(), data,
                            static_cast<std::size_t>(caller.size()) * sizeof(std::int16_t));
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

    if (failed_) {
        py::object pending = pending_;
        failed_ = false;
        pending_ = py::none();
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

py::object Object::LastErrorNumber() {
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

void Object::Advise() {
    // The sink answers to the interface of the object's first connection point.
    IID events = IID_NULL;
    IConnectionPointContainer* container = nullptr;
    if (FAILED(object_->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(&container)))) return;
    IEnumConnectionPoints* points = nullptr;
    if (SUCCEEDED(container->EnumConnectionPoints(&points)) && points) {
        IConnectionPoint* point = nullptr;
        ULONG fetched = 0;
        if (points->Next(1, &point, &fetched) == S_OK && point) {
            point->GetConnectionInterface(&events);
            point->Release();
        }
        points->Release();
    }
    container->Release();
    if (IsEqualIID(events, IID_NULL)) return;
    sink_ = controlsite::EventSink::Create(
        events, [this](DISPID id, const controlsite::EventArguments& args) { OnEvent(id, args); });
    if (sink_) sink_->Connect(object_);
}

void Object::OnEvent(DISPID id, const controlsite::EventArguments& args) {
    if (failed_) return;
    try {
        if (!handler_.is_none()) {
            py::list values;
            for (UINT i = 0; i < args.Count(); ++i) {
                const std::optional<LONG> value = args.AsLong(i);
                values.append(value ? py::object(py::int_(static_cast<long>(*value))) : py::object(py::none()));
            }
            handler_(static_cast<long>(id), values);
        }
        // Ctrl-C arrives as a pending signal; it cancels the running call.
        if (PyErr_CheckSignals() != 0) throw py::error_already_set();
    } catch (py::error_already_set& e) {
        failed_ = true;
        pending_ = e.value();
        const DISPID cancelId = members_->cancelId;
        if (cancelId == DISPID_UNKNOWN) return;
        DISPPARAMS none = {nullptr, nullptr, 0, 0};
        object_->Invoke(cancelId, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr);
    }
}

py::array_t<std::uint8_t> Object::Draw(int width, int height) {
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

}  // namespace qelv::python
