// Structured storage in memory and in a file: elements, access modes, the
// image format and its refusals.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

constexpr DWORD kCreate = STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE;
constexpr DWORD kOpenRead = STGM_READ | STGM_SHARE_EXCLUSIVE;

std::vector<BYTE> ImageOf(ILockBytes* bytes) {
    STATSTG stat{};
    bytes->Stat(&stat, STATFLAG_NONAME);
    std::vector<BYTE> image(static_cast<size_t>(stat.cbSize.QuadPart));
    ULARGE_INTEGER at{};
    ULONG read = 0;
    bytes->ReadAt(at, image.data(), static_cast<ULONG>(image.size()), &read);
    return image;
}

void WriteText(IStorage* storage, const char16_t* name, const char* text) {
    IStream* stream = nullptr;
    ASSERT_EQ(storage->CreateStream(name, kCreate, 0, 0, &stream), S_OK);
    ULONG done = 0;
    EXPECT_EQ(stream->Write(text, static_cast<ULONG>(std::strlen(text)), &done), S_OK);
    stream->Release();
}

std::string ReadText(IStorage* storage, const char16_t* name) {
    IStream* stream = nullptr;
    if (storage->OpenStream(name, nullptr, kOpenRead, 0, &stream) != S_OK) return "<missing>";
    char buffer[256] = {};
    ULONG done = 0;
    stream->Read(buffer, sizeof buffer - 1, &done);
    stream->Release();
    return std::string(buffer, done);
}

TEST(MemoryStorage, WritesTheDocumentedImage) {
    ILockBytes* bytes = nullptr;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes, kCreate, 0, &storage), S_OK);
    WriteText(storage, u"Ab", "xyz");
    // magic, class (16 zero bytes), state bits, count 1, stream "Ab" of 3 bytes
    std::vector<BYTE> expected = {'Q', 'E', 'L', 'V', 'S', 'T', 'G', '1'};
    expected.insert(expected.end(), 16, 0);
    const BYTE tail[] = {0, 0, 0, 0, 1, 0, 0, 0, 2, 2, 0, 'A', 0, 'b', 0, 3, 0, 0, 0, 0, 0, 0, 0, 'x', 'y', 'z'};
    expected.insert(expected.end(), std::begin(tail), std::end(tail));
    EXPECT_EQ(ImageOf(bytes), expected);  // direct mode: written at once
    storage->Release();
    // Reopened from the same bytes, names compare without regard to case.
    ASSERT_EQ(StgOpenStorageOnILockBytes(bytes, nullptr, kOpenRead, nullptr, 0, &storage), S_OK);
    EXPECT_EQ(ReadText(storage, u"AB"), "xyz");
    storage->Release();
    bytes->Release();
}

TEST(MemoryStorage, ElementsSubStoragesAndRefusals) {
    ILockBytes* bytes = nullptr;
    CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes, kCreate, 0, &root), S_OK);
    WriteText(root, u"one", "1");
    IStream* stream = nullptr;
    EXPECT_EQ(root->CreateStream(u"one", STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, 0, &stream),
              STG_E_FILEALREADYEXISTS);
    EXPECT_EQ(root->CreateStream(u"bad/name", kCreate, 0, 0, &stream), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStream(u"", kCreate, 0, 0, &stream), STG_E_INVALIDNAME);
    EXPECT_EQ(root->CreateStream(u"x", STGM_CREATE | STGM_READWRITE | STGM_SHARE_DENY_NONE, 0, 0, &stream),
              STG_E_INVALIDFLAG);
    EXPECT_EQ(root->OpenStream(u"two", nullptr, kOpenRead, 0, &stream), STG_E_FILENOTFOUND);
    ASSERT_EQ(root->OpenStream(u"one", nullptr, kOpenRead, 0, &stream), S_OK);
    IStream* again = nullptr;
    EXPECT_EQ(root->OpenStream(u"one", nullptr, kOpenRead, 0, &again), STG_E_ACCESSDENIED);  // already open
    EXPECT_EQ(stream->Write("x", 1, nullptr), STG_E_ACCESSDENIED);  // opened for reading
    stream->Release();
    IStorage* child = nullptr;
    ASSERT_EQ(root->CreateStorage(u"sub", kCreate, 0, 0, &child), S_OK);
    WriteText(child, u"inner", "deep");
    EXPECT_EQ(child->SetClass(CLSID_StdFont), S_OK);
    child->Release();
    EXPECT_EQ(root->RenameElement(u"one", u"uno"), S_OK);
    IEnumSTATSTG* list = nullptr;
    ASSERT_EQ(root->EnumElements(0, nullptr, 0, &list), S_OK);
    STATSTG items[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(list->Next(3, items, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(std::u16string(items[0].pwcsName), u"uno");
    EXPECT_EQ(items[0].type, static_cast<DWORD>(STGTY_STREAM));
    EXPECT_EQ(items[0].cbSize.QuadPart, 1u);
    EXPECT_EQ(std::u16string(items[1].pwcsName), u"sub");
    EXPECT_EQ(items[1].type, static_cast<DWORD>(STGTY_STORAGE));
    EXPECT_EQ(items[1].clsid, CLSID_StdFont);
    CoTaskMemFree(items[0].pwcsName);
    CoTaskMemFree(items[1].pwcsName);
    list->Release();
    root->Release();
    // The whole tree comes back from the bytes.
    ASSERT_EQ(StgOpenStorageOnILockBytes(bytes, nullptr, kOpenRead, nullptr, 0, &root), S_OK);
    EXPECT_EQ(ReadText(root, u"uno"), "1");
    ASSERT_EQ(root->OpenStorage(u"sub", nullptr, kOpenRead, nullptr, 0, &child), S_OK);
    EXPECT_EQ(ReadText(child, u"inner"), "deep");
    EXPECT_EQ(child->DestroyElement(u"inner"), STG_E_ACCESSDENIED);  // read-only
    child->Release();
    root->Release();
    // A non-empty byte array is only overwritten with STGM_CREATE.
    EXPECT_EQ(StgCreateDocfileOnILockBytes(bytes, STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root),
              STG_E_FILEALREADYEXISTS);
    bytes->Release();
}

TEST(MemoryStorage, TransactedChangesWaitForCommit) {
    ILockBytes* bytes = nullptr;
    CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes);
    IStorage* root = nullptr;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes, kCreate | STGM_TRANSACTED, 0, &root), S_OK);
    const size_t emptySize = ImageOf(bytes).size();
    WriteText(root, u"late", "abc");
    EXPECT_EQ(ImageOf(bytes).size(), emptySize);
    EXPECT_EQ(root->Commit(STGC_DEFAULT), S_OK);
    EXPECT_GT(ImageOf(bytes).size(), emptySize);
    WriteText(root, u"dropped", "x");
    EXPECT_EQ(root->Revert(), S_OK);
    EXPECT_EQ(ReadText(root, u"dropped"), "<missing>");
    EXPECT_EQ(ReadText(root, u"late"), "abc");
    root->Release();
    bytes->Release();
}

TEST(MemoryStorage, CorruptImagesAreRefused) {
    const std::vector<std::vector<BYTE>> images = {
        {},
        {'N', 'O', 'T', 'A', 'S', 'T', 'G', '1'},
        {'Q', 'E', 'L', 'V', 'S', 'T', 'G', '1', 0, 0},  // cut inside the root
    };
    for (const auto& image : images) {
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, image.size());
        if (!image.empty()) std::memcpy(GlobalLock(memory), image.data(), image.size());
        GlobalUnlock(memory);
        ILockBytes* bytes = nullptr;
        CreateILockBytesOnHGlobal(memory, TRUE, &bytes);
        IStorage* root = nullptr;
        EXPECT_EQ(StgOpenStorageOnILockBytes(bytes, nullptr, kOpenRead, nullptr, 0, &root), STG_E_INVALIDHEADER);
        EXPECT_EQ(root, nullptr);
        bytes->Release();
    }
}

TEST(FileStorage, CreatesOpensAndRefuses) {
    const std::string path = ::testing::TempDir() + "qelv_storage_test.stg";
    ::unlink(path.c_str());
    const std::u16string name(path.begin(), path.end());
    IStorage* root = nullptr;
    EXPECT_EQ(StgOpenStorage(name.c_str(), nullptr, kOpenRead, nullptr, 0, &root), STG_E_FILENOTFOUND);
    ASSERT_EQ(StgCreateDocfile(name.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root), S_OK);
    WriteText(root, u"Contents", "saved");
    root->Release();
    EXPECT_EQ(StgCreateDocfile(name.c_str(), STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &root),
              STG_E_FILEALREADYEXISTS);
    ASSERT_EQ(StgOpenStorage(name.c_str(), nullptr, kOpenRead, nullptr, 0, &root), S_OK);
    EXPECT_EQ(ReadText(root, u"Contents"), "saved");
    IStream* stream = nullptr;
    EXPECT_EQ(root->CreateStream(u"more", kCreate, 0, 0, &stream), STG_E_ACCESSDENIED);
    root->Release();
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> image{std::istreambuf_iterator<char>(file), {}};
    ASSERT_GE(image.size(), 8u);
    EXPECT_EQ(std::string(image.data(), 8), "QELVSTG1");
    ::unlink(path.c_str());
    // No name: a temporary file that goes with the storage.
    ASSERT_EQ(StgCreateDocfile(nullptr, kCreate, 0, &root), S_OK);
    WriteText(root, u"t", "1");
    root->Release();
}

}  // namespace
