// The module's resources as a host finds them: the type library, the two
// registration scripts, the toolbox bitmap, the cursor, string 100 and the
// version strings.
#include <cstring>

#include "Host.h"

namespace host {
namespace {

// The standard resource types, by number (the RT_ macros are narrow strings in a
// Windows build without UNICODE).
const LPCWSTR kCursor = MAKEINTRESOURCEW(1);
const LPCWSTR kBitmap = MAKEINTRESOURCEW(2);
const LPCWSTR kGroupCursor = MAKEINTRESOURCEW(12);
const LPCWSTR kVersion = MAKEINTRESOURCEW(16);

bool Has(HMODULE module, WORD id, LPCWSTR type) {
    return FindResourceW(module, MAKEINTRESOURCEW(id), type) != nullptr;
}

// The bytes of a resource, or an empty vector.
std::vector<unsigned char> Bytes(HMODULE module, WORD id, LPCWSTR type) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    const DWORD size = SizeofResource(module, found);
    if (!data || size == 0) return {};
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    return std::vector<unsigned char>(bytes, bytes + size);
}

// A string of the version resource: the UTF-16 key, then (after padding to a
// 32-bit boundary) the UTF-16 value.
std::string VersionString(const std::vector<unsigned char>& block, const std::string& key) {
    std::vector<unsigned char> pattern;
    for (char c : key) {
        pattern.push_back(static_cast<unsigned char>(c));
        pattern.push_back(0);
    }
    pattern.push_back(0);
    pattern.push_back(0);
    for (size_t at = 0; at + pattern.size() <= block.size(); at += 2) {
        if (std::memcmp(&block[at], pattern.data(), pattern.size()) != 0) continue;
        size_t value = (at + pattern.size() + 3) & ~static_cast<size_t>(3);
        std::string out;
        for (; value + 1 < block.size(); value += 2) {
            const unsigned c = block[value] | (block[value + 1] << 8);
            if (c == 0) break;
            out.push_back(c < 128 ? static_cast<char>(c) : '?');
        }
        return out;
    }
    return "<missing>";
}

}  // namespace

int CheckResources(const std::string& modulePath) {
    Tally t;
    const WString wide = Widen(modulePath);
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!t.Check(module != nullptr, "load the module as data", modulePath)) return t.Finish();

    t.Check(Has(module, 1, OLESTR("TYPELIB")), "TYPELIB 1");
    const std::vector<unsigned char> script = Bytes(module, 101, OLESTR("REGISTRY"));
    const std::string scriptText(script.begin(), script.end());
    t.Check(scriptText.find("QelvSonalter2.Sonalter2.2") != std::string::npos, "REGISTRY 101 names Sonalter2");
    const std::vector<unsigned char> display = Bytes(module, 104, OLESTR("REGISTRY"));
    const std::string displayText(display.begin(), display.end());
    t.Check(displayText.find("QelvSonalter2.SonalterDisplay2.2") != std::string::npos,
            "REGISTRY 104 names SonalterDisplay2");
    const std::vector<unsigned char> bitmap = Bytes(module, 103, kBitmap);
    // A 16 x 16 bitmap of 4 bits per pixel (the file header is not stored).
    t.Check(bitmap.size() >= 40 && bitmap[4] == 16 && bitmap[8] == 16 && bitmap[14] == 4, "BITMAP 103 is 16x16x4");
    t.Check(Has(module, 202, kGroupCursor) || Has(module, 202, kCursor), "CURSOR 202");

    WCHAR text[64] = {};
    const int length = LoadStringW(module, 100, text, 64);
    t.Check(length > 0 && Narrow(text) == "QelvSonalter2", "string 100", Narrow(text));

    const std::vector<unsigned char> version = Bytes(module, 1, kVersion);
    t.Check(!version.empty(), "version resource");
    const char* const names[] = {"FileDescription", "InternalName", "ProductName"};
    for (const char* name : names) {
        const std::string value = VersionString(version, name);
        t.Check(value == "QelvSonalter2 ActiveX DLL", name, value);
    }
    const std::string original = VersionString(version, "OriginalFilename");
    t.Check(original == "QelvSonalter2.DLL", "OriginalFilename", original);
    std::printf("version: %s, %s\n", VersionString(version, "FileDescription").c_str(), original.c_str());
    FreeLibrary(module);
    return t.Finish();
}

}  // namespace host
