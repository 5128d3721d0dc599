// Shared pieces of the Windows test host: the platform headers, a pass/fail
// tally and small helpers. The host is written against Windows API names only,
// so the same sources build for Windows (MinGW-w64) and for Linux (against the
// project's platform layer).
#pragma once

#ifdef _WIN32
#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#else
#include <qelvsonalter2/platform.h>
#endif
#include "qelvsonalter2/QelvSonalter2.h"

#include <cstdio>
#include <string>
#include <vector>

namespace host {

using WString = std::basic_string<WCHAR>;

// Counts checks; every failure is printed with what was seen.
class Tally {
public:
    bool Check(bool ok, const char* what, const std::string& seen = {}) {
        if (ok) {
            ++passed_;
        } else {
            ++failed_;
            std::printf("FAIL %s%s%s\n", what, seen.empty() ? "" : ": ", seen.c_str());
        }
        return ok;
    }
    // Prints the closing "N passed, M failed" line the test runner requires.
    int Finish() const {
        std::printf("%d passed, %d failed\n", passed_, failed_);
        return failed_ == 0 ? 0 : 1;
    }

private:
    int passed_ = 0;
    int failed_ = 0;
};

inline WString Widen(const std::string& s) { return WString(s.begin(), s.end()); }

inline std::string Narrow(const WCHAR* s) {
    std::string out;
    for (; s && *s; ++s) out.push_back(*s < 128 ? static_cast<char>(*s) : '?');
    return out;
}

inline std::string Hex(HRESULT hr) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(hr));
    return buffer;
}

// A one-dimensional VT_I2 array with lower bound 0.
SAFEARRAY* MakeShorts(const std::vector<short>& values);
std::vector<short> ReadShorts(SAFEARRAY* array);

// Creates QelvSonalter2.Sonalter2 by program identifier.
HRESULT CreateByProgId(const WCHAR* progId, REFIID riid, void** object);

int CheckRegistry(const std::string& modulePath);
int CheckResources(const std::string& modulePath);
int CheckUnregistered();
int CheckEvents();
int CheckLateBound();
int CheckFloatSettings();
int WriteOutputs(const char* file);
int WriteDisplay(const char* file);
int ResaveDisplay(const char* in, const char* out);
int ExtractDisplayStream(const char* outputs, const char* streamFile);
int WriteRenders(const char* dir);
int CompareRenders(const char* first, const char* second);

}  // namespace host
