// The type library reader. The input is the payload of a library file: the
// harness puts the header with the right size and checksum in front, so that
// the fuzzer works on the content rather than on the checksum; an input whose
// first byte is 0xFF is taken as a whole file instead, header included. A
// library that reads is then walked through every ITypeLib / ITypeInfo query a
// host makes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "typelib_model.h"

namespace {

uint32_t Fnv1a(const uint8_t* data, size_t size) {
    uint32_t h = 0x811C9DC5u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 0x01000193u;
    return h;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s\n", what);
        std::abort();
    }
}

void WalkType(ITypeInfo* info, int depth) {
    TYPEATTR* attr = nullptr;
    if (FAILED(info->GetTypeAttr(&attr))) return;
    Check(attr != nullptr, "GetTypeAttr succeeded without attributes");
    for (UINT f = 0; f < attr->cFuncs; ++f) {
        FUNCDESC* func = nullptr;
        if (FAILED(info->GetFuncDesc(f, &func))) continue;
        BSTR names[16] = {};
        UINT got = 0;
        if (SUCCEEDED(info->GetNames(func->memid, names, 16, &got))) {
            Check(got <= 16, "GetNames gave more names than asked");
            if (got > 0 && names[0] != nullptr) {
                MEMBERID id = 0;
                info->GetIDsOfNames(&names[0], 1, &id);
            }
            for (UINT i = 0; i < got; ++i) SysFreeString(names[i]);
        }
        BSTR name = nullptr, doc = nullptr, help = nullptr;
        DWORD context = 0;
        if (SUCCEEDED(info->GetDocumentation(func->memid, &name, &doc, &context, &help))) {
            SysFreeString(name);
            SysFreeString(doc);
            SysFreeString(help);
        }
        for (SHORT p = 0; p < func->cParams; ++p) {
            const TYPEDESC* t = &func->lprgelemdescParam[p].tdesc;
            for (int hop = 0; hop < 8 && t != nullptr; ++hop) {
                if (t->vt == VT_USERDEFINED && depth < 2) {
                    ITypeInfo* ref = nullptr;
                    if (SUCCEEDED(info->GetRefTypeInfo(t->hreftype, &ref))) {
                        WalkType(ref, depth + 1);
                        ref->Release();
                    }
                    break;
                }
                t = (t->vt == VT_PTR || t->vt == VT_SAFEARRAY) ? t->lptdesc : nullptr;
            }
        }
        info->ReleaseFuncDesc(func);
    }
    for (UINT v = 0; v < attr->cVars; ++v) {
        VARDESC* var = nullptr;
        if (SUCCEEDED(info->GetVarDesc(v, &var))) info->ReleaseVarDesc(var);
    }
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
        HREFTYPE href = 0;
        INT flags = 0;
        info->GetImplTypeFlags(i, &flags);
        if (FAILED(info->GetRefTypeOfImplType(i, &href))) continue;
        ITypeInfo* base = nullptr;
        if (depth < 2 && SUCCEEDED(info->GetRefTypeInfo(href, &base))) {
            WalkType(base, depth + 1);
            base->Release();
        }
    }
    if (attr->wTypeFlags & TYPEFLAG_FDUAL) {
        HREFTYPE other = 0;
        ITypeInfo* view = nullptr;
        if (SUCCEEDED(info->GetRefTypeOfImplType(static_cast<UINT>(-1), &other)) &&
            SUCCEEDED(info->GetRefTypeInfo(other, &view))) {
            view->Release();
        }
    }
    info->ReleaseTypeAttr(attr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    if (size > 0 && data[0] == 0xFF) {
        file.assign(data + 1, data + size);
    } else {
        static const uint8_t magic[8] = {'Q', 'E', 'L', 'V', 'T', 'L', 'B', 0x1a};
        file.assign(magic, magic + 8);
        const uint32_t payload = static_cast<uint32_t>(size);
        const uint32_t hash = Fnv1a(data, size);
        const uint8_t header[12] = {1, 0, 0, 0,
                                    static_cast<uint8_t>(payload), static_cast<uint8_t>(payload >> 8),
                                    static_cast<uint8_t>(payload >> 16), static_cast<uint8_t>(payload >> 24),
                                    static_cast<uint8_t>(hash), static_cast<uint8_t>(hash >> 8),
                                    static_cast<uint8_t>(hash >> 16), static_cast<uint8_t>(hash >> 24)};
        file.insert(file.end(), header, header + 12);
        file.insert(file.end(), data, data + size);
    }

    std::shared_ptr<const qelv_rt::LibraryModel> model;
    const HRESULT hr = qelv_rt::ReadTypeLibrary(file.data(), file.size(), model);
    if (FAILED(hr)) {
        Check(hr == TYPE_E_UNSUPFORMAT || hr == TYPE_E_INVDATAREAD || hr == E_OUTOFMEMORY,
              "the reader failed with an undocumented status");
        Check(model == nullptr, "a failed read left a model");
        return 0;
    }
    Check(model != nullptr, "a successful read gave no model");
    ITypeLib* lib = nullptr;
    if (FAILED(qelv_rt::CreateTypeLib(model, &lib))) return 0;
    TLIBATTR* libAttr = nullptr;
    if (SUCCEEDED(lib->GetLibAttr(&libAttr))) lib->ReleaseTLibAttr(libAttr);
    const UINT count = lib->GetTypeInfoCount();
    for (UINT i = 0; i < count; ++i) {
        TYPEKIND kind;
        lib->GetTypeInfoType(i, &kind);
        BSTR name = nullptr;
        if (SUCCEEDED(lib->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr)) && name) {
            BOOL found = FALSE;
            lib->IsName(name, 0, &found);
            ITypeInfo* infos[2] = {};
            MEMBERID ids[2] = {};
            USHORT n = 2;
            if (SUCCEEDED(lib->FindName(name, 0, infos, ids, &n))) {
                for (USHORT k = 0; k < n; ++k) {
                    if (infos[k]) infos[k]->Release();
                }
            }
            SysFreeString(name);
        }
        ITypeInfo* info = nullptr;
        if (SUCCEEDED(lib->GetTypeInfo(i, &info))) {
            WalkType(info, 0);
            info->Release();
        }
    }
    lib->Release();
    return 0;
}
