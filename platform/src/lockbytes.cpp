// Byte arrays under a storage (ILockBytes): one in a block of global memory
// (CreateILockBytesOnHGlobal) and one in a file (used by StgCreateDocfile and
// StgOpenStorage through storage_internal.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include "storage_internal.h"

namespace {

class CLockBytesBase : public ILockBytes {
public:
    virtual ~CLockBytesBase() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ILockBytes)) {
            *ppv = static_cast<ILockBytes*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = --refs_;
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

private:
    std::atomic<LONG> refs_{1};
};

// ---- In global memory ------------------------------------------------------------

class CHGlobalLockBytes final : public CLockBytesBase {
public:
    CHGlobalLockBytes(HGLOBAL memory, bool freeOnRelease)
        : memory_(memory), freeOnRelease_(freeOnRelease), size_(GlobalSize(memory)) {}
    ~CHGlobalLockBytes() override {
        if (freeOnRelease_) GlobalFree(memory_);
    }

    HGLOBAL Memory() const { return memory_; }

    STDMETHODIMP ReadAt(ULARGE_INTEGER ulOffset, void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG count = 0;
        if (ulOffset.QuadPart < size_) {
            const ULONGLONG left = size_ - ulOffset.QuadPart;
            count = left < cb ? static_cast<ULONG>(left) : cb;
        }
        if (count) {
            const auto* data = static_cast<const unsigned char*>(GlobalLock(memory_));
            std::memcpy(pv, data + ulOffset.QuadPart, count);
            GlobalUnlock(memory_);
        }
        if (pcbRead) *pcbRead = count;
        return S_OK;
    }

    STDMETHODIMP WriteAt(ULARGE_INTEGER ulOffset, const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        const ULONGLONG end = ulOffset.QuadPart + cb;
        if (end > size_) {
            ULARGE_INTEGER size;
            size.QuadPart = end;
            if (HRESULT hr = SetSize(size); FAILED(hr)) return hr;
        }
        auto* data = static_cast<unsigned char*>(GlobalLock(memory_));
        std::memcpy(data + ulOffset.QuadPart, pv, cb);
        GlobalUnlock(memory_);
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    STDMETHODIMP Flush() override { return S_OK; }

    STDMETHODIMP SetSize(ULARGE_INTEGER cb) override {
        if (cb.QuadPart > GlobalSize(memory_) &&
            !GlobalReAlloc(memory_, static_cast<SIZE_T>(cb.QuadPart), GMEM_MOVEABLE)) {
            return STG_E_MEDIUMFULL;
        }
        size_ = cb.QuadPart;
        return S_OK;
    }

    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        std::memset(pstatstg, 0, sizeof *pstatstg);
        pstatstg->type = STGTY_LOCKBYTES;
        pstatstg->cbSize.QuadPart = size_;
        return S_OK;
    }

private:
    HGLOBAL memory_;
    bool freeOnRelease_;
    ULONGLONG size_;
};

// ---- In a file ---------------------------------------------------------------------

class CFileLockBytes final : public CLockBytesBase {
public:
    CFileLockBytes(int fd, std::string path, bool deleteOnRelease)
        : fd_(fd), path_(std::move(path)), deleteOnRelease_(deleteOnRelease) {}
    ~CFileLockBytes() override {
        ::close(fd_);
        if (deleteOnRelease_) ::unlink(path_.c_str());
    }

    STDMETHODIMP ReadAt(ULARGE_INTEGER ulOffset, void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < cb) {
            const ssize_t n = ::pread(fd_, static_cast<char*>(pv) + done, cb - done,
                                      static_cast<off_t>(ulOffset.QuadPart + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return STG_E_READFAULT;
            if (n == 0) break;
            done += static_cast<ULONG>(n);
        }
        if (pcbRead) *pcbRead = done;
        return S_OK;
    }

    STDMETHODIMP WriteAt(ULARGE_INTEGER ulOffset, const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG done = 0;
        while (done < cb) {
            const ssize_t n = ::pwrite(fd_, static_cast<const char*>(pv) + done, cb - done,
                                       static_cast<off_t>(ulOffset.QuadPart + done));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errno == EBADF ? STG_E_ACCESSDENIED : STG_E_WRITEFAULT;
            done += static_cast<ULONG>(n);
        }
        if (pcbWritten) *pcbWritten = done;
        return S_OK;
    }

    STDMETHODIMP Flush() override { return ::fsync(fd_) == 0 ? S_OK : STG_E_WRITEFAULT; }

    STDMETHODIMP SetSize(ULARGE_INTEGER cb) override {
        return ::ftruncate(fd_, static_cast<off_t>(cb.QuadPart)) == 0 ? S_OK : STG_E_MEDIUMFULL;
    }

    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        std::memset(pstatstg, 0, sizeof *pstatstg);
        struct stat info;
        if (::fstat(fd_, &info) != 0) return STG_E_ACCESSDENIED;
        pstatstg->type = STGTY_LOCKBYTES;
        pstatstg->cbSize.QuadPart = static_cast<ULONGLONG>(info.st_size);
        return S_OK;
    }

private:
    int fd_;
    std::string path_;
    bool deleteOnRelease_;
};

}  // namespace

namespace qelv_storage {

HRESULT OpenFileLockBytes(const std::string& path, FileOpen how, bool writable, bool deleteOnRelease,
                          ILockBytes** bytes) {
    *bytes = nullptr;
    int flags = writable ? O_RDWR : O_RDONLY;
    if (how == FileOpen::CreateNew) flags |= O_CREAT | O_EXCL;
    if (how == FileOpen::CreateOrTruncate) flags |= O_CREAT | O_TRUNC;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        switch (errno) {
            case ENOENT: return how == FileOpen::Existing ? STG_E_FILENOTFOUND : STG_E_PATHNOTFOUND;
            case EEXIST: return STG_E_FILEALREADYEXISTS;
            case EACCES:
            case EPERM:
            case EROFS: return STG_E_ACCESSDENIED;
            default: return STG_E_PATHNOTFOUND;
        }
    }
    auto* lockBytes = new (std::nothrow) CFileLockBytes(fd, path, deleteOnRelease);
    if (!lockBytes) {
        ::close(fd);
        return E_OUTOFMEMORY;
    }
    *bytes = lockBytes;
    return S_OK;
}

HRESULT CreateTemporaryFileLockBytes(ILockBytes** bytes) {
    *bytes = nullptr;
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir && *dir ? dir : "/tmp") + "/qelvstgXXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) return STG_E_ACCESSDENIED;
    auto* lockBytes = new (std::nothrow) CFileLockBytes(fd, path, true);
    if (!lockBytes) {
        ::close(fd);
        ::unlink(path.c_str());
        return E_OUTOFMEMORY;
    }
    *bytes = lockBytes;
    return S_OK;
}

}  // namespace qelv_storage

// CreateILockBytesOnHGlobal: a byte array in a block of global memory.
//   hGlobal          [in] the block; NULL allocates a new empty one. An existing
//                         block's size is the array's initial size.
//   fDeleteOnRelease [in] TRUE frees the block with the last reference.
//   pplkbyt          [out] the byte array.
// Returns S_OK, E_INVALIDARG or E_OUTOFMEMORY.
STDAPI CreateILockBytesOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, ILockBytes** pplkbyt) {
    if (!pplkbyt) return E_INVALIDARG;
    *pplkbyt = nullptr;
    HGLOBAL memory = hGlobal ? hGlobal : GlobalAlloc(GMEM_MOVEABLE, 0);
    if (!memory) return E_OUTOFMEMORY;
    if (hGlobal && !GlobalLock(hGlobal)) return E_INVALIDARG;
    if (hGlobal) GlobalUnlock(hGlobal);
    auto* bytes = new (std::nothrow) CHGlobalLockBytes(memory, fDeleteOnRelease != FALSE);
    if (!bytes) {
        if (!hGlobal) GlobalFree(memory);
        return E_OUTOFMEMORY;
    }
    *pplkbyt = bytes;
    return S_OK;
}

// GetHGlobalFromILockBytes: the block under a byte array made by
// CreateILockBytesOnHGlobal (it may be larger than the array's size).
//   plkbyt   [in] the byte array.
//   phglobal [out] the block.
// Returns S_OK, or E_INVALIDARG for another kind of byte array.
STDAPI GetHGlobalFromILockBytes(ILockBytes* plkbyt, HGLOBAL* phglobal) {
    if (!plkbyt || !phglobal) return E_INVALIDARG;
    auto* bytes = dynamic_cast<CHGlobalLockBytes*>(plkbyt);
    *phglobal = bytes ? bytes->Memory() : nullptr;
    return bytes ? S_OK : E_INVALIDARG;
}
