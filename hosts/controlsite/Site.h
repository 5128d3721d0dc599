// The container's side of one windowed control: the client site, the in-place
// site and the frame, all in one object, for a control that fills (part of) one
// window of the host. It has no menus, no border space and no container object
// (GetContainer answers E_NOINTERFACE).
#pragma once

#include <qelvsonalter2/QelvSonalter2.h>

namespace controlsite {

class Site final : public IOleClientSite, public IOleInPlaceSite, public IOleInPlaceFrame {
public:
    // Create
    //   [in] window  the host window the control becomes a child of
    //   RETURNS a site with one reference, or null when out of memory.
    static Site* Create(HWND window);

    // The rectangle (client coordinates of the window) the site gives the control
    // when it activates, and the one it last gave through SetObjectRects.
    void SetPosition(const RECT& position) { position_ = position; }
    const RECT& Position() const { return position_; }

    // The control's in-place interface, used to answer OnPosRectChange. Not owned:
    // the host that owns the control sets it while the control is sited and clears
    // it before letting the control go (the control holds the site, so an owning
    // reference here would keep both alive).
    void SetInPlaceObject(IOleInPlaceObject* object) { inPlaceObject_ = object; }

    // Forgets the active object the control registered (and its reference).
    void Detach();

    bool InPlaceActive() const { return inPlaceActive_; }
    bool UIActive() const { return uiActive_; }
    // How often the site moved the control in answer to OnPosRectChange.
    int RectsGiven() const { return rectsGiven_; }
    // The reference count, for tests that check that everything was given back.
    ULONG References() const { return refs_; }

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IOleClientSite
    STDMETHODIMP SaveObject() override;
    STDMETHODIMP GetMoniker(DWORD dwAssign, DWORD dwWhichMoniker, IMoniker** ppmk) override;
    STDMETHODIMP GetContainer(IOleContainer** ppContainer) override;
    STDMETHODIMP ShowObject() override;
    STDMETHODIMP OnShowWindow(BOOL fShow) override;
    STDMETHODIMP RequestNewObjectLayout() override;

    // IOleWindow (shared by the in-place site and the frame)
    STDMETHODIMP GetWindow(HWND* phwnd) override;
    STDMETHODIMP ContextSensitiveHelp(BOOL fEnterMode) override;

    // IOleInPlaceSite
    STDMETHODIMP CanInPlaceActivate() override;
    STDMETHODIMP OnInPlaceActivate() override;
    STDMETHODIMP OnUIActivate() override;
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** ppFrame, IOleInPlaceUIWindow** ppDoc, LPRECT lprcPosRect,
                                  LPRECT lprcClipRect, LPOLEINPLACEFRAMEINFO lpFrameInfo) override;
    STDMETHODIMP Scroll(SIZE scrollExtant) override;
    STDMETHODIMP OnUIDeactivate(BOOL fUndoable) override;
    STDMETHODIMP OnInPlaceDeactivate() override;
    STDMETHODIMP DiscardUndoState() override;
    STDMETHODIMP DeactivateAndUndo() override;
    STDMETHODIMP OnPosRectChange(LPCRECT lprcPosRect) override;

    // IOleInPlaceUIWindow
    STDMETHODIMP GetBorder(LPRECT lprectBorder) override;
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS pborderwidths) override;
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject* pActiveObject, LPCOLESTR pszObjName) override;

    // IOleInPlaceFrame
    STDMETHODIMP InsertMenus(HMENU hmenuShared, LPOLEMENUGROUPWIDTHS lpMenuWidths) override;
    STDMETHODIMP SetMenu(HMENU hmenuShared, HOLEMENU holemenu, HWND hwndActiveObject) override;
    STDMETHODIMP RemoveMenus(HMENU hmenuShared) override;
    STDMETHODIMP SetStatusText(LPCOLESTR pszStatusText) override;
    STDMETHODIMP EnableModeless(BOOL fEnable) override;
    STDMETHODIMP TranslateAccelerator(LPMSG lpmsg, WORD wID) override;

private:
    explicit Site(HWND window) : window_(window) {}
    ~Site();

    ULONG refs_ = 1;
    HWND window_;
    RECT position_{0, 0, 0, 0};
    IOleInPlaceObject* inPlaceObject_ = nullptr;
    IOleInPlaceActiveObject* activeObject_ = nullptr;
    bool inPlaceActive_ = false;
    bool uiActive_ = false;
    int rectsGiven_ = 0;
};

}  // namespace controlsite
