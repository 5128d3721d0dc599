#include "Errors.h"

#include <cstdint>
#include <utility>

#include "Strings.h"

namespace qelv::python {

namespace {
py::object g_errorClass;
}  // namespace

void SetErrorClass(py::object errorClass) { g_errorClass = std::move(errorClass); }

[[noreturn]] void RaiseError(HRESULT hr, const std::string& description, py::object number) {
    py::object error = g_errorClass(description.empty() ? "call failed with status " + Hex(hr) : description,
                                    number, static_cast<long>(static_cast<std::uint32_t>(hr)));
    PyErr_SetObject(g_errorClass.ptr(), error.ptr());
    throw py::error_already_set();
}

std::string TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK || !info) return {};
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    return TakeBstr(text);
}

}  // namespace qelv::python
