// A windowed control sited in a host window: created by program identifier or
// class (or from a module file when it is not registered), given the site,
// activated in place, resized, saved and loaded through its property stream,
// and closed with every reference given back.
//
//   controlsite::ControlHost host;
//   host.Create(OLESTR("QelvSonalter2.SonalterDisplay2"), modulePath);
//   host.Activate(window, rect);        // SetClientSite, SetExtent, DoVerb
//   host.Display()->put_ScaleXMax(...);
//   host.Resize(newRect);                // SetExtent, then SetObjectRects
//   host.Close();                        // Close, SetClientSite(NULL), release
#pragma once

#include "ComPtr.h"
#include "Site.h"

#include <vector>

namespace controlsite {

// The size of a pixel rectangle in HIMETRIC (0.01 mm) at the screen's pixels
// per inch, rounded as the control rounds back, so that the control's size in
// pixels comes out as the rectangle's.
SIZEL PixelsToHimetric(const RECT& rect);

class ControlHost {
public:
    ControlHost() = default;
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;
    ~ControlHost() { Close(); }

    // Create
    //   [in] progId  program identifier looked up in the registry
    //   [in] module  when not null, the module file to load the class from when
    //                the program identifier is not registered (or its
    //                registration does not load); clsid is then the class asked of it
    //   RETURNS S_OK, or the status of the last route tried.
    HRESULT Create(const OLECHAR* progId, REFCLSID clsid, const OLECHAR* module);
    // Create from a class identifier (registered, or from module when given).
    HRESULT Create(REFCLSID clsid, const OLECHAR* module);

    // Activate
    //   Gives the control a site on window, its extent from rect's size, and
    //   activates it in place there (OLEIVERB_INPLACEACTIVATE), or UI-activates it
    //   (the control's window then has the focus) when uiActivate is set.
    HRESULT Activate(HWND window, const RECT& rect, bool uiActivate = false);

    // Resize: the new extent first (the control keeps its size to it on every
    // redraw), then the new rectangle.
    HRESULT Resize(const RECT& rect);

    // The control's property stream, saved into or loaded from bytes through an
    // HGLOBAL stream. Load works before and after activation.
    HRESULT SaveState(std::vector<unsigned char>& bytes);
    HRESULT LoadState(const std::vector<unsigned char>& bytes);
    // A new control's defaults (IPersistStreamInit::InitNew).
    HRESULT InitNew();

    // Deactivates and closes the control, takes its site away and lets go of
    // every reference. Safe to call more than once.
    void Close();

    IUnknown* Object() const { return object_.get(); }
    IOleObject* OleObject() const { return oleObject_.get(); }
    // The control's dual interface, null when it has none.
    ISonalterDisplay2* Display() const { return display_.get(); }
    // The control's own window (IOleWindow::GetWindow), null when not active.
    HWND ControlWindow() const;
    Site* GetSite() const { return site_.get(); }

private:
    HRESULT Adopt(IUnknown* object);

    ComPtr<IUnknown> object_;
    ComPtr<IOleObject> oleObject_;
    ComPtr<IOleInPlaceObject> inPlace_;
    ComPtr<ISonalterDisplay2> display_;
    ComPtr<Site> site_;
};

}  // namespace controlsite
