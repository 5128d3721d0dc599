// Streams, storages and persistence: IStream over global memory, an IStorage in
// memory or in a file, the persistence interfaces and the helpers that save an
// object with its class identifier.
#pragma once

#include "oaidl.h"
#include "winbase.h"
#include "wingdi.h"

// ---- Global memory (movable blocks behind a handle) ----
#define GMEM_FIXED 0x0000
#define GMEM_MOVEABLE 0x0002
#define GMEM_ZEROINIT 0x0040
#define GHND (GMEM_MOVEABLE | GMEM_ZEROINIT)
#define GPTR (GMEM_FIXED | GMEM_ZEROINIT)

WINBASEAPI HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes);
WINBASEAPI HGLOBAL WINAPI GlobalReAlloc(HGLOBAL hMem, SIZE_T dwBytes, UINT uFlags);
WINBASEAPI HGLOBAL WINAPI GlobalFree(HGLOBAL hMem);
WINBASEAPI LPVOID WINAPI GlobalLock(HGLOBAL hMem);
WINBASEAPI BOOL WINAPI GlobalUnlock(HGLOBAL hMem);
WINBASEAPI SIZE_T WINAPI GlobalSize(HGLOBAL hMem);

// ---- Streams and storages ----
typedef OLECHAR** SNB;

typedef struct tagSTATSTG {
    LPOLESTR pwcsName;
    DWORD type;
    ULARGE_INTEGER cbSize;
    FILETIME mtime;
    FILETIME ctime;
    FILETIME atime;
    DWORD grfMode;
    DWORD grfLocksSupported;
    CLSID clsid;
    DWORD grfStateBits;
    DWORD reserved;
} STATSTG;

typedef enum tagSTGTY { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_LOCKBYTES = 3, STGTY_PROPERTY = 4 } STGTY;
typedef enum tagSTREAM_SEEK { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 } STREAM_SEEK;
typedef enum tagSTATFLAG { STATFLAG_DEFAULT = 0, STATFLAG_NONAME = 1, STATFLAG_NOOPEN = 2 } STATFLAG;
typedef enum tagSTGC { STGC_DEFAULT = 0, STGC_OVERWRITE = 1, STGC_ONLYIFCURRENT = 2 } STGC;

#define STGM_DIRECT 0x00000000L
#define STGM_TRANSACTED 0x00010000L
#define STGM_SIMPLE 0x08000000L
#define STGM_READ 0x00000000L
#define STGM_WRITE 0x00000001L
#define STGM_READWRITE 0x00000002L
#define STGM_SHARE_DENY_NONE 0x00000040L
#define STGM_SHARE_DENY_READ 0x00000030L
#define STGM_SHARE_DENY_WRITE 0x00000020L
#define STGM_SHARE_EXCLUSIVE 0x00000010L
#define STGM_PRIORITY 0x00040000L
#define STGM_DELETEONRELEASE 0x04000000L
#define STGM_CREATE 0x00001000L
#define STGM_CONVERT 0x00020000L
#define STGM_FAILIFTHERE 0x00000000L

struct ISequentialStream : public IUnknown {
    STDMETHOD(Read)(void* pv, ULONG cb, ULONG* pcbRead) = 0;
    STDMETHOD(Write)(const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
};

struct IStream : public ISequentialStream {
    STDMETHOD(Seek)(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) = 0;
    STDMETHOD(SetSize)(ULARGE_INTEGER libNewSize) = 0;
    STDMETHOD(CopyTo)(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead, ULARGE_INTEGER* pcbWritten) = 0;
    STDMETHOD(Commit)(DWORD grfCommitFlags) = 0;
    STDMETHOD(Revert)() = 0;
    STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
    STDMETHOD(Clone)(IStream** ppstm) = 0;
};
typedef IStream* LPSTREAM;

struct ILockBytes : public IUnknown {
    STDMETHOD(ReadAt)(ULARGE_INTEGER ulOffset, void* pv, ULONG cb, ULONG* pcbRead) = 0;
    STDMETHOD(WriteAt)(ULARGE_INTEGER ulOffset, const void* pv, ULONG cb, ULONG* pcbWritten) = 0;
    STDMETHOD(Flush)() = 0;
    STDMETHOD(SetSize)(ULARGE_INTEGER cb) = 0;
    STDMETHOD(LockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(UnlockRegion)(ULARGE_INTEGER libOffset, ULARGE_INTEGER cb, DWORD dwLockType) = 0;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};

struct IEnumSTATSTG : public IUnknown {
    STDMETHOD(Next)(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) = 0;
    STDMETHOD(Skip)(ULONG celt) = 0;
    STDMETHOD(Reset)() = 0;
    STDMETHOD(Clone)(IEnumSTATSTG** ppenum) = 0;
};

struct IStorage : public IUnknown {
    STDMETHOD(CreateStream)(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                            IStream** ppstm) = 0;
    STDMETHOD(OpenStream)(const OLECHAR* pwcsName, void* reserved1, DWORD grfMode, DWORD reserved2,
                          IStream** ppstm) = 0;
    STDMETHOD(CreateStorage)(const OLECHAR* pwcsName, DWORD grfMode, DWORD reserved1, DWORD reserved2,
                             IStorage** ppstg) = 0;
    STDMETHOD(OpenStorage)(const OLECHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                           DWORD reserved, IStorage** ppstg) = 0;
    STDMETHOD(CopyTo)(DWORD ciidExclude, const IID* rgiidExclude, SNB snbExclude, IStorage* pstgDest) = 0;
    STDMETHOD(MoveElementTo)(const OLECHAR* pwcsName, IStorage* pstgDest, const OLECHAR* pwcsNewName,
                             DWORD grfFlags) = 0;
    STDMETHOD(Commit)(DWORD grfCommitFlags) = 0;
    STDMETHOD(Revert)() = 0;
    STDMETHOD(EnumElements)(DWORD reserved1, void* reserved2, DWORD reserved3, IEnumSTATSTG** ppenum) = 0;
    STDMETHOD(DestroyElement)(const OLECHAR* pwcsName) = 0;
    STDMETHOD(RenameElement)(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) = 0;
    STDMETHOD(SetElementTimes)(const OLECHAR* pwcsName, const FILETIME* pctime, const FILETIME* patime,
                               const FILETIME* pmtime) = 0;
    STDMETHOD(SetClass)(REFCLSID clsid) = 0;
    STDMETHOD(SetStateBits)(DWORD grfStateBits, DWORD grfMask) = 0;
    STDMETHOD(Stat)(STATSTG* pstatstg, DWORD grfStatFlag) = 0;
};
typedef IStorage* LPSTORAGE;

// ---- Persistence ----
struct IPersist : public IUnknown {
    STDMETHOD(GetClassID)(CLSID* pClassID) = 0;
};

struct IPersistStream : public IPersist {
    STDMETHOD(IsDirty)() = 0;
    STDMETHOD(Load)(IStream* pStm) = 0;
    STDMETHOD(Save)(IStream* pStm, BOOL fClearDirty) = 0;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pcbSize) = 0;
};
typedef IPersistStream* LPPERSISTSTREAM;

struct IPersistStreamInit : public IPersist {
    STDMETHOD(IsDirty)() = 0;
    STDMETHOD(Load)(LPSTREAM pStm) = 0;
    STDMETHOD(Save)(LPSTREAM pStm, BOOL fClearDirty) = 0;
    STDMETHOD(GetSizeMax)(ULARGE_INTEGER* pCbSize) = 0;
    STDMETHOD(InitNew)() = 0;
};

struct IPersistStorage : public IPersist {
    STDMETHOD(IsDirty)() = 0;
    STDMETHOD(InitNew)(IStorage* pStg) = 0;
    STDMETHOD(Load)(IStorage* pStg) = 0;
    STDMETHOD(Save)(IStorage* pStgSave, BOOL fSameAsLoad) = 0;
    STDMETHOD(SaveCompleted)(IStorage* pStgNew) = 0;
    STDMETHOD(HandsOffStorage)() = 0;
};

// ---- Views: drawing an object into a host's device context ----
typedef WORD CLIPFORMAT;

typedef struct tagDVTARGETDEVICE {
    DWORD tdSize;
    WORD tdDriverNameOffset;
    WORD tdDeviceNameOffset;
    WORD tdPortNameOffset;
    WORD tdExtDevmodeOffset;
    BYTE tdData[1];
} DVTARGETDEVICE;

typedef struct tagPALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
} PALETTEENTRY;

typedef struct tagLOGPALETTE {
    WORD palVersion;
    WORD palNumEntries;
    PALETTEENTRY palPalEntry[1];
} LOGPALETTE;

typedef struct tagFORMATETC {
    CLIPFORMAT cfFormat;
    DVTARGETDEVICE* ptd;
    DWORD dwAspect;
    LONG lindex;
    DWORD tymed;
} FORMATETC;

typedef struct tagSTGMEDIUM {
    DWORD tymed;
    union {
        HBITMAP hBitmap;
        HANDLE hMetaFilePict;
        HANDLE hEnhMetaFile;
        HGLOBAL hGlobal;
        LPOLESTR lpszFileName;
        IStream* pstm;
        IStorage* pstg;
    };
    IUnknown* pUnkForRelease;
} STGMEDIUM;

enum tagDVASPECT { DVASPECT_CONTENT = 1, DVASPECT_THUMBNAIL = 2, DVASPECT_ICON = 4, DVASPECT_DOCPRINT = 8 };

// Storage media and clipboard formats of data transfer.
enum tagTYMED {
    TYMED_HGLOBAL = 1,
    TYMED_FILE = 2,
    TYMED_ISTREAM = 4,
    TYMED_ISTORAGE = 8,
    TYMED_GDI = 16,
    TYMED_MFPICT = 32,
    TYMED_ENHMF = 64,
    TYMED_NULL = 0
};
#define CF_BITMAP 2
#define CF_METAFILEPICT 3
#define CF_DIB 8
#define CF_ENHMETAFILE 14
#define DATADIR_GET 1
#define DATADIR_SET 2

#define DV_E_FORMATETC ((HRESULT)0x80040064L)
#define DV_E_TYMED ((HRESULT)0x80040069L)
#define DATA_S_SAMEFORMATETC ((HRESULT)0x00040130L)
#define DV_E_LINDEX ((HRESULT)0x80040068L)
#define DV_E_DVASPECT ((HRESULT)0x8004006BL)
#define OLE_E_BLANK ((HRESULT)0x80040007L)

struct IMoniker;

struct IAdviseSink : public IUnknown {
    STDMETHOD_(void, OnDataChange)(FORMATETC* pFormatetc, STGMEDIUM* pStgmed) = 0;
    STDMETHOD_(void, OnViewChange)(DWORD dwAspect, LONG lindex) = 0;
    STDMETHOD_(void, OnRename)(IMoniker* pmk) = 0;
    STDMETHOD_(void, OnSave)() = 0;
    STDMETHOD_(void, OnClose)() = 0;
};

struct IEnumFORMATETC;
struct IEnumSTATDATA;

// Data transfer: an object hands out its data in a format and medium the
// caller names (FORMATETC), in a STGMEDIUM the caller then owns.
struct IDataObject : public IUnknown {
    STDMETHOD(GetData)(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) = 0;
    STDMETHOD(GetDataHere)(FORMATETC* pformatetc, STGMEDIUM* pmedium) = 0;
    STDMETHOD(QueryGetData)(FORMATETC* pformatetc) = 0;
    STDMETHOD(GetCanonicalFormatEtc)(FORMATETC* pformatectIn, FORMATETC* pformatetcOut) = 0;
    STDMETHOD(SetData)(FORMATETC* pformatetc, STGMEDIUM* pmedium, BOOL fRelease) = 0;
    STDMETHOD(EnumFormatEtc)(DWORD dwDirection, IEnumFORMATETC** ppenumFormatEtc) = 0;
    STDMETHOD(DAdvise)(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) = 0;
    STDMETHOD(DUnadvise)(DWORD dwConnection) = 0;
    STDMETHOD(EnumDAdvise)(IEnumSTATDATA** ppenumAdvise) = 0;
};

// ReleaseStgMedium: frees what a medium holds (a global block, a stream's or
// storage's reference), or releases pUnkForRelease instead when it is set.
WINOLEAUTAPI_(void) ReleaseStgMedium(STGMEDIUM* pmedium);

struct IViewObject : public IUnknown {
    STDMETHOD(Draw)(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd, HDC hdcTargetDev,
                    HDC hdcDraw, LPCRECTL lprcBounds, LPCRECTL lprcWBounds,
                    BOOL(STDMETHODCALLTYPE* pfnContinue)(ULONG_PTR dwContinue), ULONG_PTR dwContinue) = 0;
    STDMETHOD(GetColorSet)(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DVTARGETDEVICE* ptd,
                           HDC hicTargetDev, LOGPALETTE** ppColorSet) = 0;
    STDMETHOD(Freeze)(DWORD dwDrawAspect, LONG lindex, void* pvAspect, DWORD* pdwFreeze) = 0;
    STDMETHOD(Unfreeze)(DWORD dwFreeze) = 0;
    STDMETHOD(SetAdvise)(DWORD aspects, DWORD advf, IAdviseSink* pAdvSink) = 0;
    STDMETHOD(GetAdvise)(DWORD* pAspects, DWORD* pAdvf, IAdviseSink** ppAdvSink) = 0;
};

struct IViewObject2 : public IViewObject {
    STDMETHOD(GetExtent)(DWORD dwDrawAspect, LONG lindex, DVTARGETDEVICE* ptd, LPSIZEL lpsizel) = 0;
};

EXTERN_C QELV_PLATFORM_API const IID IID_IAdviseSink;
EXTERN_C QELV_PLATFORM_API const IID IID_IViewObject;
EXTERN_C QELV_PLATFORM_API const IID IID_IViewObject2;

EXTERN_C QELV_PLATFORM_API const IID IID_ISequentialStream;
EXTERN_C QELV_PLATFORM_API const IID IID_IStream;
EXTERN_C QELV_PLATFORM_API const IID IID_ILockBytes;
EXTERN_C QELV_PLATFORM_API const IID IID_IEnumSTATSTG;
EXTERN_C QELV_PLATFORM_API const IID IID_IStorage;
EXTERN_C QELV_PLATFORM_API const IID IID_IPersist;
EXTERN_C QELV_PLATFORM_API const IID IID_IPersistStream;
EXTERN_C QELV_PLATFORM_API const IID IID_IPersistStreamInit;
EXTERN_C QELV_PLATFORM_API const IID IID_IPersistStorage;

// ---- Stream and storage services ----
STDAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm);
STDAPI GetHGlobalFromStream(LPSTREAM pstm, HGLOBAL* phglobal);
STDAPI CreateILockBytesOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, ILockBytes** pplkbyt);
STDAPI GetHGlobalFromILockBytes(ILockBytes* plkbyt, HGLOBAL* phglobal);
STDAPI StgCreateDocfileOnILockBytes(ILockBytes* plkbyt, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);
STDAPI StgOpenStorageOnILockBytes(ILockBytes* plkbyt, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude,
                                  DWORD reserved, IStorage** ppstgOpen);
STDAPI StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD reserved, IStorage** ppstgOpen);
STDAPI StgOpenStorage(const WCHAR* pwcsName, IStorage* pstgPriority, DWORD grfMode, SNB snbExclude, DWORD reserved,
                      IStorage** ppstgOpen);

STDAPI WriteClassStm(LPSTREAM pStm, REFCLSID rclsid);
STDAPI ReadClassStm(LPSTREAM pStm, CLSID* pclsid);
STDAPI OleSaveToStream(LPPERSISTSTREAM pPStm, LPSTREAM pStm);
STDAPI OleLoadFromStream(LPSTREAM pStm, REFIID iidInterface, LPVOID* ppvObj);
