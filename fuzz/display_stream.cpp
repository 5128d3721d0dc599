// The graphing control's property stream loader: any bytes, loaded through
// IPersistStreamInit::Load into a new control. Checked: nothing crashes, leaks or
// hangs; a load either succeeds (and the control then saves again) or fails with
// a failure status.
#include <qelvsonalter2/QelvSonalter2.h>
#include <qelvsonalter2/platform.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv);

namespace {

void Check(bool ok, const char* what, HRESULT hr) {
    if (ok) return;
    std::fprintf(stderr, "display_stream: %s (0x%08X)\n", what, static_cast<unsigned>(hr));
    std::abort();
}

// A stream over a copy of the input, in global memory that the stream frees.
IStream* StreamOver(const std::uint8_t* data, std::size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    if (!memory) return nullptr;
    if (size) {
        void* target = GlobalLock(memory);
        std::memcpy(target, data, size);
        GlobalUnlock(memory);
    }
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    return stream;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(CLSID_SonalterDisplay2, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        return 0;
    }
    IPersistStreamInit* persist = nullptr;
    const HRESULT created =
        factory->CreateInstance(nullptr, IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
    factory->Release();
    Check(SUCCEEDED(created) && persist != nullptr, "the class factory failed", created);
    IStream* stream = StreamOver(data, size);
    if (stream) {
        const HRESULT loaded = persist->Load(stream);
        Check(loaded == S_OK || FAILED(loaded), "Load answered a success other than S_OK", loaded);
        if (loaded == S_OK) {
            IStream* out = nullptr;
            if (SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &out))) {
                const HRESULT saved = persist->Save(out, TRUE);
                Check(saved == S_OK, "a loaded control did not save again", saved);
                out->Release();
            }
        }
        stream->Release();
    }
    persist->Release();
    return 0;
}
