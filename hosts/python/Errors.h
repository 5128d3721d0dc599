// Failures raised in Python as qelvsonalter2.Error, with the component's
// description, its error number and the status.
#pragma once

#include <pybind11/pybind11.h>

#include <qelvsonalter2/platform.h>

#include <string>

namespace qelv::python {

namespace py = pybind11;

// The Python side (see __init__.py) registers its Error class here.
void SetErrorClass(py::object errorClass);
[[noreturn]] void RaiseError(HRESULT hr, const std::string& description, py::object number);
// The description of the thread's current error information, if any.
std::string TakeErrorDescription();

}  // namespace qelv::python
