// The image of a structured storage (integers little-endian):
//   magic        8 bytes "QELVSTG1"
//   root         a storage node
// storage node:  class identifier (16 bytes, WriteClassStm form), state bits
//                (u32), element count (u32), then the elements in creation order
// element:       kind (u8: 1 storage, 2 stream), name length in UTF-16 units
//                (u16, 1..31), the name (UTF-16LE), then for a stream its byte
//                count (u64) and bytes, for a storage a storage node.
#include "storage_image.h"

#include <cstring>

namespace qelv_storage {

namespace {

constexpr char kMagic[8] = {'Q', 'E', 'L', 'V', 'S', 'T', 'G', '1'};

void PutU16(std::vector<BYTE>& out, unsigned value) {
    out.push_back(static_cast<BYTE>(value));
    out.push_back(static_cast<BYTE>(value >> 8));
}

void PutU32(std::vector<BYTE>& out, DWORD value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<BYTE>(value >> (8 * k)));
}

void PutU64(std::vector<BYTE>& out, ULONGLONG value) {
    for (int k = 0; k < 8; ++k) out.push_back(static_cast<BYTE>(value >> (8 * k)));
}

void PutClsid(std::vector<BYTE>& out, const CLSID& id) {
    PutU32(out, id.Data1);
    PutU16(out, id.Data2);
    PutU16(out, id.Data3);
    out.insert(out.end(), id.Data4, id.Data4 + 8);
}

void PutStorage(std::vector<BYTE>& out, const Node& node) {
    PutClsid(out, node.clsid);
    PutU32(out, node.stateBits);
    PutU32(out, static_cast<DWORD>(node.children.size()));
    for (const auto& child : node.children) {
        out.push_back(child->isStorage ? 1 : 2);
        PutU16(out, static_cast<unsigned>(child->name.size()));
        for (char16_t c : child->name) PutU16(out, c);
        if (child->isStorage) {
            PutStorage(out, *child);
        } else {
            PutU64(out, child->data.size());
            out.insert(out.end(), child->data.begin(), child->data.end());
        }
    }
}

class ImageReader {
public:
    explicit ImageReader(const std::vector<BYTE>& bytes) : bytes_(bytes) {}

    bool Take(size_t count, const BYTE** at) {
        if (bytes_.size() - pos_ < count) return false;
        *at = bytes_.data() + pos_;
        pos_ += count;
        return true;
    }
    bool U16(unsigned* value) {
        const BYTE* p;
        if (!Take(2, &p)) return false;
        *value = p[0] | (p[1] << 8);
        return true;
    }
    bool U32(DWORD* value) {
        const BYTE* p;
        if (!Take(4, &p)) return false;
        *value = 0;
        for (int k = 3; k >= 0; --k) *value = (*value << 8) | p[k];
        return true;
    }
    bool U64(ULONGLONG* value) {
        const BYTE* p;
        if (!Take(8, &p)) return false;
        *value = 0;
        for (int k = 7; k >= 0; --k) *value = (*value << 8) | p[k];
        return true;
    }
    bool Clsid(CLSID* id) {
        unsigned d2 = 0;
        unsigned d3 = 0;
        const BYTE* p;
        if (!U32(&id->Data1) || !U16(&d2) || !U16(&d3) || !Take(8, &p)) return false;
        id->Data2 = static_cast<USHORT>(d2);
        id->Data3 = static_cast<USHORT>(d3);
        std::memcpy(id->Data4, p, 8);
        return true;
    }
    // Storages nest at most 64 deep, so a hostile image cannot exhaust the stack.
    bool Storage(Node& node, int depth) {
        DWORD count = 0;
        if (depth > 64 || !Clsid(&node.clsid) || !U32(&node.stateBits) || !U32(&count)) return false;
        for (DWORD k = 0; k < count; ++k) {
            const BYTE* kind;
            unsigned length = 0;
            if (!Take(1, &kind) || (*kind != 1 && *kind != 2) || !U16(&length) || length == 0 ||
                length > kMaxNameLength) {
                return false;
            }
            auto child = std::make_shared<Node>();
            child->isStorage = *kind == 1;
            for (unsigned c = 0; c < length; ++c) {
                unsigned unit = 0;
                if (!U16(&unit)) return false;
                child->name.push_back(static_cast<char16_t>(unit));
            }
            if (child->isStorage) {
                if (!Storage(*child, depth + 1)) return false;
            } else {
                ULONGLONG size = 0;
                const BYTE* p;
                if (!U64(&size) || size > bytes_.size() - pos_ || !Take(static_cast<size_t>(size), &p)) return false;
                child->data.assign(p, p + size);
            }
            node.children.push_back(std::move(child));
        }
        return true;
    }
    bool AtEnd() const { return pos_ == bytes_.size(); }

private:
    const std::vector<BYTE>& bytes_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<BYTE> EncodeImage(const Node& root) {
    std::vector<BYTE> image(kMagic, kMagic + 8);
    PutStorage(image, root);
    return image;
}

bool DecodeImage(const std::vector<BYTE>& image, Node& root) {
    if (image.size() < 8 || std::memcmp(image.data(), kMagic, 8) != 0) return false;
    ImageReader reader(image);
    const BYTE* magic;
    reader.Take(8, &magic);
    return reader.Storage(root, 0) && reader.AtEnd();
}

}  // namespace qelv_storage
