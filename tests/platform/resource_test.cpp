// Resources compiled into the test program by rcc.py from data/Calc.rc: lookup by id, name
// and type, string tables through LoadStringW, version information, and the error codes.
#include <gtest/gtest.h>

#include <qelvsonalter2/platform.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string Bytes(HRSRC res) {
    const void* data = LockResource(LoadResource(nullptr, res));
    return std::string(static_cast<const char*>(data), SizeofResource(nullptr, res));
}

std::string FileText(const std::string& name) {
    std::ifstream in(std::string(QELV_TEST_DATA) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

HMODULE PlatformLibrary() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&SysAllocString), &module);
    return module;
}

TEST(Resources, FoundByIdNameAndTypeAsOnWindows) {
    HRSRC registry = FindResourceW(nullptr, MAKEINTRESOURCEW(101), u"REGISTRY");
    ASSERT_NE(nullptr, registry);
    EXPECT_EQ(FileText("Calc.rgs"), Bytes(registry));
    // Type names compare case-insensitively; "#101" is the integer id 101.
    EXPECT_EQ(registry, FindResourceW(nullptr, u"#101", u"registry"));
    HRSRC typelib = FindResourceW(nullptr, MAKEINTRESOURCEW(1), u"TypeLib");
    ASSERT_NE(nullptr, typelib);
    std::ifstream tlb(QELV_CALC_TLB, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(tlb), {}), Bytes(typelib));
    EXPECT_NE(nullptr, FindResourceW(nullptr, u"setup", u"Script"));

    // A bitmap resource is the file without its 14-byte header; a cursor becomes an image
    // (hot spot first) and a group directory.
    HRSRC bitmap = FindResourceW(nullptr, MAKEINTRESOURCEW(103), RT_BITMAP);
    ASSERT_NE(nullptr, bitmap);
    EXPECT_EQ(FileText("tiny.bmp").substr(14), Bytes(bitmap));
    HRSRC group = FindResourceW(nullptr, MAKEINTRESOURCEW(202), RT_GROUP_CURSOR);
    ASSERT_NE(nullptr, group);
    const std::string dir = Bytes(group);
    ASSERT_EQ(6u + 14u, dir.size());
    WORD imageId;
    std::memcpy(&imageId, dir.data() + 18, 2);
    HRSRC image = FindResourceW(nullptr, MAKEINTRESOURCEW(imageId), RT_CURSOR);
    ASSERT_NE(nullptr, image);
    WORD hotX;
    std::memcpy(&hotX, Bytes(image).data(), 2);
    EXPECT_EQ(1, hotX);
}

TEST(Resources, MissingResourcesAndBadHandles) {
    SetLastError(0);
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(102), u"REGISTRY"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(101), u"NOSUCHTYPE"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    EXPECT_EQ(nullptr, FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_ICON));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_TYPE_NOT_FOUND), GetLastError());
    // The platform library has no resource table at all.
    ASSERT_NE(nullptr, PlatformLibrary());
    EXPECT_EQ(nullptr, FindResourceW(PlatformLibrary(), MAKEINTRESOURCEW(1), u"TYPELIB"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_DATA_NOT_FOUND), GetLastError());

    char fake[64] = {};  // not a resource handle
    EXPECT_EQ(nullptr, LoadResource(nullptr, reinterpret_cast<HRSRC>(&fake)));
    EXPECT_EQ(0u, SizeofResource(nullptr, reinterpret_cast<HRSRC>(&fake)));
    EXPECT_EQ(0u, SizeofResource(nullptr, nullptr));
    EXPECT_EQ(nullptr, LoadResource(nullptr, nullptr));
    EXPECT_EQ(nullptr, LockResource(nullptr));
}

TEST(Resources, LoadStringCopiesTruncatesOrPoints) {
    WCHAR buffer[64];
    ASSERT_EQ(4, LoadStringW(nullptr, 100, buffer, 64));
    EXPECT_EQ(std::u16string(u"Calc"), buffer);
    ASSERT_EQ(12, LoadStringW(nullptr, 101, buffer, 64));
    EXPECT_EQ(std::u16string(u"Say \"hi\"\tnow"), buffer);
    ASSERT_EQ(12, LoadStringW(nullptr, 111, buffer, 64));
    EXPECT_EQ(std::u16string(u"Caf\u00e9 au lait"), buffer);
    ASSERT_EQ(12, LoadStringW(nullptr, 200, buffer, 64));

    // Too small: truncated and terminated.
    WCHAR small[3];
    EXPECT_EQ(2, LoadStringW(nullptr, 100, small, 3));
    EXPECT_EQ(std::u16string(u"Ca"), small);
    // cchBufferMax 0: a read-only pointer to the unterminated string, and its length.
    const WCHAR* direct = nullptr;
    ASSERT_EQ(4, LoadStringW(nullptr, 100, reinterpret_cast<LPWSTR>(&direct), 0));
    EXPECT_EQ(std::u16string(u"Calc"), std::u16string(direct, 4));

    // Absent strings: an empty slot of an existing block, and a block that does not exist.
    buffer[0] = u'x';
    EXPECT_EQ(0, LoadStringW(nullptr, 102, buffer, 64));
    EXPECT_EQ(0, buffer[0]);
    buffer[0] = u'x';
    EXPECT_EQ(0, LoadStringW(nullptr, 5000, buffer, 64));
    EXPECT_EQ(0, buffer[0]);
    EXPECT_EQ(static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND), GetLastError());
    EXPECT_EQ(0, LoadStringW(nullptr, 100, nullptr, 64));
    EXPECT_EQ(0, LoadStringW(PlatformLibrary(), 100, buffer, 64));
}

TEST(Resources, VersionInformationHasTheWindowsLayout) {
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(1), RT_VERSION);
    ASSERT_NE(nullptr, res);
    const std::string data = Bytes(res);
    WORD length, valueLength, type;
    std::memcpy(&length, data.data(), 2);
    std::memcpy(&valueLength, data.data() + 2, 2);
    std::memcpy(&type, data.data() + 4, 2);
    EXPECT_EQ(data.size(), length);
    EXPECT_EQ(52, valueLength);
    EXPECT_EQ(0, type);
    EXPECT_EQ(0, std::memcmp(data.data() + 6, u"VS_VERSION_INFO", 32));
    // The fixed part follows the key (6 + 32 bytes), aligned to 4: offset 40.
    DWORD fixed[13];
    std::memcpy(fixed, data.data() + 40, sizeof(fixed));
    EXPECT_EQ(0xFEEF04BDu, fixed[0]);
    EXPECT_EQ(0x00010002u, fixed[2]);  // 1,2
    EXPECT_EQ(0x00030004u, fixed[3]);  // 3,4
    EXPECT_EQ(0x00040004u, fixed[8]);  // VOS_NT_WINDOWS32
    EXPECT_EQ(1u, fixed[9]);           // VFT_APP
    const std::u16string text(reinterpret_cast<const char16_t*>(data.data()), data.size() / 2);
    const size_t key = text.find(u"FileDescription");
    ASSERT_NE(std::u16string::npos, key);
    // The value follows the key's terminator, aligned to 4 bytes.
    size_t value = key + 16;
    if (value % 2) ++value;
    EXPECT_EQ(u"Calc test program", text.substr(value, 17));
    EXPECT_NE(std::u16string::npos, text.find(u"Translation"));
}

}  // namespace
