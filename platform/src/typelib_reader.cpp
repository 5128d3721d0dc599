// Reading the binary type library image into the model. Every read is bounds-checked and
// every count is checked against the bytes left before anything is allocated, so a damaged
// file yields TYPE_E_INVDATAREAD, never an out-of-range read or a huge allocation.
#include "module_internal.h"
#include "typelib_model.h"

#include <cstring>
#include <new>

namespace qelv_rt {

namespace {

constexpr unsigned char kMagic[8] = {'Q', 'E', 'L', 'V', 'T', 'L', 'B', 0x1a};
constexpr uint16_t kFormatMajor = 1;
constexpr size_t kHeaderSize = 8 + 2 + 2 + 4 + 4;
// Deepest TYPEDESC chain accepted (pointer to pointer to SAFEARRAY of a type is 4).
constexpr size_t kMaxTypeDepth = 8;

uint32_t Fnv1a(const unsigned char* data, size_t size) {
    uint32_t h = 0x811C9DC5u;
    for (size_t i = 0; i < size; ++i) {
        h = (h ^ data[i]) * 0x01000193u;
    }
    return h;
}

class Reader {
public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    bool ok() const { return ok_; }
    bool atEnd() const { return pos_ == size_; }
    size_t left() const { return size_ - pos_; }

    bool bytes(void* out, size_t n) {
        if (!ok_ || left() < n) {
            ok_ = false;
            std::memset(out, 0, n);
            return false;
        }
        std::memcpy(out, data_ + pos_, n);
        pos_ += n;
        return true;
    }
    uint8_t u8() {
        uint8_t v;
        bytes(&v, 1);
        return v;
    }
    uint16_t u16() {
        unsigned char b[2];
        bytes(b, 2);
        return static_cast<uint16_t>(b[0] | (b[1] << 8));
    }
    uint32_t u32() {
        unsigned char b[4];
        bytes(b, 4);
        return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
               (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    }
    int32_t i32() {
        const uint32_t v = u32();
        int32_t r;
        std::memcpy(&r, &v, sizeof(r));
        return r;
    }
    GUID guid() {
        GUID g{};
        g.Data1 = u32();
        g.Data2 = u16();
        g.Data3 = u16();
        bytes(g.Data4, 8);
        return g;
    }
    std::u16string str() {
        const uint32_t n = u32();
        if (!ok_ || n > left()) {
            ok_ = false;
            return {};
        }
        std::u16string out;
        if (!Utf8ToUtf16(std::string_view(reinterpret_cast<const char*>(data_ + pos_), n), out)) {
            ok_ = false;
            return {};
        }
        pos_ += n;
        return out;
    }
    // A count of records that each take at least minBytes; refused when the rest of the
    // data could not hold them.
    uint32_t count(size_t minBytes, uint32_t n) {
        if (!ok_ || static_cast<uint64_t>(n) * minBytes > left()) {
            ok_ = false;
            return 0;
        }
        return n;
    }
    void fail() { ok_ = false; }

private:
    const unsigned char* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

bool IsFinalType(VARTYPE vt) {
    switch (vt) {
        case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE: case VT_BSTR:
        case VT_DISPATCH: case VT_ERROR: case VT_BOOL: case VT_VARIANT: case VT_UNKNOWN: case VT_I1:
        case VT_UI1: case VT_UI2: case VT_UI4: case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        case VT_VOID: case VT_HRESULT: case VT_USERDEFINED:
            return true;
        default:
            return false;
    }
}

void ReadTypeDesc(Reader& r, TypeDescModel& out) {
    out.chain.clear();
    for (;;) {
        const VARTYPE vt = r.u16();
        if (!r.ok()) {
            return;
        }
        out.chain.push_back(vt);
        if (vt == VT_PTR || vt == VT_SAFEARRAY) {
            if (out.chain.size() >= kMaxTypeDepth) {
                r.fail();
                return;
            }
            continue;
        }
        if (!IsFinalType(vt)) {
            r.fail();
            return;
        }
        if (vt == VT_USERDEFINED) {
            out.userType = r.i32();
        }
        return;
    }
}

// Minimum encoded sizes, used to bound counts before allocating.
constexpr size_t kMinFunc = 4 + 1 + 2 + 4 + 4 + 4 + 2 + 2;
constexpr size_t kMinParam = 4 + 2 + 2;
constexpr size_t kMinConst = 4 + 4 + 4;
constexpr size_t kMinVar = 4 + 4 + 4 + 2 + 2;
constexpr size_t kMinImpl = 4 + 2;
constexpr size_t kMinType = 1 + 16 + 4 + 4 + 4 + 2 + 2 + 2 + 4;

void ReadFunc(Reader& r, FuncModel& f) {
    f.memid = r.i32();
    const uint8_t invkind = r.u8();
    if (invkind != INVOKE_FUNC && invkind != INVOKE_PROPERTYGET && invkind != INVOKE_PROPERTYPUT &&
        invkind != INVOKE_PROPERTYPUTREF) {
        r.fail();
        return;
    }
    f.invkind = static_cast<INVOKEKIND>(invkind);
    f.flags = r.u16();
    f.name = r.str();
    f.doc = r.str();
    f.helpContext = r.u32();
    ReadTypeDesc(r, f.result);
    const uint32_t n = r.count(kMinParam, r.u16());
    f.params.resize(n);
    for (ParamModel& p : f.params) {
        p.name = r.str();
        p.flags = r.u16();
        ReadTypeDesc(r, p.type);
        if (!r.ok()) {
            return;
        }
    }
}

bool ValidTypeRef(const LibraryModel& lib, const TypeDescModel& t) {
    if (t.chain.empty()) {
        return false;
    }
    if (t.chain.back() == VT_USERDEFINED) {
        return t.userType >= 0 && static_cast<size_t>(t.userType) < lib.types.size() &&
               lib.types[t.userType].kind == TKIND_ENUM;
    }
    return true;
}

// Cross-record checks: references in range and of the right kind, interface bases earlier
// in the library (so base chains end), vtable offsets that fit a FUNCDESC.
bool Validate(const LibraryModel& lib) {
    for (size_t i = 0; i < lib.types.size(); ++i) {
        const TypeModel& t = lib.types[i];
        for (const FuncModel& f : t.funcs) {
            if (!ValidTypeRef(lib, f.result)) {
                return false;
            }
            for (const ParamModel& p : f.params) {
                if (!ValidTypeRef(lib, p.type)) {
                    return false;
                }
            }
        }
        for (const VarModel& v : t.vars) {
            if (!ValidTypeRef(lib, v.type)) {
                return false;
            }
        }
        if (t.kind == TKIND_INTERFACE) {
            if (t.base >= 0) {
                if (static_cast<size_t>(t.base) >= i || lib.types[t.base].kind != TKIND_INTERFACE) {
                    return false;
                }
            } else if (t.base != kBaseIDispatch && t.base != kBaseIUnknown) {
                return false;
            }
            if (BaseSlotCount(lib, static_cast<int32_t>(i)) + t.funcs.size() > 0x7FFF / sizeof(void*)) {
                return false;
            }
        }
        for (const ImplModel& impl : t.impls) {
            if (impl.type < 0 || static_cast<size_t>(impl.type) >= lib.types.size()) {
                return false;
            }
            const TYPEKIND k = lib.types[impl.type].kind;
            if (k != TKIND_INTERFACE && k != TKIND_DISPATCH) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

int BaseSlotCount(const LibraryModel& lib, int32_t index) {
    int slots = 0;
    // Bases always come earlier, so this walk ends.
    for (int32_t base = lib.types[index].base;; base = lib.types[base].base) {
        if (base == kBaseIDispatch) {
            return slots + 7;
        }
        if (base == kBaseIUnknown) {
            return slots + 3;
        }
        if (base == kBaseNone) {
            return slots;
        }
        slots += static_cast<int>(lib.types[base].funcs.size());
    }
}

bool LooksLikeTypeLibrary(const void* data, size_t size) {
    return data != nullptr && size >= sizeof(kMagic) && std::memcmp(data, kMagic, sizeof(kMagic)) == 0;
}

HRESULT ReadTypeLibrary(const void* data, size_t size, std::shared_ptr<const LibraryModel>& out) {
    out.reset();
    if (!LooksLikeTypeLibrary(data, size)) {
        return TYPE_E_UNSUPFORMAT;
    }
    Reader header(static_cast<const unsigned char*>(data) + sizeof(kMagic), size - sizeof(kMagic));
    const uint16_t major = header.u16();
    (void)header.u16();  // minor versions only add optional data at the end
    const uint32_t payloadSize = header.u32();
    const uint32_t hash = header.u32();
    if (!header.ok()) {
        return TYPE_E_INVDATAREAD;
    }
    if (major != kFormatMajor) {
        return TYPE_E_UNSUPFORMAT;
    }
    if (payloadSize != size - kHeaderSize) {
        return TYPE_E_INVDATAREAD;
    }
    const auto* payload = static_cast<const unsigned char*>(data) + kHeaderSize;
    if (Fnv1a(payload, payloadSize) != hash) {
        return TYPE_E_INVDATAREAD;
    }

    try {
        auto lib = std::make_shared<LibraryModel>();
        Reader r(payload, payloadSize);
        lib->guid = r.guid();
        lib->lcid = r.u32();
        lib->majorVersion = r.u16();
        lib->minorVersion = r.u16();
        lib->flags = r.u16();
        lib->name = r.str();
        lib->doc = r.str();
        lib->helpFile = r.str();
        lib->helpContext = r.u32();
        const uint32_t typeCount = r.count(kMinType, r.u32());
        lib->types.resize(typeCount);
        for (TypeModel& t : lib->types) {
            const uint8_t kind = r.u8();
            t.guid = r.guid();
            t.name = r.str();
            t.doc = r.str();
            t.helpContext = r.u32();
            t.flags = r.u16();
            t.majorVersion = r.u16();
            t.minorVersion = r.u16();
            switch (kind) {
                case TKIND_ENUM: {
                    t.kind = TKIND_ENUM;
                    t.constants.resize(r.count(kMinConst, r.u32()));
                    for (ConstModel& c : t.constants) {
                        c.name = r.str();
                        c.value = r.i32();
                        c.doc = r.str();
                    }
                    break;
                }
                case TKIND_INTERFACE:
                    t.kind = TKIND_INTERFACE;
                    t.base = r.i32();
                    t.funcs.resize(r.count(kMinFunc, r.u32()));
                    for (FuncModel& f : t.funcs) {
                        ReadFunc(r, f);
                    }
                    break;
                case TKIND_DISPATCH:
                    t.kind = TKIND_DISPATCH;
                    t.vars.resize(r.count(kMinVar, r.u32()));
                    for (VarModel& v : t.vars) {
                        v.memid = r.i32();
                        v.name = r.str();
                        v.doc = r.str();
                        v.flags = r.u16();
                        ReadTypeDesc(r, v.type);
                    }
                    t.funcs.resize(r.count(kMinFunc, r.u32()));
                    for (FuncModel& f : t.funcs) {
                        ReadFunc(r, f);
                    }
                    break;
                case TKIND_COCLASS:
                    t.kind = TKIND_COCLASS;
                    t.impls.resize(r.count(kMinImpl, r.u32()));
                    for (ImplModel& impl : t.impls) {
                        impl.type = r.i32();
                        impl.flags = r.u16();
                    }
                    break;
                default:
                    r.fail();
                    break;
            }
            if (!r.ok()) {
                return TYPE_E_INVDATAREAD;
            }
        }
        if (!r.ok() || !r.atEnd() || !Validate(*lib)) {
            return TYPE_E_INVDATAREAD;
        }
        out = std::move(lib);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace qelv_rt
