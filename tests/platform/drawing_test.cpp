// Drawing into 32-bit bitmaps: fills with exclusive right and bottom edges,
// lines without their end pixel and with the Windows tie-break, copies between
// contexts, text placed by its metrics, and the system colours.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <set>
#include <utility>

#include "Canvas.h"

namespace {

using qelvtest::Canvas;

using Set = std::set<std::pair<int, int>>;

Set Line(int x1, int y1, int x2, int y2) {
    Canvas canvas(12, 12);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HGDIOBJ old = SelectObject(canvas.dc(), pen);
    MoveToEx(canvas.dc(), x1, y1, nullptr);
    LineTo(canvas.dc(), x2, y2);
    SelectObject(canvas.dc(), old);
    EXPECT_TRUE(DeleteObject(pen));
    return canvas.Pixels(0xFF0000);
}

TEST(Drawing, FillsLeaveOutTheRightAndBottomEdgesAndClip) {
    Canvas canvas(8, 6);
    RECT rect{1, 2, 4, 5};
    SetBkColor(canvas.dc(), RGB(1, 2, 3));
    EXPECT_TRUE(ExtTextOutA(canvas.dc(), 0, 0, ETO_OPAQUE, &rect, "", 0, nullptr));
    EXPECT_EQ(canvas.Pixels(0x010203), (Set{{1, 2}, {2, 2}, {3, 2}, {1, 3}, {2, 3}, {3, 3}, {1, 4}, {2, 4}, {3, 4}}));

    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    RECT clipped{-3, -3, 2, 1};
    EXPECT_EQ(FillRect(canvas.dc(), &clipped, brush), 1);
    EXPECT_EQ(canvas.Pixels(0x0000FF), (Set{{0, 0}, {1, 0}}));
    RECT inverted{5, 5, 3, 3};
    EXPECT_EQ(FillRect(canvas.dc(), &inverted, brush), 1);
    EXPECT_EQ(canvas.Pixels(0x0000FF).size(), 2u);
    RECT sys{7, 5, 8, 6};
    EXPECT_EQ(FillRect(canvas.dc(), &sys, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1)), 1);
    EXPECT_EQ(canvas.at(7, 5), 0xF0F0F0u);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(GetPixel(canvas.dc(), 2, 3), RGB(1, 2, 3));
    EXPECT_EQ(GetPixel(canvas.dc(), 8, 0), CLR_INVALID);
}

TEST(Drawing, LinesLeaveOutTheEndPixelAndBreakTiesByDirection) {
    EXPECT_EQ(Line(1, 1, 5, 1), (Set{{1, 1}, {2, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(Line(5, 1, 1, 1), (Set{{5, 1}, {4, 1}, {3, 1}, {2, 1}}));
    EXPECT_EQ(Line(2, 6, 2, 3), (Set{{2, 6}, {2, 5}, {2, 4}}));
    EXPECT_EQ(Line(0, 0, 3, 3), (Set{{0, 0}, {1, 1}, {2, 2}}));
    EXPECT_EQ(Line(3, 3, 3, 3), Set{});
    // Exactly halfway: drawn rightwards the minor step comes late, drawn
    // leftwards (a biased octant) early, so both cover the same inner pixels.
    EXPECT_EQ(Line(0, 0, 4, 2), (Set{{0, 0}, {1, 0}, {2, 1}, {3, 1}}));
    EXPECT_EQ(Line(4, 2, 0, 0), (Set{{4, 2}, {3, 1}, {2, 1}, {1, 0}}));
    EXPECT_EQ(Line(0, 0, 2, 4), (Set{{0, 0}, {0, 1}, {1, 2}, {1, 3}}));
    EXPECT_EQ(Line(2, 4, 0, 0), (Set{{2, 4}, {1, 3}, {1, 2}, {0, 1}}));
    // A general slope: Bresenham without ties.
    EXPECT_EQ(Line(0, 0, 5, 2), (Set{{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 2}}));
    // Off the bitmap: clipped, and the pen still follows the full line.
    EXPECT_EQ(Line(-2, 1, 3, 1), (Set{{0, 1}, {1, 1}, {2, 1}}));
}

TEST(Drawing, PolylinesJoinWithoutGapsAndNullPensOnlyMove) {
    Canvas canvas(6, 6);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(0, 255, 0));
    HGDIOBJ old = SelectObject(canvas.dc(), pen);
    POINT before{9, 9};
    MoveToEx(canvas.dc(), 0, 0, &before);
    EXPECT_EQ(before.x, 0);
    LineTo(canvas.dc(), 3, 0);
    LineTo(canvas.dc(), 3, 3);
    LineTo(canvas.dc(), 0, 3);
    LineTo(canvas.dc(), 0, 0);
    EXPECT_EQ(canvas.Pixels(0x00FF00).size(), 12u);  // the ring of a 4 x 4 square, each pixel once
    HGDIOBJ none = GetStockObject(NULL_PEN);
    SelectObject(canvas.dc(), none);
    LineTo(canvas.dc(), 5, 5);
    MoveToEx(canvas.dc(), 0, 0, &before);
    EXPECT_EQ(before.x, 5);
    EXPECT_EQ(canvas.Pixels(0x00FF00).size(), 12u);
    SelectObject(canvas.dc(), old);
    EXPECT_TRUE(DeleteObject(pen));
}

TEST(Drawing, RectanglesOutlineInThePenAndFillInTheBrush) {
    Canvas canvas(8, 8);
    HPEN pen = CreatePen(PS_SOLID, 1, RGB(255, 0, 0));
    HBRUSH brush = CreateSolidBrush(RGB(0, 0, 255));
    HGDIOBJ oldPen = SelectObject(canvas.dc(), pen);
    HGDIOBJ oldBrush = SelectObject(canvas.dc(), brush);
    EXPECT_TRUE(Rectangle(canvas.dc(), 5, 5, 1, 1));  // corners in either order
    EXPECT_EQ(canvas.Pixels(0xFF0000).size(), 12u);     // ring of 4 x 4
    EXPECT_EQ(canvas.Pixels(0x0000FF), (Set{{2, 2}, {3, 2}, {2, 3}, {3, 3}}));
    EXPECT_TRUE(Rectangle(canvas.dc(), -2147483647 - 1, 7, 2147483647, 7));  // empty: nothing, no overflow
    SelectObject(canvas.dc(), oldPen);
    SelectObject(canvas.dc(), oldBrush);
    EXPECT_TRUE(DeleteObject(pen));
    EXPECT_TRUE(DeleteObject(brush));
}

TEST(Drawing, BitmapsBelongToOneContextAndCopyWithBitBlt) {
    Canvas source(4, 4);
    Canvas target(6, 6);
    SetPixel(source.dc(), 0, 0, RGB(9, 9, 9));
    SetPixel(source.dc(), 3, 3, RGB(7, 7, 7));
    EXPECT_TRUE(BitBlt(target.dc(), 1, 2, 4, 4, source.dc(), 0, 0, SRCCOPY));
    EXPECT_EQ(target.at(1, 2), 0x090909u);
    EXPECT_EQ(target.at(4, 5), 0x070707u);
    EXPECT_EQ(target.at(0, 0), 0u);
    EXPECT_FALSE(BitBlt(target.dc(), 0, 0, 1, 1, source.dc(), 0, 0, 0x00EE0086));

    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(memory, 3, 2);
    ASSERT_NE(bitmap, nullptr);
    BITMAP info{};
    EXPECT_EQ(GetObjectW(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 3);
    EXPECT_EQ(info.bmBitsPixel, 32);
    EXPECT_EQ(info.bmBits, nullptr);
    HGDIOBJ stock = SelectObject(memory, bitmap);
    EXPECT_EQ(GetObjectType(stock), static_cast<DWORD>(OBJ_BITMAP));
    HDC other = CreateCompatibleDC(memory);
    EXPECT_EQ(SelectObject(other, bitmap), nullptr);  // already selected in memory
    EXPECT_FALSE(DeleteObject(bitmap));
    SelectObject(memory, stock);
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(bitmap)), 0u);
    DeleteDC(other);
    DeleteDC(memory);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 2, 2), nullptr);
}

// The box around the pixels that differ from the background.
RECT InkBox(const Canvas& canvas, int w, int h, uint32_t background) {
    RECT box{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (canvas.at(x, y) != background) {
                if (x < box.left) box.left = x;
                if (y < box.top) box.top = y;
                if (x > box.right) box.right = x;
                if (y > box.bottom) box.bottom = y;
            }
    return box;
}

TEST(Drawing, TextStandsWhereItsMetricsPlaceIt) {
    const int w = 120, h = 40;
    Canvas canvas(w, h);
    HFONT font = CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, u"Small Fonts");
    HGDIOBJ old = SelectObject(canvas.dc(), font);
    TEXTMETRICW tm{};
    ASSERT_TRUE(GetTextMetricsW(canvas.dc(), &tm));
    SIZE size{};
    ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc(), "20350", 5, &size));

    // Opaque: the cell is filled exactly; the glyphs stand inside it.
    SetBkColor(canvas.dc(), RGB(0, 0, 255));
    SetTextColor(canvas.dc(), RGB(255, 255, 255));
    EXPECT_TRUE(TextOutA(canvas.dc(), 10, 5, "20350", 5));
    RECT cell = InkBox(canvas, w, h, 0);
    EXPECT_EQ(cell.left, 10);
    EXPECT_EQ(cell.top, 5);
    EXPECT_EQ(cell.right, 10 + size.cx - 1);
    EXPECT_EQ(cell.bottom, 5 + tm.tmHeight - 1);

    // Transparent and centred: the ink lies inside the cell centred on x, the
    // background stays elsewhere.
    RECT all{0, 0, w, h};
    SetBkColor(canvas.dc(), RGB(0, 0, 0));
    ExtTextOutA(canvas.dc(), 0, 0, ETO_OPAQUE, &all, "", 0, nullptr);
    SetBkMode(canvas.dc(), TRANSPARENT);
    EXPECT_EQ(SetTextAlign(canvas.dc(), TA_CENTER | TA_TOP), static_cast<UINT>(TA_LEFT | TA_TOP));
    EXPECT_TRUE(TextOutW(canvas.dc(), 60, 20, u"20350", 5));
    RECT ink = InkBox(canvas, w, h, 0);
    EXPECT_GE(ink.left, 60 - size.cx / 2);
    EXPECT_LE(ink.right, 60 - size.cx / 2 + size.cx - 1);
    EXPECT_LE(ink.left, 60 - size.cx / 2 + 2);
    EXPECT_GE(ink.top, 20);
    EXPECT_LE(ink.bottom, 20 + tm.tmAscent);  // digits sit on the baseline
    EXPECT_GE(ink.bottom, 20 + tm.tmAscent - 2);
    EXPECT_EQ(canvas.at(ink.left + 1, 20 + tm.tmHeight), 0u);

    SelectObject(canvas.dc(), old);
    EXPECT_TRUE(DeleteObject(font));
}

TEST(Drawing, SystemColoursFollowTheDefaultSchemeThroughOleTranslateColor) {
    EXPECT_EQ(GetSysColor(COLOR_BTNFACE), RGB(240, 240, 240));
    EXPECT_EQ(GetSysColor(COLOR_BTNSHADOW), RGB(160, 160, 160));
    EXPECT_EQ(GetSysColor(COLOR_BTNTEXT), RGB(0, 0, 0));
    EXPECT_EQ(GetSysColor(31), 0u);
    EXPECT_EQ(GetSysColor(-1), 0u);

    COLORREF color = 12345;
    EXPECT_EQ(OleTranslateColor(0x8000000F, nullptr, &color), S_OK);
    EXPECT_EQ(color, RGB(240, 240, 240));
    EXPECT_EQ(OleTranslateColor(0x00123456, nullptr, &color), S_OK);
    EXPECT_EQ(color, 0x00123456u);
    EXPECT_EQ(OleTranslateColor(0x80000012, nullptr, nullptr), S_OK);
    color = 777;
    EXPECT_EQ(OleTranslateColor(0x8000001F, nullptr, &color), E_INVALIDARG);
    EXPECT_EQ(OleTranslateColor(0x8001000F, nullptr, &color), E_INVALIDARG);
    EXPECT_EQ(OleTranslateColor(0x04000000, nullptr, &color), E_INVALIDARG);
    EXPECT_EQ(color, 777u);
}

}  // namespace
