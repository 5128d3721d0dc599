// The property stream against streams made by hand from the documented layout,
// loading rules, and the stream "Contents" of a storage in memory and in a file.
#include <fstream>
#include <iterator>

#include "DisplayTestSupport.h"

namespace qelv::test {
namespace {

std::vector<BYTE> ReadFile(const std::string& name) {
    std::ifstream file(std::string(QELV_DISPLAY_DATA) + "/" + name, std::ios::binary);
    return std::vector<BYTE>(std::istreambuf_iterator<char>(file), {});
}

IStream* StreamOf(const std::vector<BYTE>& bytes) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    memcpy(GlobalLock(memory), bytes.data(), bytes.size());
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(memory, TRUE, &stream), S_OK);
    return stream;
}

std::vector<BYTE> BytesOf(IStream* stream) {
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}

std::vector<BYTE> Saved(CSonalterDisplay2* control) {
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    EXPECT_EQ(static_cast<IPersistStreamInit*>(control)->Save(stream, TRUE), S_OK);
    std::vector<BYTE> bytes = BytesOf(stream);
    stream->Release();
    return bytes;
}

HRESULT LoadBytes(CSonalterDisplay2* control, const std::vector<BYTE>& bytes) {
    IStream* stream = StreamOf(bytes);
    const HRESULT hr = static_cast<IPersistStreamInit*>(control)->Load(stream);
    stream->Release();
    return hr;
}

TEST(DisplayPersistence, NewControlSavesTheReferenceStream) {
    Control control;
    const std::vector<BYTE> expected = ReadFile("default.bin");
    ASSERT_EQ(expected.size(), 182u);
    EXPECT_EQ(Saved(control.get()), expected);
    ULARGE_INTEGER size{};
    EXPECT_EQ(static_cast<IPersistStreamInit*>(control.get())->GetSizeMax(&size), S_OK);
    EXPECT_EQ(size.QuadPart, expected.size());
    EXPECT_EQ(static_cast<IPersistStreamInit*>(control.get())->IsDirty(), S_FALSE);
}

TEST(DisplayPersistence, LoadsEveryPropertyAndSavesTheSameBytes) {
    Control control;
    const std::vector<BYTE> changed = ReadFile("changed.bin");
    ASSERT_EQ(LoadBytes(control.get(), changed), S_OK);
    EXPECT_EQ(control->BorderColor, 0x112233u);
    EXPECT_EQ(control->BackColor, 0x80000005u);
    EXPECT_EQ(control->GridVisible, -1);
    EXPECT_EQ(control->ScaleXVisible, 0);
    EXPECT_EQ(control->BorderStyle, 7);
    EXPECT_EQ(control->LineArraySize, 512);
    EXPECT_EQ(control->SplineType, 2);
    EXPECT_EQ(control->ScaleXMax, 1000.0f);
    EXPECT_EQ(control->ScaleXMin, 10.0f);
    EXPECT_EQ(control->ScaleYMax, 1.5f);
    EXPECT_EQ(control->ScaleYMin, -0.25f);
    EXPECT_EQ(control->LogScale, -1);
    EXPECT_EQ(std::u16string(control->ScaleXCaption), u"Frequency");
    EXPECT_EQ(control->ScaleYCaption, nullptr);
    EXPECT_EQ(control->SplineSteepnes, 77);
    // The points are not persisted: the two defaults, pinned to the loaded limits.
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{10, 0, 1000, 0}));
    EXPECT_EQ(Saved(control.get()), changed);
    // A second control loading what the first saved saves it again unchanged.
    Control second;
    ASSERT_EQ(LoadBytes(second.get(), Saved(control.get())), S_OK);
    EXPECT_EQ(Saved(second.get()), changed);
}

TEST(DisplayPersistence, NewerVersionsAndBadStreamsAreRefused) {
    std::vector<BYTE> bytes = ReadFile("default.bin");
    bytes[0] = 0x01;
    bytes[1] = 0x07;  // 0x0701
    Control control;
    control->put_LineArraySize(5);
    EXPECT_EQ(LoadBytes(control.get(), bytes), E_FAIL);
    EXPECT_EQ(control->LineArraySize, 5);
    // An older version word is read like the current one.
    bytes[0] = 0x00;
    bytes[1] = 0x06;
    EXPECT_EQ(LoadBytes(control.get(), bytes), S_OK);
    EXPECT_EQ(control->LineArraySize, 1024);
    // A stream that ends early, or a property of another variant type.
    std::vector<BYTE> cut = ReadFile("default.bin");
    cut.resize(100);
    EXPECT_EQ(LoadBytes(control.get(), cut), E_FAIL);
    std::vector<BYTE> retyped = ReadFile("default.bin");
    retyped[12] = 3;  // BorderColor as VT_I4
    EXPECT_EQ(LoadBytes(control.get(), retyped), E_FAIL);
}

// "ScaleXMax" is read before "ScaleXMin": a stored maximum not above the minimum
// the control holds at that moment stops the load; what came before stays.
TEST(DisplayPersistence, RefusedLimitStopsTheLoadAfterEarlierProperties) {
    std::vector<BYTE> bytes = ReadFile("changed.bin");
    // ScaleXMax follows SplineEnable; find it by its position: version, extent,
    // six colours, three flags, style, font, size, point colour, spline type.
    const size_t fontStart = 12 + 6 * 6 + 3 * 4 + 6;
    const size_t fontLength = 2 + 16 + 11 + 11;  // "Courier New"
    const size_t xMaxAt = fontStart + fontLength + 6 + 6 + 6;
    ASSERT_EQ(bytes[xMaxAt], VT_R4);
    const float bad = -5.0f;
    memcpy(&bytes[xMaxAt + 2], &bad, 4);
    Control control;
    EXPECT_EQ(LoadBytes(control.get(), bytes), E_FAIL);
    EXPECT_EQ(control->BorderColor, 0x112233u);  // before: applied
    EXPECT_EQ(control->SplineType, 2);
    EXPECT_EQ(control->ScaleXMax, 22050.0f);  // refused and after: unchanged
    EXPECT_EQ(control->ScaleYMax, 20.0f);
    EXPECT_EQ(std::u16string(control->ScaleXCaption), u"Hz");
}

TEST(DisplayPersistence, StorageHoldsTheStreamAsContents) {
    Control control;
    ASSERT_EQ(LoadBytes(control.get(), ReadFile("changed.bin")), S_OK);
    ILockBytes* bytes = nullptr;
    ASSERT_EQ(CreateILockBytesOnHGlobal(nullptr, TRUE, &bytes), S_OK);
    IStorage* storage = nullptr;
    ASSERT_EQ(StgCreateDocfileOnILockBytes(bytes, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &storage),
              S_OK);
    IPersistStorage* persist = static_cast<IPersistStorage*>(control.get());
    EXPECT_EQ(persist->Save(storage, FALSE), S_OK);
    EXPECT_EQ(persist->SaveCompleted(nullptr), S_OK);
    IStream* contents = nullptr;
    ASSERT_EQ(storage->OpenStream(OLESTR("Contents"), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &contents), S_OK);
    EXPECT_EQ(BytesOf(contents), ReadFile("changed.bin"));
    contents->Release();
    Control loaded;
    EXPECT_EQ(static_cast<IPersistStorage*>(loaded.get())->Load(storage), S_OK);
    EXPECT_EQ(Saved(loaded.get()), ReadFile("changed.bin"));
    storage->Release();
    // The same storage image in a file, as the platform writes it.
    HGLOBAL memory = nullptr;
    GetHGlobalFromILockBytes(bytes, &memory);
    STATSTG stat{};
    bytes->Stat(&stat, STATFLAG_NONAME);
    std::vector<BYTE> image(static_cast<const BYTE*>(GlobalLock(memory)),
                            static_cast<const BYTE*>(GlobalLock(memory)) + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    GlobalUnlock(memory);
    EXPECT_EQ(image, ReadFile("contents.stg"));
    bytes->Release();
    // A storage without "Contents" cannot be loaded.
    IStorage* empty = nullptr;
    StgCreateDocfile(nullptr, STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE, 0, &empty);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(static_cast<IPersistStorage*>(loaded.get())->Load(empty), STG_E_FILENOTFOUND);
    empty->Release();
}

TEST(DisplayPersistence, FileStorageMadeByHandLoads) {
    const std::string path = std::string(QELV_DISPLAY_DATA) + "/contents.stg";
    std::u16string wide(path.begin(), path.end());
    IStorage* storage = nullptr;
    ASSERT_EQ(StgOpenStorage(wide.c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0, &storage), S_OK);
    Control control;
    EXPECT_EQ(static_cast<IPersistStorage*>(control.get())->Load(storage), S_OK);
    storage->Release();
    EXPECT_EQ(Saved(control.get()), ReadFile("changed.bin"));
}

}  // namespace
}  // namespace qelv::test
