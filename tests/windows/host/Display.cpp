// The display control on both platforms: its defaults, refused limits, point
// and line arrays and persisted streams, written to a file for a byte-for-byte
// comparison of the Linux module and the Windows DLL; and a stream saved by one
// loaded into the other and saved again.
#include <cstring>

#include "Host.h"

namespace host {
namespace {

SAFEARRAY* Floats(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    float* data = nullptr;
    if (array && !values.empty() && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::memcpy(data, values.data(), values.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    return array;
}

void Put32(std::vector<unsigned char>& out, unsigned value) {
    for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(value >> (8 * k)));
}

// Appends a count and the array's floats (their bits), then destroys it.
void PutArray(std::vector<unsigned char>& out, SAFEARRAY* array) {
    LONG hi = -1;
    if (array) SafeArrayGetUBound(array, 1, &hi);
    Put32(out, static_cast<unsigned>(hi + 1));
    float* data = nullptr;
    if (array && hi >= 0 && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(data);
        out.insert(out.end(), bytes, bytes + (hi + 1) * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    if (array) SafeArrayDestroy(array);
}

bool SaveStream(ISonalterDisplay2* control, std::vector<unsigned char>& bytes) {
    IPersistStreamInit* persist = nullptr;
    if (FAILED(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist)))) return false;
    IStream* stream = nullptr;
    bool ok = SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) && SUCCEEDED(persist->Save(stream, TRUE));
    if (ok) {
        STATSTG stat{};
        HGLOBAL memory = nullptr;
        ok = SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && SUCCEEDED(GetHGlobalFromStream(stream, &memory));
        if (ok) {
            const auto* data = static_cast<const unsigned char*>(GlobalLock(memory));
            bytes.assign(data, data + stat.cbSize.LowPart);
            GlobalUnlock(memory);
        }
    }
    if (stream) stream->Release();
    persist->Release();
    return ok;
}

HRESULT LoadStream(ISonalterDisplay2* control, const std::vector<unsigned char>& bytes) {
    IPersistStreamInit* persist = nullptr;
    HRESULT hr = control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&persist));
    if (FAILED(hr)) return hr;
    IStream* stream = nullptr;
    hr = CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    if (SUCCEEDED(hr)) {
        ULONG written = 0;
        stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
        LARGE_INTEGER start{};
        stream->Seek(start, STREAM_SEEK_SET, nullptr);
        hr = persist->Load(stream);
        stream->Release();
    }
    persist->Release();
    return hr;
}

bool ReadFileBytes(const char* path, std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    unsigned char buffer[4096];
    size_t n = 0;
    bytes.clear();
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return true;
}

bool WriteFileBytes(const char* path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path, "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

ISonalterDisplay2* NewControl() {
    ISonalterDisplay2* control = nullptr;
    CreateByProgId(OLESTR("QelvSonalter2.SonalterDisplay2"), IID_ISonalterDisplay2, reinterpret_cast<void**>(&control));
    return control;
}

}  // namespace

// Writes: the new control's stream; the refusals' statuses; the points and the
// line arrays of every shape for several steepnesses and sizes; the stream
// after every property changed (with a font given through ScaleFont).
int WriteDisplay(const char* file) {
    Tally tally;
    ISonalterDisplay2* control = NewControl();
    if (!tally.Check(control != nullptr, "creating QelvSonalter2.SonalterDisplay2")) return tally.Finish();
    std::vector<unsigned char> out;
    std::vector<unsigned char> stream;
    tally.Check(SaveStream(control, stream), "saving a new control");
    Put32(out, static_cast<unsigned>(stream.size()));
    out.insert(out.end(), stream.begin(), stream.end());

    const HRESULT refusals[] = {control->put_ScaleXMax(0.0f), control->put_ScaleXMin(22050.0f),
                                control->put_ScaleYMax(-20.0f), control->put_ScaleYMin(20.0f)};
    for (HRESULT hr : refusals) {
        tally.Check(hr == DISP_E_EXCEPTION, "a refused limit", Hex(hr));
        Put32(out, static_cast<unsigned>(hr));
    }

    SAFEARRAY* points = Floats({100, 5, 50, 3, 20000, -30, 30000, 1, 5000, 20, 5000, -10, 15000, 12});
    tally.Check(SUCCEEDED(control->SetPointArray(&points)), "SetPointArray");
    SafeArrayDestroy(points);
    control->SetPoint(2, 4000, 7.25f);
    SAFEARRAY* result = nullptr;
    control->GetPointArray(&result);
    PutArray(out, result);
    for (LONG type : {0, 1, 2}) {
        control->put_SplineType(static_cast<SplineTypeConstants>(type));
        for (LONG steepness : {1, 2, 3, 32, 100}) {
            control->put_SplineSteepnes(steepness);
            for (LONG size : {1, 7, 333, 1024}) {
                control->put_LineArraySize(size);
                result = nullptr;
                tally.Check(SUCCEEDED(control->GetLineArray(&result)), "GetLineArray");
                PutArray(out, result);
            }
        }
    }

    control->put_BorderColor(0x112233);
    control->put_BackColor(0x80000005);
    control->put_GridVisible(-1);
    control->put_ScaleXVisible(0);
    control->put_BorderStyle(static_cast<BorderTypeConstants>(7));
    control->put_LineArraySize(512);
    control->put_ScaleXMax(1000.0f);
    control->put_ScaleXMin(10.0f);
    control->put_ScaleYMax(1.5f);
    control->put_ScaleYMin(-0.25f);
    control->put_LogScale(VARIANT_TRUE);
    BSTR caption = SysAllocString(OLESTR("Frequency"));
    control->put_ScaleXCaption(caption);
    SysFreeString(caption);
    control->put_ScaleYCaption(nullptr);
    control->put_SplineSteepnes(77);
    FONTDESC desc{};
    desc.cbSizeofstruct = sizeof desc;
    WCHAR face[] = {'C', 'o', 'u', 'r', 'i', 'e', 'r', ' ', 'N', 'e', 'w', 0};
    desc.lpstrName = face;
    desc.cySize.int64 = 90000;
    desc.sWeight = 700;
    desc.fItalic = TRUE;
    IFontDisp* font = nullptr;
    tally.Check(SUCCEEDED(OleCreateFontIndirect(&desc, IID_IFontDisp, reinterpret_cast<void**>(&font))),
                "OleCreateFontIndirect");
    if (font) {
        tally.Check(SUCCEEDED(control->putref_ScaleFont(font)), "putref ScaleFont");
        font->Release();
    }
    tally.Check(SaveStream(control, stream), "saving a changed control");
    Put32(out, static_cast<unsigned>(stream.size()));
    out.insert(out.end(), stream.begin(), stream.end());
    control->Release();

    tally.Check(WriteFileBytes(file, out), "writing the display outputs");
    return tally.Finish();
}

// Loads the stream in `in` into a new control and writes its saved stream to
// `out`; the two must be equal.
int ResaveDisplay(const char* in, const char* out) {
    Tally tally;
    std::vector<unsigned char> bytes;
    if (!tally.Check(ReadFileBytes(in, bytes), "reading the stream")) return tally.Finish();
    ISonalterDisplay2* control = NewControl();
    if (!tally.Check(control != nullptr, "creating QelvSonalter2.SonalterDisplay2")) return tally.Finish();
    const HRESULT hr = LoadStream(control, bytes);
    tally.Check(hr == S_OK, "loading the stream", Hex(hr));
    std::vector<unsigned char> again;
    tally.Check(SaveStream(control, again), "saving it again");
    tally.Check(again == bytes, "the same bytes after loading and saving");
    tally.Check(WriteFileBytes(out, again), "writing the stream");
    control->Release();
    return tally.Finish();
}

// The changed control's stream out of the outputs of WriteDisplay (its last
// record), for ResaveDisplay on the other platform.
int ExtractDisplayStream(const char* outputs, const char* streamFile) {
    Tally tally;
    std::vector<unsigned char> bytes;
    if (!tally.Check(ReadFileBytes(outputs, bytes) && bytes.size() > 4, "reading the outputs")) return tally.Finish();
    // Walk the records: stream, 4 statuses, point array, 60 line arrays, stream.
    size_t at = 0;
    auto count = [&]() {
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) v |= static_cast<unsigned>(bytes[at + k]) << (8 * k);
        at += 4;
        return v;
    };
    at += count();
    at += 16;
    for (int k = 0; k < 1 + 3 * 5 * 4; ++k) at += 4 * static_cast<size_t>(count());
    const unsigned size = count();
    if (!tally.Check(at + size == bytes.size(), "the outputs' layout")) return tally.Finish();
    tally.Check(WriteFileBytes(streamFile, std::vector<unsigned char>(bytes.begin() + static_cast<long>(at), bytes.end())),
                "writing the stream");
    return tally.Finish();
}

}  // namespace host
