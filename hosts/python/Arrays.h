// Sample arrays between numpy and the component's safe arrays.
#pragma once

#include <pybind11/pybind11.h>

#include <qelvsonalter2/platform.h>

#include <cstddef>

namespace qelv::python {

namespace py = pybind11;

// A numpy array over the data of a component's array, without a copy; the
// array is destroyed when numpy lets go of it.
py::object AdoptArray(SAFEARRAY* array);

// A safe-array descriptor over a numpy buffer (no copy), made here rather than
// by the platform: its data is marked as not its own (FADF_STATIC), so the
// component can neither free nor resize it, and SafeArrayDestroy leaves a
// descriptor it did not make to its owner (this binding, which keeps it on the
// stack for the call).
void WrapBuffer(SAFEARRAY& array, void* data, std::size_t count);

// A new safe array of `count` elements of type vt, copied from data.
SAFEARRAY* CopyToArray(const void* data, std::size_t count, VARTYPE vt, std::size_t elementSize);

}  // namespace qelv::python
