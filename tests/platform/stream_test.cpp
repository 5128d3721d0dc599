// Global memory, streams over it, and objects saved into streams with their
// class identifier.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstring>
#include <vector>

namespace {

TEST(GlobalMemory, AllocatesLocksResizesAndFrees) {
    HGLOBAL block = GlobalAlloc(GHND, 16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 16u);
    auto* bytes = static_cast<unsigned char*>(GlobalLock(block));
    for (int k = 0; k < 16; ++k) EXPECT_EQ(bytes[k], 0);
    bytes[3] = 7;
    EXPECT_FALSE(GlobalUnlock(block));
    EXPECT_EQ(GlobalReAlloc(block, 64, GMEM_MOVEABLE | GMEM_ZEROINIT), block);
    bytes = static_cast<unsigned char*>(GlobalLock(block));
    EXPECT_EQ(bytes[3], 7);
    EXPECT_EQ(bytes[63], 0);
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFree(block), nullptr);
    int local = 0;
    EXPECT_EQ(GlobalSize(&local), 0u);
    EXPECT_EQ(GlobalLock(&local), nullptr);
}

TEST(HGlobalStream, ReadsWritesSeeksAndGrows) {
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ULONG done = 0;
    EXPECT_EQ(stream->Write("abcdef", 6, &done), S_OK);
    EXPECT_EQ(done, 6u);
    LARGE_INTEGER move;
    move.QuadPart = -4;
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_CUR, &position), S_OK);
    EXPECT_EQ(position.QuadPart, 2u);
    char buffer[8] = {};
    EXPECT_EQ(stream->Read(buffer, 8, &done), S_OK);  // a short read is not a failure
    EXPECT_EQ(done, 4u);
    EXPECT_STREQ(buffer, "cdef");
    move.QuadPart = -1;
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), STG_E_INVALIDFUNCTION);
    // Writing past the end fills the gap with whatever the block holds, grows the size.
    move.QuadPart = 10;
    stream->Seek(move, STREAM_SEEK_SET, nullptr);
    stream->Write("z", 1, nullptr);
    STATSTG stat{};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(stat.cbSize.QuadPart, 11u);
    ULARGE_INTEGER size;
    size.QuadPart = 3;
    EXPECT_EQ(stream->SetSize(size), S_OK);
    // A clone shares the data and keeps its own position.
    IStream* clone = nullptr;
    ASSERT_EQ(stream->Clone(&clone), S_OK);
    move.QuadPart = 0;
    clone->Seek(move, STREAM_SEEK_SET, nullptr);
    std::memset(buffer, 0, sizeof buffer);
    clone->Read(buffer, 8, &done);
    EXPECT_EQ(done, 3u);
    EXPECT_STREQ(buffer, "abc");
    HGLOBAL memory = nullptr;
    EXPECT_EQ(GetHGlobalFromStream(clone, &memory), S_OK);
    EXPECT_GE(GlobalSize(memory), 3u);
    stream->Release();
    clone->Release();
}

TEST(HGlobalStream, ExistingBlockIsTheInitialContent) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(GlobalLock(block), "wxyz", 4);
    GlobalUnlock(block);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(block, FALSE, &stream), S_OK);
    char buffer[5] = {};
    ULONG done = 0;
    stream->Read(buffer, 4, &done);
    EXPECT_STREQ(buffer, "wxyz");
    stream->Release();
    EXPECT_EQ(GlobalSize(block), 4u);  // not freed: fDeleteOnRelease was FALSE
    GlobalFree(block);
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, nullptr), E_INVALIDARG);
}

TEST(ObjectStreams, ClassIdentifierBytesAndObjectRoundTrip) {
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    ASSERT_EQ(WriteClassStm(stream, CLSID_StdFont), S_OK);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream, &memory);
    const unsigned char expected[16] = {0x03, 0x52, 0xE3, 0x0B, 0x91, 0x8F, 0xCE, 0x11,
                                        0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51};
    EXPECT_EQ(std::memcmp(GlobalLock(memory), expected, 16), 0);
    GlobalUnlock(memory);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    CLSID read{};
    EXPECT_EQ(ReadClassStm(stream, &read), S_OK);
    EXPECT_EQ(read, CLSID_StdFont);
    EXPECT_EQ(ReadClassStm(stream, &read), STG_E_READFAULT);
    stream->Release();

    // A font saved with its class identifier comes back as a font.
    FONTDESC desc{sizeof(FONTDESC), const_cast<LPOLESTR>(u"Arial"), {}, 700, 0, FALSE, TRUE, FALSE};
    desc.cySize.Lo = 100000;
    IPersistStream* font = nullptr;
    ASSERT_EQ(OleCreateFontIndirect(&desc, IID_IPersistStream, reinterpret_cast<void**>(&font)), S_OK);
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    EXPECT_EQ(OleSaveToStream(font, stream), S_OK);
    EXPECT_EQ(OleSaveToStream(nullptr, stream), S_OK);  // CLSID_NULL alone
    font->Release();
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    IFont* loaded = nullptr;
    ASSERT_EQ(OleLoadFromStream(stream, IID_IFont, reinterpret_cast<void**>(&loaded)), S_OK);
    BSTR name = nullptr;
    loaded->get_Name(&name);
    EXPECT_EQ(std::u16string(name), u"Arial");
    SysFreeString(name);
    BOOL underline = FALSE;
    loaded->get_Underline(&underline);
    EXPECT_TRUE(underline);
    loaded->Release();
    IUnknown* none = nullptr;
    EXPECT_EQ(OleLoadFromStream(stream, IID_IUnknown, reinterpret_cast<void**>(&none)), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(none, nullptr);
    stream->Release();
}

}  // namespace
