// qelv-regsvr: registers or unregisters an in-process server module by
// calling its DllRegisterServer or DllUnregisterServer.
//
//   qelv-regsvr [/u] [/s] MODULE
//
// Exit status 0 on success, non-zero on any failure (bad arguments, a module
// that cannot be loaded, a missing entry point, a failing call), so scripts can
// rely on it; /s silences only the success message.
#include <qelvsonalter2/platform.h>

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

enum ExitCode { kOk = 0, kUsage = 1, kLoadFailed = 3, kNoEntryPoint = 4, kCallFailed = 5 };

void PrintUsage(FILE* to) {
    std::fputs(
        "Usage: qelv-regsvr [/u] [/s] MODULE\n"
        "Registers an in-process server module by calling its DllRegisterServer.\n"
        "  /u, -u, --unregister  call DllUnregisterServer instead\n"
        "  /s, -s, --silent      print nothing on success (errors still go to stderr)\n"
        "  /?, -h, --help        show this help\n"
        "The registry used is $QELV_REGISTRY, else $XDG_DATA_HOME/qelvsonalter2/registry,\n"
        "else ~/.local/share/qelvsonalter2/registry.\n"
        "Exit status: 0 success, 1 bad arguments, 3 module not loadable, 4 entry point missing,\n"
        "5 the entry point failed.\n",
        to);
}

// Command-line text is UTF-8; the platform takes UTF-16.
std::u16string Widen(const std::string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        char32_t cp = 0xFFFD;
        std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 1;
        if (len == 1) {
            if (b < 0x80) cp = b;
        } else if (i + len <= text.size()) {
            cp = b & (0x7F >> len);
            for (std::size_t k = 1; k < len; ++k) cp = cp << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        i += len;
        if (cp >= 0x10000 && cp <= 0x10FFFF) {
            out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
            out += char16_t(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += char16_t(cp > 0xFFFF ? 0xFFFD : cp);
        }
    }
    return out;
}

bool IsOption(const char* arg, const char* slash, const char* dash, const char* longForm) {
    return std::strcmp(arg, slash) == 0 || std::strcmp(arg, dash) == 0 || (longForm && std::strcmp(arg, longForm) == 0);
}

}  // namespace

int main(int argc, char** argv) {
    bool unregister = false;
    bool silent = false;
    const char* module = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (IsOption(arg, "/u", "-u", "--unregister") || IsOption(arg, "/U", "-U", nullptr)) {
            unregister = true;
        } else if (IsOption(arg, "/s", "-s", "--silent") || IsOption(arg, "/S", "-S", nullptr)) {
            silent = true;
        } else if (IsOption(arg, "/?", "-h", "--help")) {
            PrintUsage(stdout);
            return kOk;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            std::fprintf(stderr, "qelv-regsvr: unknown option '%s'\n", arg);
            PrintUsage(stderr);
            return kUsage;
        } else if (module) {
            std::fprintf(stderr, "qelv-regsvr: more than one module given ('%s' and '%s')\n", module, arg);
            return kUsage;
        } else {
            module = arg;
        }
    }
    if (!module) {
        std::fputs("qelv-regsvr: no module given\n", stderr);
        PrintUsage(stderr);
        return kUsage;
    }

    // The module records its own path in the registry, so load it by its
    // absolute path; a relative one would be meaningless to other processes.
    std::string path = module;
    struct stat st;
    if (stat(module, &st) != 0) {
        std::fprintf(stderr, "qelv-regsvr: cannot load '%s': %s\n", module, std::strerror(errno));
        return kLoadFailed;
    }
    if (char* absolute = realpath(module, nullptr)) {
        path = absolute;
        std::free(absolute);
    }

    const char* entryName = unregister ? "DllUnregisterServer" : "DllRegisterServer";
    HRESULT init = CoInitialize(nullptr);
    int code = kOk;
    HMODULE handle = LoadLibraryW(Widen(path).c_str());
    if (!handle) {
        DWORD err = GetLastError();
        std::fprintf(stderr, "qelv-regsvr: cannot load '%s' (status 0x%08X): not a loadable module, or a library it needs is missing\n",
                     path.c_str(), static_cast<unsigned>(HRESULT_FROM_WIN32(err ? err : ERROR_MOD_NOT_FOUND)));
        code = kLoadFailed;
    } else {
        FARPROC proc = GetProcAddress(handle, entryName);
        if (!proc) {
            std::fprintf(stderr, "qelv-regsvr: '%s' has no entry point %s (status 0x%08X)\n", path.c_str(), entryName,
                         static_cast<unsigned>(HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND)));
            code = kNoEntryPoint;
        } else {
            auto entry = reinterpret_cast<HRESULT(STDAPICALLTYPE*)(void)>(reinterpret_cast<void (*)()>(proc));
            HRESULT hr = entry();
            if (FAILED(hr)) {
                std::fprintf(stderr, "qelv-regsvr: %s in '%s' failed with status 0x%08X\n", entryName, path.c_str(),
                             static_cast<unsigned>(hr));
                code = kCallFailed;
            } else if (!silent) {
                std::printf("qelv-regsvr: %s in '%s' succeeded.\n", entryName, path.c_str());
            }
        }
        FreeLibrary(handle);
    }
    if (SUCCEEDED(init)) CoUninitialize();
    return code;
}
