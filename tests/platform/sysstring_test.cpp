// Automation strings: layout, lengths, embedded NULs, reallocation, limits.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <cstring>

#include "test_objects.h"

using platform_test::Text;

TEST(SysString, CopiesTextBehindAByteCountPrefix) {
    BSTR s = SysAllocString(u"hello");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 5u);
    EXPECT_EQ(SysStringByteLen(s), 10u);
    std::uint32_t prefix = 0;
    std::memcpy(&prefix, reinterpret_cast<const std::uint8_t*>(s) - 4, 4);
    EXPECT_EQ(prefix, 10u);
    EXPECT_EQ(Text(s), u"hello");
    EXPECT_EQ(s[5], u'\0');
    SysFreeString(s);

    // NULL is the empty string everywhere.
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
    EXPECT_EQ(SysStringByteLen(nullptr), 0u);
    SysFreeString(nullptr);

    BSTR empty = SysAllocString(u"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SysStringLen(empty), 0u);
    SysFreeString(empty);
}

TEST(SysString, LengthBasedAllocationKeepsEmbeddedNulsAndOddBytes) {
    BSTR s = SysAllocStringLen(u"a\0b", 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(SysStringLen(s), 3u);
    EXPECT_EQ(Text(s), std::u16string(u"a\0b", 3));
    EXPECT_EQ(s[3], u'\0');
    SysFreeString(s);

    BSTR blank = SysAllocStringLen(nullptr, 4);
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(SysStringLen(blank), 4u);
    EXPECT_EQ(blank[4], u'\0');
    SysFreeString(blank);

    BSTR bytes = SysAllocStringByteLen("abc", 3);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(SysStringByteLen(bytes), 3u);
    EXPECT_EQ(SysStringLen(bytes), 1u);
    const auto* raw = reinterpret_cast<const char*>(bytes);
    EXPECT_EQ(std::string(raw, 3), "abc");
    EXPECT_EQ(raw[3], '\0');
    EXPECT_EQ(raw[4], '\0');
    SysFreeString(bytes);
}

TEST(SysString, HugeLengthsFailInsteadOfWrapping) {
    EXPECT_EQ(SysAllocStringLen(nullptr, 0xFFFFFFFFu), nullptr);
    EXPECT_EQ(SysAllocStringLen(nullptr, 0x80000000u), nullptr);
    EXPECT_EQ(SysAllocStringByteLen(nullptr, 0xFFFFFFFFu), nullptr);
    BSTR s = SysAllocString(u"keep");
    EXPECT_FALSE(SysReAllocStringLen(&s, nullptr, 0xFFFFFFFFu));
    EXPECT_EQ(Text(s), u"keep");  // untouched on failure
    SysFreeString(s);
}

TEST(SysString, ReallocationReplacesAndMayReadFromTheOldString) {
    BSTR s = SysAllocString(u"short");
    ASSERT_TRUE(SysReAllocString(&s, u"a longer text"));
    EXPECT_EQ(Text(s), u"a longer text");
    // The new text may come from inside the string being replaced.
    ASSERT_TRUE(SysReAllocString(&s, s + 2));
    EXPECT_EQ(Text(s), u"longer text");
    ASSERT_TRUE(SysReAllocStringLen(&s, s, 4));
    EXPECT_EQ(Text(s), u"long");
    SysFreeString(s);

    BSTR fromNull = nullptr;
    ASSERT_TRUE(SysReAllocString(&fromNull, u"x"));
    EXPECT_EQ(Text(fromNull), u"x");
    SysFreeString(fromNull);

    EXPECT_FALSE(SysReAllocString(nullptr, u"x"));
    EXPECT_FALSE(SysReAllocStringLen(nullptr, u"x", 1));
}
