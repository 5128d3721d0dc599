// The generated classes' methods and property accessors are native functions
// with the vector calling convention: a call runs no Python code of the
// binding's and no general argument dispatch, only the conversions it needs.
// Each function gets the object it is called on first (a method through an
// instance-method wrapper, an accessor from the property), reads its
// `_object`, binds keyword arguments by the member's parameter names, and
// calls the member by index.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>

#include "Object.h"

namespace qelv::python {

namespace py = pybind11;

// A native function calling member index (of the class of `object`, named
// className in Python) with the object as its first argument; as_method wraps it so that it binds to an
// instance as a method. The docstring starts with the signature (for help and
// inspect).
py::object MakeNativeMember(const Object& object, std::size_t index, const std::string& className,
                            const std::string& doc, bool asMethod);

}  // namespace qelv::python
