// DrawGraph: the whole graph in one pass, drawn into an off-screen bitmap and
// copied to the target in one operation, so a window never shows a half-drawn
// graph. Order: background, grid, curve, point markers, scale bands with their
// labels and captions, border. Fills are solid rectangles with exclusive right
// and bottom edges (background colour + opaque ExtTextOut without text); lines
// leave out the end pixel of each segment (MoveToEx/LineTo). Every colour is
// translated with OleTranslateColor when it is used, so system colours follow
// the current scheme. Into a metafile the same copy is recorded as one blit of
// the picture's pixels.
#include <cmath>

#include "display/CurveSmoothing.h"
#include "display/LineSampling.h"
#include "display/ScaleLabels.h"
#include "display/ScaleMargins.h"
#include "display/SonalterDisplay2.h"
#include "display/SplineCurve.h"
#include "display/TopDownBitmap.h"

namespace qelv {
namespace {

// A colour that cannot be translated draws black.
COLORREF Translate(OLE_COLOR color) {
    COLORREF device = 0;
    if (FAILED(OleTranslateColor(color, nullptr, &device))) device = 0;
    return device;
}

void Fill(HDC dc, LONG left, LONG top, LONG right, LONG bottom, OLE_COLOR color) {
    const RECT rect{left, top, right, bottom};
    SetBkColor(dc, Translate(color));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, "", 0, nullptr);
}

void LineToPoint(HDC dc, const ScaleGeometry& g, FLOAT x, FLOAT y) {
    const PixelPoint p = ScaleToPixel(g, x, y);
    LineTo(dc, p.x, p.y);
}

void MoveToPoint(HDC dc, const ScaleGeometry& g, FLOAT x, FLOAT y) {
    const PixelPoint p = ScaleToPixel(g, x, y);
    MoveToEx(dc, p.x, p.y, nullptr);
}

// A float buffer from the process heap, released on every path.
class FloatBuffer {
public:
    explicit FloatBuffer(LONG count)
        : data_(static_cast<FLOAT*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                              static_cast<SIZE_T>(count) * sizeof(FLOAT)))) {}
    ~FloatBuffer() {
        if (data_) HeapFree(GetProcessHeap(), 0, data_);
    }
    FloatBuffer(const FloatBuffer&) = delete;
    FloatBuffer& operator=(const FloatBuffer&) = delete;
    FLOAT* Data() const { return data_; }

private:
    FLOAT* data_;
};

LONG TextWidthA(HDC dc, const char* text, int length) {
    SIZE size{0, 0};
    GetTextExtentPoint32A(dc, text, length, &size);
    return size.cx;
}

LONG CaptionWidth(HDC dc, BSTR caption) {
    SIZE size{0, 0};
    if (caption) GetTextExtentPoint32W(dc, caption, static_cast<int>(SysStringLen(caption)), &size);
    return size.cx;
}

void DrawCaption(HDC dc, int x, int y, BSTR caption) {
    if (caption) TextOutW(dc, x, y, caption, static_cast<int>(SysStringLen(caption)));
}

}  // namespace

void CSonalterDisplay2::DrawCurve(HDC dc, const ScaleGeometry& g) {
    const LONG count = points_.Count();
    const DisplayPoint* points = points_.Points();
    if (SplineType == stOne) {
        if (count < 2) return;
        if (count == 2) {
            MoveToPoint(dc, g, points[0].x, points[0].y);
            LineToPoint(dc, g, points[1].x, points[1].y);
            return;
        }
        SplineVertices spline;
        spline.Build(points, count, SplineSteepnes);
        const DisplayPoint* vertices = spline.Vertices();
        if (spline.Count() <= 0) return;
        MoveToPoint(dc, g, vertices[0].x, vertices[0].y);
        for (LONG k = 1; k < spline.Count(); ++k) LineToPoint(dc, g, vertices[k].x, vertices[k].y);
    } else if (SplineType == stTwo) {
        // No curve for a line array below one value or a plot without columns.
        const LONG n = LineArraySize;
        const LONG W = g.plotWidth;
        if (n < 1 || W <= 0) return;
        FloatBuffer buffer(n);
        FLOAT* values = buffer.Data();
        if (!values) return;
        SampleCurve(points, count, ScaleXMin, ScaleXMax, values, n);
        if (!SmoothCurve(values, n, SplineSteepnes)) return;
        MoveToPoint(dc, g, ScaleXMin, values[0]);
        const double range = static_cast<double>(ScaleXMax) - static_cast<double>(ScaleXMin);
        for (LONG p = 1; p < W; ++p) {
            const long long index = static_cast<long long>(n) * p / W;
            const double x = range * p / W + static_cast<double>(ScaleXMin);
            LineToPoint(dc, g, static_cast<FLOAT>(x), values[index]);
        }
    } else {
        if (count < 1) return;
        MoveToPoint(dc, g, points[0].x, points[0].y);
        for (LONG k = 1; k < count; ++k) LineToPoint(dc, g, points[k].x, points[k].y);
    }
}

// Labels under the inner vertical grid lines 1..12, thinned so neighbours do
// not overlap and kept clear of the caption at the left; then the caption.
void CSonalterDisplay2::DrawXScale(HDC dc, const ScaleGeometry& g) {
    const LONG W = g.plotWidth;
    const LONG H = g.plotHeight;
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    if (W > 0) {
        char text[16];
        LONG lw = TextWidthA(dc, text, DecimalText(TruncateToLong(ScaleXMax), text, sizeof text));
        const LONG minWidth = TextWidthA(dc, text, DecimalText(TruncateToLong(ScaleXMin), text, sizeof text));
        if (minWidth > lw) lw = minWidth;
        const LONG cw = CaptionWidth(dc, ScaleXCaption);
        lw += 8;
        const FLOAT step = static_cast<FLOAT>(static_cast<double>(W) / 13.0);
        const long long skip = 12LL * lw / W + 1;
        const LONG first =
            TruncateToLong(12.0 * cw / W + 12.0 * lw / W / 2.0);
        for (long long k = first < 0 ? 0 : first; k < 12; k += skip) {
            const FLOAT column = static_cast<FLOAT>(k + 1) * step;
            const LONG px = TruncateToLong(static_cast<double>(column));
            const ScalePoint value = PixelToScale(g, px, 0);
            const int length = DecimalText(RoundLabelValue(value.x), text, sizeof text);
            TextOutA(dc, px, H + 3, text, length);
        }
    }
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    DrawCaption(dc, 3, H + 3, ScaleXCaption);
}

// Labels beside the inner horizontal grid lines, centred on them, every s-th
// line so that they do not overlap; the caption takes the top. A plot too low
// for the start index (its divisor is 0) gets no labels.
void CSonalterDisplay2::DrawYScale(HDC dc, const ScaleGeometry& g, LONG textHeight) {
    const LONG W = g.plotWidth;
    const LONG H = g.plotHeight;
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    if (H > 0) {
        const long long s = static_cast<long long>(textHeight) * 8 / H + 1;
        const long long divisor = (s * (static_cast<long long>(H) - 2)) / 8 - textHeight / 8;
        if (divisor != 0) {
            long long j = s + textHeight / divisor;
            if (j < -8) j += ((-8 - j + s - 1) / s) * s;  // labels above the control are not drawn
            char text[16];
            for (; j < 8; j += s) {
                const LONG py = TruncateToLong(static_cast<double>(j) * H / 8.0 + 0.5);
                const ScalePoint value = PixelToScale(g, 0, py);
                const int length = DecimalText(RoundLabelValue(value.y), text, sizeof text);
                TextOutA(dc, W + 3, static_cast<int>(j * H / 8 - textHeight / 2), text, length);
            }
        }
    }
    DrawCaption(dc, W + 3, 2, ScaleYCaption);
}

void CSonalterDisplay2::DrawBorder(HDC dc, LONG w, LONG h) {
    OLE_COLOR first = 0;
    OLE_COLOR second = 0;
    switch (BorderStyle) {
        case bSingle: {
            HPEN pen = CreatePen(PS_SOLID, 1, Translate(BorderColor));
            HGDIOBJ previous = SelectObject(dc, pen);
            MoveToEx(dc, 0, 0, nullptr);
            LineTo(dc, w - 1, 0);
            LineTo(dc, w - 1, h - 1);
            LineTo(dc, 0, h - 1);
            LineTo(dc, 0, 0);
            SelectObject(dc, previous);
            DeleteObject(pen);
            return;
        }
        case bLowered:
            first = 0x80000000 | COLOR_BTNHIGHLIGHT;
            second = 0x80000000 | COLOR_BTNSHADOW;
            break;
        case bRaised:
            first = 0x80000000 | COLOR_BTNSHADOW;
            second = 0x80000000 | COLOR_BTNHIGHLIGHT;
            break;
        default: return;
    }
    // Right and bottom edges in the first colour, left and top in the second.
    HPEN pen = CreatePen(PS_SOLID, 1, Translate(first));
    HGDIOBJ previous = SelectObject(dc, pen);
    MoveToEx(dc, w - 1, 0, nullptr);
    LineTo(dc, w - 1, h - 1);
    LineTo(dc, 0, h - 1);
    SelectObject(dc, previous);
    DeleteObject(pen);
    pen = CreatePen(PS_SOLID, 1, Translate(second));
    previous = SelectObject(dc, pen);
    LineTo(dc, 0, 0);
    LineTo(dc, w - 1, 0);
    SelectObject(dc, previous);
    DeleteObject(pen);
}

HRESULT CSonalterDisplay2::DrawGraph(HDC target, const RECT& bounds) {
    if (!Window) return S_OK;
    return RenderGraph(target, bounds);
}

HRESULT CSonalterDisplay2::RenderGraph(HDC target, const RECT& bounds) {
    const LONG w = bounds.right - bounds.left;
    const LONG h = bounds.bottom - bounds.top;
    if (w <= 0 || h <= 0) return S_OK;
    // A metafile context has no pixels to be compatible with: the picture is
    // then drawn in a 32-bit bitmap and the copy recorded with its pixels.
    const bool toMetafile = GetObjectType(reinterpret_cast<HGDIOBJ>(target)) == OBJ_METADC;
    HDC dc = CreateCompatibleDC(toMetafile ? nullptr : target);
    if (!dc) return E_OUTOFMEMORY;
    void* bits = nullptr;
    HBITMAP bitmap = toMetafile ? CreateTopDownBitmap(w, h, &bits) : CreateCompatibleBitmap(target, w, h);
    if (!bitmap) {
        DeleteDC(dc);
        return E_OUTOFMEMORY;
    }
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);

    ScaleGeometry g{ScaleXMin, ScaleXMax, ScaleYMin, ScaleYMax, LogScale != 0, w - 1, h - 1};
    ScaleMargins margins{0, 0};
    Fill(dc, 0, 0, w, h, BackColor);

    const bool scaleVisible = ScaleXVisible || ScaleYVisible;
    HFONT font = nullptr;
    HGDIOBJ previousFont = nullptr;
    if (scaleVisible) {
        font = ScaleFontHandle();
        margins = MeasureMargins(dc, ScaleYMax, ScaleYMin, ScaleYCaption);
        if (font) previousFont = SelectObject(dc, font);
        if (ScaleYVisible) g.plotWidth = w - margins.labelWidth - 4;
        if (ScaleXVisible) g.plotHeight = h - margins.textHeight - 4;
    }
    const LONG W = g.plotWidth;
    const LONG H = g.plotHeight;

    if (GridVisible) {
        for (long long i = 0; i <= 13; ++i) {
            const LONG x = static_cast<LONG>(static_cast<long long>(W) * i / 13);
            Fill(dc, x, 0, x + 1, H, GridColor);
        }
        for (long long j = 0; j <= 8; ++j) {
            const LONG y = static_cast<LONG>(j * H / 8);
            Fill(dc, 0, y, W + 1, y + 1, GridColor);
        }
    }

    HPEN pen = CreatePen(PS_SOLID, 1, Translate(Color));
    HGDIOBJ previousPen = SelectObject(dc, pen);
    DrawCurve(dc, g);
    for (LONG k = 0; k < points_.Count(); ++k) {
        const PixelPoint p = ScaleToPixel(g, points_.Points()[k].x, points_.Points()[k].y);
        Fill(dc, p.x - 3, p.y - 3, p.x + 3, p.y + 3, PointColor);
    }
    SelectObject(dc, previousPen);
    DeleteObject(pen);

    if (scaleVisible) {
        const LONG e = BorderStyle == bNone ? 1 : 0;
        const LONG right = W + margins.labelWidth + 4;
        const LONG bottom = H + margins.textHeight + 4;
        if (ScaleXVisible) Fill(dc, 0, H + e, right, bottom, ScaleColor);
        if (ScaleYVisible) Fill(dc, W + e, 0, right, bottom, ScaleColor);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, Translate(TextColor));
        if (ScaleXVisible) DrawXScale(dc, g);
        if (ScaleYVisible) DrawYScale(dc, g, margins.textHeight);
        SetBkMode(dc, OPAQUE);
        if (previousFont) SelectObject(dc, previousFont);
    }

    DrawBorder(dc, w, h);

    // In a metafile the copy is the whole picture, so a copy it could not
    // record (out of memory) fails the drawing.
    const BOOL copied = BitBlt(target, bounds.left, bounds.top, w, h, dc, 0, 0, SRCCOPY);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return copied || !toMetafile ? S_OK : E_OUTOFMEMORY;
}

}  // namespace qelv
