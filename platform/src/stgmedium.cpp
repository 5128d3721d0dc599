// ReleaseStgMedium: gives back what a storage medium from data transfer holds.
#include <qelvsonalter2/platform.h>

// A medium with pUnkForRelease belongs to that object: releasing it is all the
// caller does. Otherwise the medium's own content is freed: a global block, a
// stream's or storage's reference, a bitmap, or a file name (the file itself
// is left in place here, as the platform has no file deletion in this layer),
// or a metafile picture: the METAFILEPICT block's metafile, then the block.
// NULL does nothing.
WINOLEAUTAPI_(void) ReleaseStgMedium(STGMEDIUM* pmedium) {
    if (!pmedium) return;
    IUnknown* owner = pmedium->pUnkForRelease;
    if (owner) {
        if (pmedium->tymed == TYMED_FILE) CoTaskMemFree(pmedium->lpszFileName);
        owner->Release();
    } else {
        switch (pmedium->tymed) {
        case TYMED_HGLOBAL:
            if (pmedium->hGlobal) GlobalFree(pmedium->hGlobal);
            break;
        case TYMED_ISTREAM:
            if (pmedium->pstm) pmedium->pstm->Release();
            break;
        case TYMED_ISTORAGE:
            if (pmedium->pstg) pmedium->pstg->Release();
            break;
        case TYMED_MFPICT:
            if (pmedium->hMetaFilePict) {
                if (auto* picture = static_cast<METAFILEPICT*>(GlobalLock(pmedium->hMetaFilePict))) {
                    DeleteMetaFile(picture->hMF);
                    GlobalUnlock(pmedium->hMetaFilePict);
                }
                GlobalFree(pmedium->hMetaFilePict);
            }
            break;
        case TYMED_GDI:
            if (pmedium->hBitmap) DeleteObject(pmedium->hBitmap);
            break;
        case TYMED_FILE:
            CoTaskMemFree(pmedium->lpszFileName);
            break;
        default:
            break;
        }
    }
    pmedium->tymed = TYMED_NULL;
    pmedium->pUnkForRelease = nullptr;
    pmedium->hGlobal = nullptr;
}
