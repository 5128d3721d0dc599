// Objects in streams: a class identifier followed by the object's own data,
// the form OleSaveToStream writes and OleLoadFromStream reads.
#include <qelvsonalter2/platform.h>

namespace {

HRESULT WriteAll(IStream* stream, const void* data, ULONG size) {
    ULONG written = 0;
    const HRESULT hr = stream->Write(data, size, &written);
    if (FAILED(hr)) return hr;
    return written == size ? S_OK : STG_E_MEDIUMFULL;
}

}  // namespace

// WriteClassStm: writes a class identifier in its 16-byte binary form (Data1,
// Data2 and Data3 little-endian, then the 8 bytes of Data4).
//   pStm   [in] the stream, at the position to write.
//   rclsid [in] the identifier.
// Returns S_OK, E_INVALIDARG for no stream, or the stream's failure.
STDAPI WriteClassStm(LPSTREAM pStm, REFCLSID rclsid) {
    if (!pStm) return E_INVALIDARG;
    BYTE bytes[16];
    for (int k = 0; k < 4; ++k) bytes[k] = static_cast<BYTE>(rclsid.Data1 >> (8 * k));
    bytes[4] = static_cast<BYTE>(rclsid.Data2);
    bytes[5] = static_cast<BYTE>(rclsid.Data2 >> 8);
    bytes[6] = static_cast<BYTE>(rclsid.Data3);
    bytes[7] = static_cast<BYTE>(rclsid.Data3 >> 8);
    for (int k = 0; k < 8; ++k) bytes[8 + k] = rclsid.Data4[k];
    return WriteAll(pStm, bytes, sizeof bytes);
}

// ReadClassStm: reads a class identifier written by WriteClassStm.
//   pStm   [in] the stream.
//   pclsid [out] the identifier.
// Returns S_OK, E_INVALIDARG for a null argument, STG_E_READFAULT when the
// stream ends before 16 bytes, or the stream's failure.
STDAPI ReadClassStm(LPSTREAM pStm, CLSID* pclsid) {
    if (!pStm || !pclsid) return E_INVALIDARG;
    BYTE bytes[16];
    ULONG read = 0;
    const HRESULT hr = pStm->Read(bytes, sizeof bytes, &read);
    if (FAILED(hr)) return hr;
    if (read != sizeof bytes) return STG_E_READFAULT;
    pclsid->Data1 = static_cast<ULONG>(bytes[0]) | (static_cast<ULONG>(bytes[1]) << 8) |
                    (static_cast<ULONG>(bytes[2]) << 16) | (static_cast<ULONG>(bytes[3]) << 24);
    pclsid->Data2 = static_cast<USHORT>(bytes[4] | (bytes[5] << 8));
    pclsid->Data3 = static_cast<USHORT>(bytes[6] | (bytes[7] << 8));
    for (int k = 0; k < 8; ++k) pclsid->Data4[k] = bytes[8 + k];
    return S_OK;
}

// OleSaveToStream: saves an object with its class identifier.
//   pPStm [in] the object; NULL writes CLSID_NULL alone.
//   pStm  [in] the stream.
// Returns S_OK (S_OK also for a null object), E_INVALIDARG for no stream, or the
// failure of GetClassID, the write or the object's Save (called with
// fClearDirty TRUE).
STDAPI OleSaveToStream(LPPERSISTSTREAM pPStm, LPSTREAM pStm) {
    if (!pStm) return E_INVALIDARG;
    if (!pPStm) return WriteClassStm(pStm, CLSID_NULL);
    CLSID clsid;
    HRESULT hr = pPStm->GetClassID(&clsid);
    if (FAILED(hr)) return hr;
    hr = WriteClassStm(pStm, clsid);
    if (FAILED(hr)) return hr;
    return pPStm->Save(pStm, TRUE);
}

// OleLoadFromStream: creates the object whose class identifier comes next in
// the stream and loads it from the data that follows.
//   pStm         [in] the stream.
//   iidInterface [in] the interface wanted.
//   ppvObj       [out] the object.
// Returns S_OK, or the failure of reading the identifier, of creating the
// object (the standard font object is built in; any other class is activated
// through CoCreateInstance as an in-process server), of its IPersistStream or
// of its Load. CLSID_NULL gives REGDB_E_CLASSNOTREG.
STDAPI OleLoadFromStream(LPSTREAM pStm, REFIID iidInterface, LPVOID* ppvObj) {
    if (!ppvObj) return E_INVALIDARG;
    *ppvObj = nullptr;
    if (!pStm) return E_INVALIDARG;
    CLSID clsid;
    HRESULT hr = ReadClassStm(pStm, &clsid);
    if (FAILED(hr)) return hr;
    if (IsEqualCLSID(clsid, CLSID_NULL)) return REGDB_E_CLASSNOTREG;
    IPersistStream* persist = nullptr;
    if (IsEqualCLSID(clsid, CLSID_StdFont)) {
        hr = OleCreateFontIndirect(nullptr, IID_IPersistStream, reinterpret_cast<void**>(&persist));
    } else {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistStream,
                              reinterpret_cast<void**>(&persist));
    }
    if (FAILED(hr)) return hr;
    hr = persist->Load(pStm);
    if (SUCCEEDED(hr)) hr = persist->QueryInterface(iidInterface, ppvObj);
    persist->Release();
    return hr;
}
