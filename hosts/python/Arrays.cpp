#include "Arrays.h"

#include <pybind11/numpy.h>

#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>

namespace qelv::python {

namespace {

// Owns an array handed out by the component while numpy uses its data.
void DestroyArrayCapsule(PyObject* capsule) {
    auto* array = static_cast<SAFEARRAY*>(PyCapsule_GetPointer(capsule, nullptr));
    if (array) {
        SafeArrayUnaccessData(array);
        SafeArrayDestroy(array);
    }
}

}  // namespace

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

}  // namespace qelv::python
