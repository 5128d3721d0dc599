// Loads the installed module directly (no registry), asks its class factory for
// the object through the interface identifier, and calls one method through the
// vtable: the path an early-bound host takes.
#include <qelvsonalter2/QelvSonalter2.h>
#include <qelvsonalter2/platform.h>

#include <cstdio>
#include <string>

int main() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const std::string narrow = QELV_MODULE;
    const std::u16string path(narrow.begin(), narrow.end());  // the install prefix is ASCII here
    HMODULE module = LoadLibraryW(path.c_str());
    if (module == nullptr) {
        std::printf("cannot load %s\n", QELV_MODULE);
        return 1;
    }
    using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    IClassFactory* factory = nullptr;
    if (get == nullptr || FAILED(get(CLSID_Sonalter2, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        std::printf("no class factory\n");
        return 1;
    }
    ISonalter2* object = nullptr;
    const HRESULT hr = factory->CreateInstance(nullptr, IID_ISonalter2, reinterpret_cast<void**>(&object));
    factory->Release();
    if (FAILED(hr)) {
        std::printf("CreateInstance failed: 0x%08X\n", static_cast<unsigned>(hr));
        return 1;
    }
    FrequencyConstants frequency{};
    if (FAILED(object->get_ArrayFrequency(&frequency))) return 1;
    std::printf("early-bound ArrayFrequency %ld\n", static_cast<long>(frequency));
    object->Release();
    CoUninitialize();
    return 0;
}
