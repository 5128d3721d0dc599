// The container library without a window: the site's answer to a changed
// rectangle and the event sink's argument order and connection (closing, the
// property stream and the references are checked in the window by the mouse
// test).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ControlHost.h"
#include "EventSink.h"

namespace {

using controlsite::ComPtr;
using controlsite::ControlHost;
using controlsite::EventArguments;
using controlsite::EventSink;
using controlsite::Site;

struct ComApartment {
    ComApartment() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~ComApartment() { CoUninitialize(); }
};

std::u16string ModulePath() {
    const std::string path = SONALTER_MODULE_PATH;
    return std::u16string(path.begin(), path.end());
}

HRESULT CreateDisplay(ControlHost& host) {
    const std::u16string module = ModulePath();
    return host.Create(CLSID_SonalterDisplay2, module.c_str());
}

// An in-place object that records the rectangles it is given.
class RecordingInPlace final : public IOleInPlaceObject {
public:
    std::vector<RECT> given;
    STDMETHODIMP QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetWindow(HWND*) override { return E_FAIL; }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP InPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP UIDeactivate() override { return S_OK; }
    STDMETHODIMP SetObjectRects(LPCRECT pos, LPCRECT) override {
        given.push_back(*pos);
        return S_OK;
    }
    STDMETHODIMP ReactivateAndUndo() override { return E_NOTIMPL; }
};

TEST(ControlSite, AnswersAChangedRectangleOnceAndTheSameOneNever) {
    ComPtr<Site> site(Site::Create(nullptr));
    RecordingInPlace control;
    site->SetInPlaceObject(&control);
    const RECT placed{10, 20, 110, 70};
    site->SetPosition(placed);

    // The control reports the rectangle it was given (it does on every move): nothing to do.
    ASSERT_EQ(site->OnPosRectChange(&placed), S_OK);
    EXPECT_TRUE(control.given.empty());

    // It asks for another size: the site agrees once and remembers it ...
    const RECT grown{10, 20, 150, 90};
    ASSERT_EQ(site->OnPosRectChange(&grown), S_OK);
    ASSERT_EQ(control.given.size(), 1u);
    EXPECT_EQ(control.given[0].right, 150);
    EXPECT_EQ(control.given[0].bottom, 90);
    EXPECT_EQ(site->Position().right, 150);
    // ... so the control's report of that rectangle ends the exchange.
    ASSERT_EQ(site->OnPosRectChange(&grown), S_OK);
    EXPECT_EQ(control.given.size(), 1u);
    EXPECT_EQ(site->RectsGiven(), 1);

    // The window context hands out the frame (this site) and that rectangle.
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT position{}, clip{};
    OLEINPLACEFRAMEINFO info{};
    ASSERT_EQ(site->GetWindowContext(&frame, &doc, &position, &clip, &info), S_OK);
    EXPECT_EQ(doc, nullptr);
    EXPECT_EQ(position.right, 150);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(site->References(), 2u);
    frame->Release();
    IOleContainer* container = reinterpret_cast<IOleContainer*>(1);
    EXPECT_EQ(site->GetContainer(&container), E_NOINTERFACE);
    EXPECT_EQ(container, nullptr);
    site->SetInPlaceObject(nullptr);
    EXPECT_EQ(site->References(), 1u);
}

TEST(EventSink, ArgumentsInDeclaredOrderAndConnectionLetGo) {
    // Dispatch passes arguments last first: X is the second VARIANT.
    VARIANT args[2];
    VariantInit(&args[0]);
    VariantInit(&args[1]);
    args[0].vt = VT_I4;
    args[0].lVal = 77;  // Y
    args[1].vt = VT_I2;
    args[1].iVal = -5;  // X
    DISPPARAMS params{args, nullptr, 2, 0};
    EventArguments view(&params);
    EXPECT_EQ(view.Long(0), -5);
    EXPECT_EQ(view.Long(1), 77);
    EXPECT_EQ(view.Long(2, 9), 9);

    ComApartment apartment;
    ControlHost host;
    ASSERT_EQ(CreateDisplay(host), S_OK);
    std::vector<std::pair<DISPID, LONG>> seen;
    EventSink* sink = EventSink::Create(DIID__ISonalterDisplay2Events, [&](DISPID id, const EventArguments& a) {
        seen.emplace_back(id, a.Long(0, -1));
    });
    ASSERT_EQ(sink->Connect(host.Object()), S_OK);
    EXPECT_GT(sink->References(), 1u);
    // Invoked as the control's connection point invokes it.
    VARIANT index;
    VariantInit(&index);
    index.vt = VT_I4;
    index.lVal = 3;
    DISPPARAMS one{&index, nullptr, 1, 0};
    EXPECT_EQ(sink->Invoke(6, IID_NULL, 0, DISPATCH_METHOD, &one, nullptr, nullptr, nullptr), S_OK);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(DISPID(6), LONG(3)));

    sink->Disconnect();
    EXPECT_FALSE(sink->Connected());
    EXPECT_EQ(sink->References(), 1u);
    // An object without connection points: refused, nothing held.
    ComPtr<Site> site(Site::Create(nullptr));
    EXPECT_EQ(sink->Connect(static_cast<IOleClientSite*>(site.get())), E_NOINTERFACE);
    EXPECT_EQ(sink->References(), 1u);
    EXPECT_EQ(sink->Release(), 0u);
}

}  // namespace
