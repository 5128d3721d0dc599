// The resource reader: a resource table made from the input (string blocks,
// registration scripts, named and numbered entries of any size) is registered
// for this program, then read the ways the component and hosts read resources:
// FindResourceW by number, "#number" and name, LoadResource / SizeofResource,
// LoadStringW into buffers of every size and by pointer, and the module's
// registration script runner (registering, then unregistering, into a registry
// file of its own). Nothing may read outside an entry's data.
#include <qelvsonalter2/platform.h>
#include <qelvsonalter2/platform/restable.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "module/Registrar.h"

namespace {

std::string g_registry;

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

// A name: ASCII letters, digits and '#', starting with a letter ("#12" is
// the number 12 to every lookup, so a name cannot start that way).
std::u16string Name(qelv_fuzz::Input& in) {
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcxyz0123456789#_";
    std::u16string name(1, static_cast<char16_t>(alphabet[in.below(32)]));
    const size_t n = in.below(12);
    for (size_t i = 0; i < n; ++i) name.push_back(static_cast<char16_t>(alphabet[in.below(sizeof alphabet - 1)]));
    return name;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char path[] = "/tmp/qelv-fuzz-registry-XXXXXX";
    const int fd = mkstemp(path);
    if (fd >= 0) close(fd);
    g_registry = path;
    setenv("QELV_REGISTRY", path, 1);
    // The registry file and its lock go when the fuzzer ends, so that runs
    // leave nothing behind in /tmp.
    std::atexit([] {
        unlink(g_registry.c_str());
        unlink((g_registry + ".lock").c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qelv_fuzz::Input in(data, size);
    const size_t count = 1 + in.below(8);
    std::vector<std::u16string> typeNames(count), names(count);
    std::vector<std::string> blobs(count);
    std::vector<QELV_RESOURCE> table(count);
    for (size_t i = 0; i < count; ++i) {
        QELV_RESOURCE& e = table[i];
        switch (in.below(4)) {
            case 0: e.typeId = 6; break;  // RT_STRING
            case 1: typeNames[i] = u"REGISTRY"; break;
            case 2: typeNames[i] = Name(in); break;
            default: e.typeId = in.u16(); break;
        }
        if (in.flag()) {
            names[i] = Name(in);
        } else {
            e.nameId = static_cast<WORD>(1 + in.below(8));
        }
        blobs[i] = in.bytes(600);
        e.language = in.u16();
    }
    // Pointers only once every string has its final place.
    for (size_t i = 0; i < count; ++i) {
        table[i].typeName = typeNames[i].empty() ? nullptr : reinterpret_cast<const WCHAR*>(typeNames[i].c_str());
        table[i].name = names[i].empty() ? nullptr : reinterpret_cast<const WCHAR*>(names[i].c_str());
        // Each blob gets a heap block of exactly its size, so that a read past it is caught.
        table[i].size = static_cast<DWORD>(blobs[i].size());
    }
    std::vector<std::vector<unsigned char>> storage(count);
    for (size_t i = 0; i < count; ++i) {
        storage[i].assign(blobs[i].begin(), blobs[i].end());
        storage[i].shrink_to_fit();
        table[i].data = storage[i].empty() ? nullptr : storage[i].data();
    }
    QelvRegisterModuleResources(&g_registry, table.data(), table.size());
    HMODULE self = nullptr;
    Check(GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                             reinterpret_cast<LPCWSTR>(&g_registry), &self) != FALSE,
          "no handle for this program");

    for (size_t i = 0; i < count; ++i) {
        // Every entry is found again by its own name and type.
        std::u16string number = u"#" + std::u16string(1, static_cast<char16_t>(u'0' + table[i].nameId % 10));
        LPCWSTR name = table[i].name ? table[i].name : MAKEINTRESOURCEW(table[i].nameId);
        LPCWSTR type = table[i].typeName ? table[i].typeName : MAKEINTRESOURCEW(table[i].typeId);
        HRSRC found = FindResourceW(self, name, type);
        Check(found != nullptr, "a registered resource is not found");
        FindResourceW(self, reinterpret_cast<LPCWSTR>(number.c_str()), type);
        HGLOBAL loaded = LoadResource(self, found);
        const DWORD bytes = SizeofResource(self, found);
        const auto* p = static_cast<const unsigned char*>(LockResource(loaded));
        unsigned sum = 0;
        for (DWORD k = 0; k < bytes; ++k) sum += p[k];
        (void)sum;
        // Made-up handles are refused.
        Check(LoadResource(self, reinterpret_cast<HRSRC>(&storage)) == nullptr, "a made-up handle was accepted");
        Check(SizeofResource(self, reinterpret_cast<HRSRC>(&storage)) == 0, "a made-up handle has a size");

        if (table[i].typeName == nullptr && table[i].typeId == 6 && table[i].name == nullptr) {
            for (UINT k = 0; k < 16; ++k) {
                const UINT id = (table[i].nameId - 1u) * 16u + k;
                WCHAR buffer[300];
                for (int cap : {1, 2, 7, 300}) {
                    const int n = LoadStringW(self, id, buffer, cap);
                    Check(n >= 0 && n < cap && buffer[n] == 0, "LoadStringW overran or did not terminate");
                }
                const WCHAR* direct = nullptr;
                const int n = LoadStringW(self, id, reinterpret_cast<LPWSTR>(&direct), 0);
                for (int c = 0; c < n; ++c) sum += direct[c];
            }
        }
        if (table[i].typeName != nullptr && typeNames[i] == u"REGISTRY" && table[i].name == nullptr &&
            (in.u8() & 3) == 0) {
            const std::u16string module = u"/opt/fuzz module/x.so";
            qelv::RunRegistrationResource(self, table[i].nameId, module, true);
            qelv::RunRegistrationResource(self, table[i].nameId, module, false);
        }
    }
    QelvUnregisterModuleResources(&g_registry, table.data());
    return 0;
}
