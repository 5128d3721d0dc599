// _core: the Python binding's native half. It activates a class of the
// component by program identifier (registering the module on first use), reads
// the members of the object's dispatch interface from its type information, and
// calls them through IDispatch::Invoke, converting between numpy arrays and safe
// arrays. Events reach Python callables through the dispatch sink of
// controlsite. Everything about particular methods comes from the type library:
// nothing here names one.
//
// Object.h: an object, its calls and its events; Members.h: what the type
// information says of a class; NativeMember.h: members as Python functions;
// Arrays.h: numpy and safe arrays; Errors.h, Strings.h.
#include <pybind11/pybind11.h>

#include <string>
#include <utility>

#include "Errors.h"
#include "NativeMember.h"
#include "Object.h"

namespace py = pybind11;
using qelv::python::Object;

PYBIND11_MODULE(_core, m) {
    m.doc() = "Native half of qelvsonalter2: activation, members from the type library, dispatch calls.";
    m.def("set_error_class", [](py::object cls) { qelv::python::SetErrorClass(std::move(cls)); });
    py::class_<Object>(m, "Object")
        .def(py::init<const std::string&, const std::string&>(), py::arg("prog_id"), py::arg("module_path") = "")
        .def("members", &Object::Members)
        .def("set_handler", &Object::SetHandler)
        .def("draw", &Object::Draw, py::arg("width"), py::arg("height"));
    m.def("member", &qelv::python::MakeNativeMember, py::arg("object"), py::arg("index"), py::arg("class_name"),
          py::arg("doc"), py::arg("as_method"),
          "A native function calling the member at index (in object.members()) on an object of the same class "
          "given first: a method of the class when as_method, else a property accessor.");
}
