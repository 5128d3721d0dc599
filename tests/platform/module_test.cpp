// Modules: file names and their buffer rules, handles from addresses and names, and a shared
// object loaded, used (exports, resources, type library) and unloaded.
#include <gtest/gtest.h>

#include <qelvsonalter2/platform.h>

#include <limits.h>
#include <unistd.h>

#include <string>

namespace {

std::u16string Wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

std::string SelfPath() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
    return std::string(buffer, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(Modules, FileNameOfTheProgramAndBufferRules) {
    const std::u16string self = Wide(SelfPath());
    WCHAR buffer[PATH_MAX];
    ASSERT_EQ(self.size(), GetModuleFileNameW(nullptr, buffer, PATH_MAX));
    EXPECT_EQ(self, buffer);
    HMODULE main = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr, &main));
    EXPECT_EQ(self.size(), GetModuleFileNameW(main, buffer, PATH_MAX));

    // Too small: truncated to nSize - 1 characters plus the terminator, result nSize.
    SetLastError(0);
    WCHAR small[6];
    EXPECT_EQ(6u, GetModuleFileNameW(nullptr, small, 6));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_EQ(self.substr(0, 5), small);
    // Exactly the length: no room for the terminator.
    std::u16string exact(self.size(), u'#');
    EXPECT_EQ(self.size(), GetModuleFileNameW(nullptr, exact.data(), static_cast<DWORD>(self.size())));
    EXPECT_EQ(0, exact.back());
    EXPECT_EQ(0u, GetModuleFileNameW(nullptr, small, 0));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());

    int local = 0;
    EXPECT_EQ(0u, GetModuleFileNameW(reinterpret_cast<HMODULE>(&local), buffer, PATH_MAX));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
}

TEST(Modules, HandlesFromAddresses) {
    HMODULE main = nullptr, here = nullptr, platform = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr, &main));
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(&SelfPath), &here));
    EXPECT_EQ(main, here);
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&VariantInit),
                                   &platform));
    EXPECT_NE(main, platform);
    EXPECT_TRUE(FreeLibrary(platform));  // the reference GetModuleHandleExW took

    int local = 0;
    HMODULE none = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&local), &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    nullptr, &none));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EXPECT_FALSE(GetModuleHandleExW(0, nullptr, nullptr));
    EXPECT_FALSE(GetModuleHandleExW(0, u"no-such-module.so", &none));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_TRUE(DisableThreadLibraryCalls(main));
}

TEST(Modules, LoadUseAndUnloadASharedObject) {
    const std::u16string path = Wide(QELV_TEST_MODULE);
    HMODULE module = LoadLibraryW(path.c_str());
    ASSERT_NE(nullptr, module);
    EXPECT_EQ(module, LoadLibraryExW(path.c_str(), nullptr, 0));  // a second reference

    FARPROC proc = GetProcAddress(module, "QelvTestModuleAnswer");
    ASSERT_NE(nullptr, proc);
    EXPECT_EQ(42, reinterpret_cast<int (*)()>(reinterpret_cast<void*>(proc))());
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(module, "QelvTestModuleHidden"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, GetProcAddress(module, "SysAllocString"));  // a dependency's export
    EXPECT_EQ(nullptr, GetProcAddress(module, reinterpret_cast<LPCSTR>(1)));
    HMODULE fromAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCWSTR>(reinterpret_cast<void*>(proc)), &fromAddress));
    EXPECT_EQ(module, fromAddress);
    HMODULE byName = nullptr;
    const std::u16string file = path.substr(path.rfind(u'/') + 1);
    ASSERT_TRUE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, file.c_str(), &byName));
    EXPECT_EQ(module, byName);

    WCHAR name[PATH_MAX];
    const DWORD n = GetModuleFileNameW(module, name, PATH_MAX);
    char* real = realpath(QELV_TEST_MODULE, nullptr);
    EXPECT_EQ(Wide(real), std::u16string(name, n));
    free(real);

    // The module's own resources, and its type library by file name.
    WCHAR text[32];
    EXPECT_EQ(15, LoadStringW(module, 7, text, 32));
    EXPECT_EQ(std::u16string(u"from the module"), text);
    EXPECT_EQ(0, LoadStringW(nullptr, 7, text, 32));  // not the program's
    ITypeLib* lib = nullptr;
    ASSERT_EQ(S_OK, LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib));
    EXPECT_EQ(5u, lib->GetTypeInfoCount());
    lib->Release();

    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_NE(nullptr, GetProcAddress(module, "QelvTestModuleAnswer"));  // one reference left
    EXPECT_TRUE(FreeLibrary(module));
    // Gone: its name no longer finds it and its resources went with it.
    EXPECT_FALSE(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, file.c_str(), &byName));
    EXPECT_EQ(nullptr, FindResourceW(module, MAKEINTRESOURCEW(1), u"TYPELIB"));

    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryW(u"/no/such/library.so"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, LoadLibraryW(u""));
    EXPECT_EQ(nullptr, LoadLibraryW(nullptr));
    EXPECT_EQ(nullptr, LoadLibraryExW(path.c_str(), reinterpret_cast<HANDLE>(1), 0));
    int local = 0;
    EXPECT_FALSE(FreeLibrary(reinterpret_cast<HMODULE>(&local)));
}

}  // namespace
