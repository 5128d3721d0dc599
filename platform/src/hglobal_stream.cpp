// IStream over a block of global memory: CreateStreamOnHGlobal and
// GetHGlobalFromStream. Clones share the block and the stream's size but each
// has its own seek position.
#include <qelvsonalter2/platform.h>

#include <atomic>
#include <cstring>
#include <new>

namespace {

struct SharedBlock {
    std::atomic<LONG> refs{1};
    HGLOBAL memory = nullptr;
    bool freeOnRelease = false;
    ULONGLONG size = 0;  // the stream's size; the block may be larger

    void AddRef() { ++refs; }
    void Release() {
        if (--refs == 0) {
            if (freeOnRelease) GlobalFree(memory);
            delete this;
        }
    }
};

class CHGlobalStream final : public IStream {
public:
    explicit CHGlobalStream(SharedBlock* shared) : shared_(shared) {}
    ~CHGlobalStream() { shared_->Release(); }

    SharedBlock* Shared() const { return shared_; }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_ISequentialStream) ||
            IsEqualIID(riid, IID_IStream)) {
            *ppv = static_cast<IStream*>(this);
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

    STDMETHODIMP Read(void* pv, ULONG cb, ULONG* pcbRead) override {
        if (pcbRead) *pcbRead = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        ULONG count = 0;
        if (position_ < shared_->size) {
            const ULONGLONG left = shared_->size - position_;
            count = left < cb ? static_cast<ULONG>(left) : cb;
        }
        if (count) {
            const auto* data = static_cast<const unsigned char*>(GlobalLock(shared_->memory));
            if (!data) return E_OUTOFMEMORY;
            std::memcpy(pv, data + position_, count);
            GlobalUnlock(shared_->memory);
            position_ += count;
        }
        if (pcbRead) *pcbRead = count;
        return S_OK;
    }

    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        const ULONGLONG end = position_ + cb;
        if (end > shared_->size) {
            if (HRESULT hr = Resize(end); FAILED(hr)) return hr;
        }
        auto* data = static_cast<unsigned char*>(GlobalLock(shared_->memory));
        if (!data) return E_OUTOFMEMORY;
        std::memcpy(data + position_, pv, cb);
        GlobalUnlock(shared_->memory);
        position_ = end;
        if (pcbWritten) *pcbWritten = cb;
        return S_OK;
    }

    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        LONGLONG base = 0;
        switch (dwOrigin) {
            case STREAM_SEEK_SET: base = 0; break;
            case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
            case STREAM_SEEK_END: base = static_cast<LONGLONG>(shared_->size); break;
            default: return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG target = base + dlibMove.QuadPart;
        if (target < 0 || (dlibMove.QuadPart > 0 && target < base)) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (plibNewPosition) plibNewPosition->QuadPart = position_;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override { return Resize(libNewSize.QuadPart); }

    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                        ULARGE_INTEGER* pcbWritten) override {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        ULONGLONG read = 0;
        ULONGLONG written = 0;
        unsigned char buffer[4096];
        while (read < cb.QuadPart) {
            const ULONGLONG want = cb.QuadPart - read;
            ULONG got = 0;
            HRESULT hr = Read(buffer, want < sizeof buffer ? static_cast<ULONG>(want) : sizeof buffer, &got);
            if (FAILED(hr)) return hr;
            if (got == 0) break;
            read += got;
            ULONG put = 0;
            hr = pstm->Write(buffer, got, &put);
            written += put;
            if (FAILED(hr)) return hr;
        }
        if (pcbRead) pcbRead->QuadPart = read;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return S_OK;
    }

    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        std::memset(pstatstg, 0, sizeof *pstatstg);
        pstatstg->type = STGTY_STREAM;
        pstatstg->cbSize.QuadPart = shared_->size;
        pstatstg->grfMode = STGM_READWRITE;
        return S_OK;
    }

    STDMETHODIMP Clone(IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        auto* clone = new (std::nothrow) CHGlobalStream(shared_);
        if (!clone) {
            *ppstm = nullptr;
            return E_OUTOFMEMORY;
        }
        shared_->AddRef();
        clone->position_ = position_;
        *ppstm = clone;
        return S_OK;
    }

private:
    HRESULT Resize(ULONGLONG size) {
        if (size > GlobalSize(shared_->memory)) {
            // Grow geometrically so that many small writes stay linear.
            ULONGLONG capacity = GlobalSize(shared_->memory);
            if (capacity < 256) capacity = 256;
            while (capacity < size) capacity *= 2;
            if (!GlobalReAlloc(shared_->memory, static_cast<SIZE_T>(capacity), GMEM_MOVEABLE) &&
                !GlobalReAlloc(shared_->memory, static_cast<SIZE_T>(size), GMEM_MOVEABLE)) {
                return E_OUTOFMEMORY;
            }
        }
        shared_->size = size;
        return S_OK;
    }

    std::atomic<LONG> refs_{1};
    SharedBlock* shared_;
    ULONGLONG position_ = 0;
};

}  // namespace

// CreateStreamOnHGlobal: a stream whose data lives in a block of global memory.
//   hGlobal          [in] the block; NULL allocates a new empty one. An existing
//                         block's whole size is the stream's initial size.
//   fDeleteOnRelease [in] TRUE frees the block when the last stream on it goes.
//   ppstm            [out] the stream, positioned at 0.
// Returns S_OK, E_INVALIDARG (no ppstm or an invalid block) or E_OUTOFMEMORY.
STDAPI CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm) {
    if (!ppstm) return E_INVALIDARG;
    *ppstm = nullptr;
    HGLOBAL memory = hGlobal;
    if (!memory) {
        memory = GlobalAlloc(GMEM_MOVEABLE, 0);
        if (!memory) return E_OUTOFMEMORY;
    } else if (!GlobalLock(memory)) {
        return E_INVALIDARG;
    } else {
        GlobalUnlock(memory);
    }
    auto* shared = new (std::nothrow) SharedBlock();
    CHGlobalStream* stream = shared ? new (std::nothrow) CHGlobalStream(shared) : nullptr;
    if (!stream) {
        delete shared;
        if (!hGlobal) GlobalFree(memory);
        return E_OUTOFMEMORY;
    }
    shared->memory = memory;
    shared->freeOnRelease = fDeleteOnRelease != FALSE;
    shared->size = GlobalSize(memory);
    *ppstm = stream;
    return S_OK;
}

// GetHGlobalFromStream: the block under a stream made by CreateStreamOnHGlobal.
//   pstm      [in] the stream.
//   phglobal  [out] the block (it may be larger than the stream's size).
// Returns S_OK, or E_INVALIDARG for another kind of stream or a null argument.
STDAPI GetHGlobalFromStream(LPSTREAM pstm, HGLOBAL* phglobal) {
    if (!pstm || !phglobal) return E_INVALIDARG;
    auto* stream = dynamic_cast<CHGlobalStream*>(pstm);
    if (!stream) {
        *phglobal = nullptr;
        return E_INVALIDARG;
    }
    *phglobal = stream->Shared()->memory;
    return S_OK;
}
