// Conformance tests for the registry functions, and for the registry file:
// its format, persistence across processes, concurrent writers and corrupt files.
#include "temp_registry.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class Registry : public ::testing::Test {
protected:
    TempRegistry reg_;

    HKEY Create(HKEY root, const std::u16string& path, REGSAM sam = KEY_ALL_ACCESS, DWORD* disposition = nullptr) {
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, sam, nullptr, &key, disposition), ERROR_SUCCESS);
        return key;
    }
    HKEY Open(HKEY root, const std::u16string& path, REGSAM sam = KEY_ALL_ACCESS) {
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(root, path.c_str(), 0, sam, &key), ERROR_SUCCESS);
        return key;
    }
    static DWORD GetDword(HKEY key, const char16_t* name) {
        DWORD value = 0, size = sizeof value, type = 0;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size), ERROR_SUCCESS);
        EXPECT_EQ(type, DWORD(REG_DWORD));
        return value;
    }
    static LSTATUS SetDword(HKEY key, const char16_t* name, DWORD value) {
        return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    static std::vector<std::u16string> Subkeys(HKEY key) {
        std::vector<std::u16string> names;
        WCHAR name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            LSTATUS s = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
            if (s == ERROR_NO_MORE_ITEMS) break;
            EXPECT_EQ(s, ERROR_SUCCESS);
            if (s != ERROR_SUCCESS) break;
            names.emplace_back(name, length);
        }
        return names;
    }
};

// Waits for a forked child and gives its exit status (-1 if it did not exit).
int Wait(pid_t child) {
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

TEST_F(Registry, KeysAreCaseInsensitiveAndCasePreserving) {
    HKEY missing = reinterpret_cast<HKEY>(0x1);
    EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"NoSuchKey\\Below", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(missing, nullptr);
    EXPECT_FALSE(std::filesystem::exists(reg_.Path())) << "reading must not create the file";

    DWORD disposition = 0;
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Qelv\\MixedCase", KEY_ALL_ACCESS, &disposition));
    EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
    RegCloseKey(Create(HKEY_CURRENT_USER, u"SOFTWARE\\qelv\\MIXEDCASE", KEY_ALL_ACCESS, &disposition));
    EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));

    HKEY parent = Open(HKEY_CURRENT_USER, u"software\\QELV");
    EXPECT_EQ(Subkeys(parent), std::vector<std::u16string>{u"MixedCase"});
    RegCloseKey(parent);

    // A trailing backslash names the same key.
    RegCloseKey(Open(HKEY_CURRENT_USER, u"Software\\Qelv\\"));

    // Letters beyond ASCII fold too, one character for one.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Software\\Grüße"));
    RegCloseKey(Open(HKEY_CURRENT_USER, u"SOFTWARE\\GRÜßE"));
    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\GRÜSSE", 0, KEY_READ, &missing), ERROR_FILE_NOT_FOUND);
}

TEST_F(Registry, ValuesAreTypedAndStringsCountTheirNul) {
    HKEY key = Create(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32");
    ASSERT_EQ(SetStringValue(key, u"ThreadingModel", u"Apartment"), ERROR_SUCCESS);
    ASSERT_EQ(SetStringValue(key, nullptr, u"/usr/lib/x.so"), ERROR_SUCCESS);

    DWORD type = 0, size = 0;
    EXPECT_EQ(RegQueryValueExW(key, u"threadingmodel", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, DWORD(20));

    BYTE small[10];
    size = sizeof small;
    EXPECT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, &type, small, &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, DWORD(20));

    WCHAR exact[10];
    size = sizeof exact;
    ASSERT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::u16string(exact), u"Apartment");

    // NULL and "" both name the default value.
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", nullptr), u"/usr/lib/x.so");
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, u"CLSID\\{X}\\InprocServer32", u""), u"/usr/lib/x.so");
    // Neither data nor size wanted: only existence.
    EXPECT_EQ(RegQueryValueExW(key, u"ThreadingModel", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);

    EXPECT_EQ(RegQueryValueExW(key, u"Missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    HKEY parent = Open(HKEY_CLASSES_ROOT, u"CLSID\\{X}");
    EXPECT_EQ(RegQueryValueExW(parent, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND)
        << "a key without a default value has none";
    RegCloseKey(parent);

    // Replacing keeps the first spelling of the name and may change the type.
    ASSERT_EQ(SetDword(key, u"Count", 42), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"count", 7), ERROR_SUCCESS);
    EXPECT_EQ(GetDword(key, u"COUNT"), DWORD(7));
    EXPECT_NE(reg_.ReadText().find("\"Count\" = dword:00000007"), std::string::npos) << reg_.ReadText();
    ASSERT_EQ(SetStringValue(key, u"Count", u"seven"), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, &type, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(RegDeleteValueW(key, u"Count"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueW(key, u"Count"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExW(key, u"Count", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
}

TEST_F(Registry, MisuseIsAnsweredWithStatuses) {
    HKEY bogus = reinterpret_cast<HKEY>(std::uintptr_t(0x12345));
    DWORD size = 0;
    WCHAR name[8];
    HKEY out = nullptr;
    for (HKEY bad : {HKEY(nullptr), bogus}) {
        EXPECT_EQ(RegOpenKeyExW(bad, u"x", 0, KEY_READ, &out), ERROR_INVALID_HANDLE);
        EXPECT_EQ(SetStringValue(bad, u"v", u"x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteTreeW(bad, u"x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
    }

    HKEY key = Create(HKEY_CURRENT_USER, u"Misuse");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE) << "closing twice";
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS) << "predefined roots may be closed";

    EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, u"Misuse", 0, KEY_READ, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"Misuse", 0, nullptr, 0, KEY_READ, nullptr, nullptr, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"A\\\\B", 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);
    std::u16string longest(255, u'k'), tooLong(256, u'k');
    RegCloseKey(Create(HKEY_CURRENT_USER, longest));
    EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, tooLong.c_str(), 0, nullptr, 0, KEY_READ, nullptr, &out, nullptr),
              ERROR_INVALID_PARAMETER);

    key = Open(HKEY_CURRENT_USER, u"Misuse");
    BYTE buf[4];
    DWORD reserved = 0;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, buf, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, &reserved, nullptr, nullptr, &size), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegSetValueExW(key, u"v", 0, REG_BINARY, nullptr, 4), 998) << "ERROR_NOACCESS";
    EXPECT_EQ(RegSetValueExW(key, u"empty", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegDeleteKeyW(key, nullptr), ERROR_INVALID_PARAMETER);
    RegCloseKey(key);
}

TEST_F(Registry, AccessRightsOfTheHandleAreEnforced) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Rights");
    ASSERT_EQ(SetDword(key, u"v", 1), ERROR_SUCCESS);
    RegCloseKey(key);

    HKEY reader = Open(HKEY_CURRENT_USER, u"Rights", KEY_READ);
    EXPECT_EQ(GetDword(reader, u"v"), DWORD(1));
    EXPECT_EQ(SetDword(reader, u"v", 2), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteValueW(reader, u"v"), ERROR_ACCESS_DENIED);
    HKEY sub = nullptr;
    EXPECT_EQ(RegCreateKeyExW(reader, u"New", 0, nullptr, 0, KEY_READ, nullptr, &sub, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(reader);

    HKEY writer = Open(HKEY_CURRENT_USER, u"Rights", KEY_WRITE);
    EXPECT_EQ(SetDword(writer, u"v", 3), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExW(writer, u"v", nullptr, nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
    WCHAR name[8];
    DWORD length = 8;
    EXPECT_EQ(RegEnumKeyExW(writer, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);
    RegCloseKey(writer);
}

TEST_F(Registry, EnumerationIsOrderedAndBounded) {
    HKEY key = Create(HKEY_CLASSES_ROOT, u"Enum");
    for (const char16_t* n : {u"beta", u"Alpha", u"gamma"}) RegCloseKey(Create(key, n));

    EXPECT_EQ(Subkeys(key), (std::vector<std::u16string>{u"Alpha", u"beta", u"gamma"}));

    WCHAR name[8];
    DWORD length = 5;  // "Alpha" needs 6 with its NUL
    EXPECT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    length = 6;
    WCHAR cls[4] = {u'x'};
    DWORD clsLength = 4;
    DWORD fileTime[2] = {0, 0};
    ASSERT_EQ(RegEnumKeyExW(key, 0, name, &length, nullptr, cls, &clsLength, reinterpret_cast<PFILETIME>(fileTime)),
              ERROR_SUCCESS);
    EXPECT_EQ(length, DWORD(5));
    EXPECT_EQ(std::u16string(name), u"Alpha");
    EXPECT_EQ(cls[0], 0);
    EXPECT_EQ(clsLength, DWORD(0));
    EXPECT_NE(fileTime[1], DWORD(0)) << "a time after 1601";

    length = 8;
    EXPECT_EQ(RegEnumKeyExW(key, 3, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(RegEnumKeyExW(key, 0xFFFFFFFF, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

TEST_F(Registry, DeleteKeyRefusesSubkeysDeleteTreeDoesNot) {
    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"Tree\\Branch\\Leaf"));
    HKEY tree = Open(HKEY_CLASSES_ROOT, u"Tree");
    ASSERT_EQ(SetDword(tree, u"v", 1), ERROR_SUCCESS);

    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u"Tree\\Branch"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyW(tree, u"Branch\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyW(tree, u"BRANCH\\leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyW(tree, u"Branch"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Tree\\Branch"));
    EXPECT_EQ(RegDeleteKeyW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED) << "a root cannot be deleted";

    // NULL empties the key and keeps it.
    RegCloseKey(Create(tree, u"A\\B\\C"));
    EXPECT_EQ(RegDeleteTreeW(tree, nullptr), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Tree"));
    EXPECT_TRUE(Subkeys(tree).empty());
    EXPECT_EQ(RegQueryValueExW(tree, u"v", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
    RegCloseKey(tree);

    RegCloseKey(Create(HKEY_CLASSES_ROOT, u"Tree\\X\\Y"));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"tree"), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"Tree"));
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"Tree"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, u""), ERROR_ACCESS_DENIED);
}

TEST_F(Registry, HandlesOfDeletedKeysStayDeleted) {
    HKEY key = Create(HKEY_CURRENT_USER, u"Doomed\\Key");
    HKEY root = Open(HKEY_CURRENT_USER, u"Doomed");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, u"Doomed"), ERROR_SUCCESS);

    DWORD size = 0;
    WCHAR name[8];
    DWORD length = 8;
    HKEY sub = nullptr;
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    EXPECT_EQ(RegEnumKeyExW(root, 0, name, &length, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegOpenKeyExW(root, u"Key", 0, KEY_READ, &sub), ERROR_KEY_DELETED);

    // A new key of the same name is a different key.
    RegCloseKey(Create(HKEY_CURRENT_USER, u"Doomed\\Key"));
    EXPECT_EQ(SetDword(key, u"v", 1), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
}

TEST_F(Registry, FileIsReadableTextThatRoundTrips) {
    HKEY key = Create(HKEY_CLASSES_ROOT, u"CLSID\\{6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A01}\\InprocServer32");
    ASSERT_EQ(SetStringValue(key, nullptr, u"/opt/qelv/lib/QelvSonalter2.so"), ERROR_SUCCESS);
    ASSERT_EQ(SetStringValue(key, u"ThreadingModel", u"Apartment"), ERROR_SUCCESS);
    const std::u16string tricky = u"quote\" back\\ nl\n tab\t ctl\x01 Grüße 🎵 lone\xD800 end";
    ASSERT_EQ(SetStringValue(key, u"Tricky \"name\"", tricky), ERROR_SUCCESS);
    ASSERT_EQ(SetDword(key, u"Number", 0xDEADBEEF), ERROR_SUCCESS);
    const BYTE binary[] = {0x00, 0xFF, 0x10};
    ASSERT_EQ(RegSetValueExW(key, u"Bytes", 0, REG_BINARY, binary, sizeof binary), ERROR_SUCCESS);
    const BYTE odd[] = {'a', 0, 'b'};  // a string stored without its NUL and with an odd size
    ASSERT_EQ(RegSetValueExW(key, u"Unterminated", 0, REG_SZ, odd, sizeof odd), ERROR_SUCCESS);
    const BYTE multi[] = {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0};
    ASSERT_EQ(RegSetValueExW(key, u"Multi", 0, 7, multi, sizeof multi), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, u"Empty", 0, REG_SZ, nullptr, 0), ERROR_SUCCESS);
    RegCloseKey(key);

    const std::string text = reg_.ReadText();
    EXPECT_NE(text.find("qelvsonalter2-registry 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("HKEY_CLASSES_ROOT\n  \"CLSID\"\n    \"{6B1C8E52-3D41-4F0A-9A77-2E5C0B9F1A01}\"\n"
                        "      \"InprocServer32\"\n        @ = \"/opt/qelv/lib/QelvSonalter2.so\"\n"
                        "        \"ThreadingModel\" = \"Apartment\"\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"Number\" = dword:deadbeef\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Bytes\" = hex:00,ff,10\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Unterminated\" = hex(1):61,00,62\n"), std::string::npos) << text;

    // Another file with the same text must read back to the same values.
    reg_.UseFile("copy");
    reg_.WriteText(text);
    key = Open(HKEY_CLASSES_ROOT, u"clsid\\{6b1c8e52-3d41-4f0a-9a77-2e5c0b9f1a01}\\InprocServer32");
    auto raw = [&](const char16_t* name, DWORD& type) {
        BYTE buf[512];
        DWORD size = sizeof buf;
        EXPECT_EQ(RegQueryValueExW(key, name, nullptr, &type, buf, &size), ERROR_SUCCESS) << "value read back";
        return std::vector<BYTE>(buf, buf + size);
    };
    DWORD type = 0;
    std::vector<BYTE> trickyBytes(reinterpret_cast<const BYTE*>(tricky.c_str()),
                                  reinterpret_cast<const BYTE*>(tricky.c_str() + tricky.size() + 1));
    EXPECT_EQ(raw(u"tricky \"NAME\"", type), trickyBytes);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(raw(u"Bytes", type), std::vector<BYTE>(binary, binary + 3));
    EXPECT_EQ(type, DWORD(REG_BINARY));
    EXPECT_EQ(raw(u"Unterminated", type), std::vector<BYTE>(odd, odd + 3));
    EXPECT_EQ(raw(u"Multi", type), std::vector<BYTE>(multi, multi + sizeof multi));
    EXPECT_EQ(type, DWORD(7));
    EXPECT_EQ(raw(u"Empty", type), std::vector<BYTE>());
    EXPECT_EQ(GetDword(key, u"Number"), DWORD(0xDEADBEEF));
    RegCloseKey(key);
}

TEST_F(Registry, HandWrittenFileIsAccepted) {
    reg_.WriteText(
        "# written by hand\r\n"
        "\r\n"
        "qelvsonalter2-registry 1\r\n"
        "HKEY_LOCAL_MACHINE   \r\n"
        "  \"Software\"\r\n"
        "    # comments may sit anywhere\r\n"
        "    \"Qelv\"\r\n"
        "      \"Path\" = expand:\"%HOME%\\\\x\"\r\n"
        "      \"Raw\" = hex(7):61,00,00,00,00,00\r\n"
        "    \"Top\" = dword:0000000A\r\n"
        "HKEY_CLASSES_ROOT\r\n"
        "  \"Empty\"\r\n");
    HKEY key = Open(HKEY_LOCAL_MACHINE, u"Software");
    EXPECT_EQ(GetDword(key, u"Top"), DWORD(10)) << "a value below its key's subkeys still belongs to it";
    RegCloseKey(key);
    EXPECT_EQ(GetStringAt(HKEY_LOCAL_MACHINE, u"Software\\Qelv", u"Path"), u"%HOME%\\x");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"Empty"));
}

TEST_F(Registry, CorruptFileIsReportedWithItsLineAndNeverReplaced) {
    struct Case {
        const char* text;
        int line;
    } cases[] = {
        {"HKEY_CLASSES_ROOT\n", 1},
        {"qelvsonalter2-registry 2\n", 1},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n   \"Odd\"\n", 3},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n      \"TooDeep\"\n", 4},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"Unterminated\n", 3},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n  \"a\"\n", 4},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n    \"v\" = \"\\q\"\n", 4},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"\xC3\x28\"\n", 3},
        {"qelvsonalter2-registry 1\nHKEY_NOWHERE\n", 2},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n    \"v\" = dword:12\n", 4},
        {"qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n    @ = \"x\" junk\n", 4},
        {"qelvsonalter2-registry 1\n  \"BeforeRoot\"\n", 2},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        reg_.UseFile("corrupt" + std::to_string(n++));
        reg_.WriteText(c.text);

        ::testing::internal::CaptureStderr();
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"A", 0, KEY_READ, &key), ERROR_BADDB);
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, u"New", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_BADDB);
        EXPECT_EQ(SetStringAt(HKEY_LOCAL_MACHINE, u"", u"v", u"x"), ERROR_BADDB);
        EXPECT_EQ(RegDeleteTreeW(HKEY_CLASSES_ROOT, nullptr), ERROR_BADDB);
        std::string err = ::testing::internal::GetCapturedStderr();

        std::string where = reg_.Path() + ":" + std::to_string(c.line) + ": ";
        EXPECT_EQ(err.find(where), 0u) << err;
        EXPECT_EQ(err.find(where, 1), std::string::npos) << "reported once, not on every call:\n" << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(reg_.ReadText(), c.text) << "the file is left alone";
    }

    // Once repaired, the same path works again.
    reg_.WriteText("qelvsonalter2-registry 1\nHKEY_CLASSES_ROOT\n  \"A\"\n");
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, u"A"));
}

TEST_F(Registry, OtherProcessesSeeChanges) {
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, u"FromChild"));  // primes this process's view

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(SetStringAt(HKEY_CLASSES_ROOT, u"FromChild", nullptr, u"hello") == ERROR_SUCCESS ? 0 : 1);
    ASSERT_EQ(Wait(child), 0);
    EXPECT_EQ(GetStringAt(HKEY_CLASSES_ROOT, u"FromChild", nullptr), u"hello");

    // A child that already looked sees what the parent writes afterwards.
    int toChild[2], toParent[2];
    ASSERT_EQ(pipe(toChild), 0);
    ASSERT_EQ(pipe(toParent), 0);
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        bool before = KeyExists(HKEY_CLASSES_ROOT, u"FromParent");
        char c = 'x';
        bool synced = write(toParent[1], &c, 1) == 1 && read(toChild[0], &c, 1) == 1;
        bool after = GetStringAt(HKEY_CLASSES_ROOT, u"FromParent", nullptr) == u"world";
        _exit(!before && synced && after ? 0 : 1);
    }
    char c;
    ASSERT_EQ(read(toParent[0], &c, 1), 1);
    ASSERT_EQ(SetStringAt(HKEY_CLASSES_ROOT, u"FromParent", nullptr, u"world"), ERROR_SUCCESS);
    ASSERT_EQ(write(toChild[1], "x", 1), 1);
    EXPECT_EQ(Wait(child), 0);
    for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) close(fd);

    // A handle open here notices that another process deleted its key.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"FromChild", 0, KEY_READ, &key), ERROR_SUCCESS);
    child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(RegDeleteTreeW(HKEY_CLASSES_ROOT, u"FromChild") == ERROR_SUCCESS ? 0 : 1);
    ASSERT_EQ(Wait(child), 0);
    EXPECT_EQ(RegQueryValueExW(key, nullptr, nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
    RegCloseKey(key);
}

TEST_F(Registry, ConcurrentWritersLoseNothing) {
    constexpr int kChildren = 8;
    constexpr int kRounds = 50;
    auto base = [](int c) { return u"Stress\\Child" + std::u16string(1, char16_t(u'0' + c)); };
    auto leaf = [](int r) { return u"Key" + std::u16string{char16_t(u'A' + r / 26), char16_t(u'a' + r % 26)}; };
    ASSERT_EQ(SetStringAt(HKEY_CURRENT_USER, u"Stress", nullptr, u"start"), ERROR_SUCCESS);
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int failures = 0;
            for (int r = 0; r < kRounds; ++r) {
                const std::u16string path = base(c) + u"\\" + leaf(r);
                HKEY key = nullptr;
                if (RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                                    nullptr) != ERROR_SUCCESS) {
                    ++failures;
                    continue;
                }
                DWORD value = DWORD(c * 1000 + r);
                failures += RegSetValueExW(key, u"n", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), 4) != 0;
                RegCloseKey(key);
                if (r % 2) failures += RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) != ERROR_SUCCESS;
            }
            _exit(failures > 250 ? 250 : failures);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) EXPECT_EQ(Wait(pid), 0);

    HKEY stress = Open(HKEY_CURRENT_USER, u"Stress");
    EXPECT_EQ(Subkeys(stress).size(), size_t(kChildren));
    RegCloseKey(stress);
    for (int c = 0; c < kChildren; ++c) {
        HKEY child = Open(HKEY_CURRENT_USER, base(c), KEY_READ);
        EXPECT_EQ(Subkeys(child).size(), size_t(kRounds / 2)) << "child " << c;
        for (int r = 0; r < kRounds; r += 2) {
            HKEY key = nullptr;
            ASSERT_EQ(RegOpenKeyExW(child, leaf(r).c_str(), 0, KEY_READ, &key), ERROR_SUCCESS) << c << "/" << r;
            EXPECT_EQ(GetDword(key, u"n"), DWORD(c * 1000 + r));
            RegCloseKey(key);
        }
        RegCloseKey(child);
    }
    // Only the file and its lock remain: no temporary files left behind.
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(reg_.Dir())) files.push_back(entry.path().filename());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"registry", "registry.lock"}));
}

TEST_F(Registry, DefaultLocationFollowsXdgDataHome) {
    std::string xdg = reg_.Dir() + "/xdg";
    std::string home = reg_.Dir() + "/home";
    const char* oldHome = std::getenv("HOME");
    std::string savedHome = oldHome ? oldHome : "";
    unsetenv("QELV_REGISTRY");

    setenv("XDG_DATA_HOME", xdg.c_str(), 1);
    EXPECT_EQ(SetStringAt(HKEY_CURRENT_USER, u"Here", nullptr, u"xdg"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(xdg + "/qelvsonalter2/registry"));

    setenv("XDG_DATA_HOME", "relative/ignored", 1);
    setenv("HOME", home.c_str(), 1);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, u"Here"));
    EXPECT_EQ(SetStringAt(HKEY_CURRENT_USER, u"Here", nullptr, u"home"), ERROR_SUCCESS);
    EXPECT_TRUE(std::filesystem::exists(home + "/.local/share/qelvsonalter2/registry"));

    unsetenv("XDG_DATA_HOME");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
    reg_.UseFile("registry");
}

}  // namespace
