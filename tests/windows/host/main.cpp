// The Windows test host of QelvSonalter2. One command per run; every command but
// "outputs" ends with an "N passed, M failed" line.
//   qelv-win-host registry <module path>   registry entries after registration
//   qelv-win-host resources <module path>  the module's resources
//   qelv-win-host unregistered             entries gone after unregistration
//   qelv-win-host events                   event sink: progress, end, cancel
//   qelv-win-host latebound                IDispatch by name, EXCEPINFO, error info
//   qelv-win-host outputs <file>           results of a fixed set of calls, for the
//                                          comparison of the Linux and Windows builds
//   qelv-win-host display <file>           the display control's defaults, refusals,
//                                          arrays and streams, for the same comparison
//   qelv-win-host display-stream <outputs> <file>
//                                          the changed control's stream out of them
//   qelv-win-host display-resave <in> <out>
//                                          loads a saved stream and saves it again
//   qelv-win-host render <dir>             the display control's pictures of several
//                                          states as BMP files, with text measurements
//   qelv-win-host render-compare <a> <b>   the pictures of two platforms: identical
//                                          outside text, the same text measurements
//   qelv-win-host register|unregister <module path>
//                                          runs the module's own registration entry
#include <cstring>

#include "Host.h"

namespace host {

SAFEARRAY* MakeShorts(const std::vector<short>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_I2, 0, static_cast<ULONG>(values.size()));
    if (!array) return nullptr;
    short* data = nullptr;
    if (!values.empty() && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::memcpy(data, values.data(), values.size() * sizeof(short));
        SafeArrayUnaccessData(array);
    }
    return array;
}

std::vector<short> ReadShorts(SAFEARRAY* array) {
    std::vector<short> values;
    LONG lo = 0, hi = -1;
    if (!array || FAILED(SafeArrayGetLBound(array, 1, &lo)) || FAILED(SafeArrayGetUBound(array, 1, &hi))) return values;
    values.resize(static_cast<size_t>(hi - lo + 1));
    short* data = nullptr;
    if (!values.empty() && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::memcpy(values.data(), data, values.size() * sizeof(short));
        SafeArrayUnaccessData(array);
    }
    return values;
}

HRESULT CreateByProgId(const WCHAR* progId, REFIID riid, void** object) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, riid, object);
}

}  // namespace host

namespace {

// Runs DllRegisterServer or DllUnregisterServer of a module, as regsvr32 does.
int RunModuleEntry(const char* path, const char* entry) {
    const host::WString wide = host::Widen(path);
    HMODULE module = LoadLibraryW(wide.c_str());
    if (!module) {
        std::printf("cannot load %s\n", path);
        return 1;
    }
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto function = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module, entry)));
    const HRESULT hr = function ? function() : E_FAIL;
    std::printf("%s: %s\n", entry, host::Hex(hr).c_str());
    // The module stays loaded until the process ends: it keeps its type library
    // for the life of the process and does not release it when unloaded.
    return SUCCEEDED(hr) ? 0 : 1;
}

int Usage() {
    std::printf("usage: qelv-win-host registry <module>|resources <module>|unregistered|events|latebound|precision|outputs <file>|"
                "display <file>|display-stream <outputs> <file>|display-resave <in> <out>|render <dir>|render-compare <dir> <dir>|register <module>|unregister <module>\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    const std::string command = argv[1];
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("CoInitializeEx failed\n");
        return 1;
    }
    int result = 2;
    if (command == "registry" && argc == 3) result = host::CheckRegistry(argv[2]);
    else if (command == "resources" && argc == 3) result = host::CheckResources(argv[2]);
    else if (command == "unregistered") result = host::CheckUnregistered();
    else if (command == "events") result = host::CheckEvents();
    else if (command == "latebound") result = host::CheckLateBound();
    else if (command == "precision") result = host::CheckFloatSettings();
    else if (command == "outputs" && argc == 3) result = host::WriteOutputs(argv[2]);
    else if (command == "display" && argc == 3) result = host::WriteDisplay(argv[2]);
    else if (command == "display-stream" && argc == 4) result = host::ExtractDisplayStream(argv[2], argv[3]);
    else if (command == "display-resave" && argc == 4) result = host::ResaveDisplay(argv[2], argv[3]);
    else if (command == "render" && argc == 3) result = host::WriteRenders(argv[2]);
    else if (command == "render-compare" && argc == 4) result = host::CompareRenders(argv[2], argv[3]);
    else if (command == "register" && argc == 3) result = RunModuleEntry(argv[2], "DllRegisterServer");
    else if (command == "unregister" && argc == 3) result = RunModuleEntry(argv[2], "DllUnregisterServer");
    else result = Usage();
    CoUninitialize();
    std::fflush(stdout);
    return result;
}
