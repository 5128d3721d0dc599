#include "NativeMember.h"

#include <deque>
#include <map>
#include <vector>

namespace qelv::python {

namespace {

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

// What a native function is bound to (its __self__): an object of a small type
// named after the class, so that the function's qualified name, and a bound
// method's repr, read "Sonalter2.Fade".
struct MemberOwner {
    PyObject_HEAD
    const NativeMember* member;
};

PyObject* NewOwner(const std::string& className, const NativeMember& member) {
    // One type per class, kept with its name for as long as the process runs.
    static std::map<std::string, PyTypeObject*> types;
    static std::deque<std::string> names;
    PyTypeObject*& type = types[className];
    if (!type) {
        static PyType_Slot slots[] = {{0, nullptr}};
        const std::string& name = names.emplace_back("qelvsonalter2." + className);
        PyType_Spec layout{name.c_str(), static_cast<int>(sizeof(MemberOwner)), 0, Py_TPFLAGS_DEFAULT, slots};
        type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&layout));
        if (!type) throw py::error_already_set();
    }
    PyObject* owner = type->tp_alloc(type, 0);
    if (!owner) throw py::error_already_set();
    reinterpret_cast<MemberOwner*>(owner)->member = &member;
    return owner;
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
    const NativeMember* member = reinterpret_cast<const MemberOwner*>(self)->member;
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

}  // namespace

py::object MakeNativeMember(const Object& object, std::size_t index, const std::string& className,
                            const std::string& doc, bool asMethod) {
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
    const auto self = py::reinterpret_steal<py::object>(NewOwner(className, member));
    auto function = py::reinterpret_steal<py::object>(PyCFunction_NewEx(&member.def, self.ptr(), nullptr));
    if (!function) throw py::error_already_set();
    if (!asMethod) return function;
    auto method = py::reinterpret_steal<py::object>(PyInstanceMethod_New(function.ptr()));
    if (!method) throw py::error_already_set();
    return method;
}

}  // namespace qelv::python
