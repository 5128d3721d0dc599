// Memory metafiles: the bytes a recording makes (header, window records, the
// blit as a DIB, end record), their copy out and back in, playback into a
// bitmap, and the handles and data the calls refuse.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "Canvas.h"

namespace {

using qelvtest::Canvas;

unsigned Word(const std::vector<BYTE>& b, size_t word) { return b[2 * word] | (b[2 * word + 1] << 8); }
uint32_t Long(const std::vector<BYTE>& b, size_t word) { return Word(b, word) | (Word(b, word + 1) << 16); }

std::vector<BYTE> BitsOf(HMETAFILE mf) {
    std::vector<BYTE> bytes(GetMetaFileBitsEx(mf, 0, nullptr));
    EXPECT_EQ(GetMetaFileBitsEx(mf, static_cast<UINT>(bytes.size()), bytes.data()), bytes.size());
    return bytes;
}

// Window origin (2, 1), extent (3, 2), and a 3 x 2 copy to (4, 6) from (1, 0)
// of a 3 x 2 source whose third column lies outside it.
HMETAFILE RecordSample() {
    Canvas source(3, 2, 0);
    source.at(0, 0) = 0x010101;
    source.at(1, 0) = 0x112233;
    source.at(2, 0) = 0x445566;
    source.at(1, 1) = 0x778899;
    source.at(2, 1) = 0xAABBCC;
    HDC dc = CreateMetaFileW(nullptr);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(dc)), static_cast<DWORD>(OBJ_METADC));
    EXPECT_TRUE(SetWindowOrgEx(dc, 2, 1, nullptr));
    EXPECT_TRUE(SetWindowExtEx(dc, 3, 2, nullptr));
    EXPECT_TRUE(BitBlt(dc, 4, 6, 3, 2, source.dc(), 1, 0, SRCCOPY));
    // What the recorder cannot record is refused, not silently dropped.
    RECT rect{0, 0, 1, 1};
    EXPECT_EQ(FillRect(dc, &rect, reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH))), 0);
    EXPECT_FALSE(LineTo(dc, 1, 1));
    EXPECT_FALSE(BitBlt(dc, 40000, 0, 1, 1, source.dc(), 0, 0, SRCCOPY));
    EXPECT_FALSE(SetWindowExtEx(dc, 0, 5, nullptr));
    EXPECT_EQ(CreateCompatibleBitmap(dc, 4, 4), nullptr);
    HMETAFILE mf = CloseMetaFile(dc);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(dc)), 0u);
    return mf;
}

TEST(Metafile, RecordsTheWindowAndTheBlitInTheWindowsLayout) {
    HMETAFILE mf = RecordSample();
    ASSERT_NE(mf, nullptr);
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(mf)), static_cast<DWORD>(OBJ_METAFILE));
    const std::vector<BYTE> b = BitsOf(mf);
    const size_t blitWords = 3 + 10 + 20 + 3 * 2 * 2;
    ASSERT_EQ(b.size(), 2 * (9 + 5 + 5 + blitWords + 3));
    EXPECT_EQ(Word(b, 0), 1u);  // memory metafile
    EXPECT_EQ(Word(b, 1), 9u);
    EXPECT_EQ(Word(b, 2), 0x0300u);
    EXPECT_EQ(Long(b, 3), b.size() / 2);
    EXPECT_EQ(Word(b, 5), 0u);  // no objects
    EXPECT_EQ(Long(b, 6), blitWords);
    EXPECT_EQ(Word(b, 8), 0u);
    // META_SETWINDOWORG and META_SETWINDOWEXT, y before x.
    const std::vector<unsigned> window = {5, 0, 0x020B, 1, 2, 5, 0, 0x020C, 2, 3};
    for (size_t k = 0; k < window.size(); ++k) EXPECT_EQ(Word(b, 9 + k), window[k]) << k;
    // META_DIBSTRETCHBLT: rop, source h, w, y, x, destination h, w, y, x, DIB.
    const size_t r = 19;
    EXPECT_EQ(Long(b, r), blitWords);
    const std::vector<unsigned> blit = {0x0B41, 0x0020, 0x00CC, 2, 3, 0, 0, 2, 3, 6, 4};
    for (size_t k = 0; k < blit.size(); ++k) EXPECT_EQ(Word(b, r + 2 + k), blit[k]) << k;
    const size_t info = r + 13;
    EXPECT_EQ(Long(b, info), 40u);
    EXPECT_EQ(Long(b, info + 2), 3u);
    EXPECT_EQ(Long(b, info + 4), 2u);  // positive: bottom row first
    EXPECT_EQ(Word(b, info + 6), 1u);
    EXPECT_EQ(Word(b, info + 7), 32u);
    EXPECT_EQ(Long(b, info + 8), 0u);  // BI_RGB
    const std::vector<uint32_t> rows = {0x778899, 0xAABBCC, 0, 0x112233, 0x445566, 0};
    for (size_t k = 0; k < rows.size(); ++k) EXPECT_EQ(Long(b, info + 20 + 2 * k), rows[k]) << k;
    const size_t end = b.size() / 2 - 3;
    EXPECT_EQ(Long(b, end), 3u);
    EXPECT_EQ(Word(b, end + 2), 0u);

    // A short buffer takes the first bytes.
    std::vector<BYTE> head(10, 0xEE);
    EXPECT_EQ(GetMetaFileBitsEx(mf, 8, head.data()), 8u);
    EXPECT_EQ(std::memcmp(head.data(), b.data(), 8), 0);
    EXPECT_EQ(head[8], 0xEE);
    EXPECT_TRUE(DeleteMetaFile(mf));
}

TEST(Metafile, PlaysBackIntoABitmapAndRoundTripsThroughItsBytes) {
    HMETAFILE recorded = RecordSample();
    std::vector<BYTE> b = BitsOf(recorded);
    b[0] = 2;  // as read from disk: taken as a memory metafile
    HMETAFILE copy = SetMetaFileBitsEx(static_cast<UINT>(b.size()), b.data());
    ASSERT_NE(copy, nullptr);
    b[0] = 1;
    EXPECT_EQ(BitsOf(copy), b);
    EXPECT_TRUE(DeleteMetaFile(recorded));

    // The window origin (2, 1) moves the block at (4, 6) to (2, 5).
    Canvas canvas(8, 8, 0x00FF00);
    EXPECT_TRUE(PlayMetaFile(canvas.dc(), copy));
    EXPECT_EQ(canvas.at(2, 5), 0x112233u);
    EXPECT_EQ(canvas.at(3, 5), 0x445566u);
    EXPECT_EQ(canvas.at(4, 5), 0u);
    EXPECT_EQ(canvas.at(2, 6), 0x778899u);
    EXPECT_EQ(canvas.at(3, 6), 0xAABBCCu);
    EXPECT_EQ(canvas.at(1, 5), 0x00FF00u);
    EXPECT_EQ(canvas.at(5, 6), 0x00FF00u);
    EXPECT_EQ(canvas.at(2, 4), 0x00FF00u);
    EXPECT_EQ(canvas.at(2, 7), 0x00FF00u);
    EXPECT_TRUE(DeleteMetaFile(copy));

    // A metafile made elsewhere: an unknown record is skipped, then a
    // META_DIBBITBLT of a top-down 24-bit 2 x 1 DIB (rows padded to 4 bytes) to
    // (1, 1) from its second pixel; the blit stops at the end record.
    std::vector<BYTE> other;
    auto word = [&](unsigned v) {
        other.push_back(static_cast<BYTE>(v));
        other.push_back(static_cast<BYTE>(v >> 8));
    };
    auto dword = [&](uint32_t v) {
        word(v & 0xFFFF);
        word(v >> 16);
    };
    const unsigned blitWords = 3 + 8 + 20 + 4;
    for (unsigned v : {1u, 9u, 0x0300u}) word(v);
    dword(9 + 5 + blitWords + 3 + 5);
    word(0);
    dword(blitWords);
    word(0);
    dword(5);  // META_SETBKCOLOR, unknown to the player
    word(0x0201);
    dword(0x123456);
    dword(blitWords);
    word(0x0940);
    dword(SRCCOPY);
    for (unsigned v : {0u, 1u, 1u, 1u, 1u, 1u}) word(v);  // y, x in the DIB; h, w; y, x
    for (uint32_t v : {40u, 2u, static_cast<uint32_t>(-1), 0x00180001u, 0u, 0u, 0u, 0u, 0u, 0u}) dword(v);
    for (BYTE v : {0x01, 0x02, 0x03, 0x0A, 0x0B, 0x0C, 0x00, 0x00}) other.push_back(v);
    for (unsigned v : {3u, 0u, 0u}) word(v);
    for (unsigned v : {5u, 0u, 0x0940u, 0u, 0u}) word(v);  // after the end record: not played
    HMETAFILE made = SetMetaFileBitsEx(static_cast<UINT>(other.size()), other.data());
    ASSERT_NE(made, nullptr);
    Canvas small(3, 3, 0x00FF00);
    EXPECT_TRUE(PlayMetaFile(small.dc(), made));
    EXPECT_EQ(small.at(1, 1), 0x0C0B0Au);
    EXPECT_EQ(small.at(0, 1), 0x00FF00u);
    EXPECT_EQ(small.at(2, 1), 0x00FF00u);
    EXPECT_TRUE(DeleteMetaFile(made));
}

TEST(Metafile, RefusesUnknownHandlesAndInvalidData) {
    Canvas canvas(2, 2, 0);
    EXPECT_EQ(CreateMetaFileW(u"picture.wmf"), nullptr);
    EXPECT_EQ(CloseMetaFile(canvas.dc()), nullptr);
    EXPECT_FALSE(SetWindowOrgEx(canvas.dc(), 1, 0, nullptr));
    POINT origin{7, 7};
    EXPECT_TRUE(SetWindowOrgEx(canvas.dc(), 0, 0, &origin));
    EXPECT_EQ(origin.x, 0);

    HDC dc = CreateMetaFileW(nullptr);
    HDC target = CreateMetaFileW(nullptr);
    HMETAFILE mf = CloseMetaFile(dc);
    ASSERT_NE(mf, nullptr);
    EXPECT_EQ(CloseMetaFile(dc), nullptr);  // already closed
    EXPECT_FALSE(PlayMetaFile(target, mf));  // only into a drawing context
    EXPECT_TRUE(DeleteDC(target));           // a recording can be discarded
    EXPECT_EQ(CloseMetaFile(target), nullptr);

    const std::vector<BYTE> empty = BitsOf(mf);
    EXPECT_EQ(empty.size(), 24u);  // header and end record
    EXPECT_TRUE(PlayMetaFile(canvas.dc(), mf));
    EXPECT_TRUE(DeleteMetaFile(mf));
    EXPECT_FALSE(DeleteMetaFile(mf));
    EXPECT_FALSE(PlayMetaFile(canvas.dc(), mf));
    EXPECT_EQ(GetMetaFileBitsEx(mf, 0, nullptr), 0u);

    std::vector<BYTE> bad = empty;
    bad[4] = 0x00;
    bad[5] = 0x02;  // version 0x0200
    EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(bad.size()), bad.data()), nullptr);
    EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(empty.size() - 2), empty.data()), nullptr);
    EXPECT_EQ(SetMetaFileBitsEx(static_cast<UINT>(empty.size()), nullptr), nullptr);
}

// A metafile picture medium owns both the block and the metafile in it.
TEST(Metafile, ReleaseStgMediumFreesThePictureAndItsMetafile) {
    HMETAFILE mf = CloseMetaFile(CreateMetaFileW(nullptr));
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    auto* picture = static_cast<METAFILEPICT*>(GlobalLock(block));
    *picture = METAFILEPICT{MM_ANISOTROPIC, 100, 100, mf};
    GlobalUnlock(block);
    STGMEDIUM medium{};
    medium.tymed = TYMED_MFPICT;
    medium.hMetaFilePict = block;
    ReleaseStgMedium(&medium);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_NULL));
    EXPECT_FALSE(DeleteMetaFile(mf));
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(mf)), 0u);
}

}  // namespace
