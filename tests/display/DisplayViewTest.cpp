// The view protocol: a host draws the control into its own context at any
// position, and its view sink hears of every change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "DisplayTestSupport.h"

namespace qelv::test {
namespace {

class ViewSink : public IAdviseSink {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IAdviseSink)) {
            *ppv = this;
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override {}
    STDMETHODIMP_(void) OnViewChange(DWORD aspect, LONG lindex) override {
        ++changes;
        lastAspect = aspect;
        lastIndex = lindex;
    }
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}
    ULONG refs = 1;
    int changes = 0;
    DWORD lastAspect = 0;
    LONG lastIndex = 0;
};

TEST(DisplayView, DrawsIntoAHostContextAtTheGivenPosition) {
    Control control;
    control->put_BackColor(0x00FF0000);  // blue
    control->put_GridVisible(0);
    control->put_ScaleXVisible(0);
    control->put_ScaleYVisible(0);
    IViewObject2* view = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view)), S_OK);

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 30, 20);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const RECTL bounds{5, 4, 25, 16};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(GetPixel(dc, 5, 4), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 6, 5), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 4, 4), RGB(0, 0, 0));    // outside the rectangle: untouched
    EXPECT_EQ(GetPixel(dc, 25, 15), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(dc, 5, 16), RGB(0, 0, 0));
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, nullptr, nullptr, nullptr, 0),
              E_INVALIDARG);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);

    SIZEL extent{};
    EXPECT_EQ(view->GetExtent(DVASPECT_CONTENT, -1, nullptr, &extent), S_OK);
    EXPECT_EQ(extent.cx, 5080);
    EXPECT_EQ(extent.cy, 5080);
    view->Release();
}

TEST(DisplayView, TheViewSinkHearsOfEveryChangeUntilReleased) {
    Control control;
    ViewSink sink;
    IViewObject2* view = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view)), S_OK);
    EXPECT_EQ(view->SetAdvise(DVASPECT_CONTENT, 0, &sink), S_OK);
    EXPECT_EQ(sink.refs, 2u);
    control->put_BackColor(0x123456);
    control->put_ScaleXMax(1000.0f);
    EXPECT_EQ(sink.changes, 2);
    EXPECT_EQ(sink.lastAspect, static_cast<DWORD>(DVASPECT_CONTENT));
    EXPECT_EQ(sink.lastIndex, -1);
    IAdviseSink* held = nullptr;
    DWORD aspects = 0;
    EXPECT_EQ(view->GetAdvise(&aspects, nullptr, &held), S_OK);
    EXPECT_EQ(held, &sink);
    held->Release();
    EXPECT_EQ(view->SetAdvise(DVASPECT_CONTENT, 4 /* ADVF_ONLYONCE */, &sink), S_OK);
    control->put_GridVisible(0);
    control->put_GridVisible(1);
    EXPECT_EQ(sink.changes, 3);
    EXPECT_EQ(sink.refs, 1u);
    view->Release();
}

// The picture through data transfer: a bottom-up 32-bit DIB of the control's
// size whose rows are the off-screen drawing's, in a block ReleaseStgMedium frees.
TEST(DisplayView, DataTransferGivesThePictureAsABitmap) {
    Control control;
    control->PositionRect = RECT{0, 0, 40, 30};
    control->put_BackColor(0x00123456);
    control->put_GridVisible(0);
    IDataObject* data = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&data)), S_OK);
    FORMATETC format{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&format), S_OK);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
    const BYTE* block = static_cast<const BYTE*>(GlobalLock(medium.hGlobal));
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    EXPECT_EQ(header.biWidth, 40);
    EXPECT_EQ(header.biHeight, 30);
    EXPECT_EQ(header.biBitCount, 32);
    EXPECT_EQ(GlobalSize(medium.hGlobal), sizeof header + 40u * 30u * 4u);

    std::vector<uint32_t> drawn(40 * 30);
    {
        BITMAPINFO info{};
        info.bmiHeader = header;
        info.bmiHeader.biHeight = -30;
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, bitmap);
        const RECTL bounds{0, 0, 40, 30};
        control->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
        std::memcpy(drawn.data(), bits, drawn.size() * 4);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    for (int row = 0; row < 30; ++row) {
        ASSERT_EQ(std::memcmp(block + sizeof header + (29 - row) * 160, drawn.data() + row * 40, 160), 0) << row;
    }
    EXPECT_EQ(drawn[1 * 40 + 1] & 0xFFFFFF, 0x563412u);  // the background, blue in the low byte
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_NULL));

    data->Release();
}

// The picture as a metafile: the METAFILEPICT's mapping mode and HIMETRIC size,
// a window origin and extent a player scales by, and, played into a bitmap of
// the control's size, exactly the pixels the view draws (text included).
TEST(DisplayView, DataTransferGivesThePictureAsAMetafile) {
    Control control;
    control->PositionRect = RECT{0, 0, 150, 90};
    control->put_BackColor(0x00123456);
    SAFEARRAY* points = MakeFloatArray({0, -10, 8000, 12, 22050, 3});
    control->SetPointArray(&points);
    SafeArrayDestroy(points);
    IDataObject* data = nullptr;
    ASSERT_EQ(control->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&data)), S_OK);
    FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    EXPECT_EQ(data->QueryGetData(&format), S_OK);
    FORMATETC canonical{};
    EXPECT_EQ(data->GetCanonicalFormatEtc(&format, &canonical), DATA_S_SAMEFORMATETC);
    EXPECT_EQ(canonical.cfFormat, CF_METAFILEPICT);
    STGMEDIUM medium{};
    ASSERT_EQ(data->GetData(&format, &medium), S_OK);
    ASSERT_EQ(medium.tymed, static_cast<DWORD>(TYMED_MFPICT));
    EXPECT_EQ(medium.pUnkForRelease, nullptr);
    const METAFILEPICT picture = *static_cast<const METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
    GlobalUnlock(medium.hMetaFilePict);
    EXPECT_EQ(picture.mm, MM_ANISOTROPIC);
    EXPECT_EQ(picture.xExt, 3969);  // 150 px at 96 per inch: 3968.75 hundredths of a millimetre
    EXPECT_EQ(picture.yExt, 2381);  // 90 px: 2381.25
    ASSERT_EQ(GetObjectType(reinterpret_cast<HGDIOBJ>(picture.hMF)), static_cast<DWORD>(OBJ_METAFILE));
    std::vector<BYTE> bytes(GetMetaFileBitsEx(picture.hMF, 0, nullptr));
    ASSERT_GE(bytes.size(), 38u);
    GetMetaFileBitsEx(picture.hMF, static_cast<UINT>(bytes.size()), bytes.data());
    const std::vector<BYTE> window = {5, 0, 0, 0, 0x0B, 0x02, 0, 0, 0, 0,       // origin (0, 0)
                                      5, 0, 0, 0, 0x0C, 0x02, 90, 0, 150, 0};  // extent y 90, x 150
    EXPECT_TRUE(std::equal(window.begin(), window.end(), bytes.begin() + 18));

    auto drawOrPlay = [&](bool play) {
        std::vector<uint32_t> pixels(150 * 90);
        BITMAPINFO info{};
        info.bmiHeader = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), 150, -90, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        std::memset(bits, 0xEE, pixels.size() * 4);
        HGDIOBJ old = SelectObject(dc, bitmap);
        const RECTL bounds{0, 0, 150, 90};
        EXPECT_TRUE(play ? PlayMetaFile(dc, picture.hMF) == TRUE
                         : control->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr,
                                         nullptr, 0) == S_OK);
        std::memcpy(pixels.data(), bits, pixels.size() * 4);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return pixels;
    };
    const std::vector<uint32_t> drawn = drawOrPlay(false);
    EXPECT_EQ(drawOrPlay(true), drawn);
    EXPECT_EQ(drawn[2 * 150 + 2] & 0xFFFFFF, 0x563412u);  // the background
    ReleaseStgMedium(&medium);
    EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_NULL));
    EXPECT_FALSE(DeleteMetaFile(picture.hMF));  // freed with the medium

    // Each format on its own medium only; other formats, aspects and indexes
    // are refused before anything is made, with the medium left empty.
    const FORMATETC dib{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    const struct {
        FORMATETC format;
        HRESULT expected;
    } refused[] = {
        {{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}, DV_E_TYMED},
        {{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT}, DV_E_TYMED},
        {{CF_DIB, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM}, DV_E_TYMED},
        {{CF_ENHMETAFILE, nullptr, DVASPECT_CONTENT, -1, TYMED_ENHMF}, DV_E_FORMATETC},
        {{CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT}, DV_E_DVASPECT},
        {{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, 0, TYMED_MFPICT}, DV_E_LINDEX},
    };
    for (auto [other, expected] : refused) {
        EXPECT_EQ(data->QueryGetData(&other), expected) << other.cfFormat << " " << other.tymed;
        medium.tymed = 99;
        EXPECT_EQ(data->GetData(&other, &medium), expected);
        EXPECT_EQ(medium.tymed, static_cast<DWORD>(TYMED_NULL));
    }
    FORMATETC both = dib;
    both.tymed = TYMED_HGLOBAL | TYMED_MFPICT;
    EXPECT_EQ(data->QueryGetData(&both), S_OK);

    // A control without a size has no picture.
    control->PositionRect = RECT{0, 0, 0, 0};
    SIZEL none{0, 0};
    control->SetExtent(DVASPECT_CONTENT, &none);
    EXPECT_EQ(data->GetData(&format, &medium), OLE_E_BLANK);
    EXPECT_EQ(medium.hMetaFilePict, nullptr);
    data->Release();
}

}  // namespace
}  // namespace qelv::test
