// sonalter-draw: a window whose client area is the graphing control, for
// drawing a curve with the mouse and saving it (points, line array, the
// control's state) for a transform; optionally runs the transform tool with it.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "ControlHost.h"
#include "EventSink.h"
#include "Files.h"
#include "Options.h"
#include "../../display/TopDownBitmap.h"

namespace draw {
namespace {

const OLECHAR kWindowClass[] = OLESTR("QelvSonalterDraw");
const OLECHAR kProgramId[] = OLESTR("QelvSonalter2.SonalterDisplay2");

// UTF-8 to the platform's wide strings (WCHAR is UTF-16 on both targets).
std::basic_string<OLECHAR> Wide(const std::string& text) {
    std::basic_string<OLECHAR> out;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        unsigned long code = c;
        int more = 0;
        if (c >= 0xF0) code = c & 0x07, more = 3;
        else if (c >= 0xE0) code = c & 0x0F, more = 2;
        else if (c >= 0xC0) code = c & 0x1F, more = 1;
        ++i;
        for (int k = 0; k < more && i < text.size(); ++k, ++i) code = (code << 6) | (text[i] & 0x3F);
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<OLECHAR>(0xD800 + (code >> 10)));
            out.push_back(static_cast<OLECHAR>(0xDC00 + (code & 0x3FF)));
        } else {
            out.push_back(static_cast<OLECHAR>(code));
        }
    }
    return out;
}

std::filesystem::path ProgramDirectory() {
#ifdef _WIN32
    wchar_t buffer[32768];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, 32768);
    if (n == 0 || n >= 32768) return std::filesystem::path(".");
    return std::filesystem::path(std::wstring(buffer, n)).parent_path();
#else
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
#endif
}

// The control's module beside this program: the DLL in the same folder on
// Windows, ../lib/qelvsonalter2 in the Linux build tree and installation.
std::string ModuleBesideProgram() {
    const std::filesystem::path bin = ProgramDirectory();
#ifdef _WIN32
    return (bin / "QelvSonalter2.dll").string();
#else
    return (bin / ".." / "lib" / "qelvsonalter2" / "QelvSonalter2.so").lexically_normal().string();
#endif
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(static_cast<ULONG>(hr)));
    return text;
}

std::vector<float> ReadFloats(SAFEARRAY* array) {
    std::vector<float> values;
    if (!array) return values;
    LONG upper = -1;
    SafeArrayGetUBound(array, 1, &upper);
    float* data = nullptr;
    if (upper >= 0 && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        values.assign(data, data + upper + 1);
        SafeArrayUnaccessData(array);
    }
    SafeArrayDestroy(array);
    return values;
}

class Viewer {
public:
    explicit Viewer(const Options& options) : o_(options) {}
    int Run();

    LRESULT FrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    bool Setup();
    bool ApplyPreset();
    bool LoadFiles();
    bool Save();
    bool Snapshot();
    int Apply();
    void Quit();
    void OnEvent(DISPID id, const controlsite::EventArguments& args);
    bool Report(HRESULT hr, const std::string& what);

    const Options& o_;
    HWND frame_ = nullptr;
    controlsite::ControlHost host_;
    controlsite::EventSink* sink_ = nullptr;
    bool failed_ = false;
    bool quitting_ = false;
};

Viewer* g_viewer = nullptr;

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (g_viewer) return g_viewer->FrameMessage(window, message, wParam, lParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

bool Viewer::Report(HRESULT hr, const std::string& what) {
    if (SUCCEEDED(hr)) return true;
    std::fprintf(stderr, "sonalter-draw: %s failed (status %s)\n", what.c_str(), Hex(hr).c_str());
    failed_ = true;
    return false;
}

// Scale limits in an order every valid pair accepts (widen first, then
// narrow), then the preset's captions, scale type and line array size.
bool Viewer::ApplyPreset() {
    ISonalterDisplay2* d = host_.Display();
    const Preset& p = *o_.preset;
    const float xMax = p.xMax < 0 ? static_cast<float>(o_.rate) / 2.0f : p.xMax;
    float current = 0.0f;
    d->get_ScaleXMax(&current);
    if (p.xMin < current) {
        if (!Report(d->put_ScaleXMin(p.xMin), "ScaleXMin") || !Report(d->put_ScaleXMax(xMax), "ScaleXMax")) return false;
    } else if (!Report(d->put_ScaleXMax(xMax), "ScaleXMax") || !Report(d->put_ScaleXMin(p.xMin), "ScaleXMin")) {
        return false;
    }
    d->get_ScaleYMax(&current);
    if (p.yMin < current) {
        if (!Report(d->put_ScaleYMin(p.yMin), "ScaleYMin") || !Report(d->put_ScaleYMax(p.yMax), "ScaleYMax")) return false;
    } else if (!Report(d->put_ScaleYMax(p.yMax), "ScaleYMax") || !Report(d->put_ScaleYMin(p.yMin), "ScaleYMin")) {
        return false;
    }
    BSTR x = SysAllocString(Wide(p.xCaption).c_str());
    BSTR y = SysAllocString(Wide(p.yCaption).c_str());
    const bool ok = Report(d->put_ScaleXCaption(x), "ScaleXCaption") && Report(d->put_ScaleYCaption(y), "ScaleYCaption");
    SysFreeString(x);
    SysFreeString(y);
    return ok && Report(d->put_LogScale(p.logScale ? VARIANT_TRUE : VARIANT_FALSE), "LogScale") &&
           Report(d->put_LineArraySize(p.lineArraySize), "LineArraySize");
}

// The state file (when it exists) over the preset, the visibility options over
// that, then the points file (when it exists), else the two end points at the
// preset's neutral level.
bool Viewer::LoadFiles() {
    std::string error;
    std::error_code ec;
    if (!o_.state.empty() && std::filesystem::exists(o_.state, ec)) {
        std::vector<unsigned char> bytes;
        if (!ReadBytes(o_.state, bytes, error)) {
            std::fprintf(stderr, "sonalter-draw: %s\n", error.c_str());
            return false;
        }
        if (!Report(host_.LoadState(bytes), "loading the state " + o_.state)) return false;
    }
    ISonalterDisplay2* d = host_.Display();
    if ((o_.noGrid && !Report(d->put_GridVisible(VARIANT_FALSE), "GridVisible")) ||
        (o_.noXScale && !Report(d->put_ScaleXVisible(VARIANT_FALSE), "ScaleXVisible")) ||
        (o_.noYScale && !Report(d->put_ScaleYVisible(VARIANT_FALSE), "ScaleYVisible"))) {
        return false;
    }
    std::vector<float> pairs;
    if (!o_.points.empty() && std::filesystem::exists(o_.points, ec)) {
        if (!ReadPoints(o_.points, pairs, error)) {
            std::fprintf(stderr, "sonalter-draw: %s\n", error.c_str());
            return false;
        }
    }
    if (pairs.size() < 4) {
        float xMin = 0.0f, xMax = 0.0f;
        host_.Display()->get_ScaleXMin(&xMin);
        host_.Display()->get_ScaleXMax(&xMax);
        pairs = {xMin, o_.preset->neutral, xMax, o_.preset->neutral};
    }
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(pairs.size()));
    if (!array) return Report(E_OUTOFMEMORY, "the points");
    float* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::memcpy(data, pairs.data(), pairs.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    const HRESULT hr = host_.Display()->SetPointArray(&array);
    SafeArrayDestroy(array);
    return Report(hr, "setting the points");
}

bool Viewer::Setup() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = FrameProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the standard arrow
    windowClass.lpszClassName = reinterpret_cast<LPCWSTR>(kWindowClass);
    if (!RegisterClassExW(&windowClass)) {
        std::fprintf(stderr, "sonalter-draw: cannot register the window class (error %lu)\n",
                     static_cast<unsigned long>(GetLastError()));
        return false;
    }
    const std::basic_string<OLECHAR> title = Wide(std::string("sonalter-draw: ") + o_.preset->name);
    frame_ = CreateWindowExW(0, reinterpret_cast<LPCWSTR>(kWindowClass), reinterpret_cast<LPCWSTR>(title.c_str()),
                             WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, static_cast<int>(o_.width),
                             static_cast<int>(o_.height), nullptr, nullptr, instance, nullptr);
    if (!frame_) {
        std::fprintf(stderr, "sonalter-draw: cannot create a window (error %lu); is there a display?\n",
                     static_cast<unsigned long>(GetLastError()));
        return false;
    }
#ifndef _WIN32
    // Without an X display the window layer keeps windows in memory: nobody
    // could draw, and the viewer would wait for ever.
    if (!QelvHasDisplay()) {
        std::fprintf(stderr, "sonalter-draw: no X display (DISPLAY is unset or cannot be opened); "
                             "the viewer needs one (sonalter-curve draws pictures without)\n");
        return false;
    }
#endif
    // The outer size that gives the client area the size asked for.
    RECT outer{}, client{};
    GetWindowRect(frame_, &outer);
    GetClientRect(frame_, &client);
    const int extraX = (outer.right - outer.left) - (client.right - client.left);
    const int extraY = (outer.bottom - outer.top) - (client.bottom - client.top);
    SetWindowPos(frame_, nullptr, 0, 0, static_cast<int>(o_.width) + extraX, static_cast<int>(o_.height) + extraY,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    GetClientRect(frame_, &client);

    const std::basic_string<OLECHAR> module = Wide(ModuleBesideProgram());
    if (!Report(host_.Create(kProgramId, CLSID_SonalterDisplay2, module.c_str()),
                "creating QelvSonalter2.SonalterDisplay2 (registered, or from " + ModuleBesideProgram() + ")")) {
        return false;
    }
    if (!host_.Display()) return Report(E_NOINTERFACE, "the control's ISonalterDisplay2");
    if (!Report(host_.InitNew(), "initialising the control") || !ApplyPreset() || !LoadFiles()) return false;
    // Events: logged with --log-events, and ResetPoint answered always.
    sink_ = controlsite::EventSink::Create(
        DIID__ISonalterDisplay2Events,
        [this](DISPID id, const controlsite::EventArguments& args) { OnEvent(id, args); });
    if (!sink_) return Report(E_OUTOFMEMORY, "the event sink");
    if (!Report(sink_->Connect(host_.Object()), "connecting to the control's events")) return false;
    ShowWindow(frame_, SW_SHOW);
    UpdateWindow(frame_);
    return Report(host_.Activate(frame_, client, true), "activating the control in the window");
}

void Viewer::OnEvent(DISPID id, const controlsite::EventArguments& args) {
    static const char* const kNames[] = {"", "MouseMove", "MouseUp", "MouseDown", "MouseClick", "MouseDblClick",
                                         "ResetPoint"};
    if (o_.logEvents && id >= 1 && id <= 6) {
        std::string line = kNames[id];
        for (UINT k = 0; k < args.Count(); ++k) {
            line += ' ';
            line += std::to_string(args.Long(k));
        }
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    }
    // A double-clicked point goes back to the neutral level, keeping its x.
    if (id == 6 && host_.Display()) {
        const LONG index = args.Long(0, -1);
        const std::vector<float> pairs = [&] {
            SAFEARRAY* array = nullptr;
            host_.Display()->GetPointArray(&array);
            return ReadFloats(array);
        }();
        if (index >= 0 && static_cast<size_t>(2 * index + 1) < pairs.size()) {
            host_.Display()->SetPoint(index, pairs[2 * index], o_.preset->neutral);
        }
    }
}

bool Viewer::Save() {
    ISonalterDisplay2* d = host_.Display();
    if (!d) return false;
    bool ok = true;
    std::string error;
    auto write = [&](const std::string& path, const std::string& contents) {
        if (WriteAtomically(path, contents, error)) {
            std::fprintf(stderr, "sonalter-draw: saved %s\n", path.c_str());
        } else {
            std::fprintf(stderr, "sonalter-draw: %s\n", error.c_str());
            ok = false;
        }
    };
    SAFEARRAY* array = nullptr;
    const bool needPoints = !o_.points.empty() || (o_.preset->usesPoints && !o_.out.empty());
    std::vector<float> pairs;
    if (needPoints) {
        if (!Report(d->GetPointArray(&array), "GetPointArray")) return false;
        pairs = ReadFloats(array);
    }
    if (!o_.points.empty()) write(o_.points, FormatPoints(pairs));
    if (!o_.out.empty()) {
        if (!Report(d->GetLineArray(&array), "GetLineArray")) return false;
        write(o_.out, FormatValues(ReadFloats(array)));
        if (o_.preset->usesPoints) {
            std::vector<float> xs, ys;
            for (size_t k = 0; k + 1 < pairs.size(); k += 2) {
                xs.push_back(pairs[k]);
                ys.push_back(pairs[k + 1]);
            }
            write(o_.out + ".gains", FormatValues(ys));
            write(o_.out + ".freqs", FormatValues(xs));
        }
    }
    if (!o_.state.empty()) {
        std::vector<unsigned char> bytes;
        if (!Report(host_.SaveState(bytes), "saving the control's state")) return false;
        write(o_.state, std::string(bytes.begin(), bytes.end()));
    }
    if (!ok) failed_ = true;
    return ok;
}

// The control's window as it shows now: its device context copied into a
// memory bitmap, as a screen capture does.
bool Viewer::Snapshot() {
    HWND window = host_.ControlWindow();
    if (!window) return Report(E_FAIL, "the snapshot (the control has no window)");
    UpdateWindow(window);
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right - client.left, height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return Report(E_FAIL, "the snapshot (the window is empty)");
    void* bits = nullptr;
    HBITMAP bitmap = qelv::CreateTopDownBitmap(width, height, &bits);
    if (!bitmap) return Report(E_OUTOFMEMORY, "the snapshot bitmap");
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const BOOL copied = source && memory && BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    bool ok = false;
    if (copied) {
        std::string error;
        ok = WriteAtomically(o_.snapshot, EncodePng(static_cast<const uint32_t*>(bits), width, height), error);
        if (!ok) std::fprintf(stderr, "sonalter-draw: %s\n", error.c_str());
    } else {
        std::fprintf(stderr, "sonalter-draw: cannot read the window's picture\n");
    }
    SelectObject(memory, previous);
    if (memory) DeleteDC(memory);
    if (source) ReleaseDC(window, source);
    DeleteObject(bitmap);
    if (!ok) failed_ = true;
    return ok;
}

// Saves, takes the snapshot, closes the control and the window (once).
void Viewer::Quit() {
    if (quitting_) return;
    quitting_ = true;
    Save();
    if (!o_.snapshot.empty()) Snapshot();
    if (sink_) {
        sink_->Disconnect();
        sink_->Release();
        sink_ = nullptr;
    }
    host_.Close();
    DestroyWindow(frame_);
}

LRESULT Viewer::FrameMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_SIZE:
        // The control follows the client area; a minimised window keeps it as it was.
        if (wParam != SIZE_MINIMIZED && host_.ControlWindow()) {
            RECT client{0, 0, LOWORD(lParam), HIWORD(lParam)};
            host_.Resize(client);
        }
        return 0;
    case WM_CLOSE:
        Quit();
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Runs the transform tool beside this program on the saved curve.
int Viewer::Apply() {
    const std::filesystem::path bin = ProgramDirectory();
#ifdef _WIN32
    const std::filesystem::path tool = bin / "sonalter.exe";
#else
    const std::filesystem::path tool = bin / "sonalter";
#endif
    std::error_code ec;
    if (!std::filesystem::exists(tool, ec)) {
        std::fprintf(stderr, "sonalter-draw: --apply: there is no %s beside this program\n", tool.string().c_str());
        return 1;
    }
#ifdef _WIN32
    // cmd.exe: double quotes around each word (file names cannot hold them).
    auto quote = [](const std::string& text) { return "\"" + text + "\""; };
#else
    // sh: single quotes, a single quote inside closed, escaped and reopened.
    auto quote = [](const std::string& text) {
        std::string q = "'";
        for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
#endif
    std::string command = quote(tool.string()) + " " + quote(o_.applyIn) + " " + quote(o_.applyOut) + " " +
                          o_.preset->method;
    if (o_.preset->usesPoints) {
        command += " " + quote("@" + o_.out + ".gains") + " " + quote("@" + o_.out + ".freqs");
    } else {
        command += " " + quote("@" + o_.out);
    }
    std::fprintf(stderr, "sonalter-draw: running %s\n", command.c_str());
    std::fflush(stderr);
#ifdef _WIN32
    // cmd /c drops the outer pair of quotes when the line starts with one.
    const int status = std::system(("\"" + command + "\"").c_str());
#else
    const int status = std::system(command.c_str());
#endif
    if (status != 0) {
        std::fprintf(stderr, "sonalter-draw: the transform tool failed (status %d)\n", status);
        return 1;
    }
    return 0;
}

int Viewer::Run() {
    const HRESULT apartment = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(apartment)) {
        std::fprintf(stderr, "sonalter-draw: cannot start the automation services (status %s)\n",
                     Hex(apartment).c_str());
        return 1;
    }
    int status = 1;
    if (Setup()) {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            // The keys reach whichever window has the focus (the control's after
            // activation): the viewer reads them before they are dispatched.
            if (msg.message == WM_KEYDOWN && !quitting_) {
                if (msg.wParam == VK_ESCAPE) {
                    PostMessageW(frame_, WM_CLOSE, 0, 0);
                    continue;
                }
                if (msg.wParam == 'S') {
                    Save();
                    continue;
                }
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        status = failed_ ? 1 : 0;
    }
    if (sink_) {
        sink_->Disconnect();
        sink_->Release();
        sink_ = nullptr;
    }
    host_.Close();
    if (frame_ && IsWindow(frame_)) DestroyWindow(frame_);
    CoUninitialize();
    if (status == 0 && !o_.applyIn.empty()) status = Apply();
    return status;
}

}  // namespace
}  // namespace draw

int main(int argc, char** argv) {
    const draw::Options options = draw::ParseOptions(argc, argv);
    draw::Viewer viewer(options);
    draw::g_viewer = &viewer;
    const int status = viewer.Run();
    draw::g_viewer = nullptr;
    return status;
}
