// The control sited in a window: in-place activation through a recording
// site, its child window at the site's rectangle, what the window shows
// against the off-screen picture, real input (press, drag, release, double
// click) through the window layer, capture and cursor, size changes told to
// the site, and deactivation. Windows live in memory (no display).
#include <cstdlib>
#include <string>
#include <vector>

#include "DisplayTestSupport.h"
#include "display/TopDownBitmap.h"

namespace qelv::test {
namespace {

const RECT kPosition{10, 20, 210, 120};

// Client site, in-place site and frame in one object, recording the calls the
// control makes in order.
class RecordingSite final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    explicit RecordingSite(HWND window) : window_(window) {}
    std::vector<std::string> calls;
    RECT lastPosition{0, 0, 0, 0};
    IOleInPlaceActiveObject* active = nullptr;
    LONG refs = 1;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IOleClientSite)) {
            *ppv = static_cast<IOleClientSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleWindow) || IsEqualIID(riid, IID_IOleInPlaceSite)) {
            *ppv = static_cast<IOleInPlaceSite*>(this);
        } else if (IsEqualIID(riid, IID_IOleInPlaceUIWindow) || IsEqualIID(riid, IID_IOleInPlaceFrame)) {
            *ppv = static_cast<IOleInPlaceFrame*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--refs); }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker** mk) override {
        *mk = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetContainer(IOleContainer** c) override {
        *c = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return Note("ShowObject"); }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow (shared by the site and the frame)
    STDMETHODIMP GetWindow(HWND* hwnd) override {
        *hwnd = window_;
        return Note("GetWindow");
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override { return Note("CanInPlaceActivate"); }
    STDMETHODIMP OnInPlaceActivate() override { return Note("OnInPlaceActivate"); }
    STDMETHODIMP OnUIActivate() override { return Note("OnUIActivate"); }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** doc, LPRECT pos, LPRECT clip,
                                  LPOLEINPLACEFRAMEINFO) override {
        AddRef();
        *frame = this;
        *doc = nullptr;
        *pos = kPosition;
        *clip = kPosition;
        return Note("GetWindowContext");
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return Note("OnUIDeactivate"); }
    STDMETHODIMP OnInPlaceDeactivate() override { return Note("OnInPlaceDeactivate"); }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT pos) override {
        lastPosition = *pos;
        return Note("OnPosRectChange");
    }

    // IOleInPlaceUIWindow, IOleInPlaceFrame
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* object, LPCOLESTR) override {
        if (object) object->AddRef();
        if (active) active->Release();
        active = object;
        return Note(object ? "SetActiveObject" : "SetActiveObject(null)");
    }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

private:
    HRESULT Note(const char* call) {
        calls.emplace_back(call);
        return S_OK;
    }
    HWND window_;
};

// A plain top-level window to site the control in.
HWND MakeFrameWindow() {
    static const OLECHAR kClass[] = OLESTR("QelvInPlaceTestFrame");
    WNDCLASSEXW c{};
    c.cbSize = sizeof c;
    c.lpfnWndProc = DefWindowProcW;
    c.lpszClassName = reinterpret_cast<LPCWSTR>(kClass);
    RegisterClassExW(&c);
    return CreateWindowExW(0, reinterpret_cast<LPCWSTR>(kClass), nullptr, WS_OVERLAPPEDWINDOW, 0, 0, 400, 300,
                           nullptr, nullptr, nullptr, nullptr);
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// The pixels of a w x h picture drawn by draw(dc) into a memory context.
template <class Draw>
std::vector<uint32_t> Pixels(LONG w, LONG h, Draw draw) {
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateTopDownBitmap(w, h, &bits);
    HGDIOBJ old = SelectObject(dc, bitmap);
    draw(dc);
    std::vector<uint32_t> out(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + w * h);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return out;
}

TEST(InPlace, ActivationWindowInputAndDeactivation) {
    unsetenv("DISPLAY");
    HWND frame = MakeFrameWindow();
    ASSERT_NE(frame, nullptr);
    ShowWindow(frame, SW_SHOW);
    RecordingSite site(frame);
    Control control;
    SIZEL extent{MulDiv(200, 2540, 96), MulDiv(100, 2540, 96)};
    ASSERT_EQ(control->SetExtent(DVASPECT_CONTENT, &extent), S_OK);
    ASSERT_EQ(control->SetClientSite(&site), S_OK);
    DWORD status = 0;
    control->GetMiscStatus(DVASPECT_CONTENT, &status);
    EXPECT_EQ(status, 131473u);

    ASSERT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, frame, &kPosition), S_OK);
    // (The new window's move message tells the site its rectangle.)
    EXPECT_EQ(site.calls, (std::vector<std::string>{"CanInPlaceActivate", "OnInPlaceActivate", "GetWindow",
                                                    "GetWindowContext", "OnPosRectChange", "ShowObject"}));
    EXPECT_EQ(site.lastPosition.left, kPosition.left);
    EXPECT_EQ(site.lastPosition.bottom, kPosition.bottom);
    HWND window = nullptr;
    ASSERT_EQ(control->GetWindow(&window), S_OK);
    EXPECT_EQ(GetParent(window), frame);
    EXPECT_TRUE(IsWindowVisible(window));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 100);
    Pump();

    // The window shows what the control draws off screen at its size.
    control->put_BackColor(0x00302010);
    const std::vector<uint32_t> shown = Pixels(200, 100, [&](HDC dc) {
        HDC source = GetDC(window);
        BitBlt(dc, 0, 0, 200, 100, source, 0, 0, SRCCOPY);
        ReleaseDC(window, source);
    });
    const std::vector<uint32_t> drawn = Pixels(200, 100, [&](HDC dc) {
        const RECTL bounds{0, 0, 200, 100};
        control->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
    });
    EXPECT_EQ(shown, drawn);

    // A press on empty space: the control becomes UI active (frame told),
    // captures the mouse, adds a point; a drag outside keeps the capture and
    // reports negative coordinates; the release ends it.
    IConnectionPoint* point = nullptr;
    ASSERT_EQ(control->FindConnectionPoint(DIID__ISonalterDisplay2Events, &point), S_OK);
    EventSink sink;
    DWORD cookie = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    site.calls.clear();
    ASSERT_TRUE(QelvInjectMouse(window, WM_LBUTTONDOWN, 50, 40));
    Pump();
    EXPECT_EQ(GetCapture(), window);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"OnUIActivate", "SetActiveObject"}));
    EXPECT_EQ(GetCursor(), control->PointCursor);
    EXPECT_EQ(PointArrayOf(control.get()).size(), 6u);
    ASSERT_TRUE(QelvInjectMouse(window, WM_MOUSEMOVE, -5, 10));
    ASSERT_TRUE(QelvInjectMouse(window, WM_LBUTTONUP, -5, 10));
    Pump();
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(sink.events, (std::vector<std::string>{"3:50,40", "1:-5,10", "2:-5,10", "4:-5,10"}));

    // Moving off every point restores the cursor the point cursor replaced.
    ASSERT_TRUE(QelvInjectMouse(window, WM_MOUSEMOVE, 150, 90));
    Pump();
    EXPECT_NE(GetCursor(), control->PointCursor);
    point->Unadvise(cookie);
    point->Release();

    // A new extent: the next redraw gives the site the new rectangle.
    site.calls.clear();
    extent = SIZEL{MulDiv(300, 2540, 96), MulDiv(150, 2540, 96)};
    control->SetExtent(DVASPECT_CONTENT, &extent);
    control->put_GridVisible(0);
    EXPECT_EQ(site.calls, (std::vector<std::string>{"OnPosRectChange"}));
    EXPECT_EQ(site.lastPosition.right - site.lastPosition.left, 300);
    EXPECT_EQ(site.lastPosition.bottom - site.lastPosition.top, 150);

    // Deactivation takes the UI away, destroys the window and tells the site;
    // every reference to the site is given back.
    site.calls.clear();
    EXPECT_EQ(control->Close(OLECLOSE_NOSAVE), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(site.calls, (std::vector<std::string>{"SetActiveObject(null)", "OnUIDeactivate", "OnInPlaceDeactivate"}));
    EXPECT_EQ(control->GetWindow(&window), E_FAIL);
    control->SetClientSite(nullptr);
    EXPECT_EQ(site.refs, 1);
    DestroyWindow(frame);
}

TEST(InPlace, RefusedOrWindowlessActivation) {
    unsetenv("DISPLAY");
    Control control;
    // Without a site there is nothing to activate in.
    EXPECT_EQ(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, -1, nullptr, nullptr), S_OK);
    HWND window = nullptr;
    EXPECT_EQ(control->GetWindow(&window), E_FAIL);

    // A site whose window is not a window: the control does not activate.
    RecordingSite site(nullptr);
    control->SetClientSite(&site);
    EXPECT_TRUE(FAILED(control->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, &site, -1, nullptr, nullptr)));
    EXPECT_EQ(control->GetWindow(&window), E_FAIL);
    EXPECT_EQ(site.calls.back(), "OnInPlaceDeactivate");
    control->SetClientSite(nullptr);
    EXPECT_EQ(site.refs, 1);
}

}  // namespace
}  // namespace qelv::test
