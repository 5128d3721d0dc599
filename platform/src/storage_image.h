// The tree of a structured storage, and its form in a byte array (the image):
// written whole after each change, read whole when a storage is opened.
#pragma once

#include <qelvsonalter2/platform.h>

#include <memory>
#include <string>
#include <vector>

namespace qelv_storage {

// The longest element name, in UTF-16 units.
constexpr size_t kMaxNameLength = 31;

// An element of the tree: a storage and its elements, or a stream and its bytes.
struct Node {
    bool isStorage = false;
    std::u16string name;
    std::vector<BYTE> data;  // a stream's bytes
    CLSID clsid = CLSID_NULL;
    DWORD stateBits = 0;
    std::vector<std::shared_ptr<Node>> children;
    bool open = false;  // a stream or storage object is open on this element
};

// EncodeImage
//   RETURNS the image of the storage tree below root. Throws std::bad_alloc.
std::vector<BYTE> EncodeImage(const Node& root);

// DecodeImage
//   Fills root (a storage) with the tree an image holds.
//   RETURNS false for bytes that are not exactly one image: no magic, a
//   truncated or overlong element, a bad kind or name length, nesting deeper
//   than 64. Throws std::bad_alloc.
bool DecodeImage(const std::vector<BYTE>& image, Node& root);

}  // namespace qelv_storage
