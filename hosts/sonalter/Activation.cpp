#include "Activation.h"

#include "Errors.h"
#include "Text.h"

#include <qelvsonalter2/QelvSonalter2.h>

#include <filesystem>
#include <system_error>
#include <vector>

namespace sonalter {

std::string ExecutableDirectory() {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return ".";
    return self.parent_path().string();
}

namespace {

// Describes a failed status for the user: the well-known causes by name.
std::string Explain(HRESULT hr) {
    switch (hr) {
        case CO_E_CLASSSTRING: return "not registered";
        case REGDB_E_CLASSNOTREG: return "class not registered";
        case REGDB_E_READREGDB: return "the registry cannot be read";
        case CO_E_ERRORINDLL: return "the module has no DllGetClassObject";
        case CLASS_E_CLASSNOTAVAILABLE: return "the module does not serve this class";
        case E_NOINTERFACE: return "the object has no dispatch interface";
        case E_OUTOFMEMORY: return "out of memory";
        default:
            if (hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND)) return "the module cannot be loaded";
            return "failed";
    }
}

// Registered: CLSIDFromProgID + CoCreateInstance. S_FALSE when not registered at all.
HRESULT CreateRegistered(ComPtr<IDispatch>& object) {
    CLSID clsid{};
    const std::u16string progId = Utf16(kProgramId);
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (hr == CO_E_CLASSSTRING) return S_FALSE;
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.putVoid());
}

HRESULT CreateFromModule(const std::string& path, ComPtr<IDispatch>& object) {
    const std::u16string widePath = Utf16(path);
    SetLastError(0);
    HMODULE module = LoadLibraryW(widePath.c_str());
    if (!module) {
        const DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error ? error : ERROR_MOD_NOT_FOUND);
    }
    // Entry points have fixed signatures; converting through void(*)() is the
    // sanctioned way between function pointer types.
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, "DllGetClassObject")));
    if (!getClassObject) {
        FreeLibrary(module);
        return CO_E_ERRORINDLL;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(CLSID_Sonalter2, IID_IClassFactory, factory.putVoid());
    if (SUCCEEDED(hr) && !factory) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IDispatch, object.putVoid());
    if (SUCCEEDED(hr) && !object) hr = E_POINTER;
    // The module stays loaded on success: the object and its code live there.
    if (FAILED(hr)) {
        factory.reset();
        FreeLibrary(module);
    }
    return hr;
}

}  // namespace

std::string ModuleBesideTool() {
    const std::filesystem::path bin(ExecutableDirectory());
    // The installed layout first, then the build tree's (they agree unless the
    // libraries go to a multiarch folder).
    std::vector<std::filesystem::path> candidates;
#ifdef SONALTER_MODULE_FROM_BIN
    candidates.push_back(bin / SONALTER_MODULE_FROM_BIN / "QelvSonalter2.so");
#endif
    candidates.push_back(bin / ".." / "lib" / "qelvsonalter2" / "QelvSonalter2.so");
    for (const std::filesystem::path& c : candidates) {
        std::error_code ec;
        if (std::filesystem::exists(c, ec)) return c.lexically_normal().string();
    }
    return candidates.back().lexically_normal().string();
}

Apartment::Apartment() {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) throw Failure("cannot start the automation services (CoInitializeEx: status " + Hex(hr) + ")");
}

Apartment::~Apartment() { CoUninitialize(); }

ActivatedObject ActivateTransformObject() {
    ActivatedObject result;
    std::string tried;
    const HRESULT registered = CreateRegistered(result.object);
    if (registered == S_OK && result.object) {
        result.route = std::string("registered program identifier ") + kProgramId;
        return result;
    }
    if (registered != S_FALSE) {
        tried = std::string("registered ") + kProgramId + ": " + Explain(registered) + " (status " +
                Hex(registered) + ")";
    }
    result.object.reset();
    const std::string path = ModuleBesideTool();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        throw Failure("cannot find the QelvSonalter2 component: " +
                      (tried.empty() ? std::string(kProgramId) + " is not registered" : tried) +
                      ", and there is no module at " + path + " (build it with: cmake --build <build folder>)");
    }
    const HRESULT hr = CreateFromModule(path, result.object);
    if (FAILED(hr)) {
        throw Failure("cannot create the transform object: " + (tried.empty() ? "" : tried + "; ") + "module " +
                      path + ": " + Explain(hr) + " (status " + Hex(hr) + ")");
    }
    result.route = "module " + path;
    if (!tried.empty()) result.warning = tried + "; using the module beside the tool instead";
    return result;
}

}  // namespace sonalter
