// The graphing control sited in a window through the container library, edited
// with posted mouse messages (as the window system delivers a user's presses,
// moves and double clicks), and checked against a model of the editing rules
// of EditingRules.h: the events with their coordinates, and the points after each
// gesture. Then the container's side: resizing without a rectangle ping-pong,
// and every reference given back on close. Ends with "N passed, M failed";
// exits 77 when the platform has no window functions.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "../../display/EditingRules.h"
#include "ControlHost.h"
#include "EventSink.h"

namespace {

int g_passed = 0, g_failed = 0;

bool Check(bool ok, const std::string& what, const std::string& seen = {}) {
    if (ok) {
        ++g_passed;
    } else {
        ++g_failed;
        std::printf("FAIL %s%s%s\n", what.c_str(), seen.empty() ? "" : ": ", seen.c_str());
    }
    return ok;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += (out.empty() ? "" : " | ") + l;
    return out;
}

using qelv::editing::Event;
using qelv::editing::Model;
using qelv::editing::Point;

// An event as "MouseDown 10 20", "ResetPoint 3".
std::string Describe(const Event& e) {
    static const char* const kNames[] = {"", "MouseMove", "MouseUp", "MouseDown", "MouseClick", "MouseDblClick",
                                         "ResetPoint"};
    std::string line = e.id >= 1 && e.id <= 6 ? kNames[e.id] : "?";
    for (int a : e.args) {
        line += ' ';
        line += std::to_string(a);
    }
    return line;
}

std::string Join(const std::vector<Event>& events) {
    std::vector<std::string> lines;
    for (const Event& e : events) lines.push_back(Describe(e));
    return Join(lines);
}

// ---- The control in a window ----------------------------------------------------------

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcW(window, message, wParam, lParam);
}

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

std::vector<Point> ControlPoints(ISonalterDisplay2* display) {
    std::vector<Point> points;
    SAFEARRAY* array = nullptr;
    if (FAILED(display->GetPointArray(&array)) || !array) return points;
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    float* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        for (LONG k = 0; k + 1 <= upper; k += 2) points.push_back({data[k], data[k + 1]});
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return points;
}

std::string Describe(const std::vector<Point>& points) {
    std::string out;
    char text[64];
    for (const Point& p : points) {
        std::snprintf(text, sizeof text, "(%.9g, %.9g) ", static_cast<double>(p.x), static_cast<double>(p.y));
        out += text;
    }
    return out;
}

bool SamePoints(const std::vector<Point>& a, const std::vector<Point>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y) return false;
    }
    return true;
}

struct Fixture {
    HWND frame = nullptr;
    HWND control = nullptr;
    controlsite::ControlHost host;
    controlsite::EventSink* sink = nullptr;
    std::vector<Event> events;
    Model model;

    void Post(UINT message, WPARAM keys, int x, int y) {
        PostMessageW(control, message, keys, MAKELPARAM(static_cast<WORD>(static_cast<SHORT>(x)), static_cast<WORD>(static_cast<SHORT>(y))));
    }
    void Down(int x, int y) {
        Post(WM_LBUTTONDOWN, MK_LBUTTON, x, y);
        model.Down(x, y);
    }
    void Move(int x, int y) {
        Post(WM_MOUSEMOVE, MK_LBUTTON, x, y);
        model.MoveTo(x, y);
    }
    void Up(int x, int y) {
        Post(WM_LBUTTONUP, 0, x, y);
        model.Up(x, y);
    }
    // The sequence a double click arrives as: down, up, double click, up.
    void DoubleClick(int x, int y) {
        Down(x, y);
        Up(x, y);
        Post(WM_LBUTTONDBLCLK, MK_LBUTTON, x, y);
        model.DoubleClick(x, y);
        Up(x, y);
    }
    // Pumps the posted messages and compares events and points with the model.
    void Expect(const std::string& gesture) {
        Pump();
        Check(events == model.events, gesture + ": events", Join(events) + " instead of " + Join(model.events));
        const std::vector<Point> points = ControlPoints(host.Display());
        Check(SamePoints(points, model.points), gesture + ": points",
              Describe(points) + "instead of " + Describe(model.points));
        events.clear();
        model.events.clear();
        model.points = points;  // the next gesture starts from what the control holds
    }
    int PixelX(int i) const {
        int px, py;
        model.ToPixel(model.points[i], px, py);
        return px;
    }
    int PixelY(int i) const {
        int px, py;
        model.ToPixel(model.points[i], px, py);
        return py;
    }
};

int PlotSize(float seen, double range, double offset) {
    return static_cast<int>(std::lround(range * 1000.0 / (static_cast<double>(seen) - offset)));
}

}  // namespace

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        std::printf("cannot start the automation services\n");
        return 1;
    }
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FrameProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = reinterpret_cast<LPCWSTR>(OLESTR("QelvMouseTestFrame"));
    if (!RegisterClassExW(&windowClass)) {
        if (GetLastError() == ERROR_CALL_NOT_IMPLEMENTED) {
            std::printf("skipped: this platform has no window functions yet\n");
            CoUninitialize();
            return 77;
        }
        Check(false, "registering the frame's class");
    }

    Fixture f;
    f.frame = CreateWindowExW(0, windowClass.lpszClassName, reinterpret_cast<LPCWSTR>(OLESTR("mouse test")),
                              WS_OVERLAPPEDWINDOW, 0, 0, 640, 480, nullptr, nullptr, instance, nullptr);
    Check(f.frame != nullptr, "creating the frame window");
    const RECT place{10, 20, 410, 320};  // 400 x 300 at (10, 20)
#ifdef QELV_MOUSE_TEST_MODULE
    // The Linux build loads the module from the build tree when it is not registered.
    std::basic_string<OLECHAR> module;
    for (const char* c = QELV_MOUSE_TEST_MODULE; *c; ++c) module.push_back(static_cast<OLECHAR>(*c));
    const OLECHAR* fallback = module.c_str();
#else
    const OLECHAR* fallback = nullptr;
#endif
    HRESULT hr = f.host.Create(OLESTR("QelvSonalter2.SonalterDisplay2"), CLSID_SonalterDisplay2, fallback);
    Check(SUCCEEDED(hr), "creating the control by program identifier");
    if (!f.frame || FAILED(hr) || !f.host.Display()) {
        std::printf("%d passed, %d failed\n", g_passed, g_failed + 1);
        return 1;
    }
    IUnknown* kept = f.host.Object();
    kept->AddRef();
    f.sink = controlsite::EventSink::Create(DIID__ISonalterDisplay2Events,
                                            [&f](DISPID id, const controlsite::EventArguments& args) {
                                                Event e{static_cast<int>(id), {}};
                                                for (UINT k = 0; k < args.Count(); ++k) e.args.push_back(args.Long(k));
                                                f.events.push_back(e);
                                            });
    Check(SUCCEEDED(f.sink->Connect(f.host.Object())), "connecting the event sink");
    Check(SUCCEEDED(f.host.InitNew()), "InitNew");
    hr = f.host.Activate(f.frame, place);
    Check(SUCCEEDED(hr), "activating in place");
    f.control = f.host.ControlWindow();
    Check(f.control != nullptr, "the control's window");
    Check(f.host.GetSite()->InPlaceActive(), "the site knows the control is active");
    RECT client{};
    GetClientRect(f.control, &client);
    Check(client.right == 400 && client.bottom == 300, "the control's window takes the rectangle's size",
          std::to_string(client.right) + "x" + std::to_string(client.bottom));
    RECT onScreen{};
    GetWindowRect(f.control, &onScreen);
    POINT corner{onScreen.left, onScreen.top};
    ScreenToClient(f.frame, &corner);
    Check(corner.x == 10 && corner.y == 20, "the control's window at the rectangle's corner");
    ShowWindow(f.frame, SW_SHOW);
    Pump();

    // Points to edit, and the plot size as the control measures it.
    SAFEARRAY* start = SafeArrayCreateVector(VT_R4, 0, 8);
    float* data = nullptr;
    SafeArrayAccessData(start, reinterpret_cast<void**>(&data));
    const float initial[8] = {0, 0, 5512.5f, 10, 11025, -5, 22050, 0};
    for (int k = 0; k < 8; ++k) data[k] = initial[k];
    SafeArrayUnaccessData(start);
    f.host.Display()->SetPointArray(&start);
    SafeArrayDestroy(start);
    float sx = 0, sy = 0;
    f.host.Display()->MouseXToScaleX(1000, &sx);
    f.host.Display()->MouseYToScaleY(1000, &sy);
    f.model.plotW = PlotSize(sx, 22050.0, 0.0);
    f.model.plotH = PlotSize(-sy, 40.0, -20.0);
    f.model.w = 400;
    f.model.h = 300;
    f.model.points = ControlPoints(f.host.Display());
    Check(f.model.plotW > 300 && f.model.plotW < 400 && f.model.plotH > 250 && f.model.plotH < 300,
          "a plot inside the control", std::to_string(f.model.plotW) + "x" + std::to_string(f.model.plotH));
    Pump();
    f.events.clear();

    // A click on empty space adds a point there.
    const int emptyX = f.model.plotW * 3 / 4, emptyY = f.model.plotH * 3 / 4;
    f.Down(emptyX, emptyY);
    f.Up(emptyX, emptyY);
    f.Expect("click on empty space");
    Check(f.model.points.size() == 5, "the click added one point");

    // A drag moves point 1 and reports every move.
    int x = f.PixelX(1), y = f.PixelY(1);
    f.Down(x + 2, y - 3);  // within the marker: right 2, up 3
    f.Move(x + 9, y + 4);
    f.Move(x + 15, y + 12);
    f.Up(x + 15, y + 12);
    f.Expect("dragging a point");
    Check(f.model.points.size() == 5, "the drag added nothing");

    // An inner point dragged far left stops at its left neighbour; above the plot at ScaleYMax;
    // at 10 pixels outside the control it stays.
    x = f.PixelX(2);
    y = f.PixelY(2);
    f.Down(x, y);
    f.Move(-10, -10);
    f.Up(-10, -10);
    f.Expect("dragging a point 10 pixels outside");
    Check(f.model.points.size() == 5 && f.model.points[2].y == 20.0f && f.model.points[2].x == f.model.points[1].x,
          "the point stays, held by its neighbour and the scale", Describe(f.model.points));

    // 11 pixels outside removes it; the release after that moves nothing.
    x = f.PixelX(3);
    y = f.PixelY(3);
    f.Down(x, y);
    f.Move(x, y + 5);
    f.Move(-11, y);
    f.Move(20, 20);
    f.Up(20, 20);
    f.Expect("dragging an inner point 11 pixels outside");
    Check(f.model.points.size() == 4, "the point is removed");

    // The last point keeps its x and is never removed.
    const float lastX = f.model.points.back().x;
    x = f.PixelX(3);
    y = f.PixelY(3);
    f.Down(x, y);
    f.Move(x - 100, y + 30);
    f.Move(500, y + 30);
    f.Up(500, y + 30);
    f.Expect("dragging the last point");
    Check(f.model.points.size() == 4 && f.model.points.back().x == lastX, "the last point keeps its x");

    // A double click on a point reports it; on empty space it adds one point (the first press).
    x = f.PixelX(1);
    y = f.PixelY(1);
    f.DoubleClick(x, y);
    f.Expect("double click on a point");
    f.DoubleClick(f.model.plotW / 2 + 7, f.model.plotH / 5);
    f.Expect("double click on empty space");
    Check(f.model.points.size() == 5, "a double click on empty space adds one point");

    // A press over the Y scale adds a point at ScaleXMax, the new last point.
    f.Down(f.model.plotW + 5, f.model.plotH / 2);
    f.Up(f.model.plotW + 5, f.model.plotH / 2);
    f.Expect("a press over the Y scale");
    Check(f.model.points.size() == 6 && f.model.points.back().x == 22050.0f, "the new last point sits at ScaleXMax");

    // Resizing: extent and rectangle together; the control reports no other rectangle,
    // so the site never has to move it back.
    const RECT bigger{10, 20, 530, 380};
    Check(SUCCEEDED(f.host.Resize(bigger)), "resizing");
    f.host.Display()->put_GridVisible(VARIANT_FALSE);  // a redraw
    Pump();
    GetClientRect(f.control, &client);
    Check(client.right == 520 && client.bottom == 360, "the window follows the resize",
          std::to_string(client.right) + "x" + std::to_string(client.bottom));
    Check(f.host.GetSite()->RectsGiven() == 0, "no rectangle ping-pong",
          std::to_string(f.host.GetSite()->RectsGiven()) + " SetObjectRects from OnPosRectChange");

    // The property stream goes through the container and back.
    std::vector<unsigned char> saved;
    f.host.Display()->put_ScaleYMax(12.5f);
    Check(SUCCEEDED(f.host.SaveState(saved)) && saved.size() > 8, "saving the state");
    f.host.Display()->put_ScaleYMax(30.0f);
    Check(SUCCEEDED(f.host.LoadState(saved)), "loading the state");
    float yMax = 0;
    f.host.Display()->get_ScaleYMax(&yMax);
    Check(yMax == 12.5f, "the loaded state's ScaleYMax", std::to_string(yMax));

    // Closing gives everything back: the control's window, the site's references,
    // the sink's, and the control itself.
    f.sink->Disconnect();
    Check(f.sink->References() == 1, "the sink is let go", std::to_string(f.sink->References()));
    f.sink->Release();
    controlsite::Site* site = f.host.GetSite();
    site->AddRef();
    f.host.Close();
    Check(!IsWindow(f.control), "the control's window is destroyed");
    Check(!site->InPlaceActive(), "the site saw the deactivation");
    Check(site->Release() == 0, "the control let go of the site");
    Check(kept->Release() == 0, "the container let go of the control");
    DestroyWindow(f.frame);
    Pump();
    CoUninitialize();
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed == 0 ? 0 : 1;
}
