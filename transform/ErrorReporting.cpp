// ReportError: error numbers to status codes, messages and rich error information.
#include "transform/Sonalter2.h"

namespace qelv {
namespace {

struct ErrorEntry {
    LONG number;
    HRESULT status;
    const OLECHAR* message;
};

constexpr HRESULT kUnexpectedStatus = static_cast<HRESULT>(0x80040300);
const OLECHAR* const kUnexpectedMessage = OLESTR("Unexpected error.");

// Numbers -10 .. -23 map to 0x80040300 + (-number - 9).
const ErrorEntry kErrors[] = {
    {BUSY, static_cast<HRESULT>(0x80040301), OLESTR("Busy error.")},
    {MEMORY, static_cast<HRESULT>(0x80040302), OLESTR("Exceeded available memory.")},
    {FORMATFILE, static_cast<HRESULT>(0x80040303), OLESTR("FormatFile error.")},
    {FORMATNOTSUPPORT, static_cast<HRESULT>(0x80040304), OLESTR("Format is not supported.")},
    {OUTDRIVER, static_cast<HRESULT>(0x80040305), OLESTR("Output Driver error.")},
    {INPDRIVER, static_cast<HRESULT>(0x80040306), OLESTR("Input Driver error.")},
    {MIXERDRIVER, static_cast<HRESULT>(0x80040307), OLESTR("Mixer Driver error.")},
    {ACMDRIVER, static_cast<HRESULT>(0x80040308), OLESTR("ACM Driver error.")},
    {FILEACCESS, static_cast<HRESULT>(0x80040309), OLESTR("File Access error.")},
    {INVALIDOPERATION, static_cast<HRESULT>(0x8004030A), OLESTR("Invalid operation.")},
    {INVALIDPARAM, static_cast<HRESULT>(0x8004030B), OLESTR("Invalid parameter(argument).")},
    {ASPIDRIVER, static_cast<HRESULT>(0x8004030C), OLESTR("Aspi Driver error.")},
    {CONTROLNOTINSTALLED, static_cast<HRESULT>(0x8004030D), OLESTR("Control(object) isn't installed.")},
    {INDEXOUTOFRANGE, static_cast<HRESULT>(0x8004030E), OLESTR("Index is out of range.")},
};

// Raises the description on this thread's error information. Best effort: a
// failure here leaves the host with the status code alone.
void RaiseErrorInfo(const OLECHAR* message) {
    ICreateErrorInfo* create = nullptr;
    if (FAILED(CreateErrorInfo(&create))) return;
    create->SetGUID(IID_ISonalter2);
    LPOLESTR progId = nullptr;
    if (SUCCEEDED(ProgIDFromCLSID(CLSID_Sonalter2, &progId)) && progId) {
        create->SetSource(progId);
        CoTaskMemFree(progId);
    }
    create->SetDescription(const_cast<LPOLESTR>(message));
    create->SetHelpFile(nullptr);
    create->SetHelpContext(0);
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
        SetErrorInfo(0, info);
        info->Release();
    }
    create->Release();
}

}  // namespace

HRESULT CSonalter2::ReportError(LONG errorNumber) {
    LastErrorNum = errorNumber;
    if (errorNumber == NOERRORS) return S_OK;
    HRESULT status = kUnexpectedStatus;
    const OLECHAR* message = kUnexpectedMessage;
    for (const ErrorEntry& entry : kErrors) {
        if (entry.number == errorNumber) {
            status = entry.status;
            message = entry.message;
            break;
        }
    }
    RaiseErrorInfo(message);
    return status;
}

}  // namespace qelv
