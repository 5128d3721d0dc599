// A private registry file for one test: QELV_REGISTRY points into a fresh
// temporary folder that is removed afterwards, so tests never touch the
// user's own registry. Also small helpers for reading and writing values.
#pragma once

#include <qelvsonalter2/platform.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

class TempRegistry {
public:
    TempRegistry() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qelv-registry-XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        dir_ = pattern;
        if (const char* old = std::getenv("QELV_REGISTRY")) previous_ = old;
        UseFile("registry");
    }
    ~TempRegistry() {
        if (previous_)
            setenv("QELV_REGISTRY", previous_->c_str(), 1);
        else
            unsetenv("QELV_REGISTRY");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    // Points QELV_REGISTRY at another file in the same folder.
    void UseFile(const std::string& name) {
        path_ = dir_ + "/" + name;
        setenv("QELV_REGISTRY", path_.c_str(), 1);
    }
    const std::string& Path() const { return path_; }
    const std::string& Dir() const { return dir_; }

    std::string ReadText() const { return ReadFileText(path_); }
    static std::string ReadFileText(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Replaces the file the way an editor saving a new copy does.
    void WriteText(const std::string& text) const {
        std::string temp = path_ + ".edit";
        {
            std::ofstream out(temp, std::ios::binary | std::ios::trunc);
            out << text;
        }
        std::filesystem::rename(temp, path_);
    }

private:
    std::string dir_;
    std::string path_;
    std::optional<std::string> previous_;
};

// REG_SZ with its terminating NUL, as Windows callers store strings.
inline LSTATUS SetStringValue(HKEY key, const char16_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(WCHAR)));
}

// Creates root\path and stores a string there.
inline LSTATUS SetStringAt(HKEY root, const std::u16string& path, const char16_t* name, const std::u16string& text) {
    HKEY key = nullptr;
    LSTATUS s = RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    if (s != ERROR_SUCCESS) return s;
    s = SetStringValue(key, name, text);
    RegCloseKey(key);
    return s;
}

// The string stored at root\path (without its NUL), or nothing when missing.
inline std::optional<std::u16string> GetStringAt(HKEY root, const std::u16string& path, const char16_t* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    WCHAR buf[1024];
    DWORD size = sizeof buf, type = 0;
    LSTATUS s = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(key);
    if (s != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    std::u16string text(buf, size / sizeof(WCHAR));
    while (!text.empty() && text.back() == 0) text.pop_back();
    return text;
}

inline bool KeyExists(HKEY root, const std::u16string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}
