#include "ControlHost.h"

#include <cstring>

namespace controlsite {

namespace {

HRESULT CreateFromModule(const OLECHAR* module, REFCLSID clsid, IUnknown** object) {
    *object = nullptr;
    SetLastError(0);
    HMODULE library = LoadLibraryW(reinterpret_cast<LPCWSTR>(module));
    if (!library) {
        const DWORD error = GetLastError();
        return HRESULT_FROM_WIN32(error ? error : ERROR_MOD_NOT_FOUND);
    }
    // Entry points have fixed signatures; converting through void(*)() is the
    // sanctioned way between function pointer types.
    auto getClassObject = reinterpret_cast<LPFNGETCLASSOBJECT>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "DllGetClassObject")));
    if (!getClassObject) {
        FreeLibrary(library);
        return CO_E_ERRORINDLL;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.putVoid());
    if (SUCCEEDED(hr) && !factory) hr = E_POINTER;
    if (SUCCEEDED(hr)) hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(object));
    if (SUCCEEDED(hr) && !*object) hr = E_POINTER;
    // The module stays loaded once an object lives in it.
    if (FAILED(hr)) {
        factory.reset();
        FreeLibrary(library);
    }
    return hr;
}

HRESULT CreateRegistered(REFCLSID clsid, IUnknown** object) {
    *object = nullptr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(object));
}

}  // namespace

SIZEL PixelsToHimetric(const RECT& rect) {
    HDC screen = GetDC(nullptr);
    const int perInchX = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    const int perInchY = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    SIZEL size;
    // 2540 HIMETRIC units to the inch; a unit is finer than a pixel, so the
    // control's rounding back to pixels gives the same count.
    size.cx = MulDiv(rect.right - rect.left, 2540, perInchX > 0 ? perInchX : 96);
    size.cy = MulDiv(rect.bottom - rect.top, 2540, perInchY > 0 ? perInchY : 96);
    if (size.cx < 0) size.cx = 0;
    if (size.cy < 0) size.cy = 0;
    return size;
}

HRESULT ControlHost::Create(const OLECHAR* progId, REFCLSID clsid, const OLECHAR* module) {
    Close();
    CLSID registered{};
    HRESULT hr = progId ? CLSIDFromProgID(progId, &registered) : CO_E_CLASSSTRING;
    IUnknown* object = nullptr;
    if (SUCCEEDED(hr)) hr = CreateRegistered(registered, &object);
    if (FAILED(hr) && module) hr = CreateFromModule(module, clsid, &object);
    if (FAILED(hr)) return hr;
    return Adopt(object);
}

HRESULT ControlHost::Create(REFCLSID clsid, const OLECHAR* module) {
    Close();
    IUnknown* object = nullptr;
    HRESULT hr = CreateRegistered(clsid, &object);
    if (FAILED(hr) && module) hr = CreateFromModule(module, clsid, &object);
    if (FAILED(hr)) return hr;
    return Adopt(object);
}

// Takes over the new object's reference and asks for the interfaces a container
// needs; the dual interface is optional.
HRESULT ControlHost::Adopt(IUnknown* object) {
    ComPtr<IUnknown> held(object);
    ComPtr<IOleObject> ole;
    HRESULT hr = held->QueryInterface(IID_IOleObject, ole.putVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IOleInPlaceObject> inPlace;
    hr = held->QueryInterface(IID_IOleInPlaceObject, inPlace.putVoid());
    if (FAILED(hr)) return hr;
    held->QueryInterface(IID_ISonalterDisplay2, display_.putVoid());
    object_ = std::move(held);
    oleObject_ = std::move(ole);
    inPlace_ = std::move(inPlace);
    return S_OK;
}

HRESULT ControlHost::Activate(HWND window, const RECT& rect, bool uiActivate) {
    if (!oleObject_) return E_UNEXPECTED;
    if (!site_) {
        site_ = ComPtr<Site>(Site::Create(window));
        if (!site_) return E_OUTOFMEMORY;
        site_->SetInPlaceObject(inPlace_.get());
        const HRESULT hr = oleObject_->SetClientSite(site_.get());
        if (FAILED(hr)) return hr;
    }
    site_->SetPosition(rect);
    SIZEL extent = PixelsToHimetric(rect);
    HRESULT hr = oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
    if (FAILED(hr)) return hr;
    RECT position = rect;
    return oleObject_->DoVerb(uiActivate ? OLEIVERB_UIACTIVATE : OLEIVERB_INPLACEACTIVATE, nullptr, site_.get(), 0,
                              window, &position);
}

HRESULT ControlHost::Resize(const RECT& rect) {
    if (!oleObject_ || !inPlace_) return E_UNEXPECTED;
    SIZEL extent = PixelsToHimetric(rect);
    HRESULT hr = oleObject_->SetExtent(DVASPECT_CONTENT, &extent);
    if (FAILED(hr)) return hr;
    if (site_) site_->SetPosition(rect);
    RECT position = rect;
    return inPlace_->SetObjectRects(&position, &position);
}

HWND ControlHost::ControlWindow() const {
    if (!inPlace_) return nullptr;
    HWND window = nullptr;
    if (FAILED(inPlace_->GetWindow(&window))) return nullptr;
    return window;
}

HRESULT ControlHost::InitNew() {
    if (!object_) return E_UNEXPECTED;
    ComPtr<IPersistStreamInit> persist;
    HRESULT hr = object_->QueryInterface(IID_IPersistStreamInit, persist.putVoid());
    return FAILED(hr) ? hr : persist->InitNew();
}

HRESULT ControlHost::SaveState(std::vector<unsigned char>& bytes) {
    if (!object_) return E_UNEXPECTED;
    ComPtr<IPersistStreamInit> persist;
    HRESULT hr = object_->QueryInterface(IID_IPersistStreamInit, persist.putVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (SUCCEEDED(hr)) hr = persist->Save(stream.get(), TRUE);
    STATSTG stat{};
    if (SUCCEEDED(hr)) hr = stream->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL memory = nullptr;
    if (SUCCEEDED(hr)) hr = GetHGlobalFromStream(stream.get(), &memory);
    if (FAILED(hr)) return hr;
    const size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    const void* data = size ? GlobalLock(memory) : nullptr;
    if (size && !data) return E_OUTOFMEMORY;
    bytes.resize(size);
    if (size) {
        std::memcpy(bytes.data(), data, size);
        GlobalUnlock(memory);
    }
    return S_OK;
}

HRESULT ControlHost::LoadState(const std::vector<unsigned char>& bytes) {
    if (!object_) return E_UNEXPECTED;
    ComPtr<IPersistStreamInit> persist;
    HRESULT hr = object_->QueryInterface(IID_IPersistStreamInit, persist.putVoid());
    if (FAILED(hr)) return hr;
    ComPtr<IStream> stream;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr)) return hr;
    ULONG written = 0;
    hr = stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    if (SUCCEEDED(hr) && written != bytes.size()) hr = STG_E_MEDIUMFULL;
    LARGE_INTEGER start{};
    if (SUCCEEDED(hr)) hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (SUCCEEDED(hr)) hr = persist->Load(stream.get());
    return hr;
}

void ControlHost::Close() {
    if (oleObject_) {
        oleObject_->Close(OLECLOSE_NOSAVE);
        if (site_) oleObject_->SetClientSite(nullptr);
    }
    if (site_) site_->Detach();
    display_.reset();
    inPlace_.reset();
    oleObject_.reset();
    object_.reset();
    site_.reset();
}

}  // namespace controlsite
