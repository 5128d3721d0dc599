// Structured storage: a tree of named streams and storages kept in memory and
// written whole to a byte array (ILockBytes): in global memory, or in a file.
// The tree's form in the byte array is in storage_image.cpp.
//
// In direct mode every change (a stream's Write or SetSize, creating,
// destroying or renaming an element, SetClass, SetStateBits) rewrites the image
// at once; in transacted mode (STGM_TRANSACTED on the root) the image is
// written by the root's Commit and Revert reads it back.
#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "module_internal.h"
#include "storage_image.h"
#include "storage_internal.h"

namespace {

using qelv_storage::kMaxNameLength;
using qelv_storage::Node;

char16_t Fold(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }

// Element names compare without regard to ASCII case.
bool SameName(const std::u16string& a, const std::u16string& b) {
    if (a.size() != b.size()) return false;
    for (size_t k = 0; k < a.size(); ++k) {
        if (Fold(a[k]) != Fold(b[k])) return false;
    }
    return true;
}

HRESULT CheckName(const OLECHAR* name, std::u16string& out) {
    if (!name) return STG_E_INVALIDPOINTER;
    out.assign(name);
    if (out.empty() || out.size() > kMaxNameLength) return STG_E_INVALIDNAME;
    for (char16_t c : out) {
        if (c == u'/' || c == u'\\' || c == u':' || c == u'!') return STG_E_INVALIDNAME;
    }
    return S_OK;
}

// ---- The tree shared by every object on one storage ---------------------------------

struct Root {
    std::atomic<LONG> refs{1};
    ILockBytes* bytes = nullptr;
    std::shared_ptr<Node> node;
    bool transacted = false;
    bool writable = false;

    ~Root() {
        if (bytes) bytes->Release();
    }
    void AddRef() { ++refs; }
    void Release() {
        if (--refs == 0) delete this;
    }

    HRESULT WriteImage() {
        std::vector<BYTE> image;
        try {
            image = qelv_storage::EncodeImage(*node);
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        ULARGE_INTEGER size;
        size.QuadPart = image.size();
        HRESULT hr = bytes->SetSize(size);
        ULARGE_INTEGER offset;
        offset.QuadPart = 0;
        size_t done = 0;
        while (SUCCEEDED(hr) && done < image.size()) {
            const size_t chunk = std::min<size_t>(image.size() - done, 1u << 30);
            ULONG written = 0;
            offset.QuadPart = done;
            hr = bytes->WriteAt(offset, image.data() + done, static_cast<ULONG>(chunk), &written);
            if (SUCCEEDED(hr) && written != chunk) hr = STG_E_MEDIUMFULL;
            done += chunk;
        }
        if (SUCCEEDED(hr)) hr = bytes->Flush();
        return hr;
    }

    HRESULT ReadImage(std::shared_ptr<Node>& out) {
        STATSTG stat{};
        HRESULT hr = bytes->Stat(&stat, STATFLAG_NONAME);
        if (FAILED(hr)) return hr;
        if (stat.cbSize.QuadPart > (ULONGLONG{1} << 32)) return STG_E_INVALIDHEADER;
        std::vector<BYTE> image;
        try {
            image.resize(static_cast<size_t>(stat.cbSize.QuadPart));
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        size_t done = 0;
        while (done < image.size()) {
            const size_t chunk = std::min<size_t>(image.size() - done, 1u << 30);
            ULARGE_INTEGER offset;
            offset.QuadPart = done;
            ULONG read = 0;
            hr = bytes->ReadAt(offset, image.data() + done, static_cast<ULONG>(chunk), &read);
            if (FAILED(hr)) return hr;
            if (read != chunk) return STG_E_READFAULT;
            done += chunk;
        }
        auto node = std::make_shared<Node>();
        node->isStorage = true;
        try {
            if (!qelv_storage::DecodeImage(image, *node)) return STG_E_INVALIDHEADER;
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        out = std::move(node);
        return S_OK;
    }

    // A change made in direct mode goes to the byte array at once.
    HRESULT Changed() { return transacted ? S_OK : WriteImage(); }
};

bool WantsWrite(DWORD mode) { return (mode & (STGM_WRITE | STGM_READWRITE)) != 0; }

void FillStat(STATSTG* stat, const Node& node, DWORD mode, DWORD flags) {
    std::memset(stat, 0, sizeof *stat);
    stat->type = node.isStorage ? STGTY_STORAGE : STGTY_STREAM;
    stat->cbSize.QuadPart = node.isStorage ? 0 : node.data.size();
    stat->grfMode = mode;
    stat->clsid = node.clsid;
    stat->grfStateBits = node.stateBits;
    if (!(flags & STATFLAG_NONAME)) {
        const size_t bytes = (node.name.size() + 1) * sizeof(OLECHAR);
        auto* name = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
        if (name) {
            std::memcpy(name, node.name.c_str(), bytes);
            stat->pwcsName = name;
        }
    }
}

// ---- Streams in a storage -------------------------------------------------------------

class CStorageStream final : public IStream {
public:
    CStorageStream(Root* root, std::shared_ptr<Node> node, DWORD mode, bool ownsOpen)
        : root_(root), node_(std::move(node)), mode_(mode), ownsOpen_(ownsOpen) {
        root_->AddRef();
    }
    ~CStorageStream() {
        if (ownsOpen_) node_->open = false;
        root_->Release();
    }

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
        const auto& data = node_->data;
        ULONG count = 0;
        if (position_ < data.size()) {
            const ULONGLONG left = data.size() - position_;
            count = left < cb ? static_cast<ULONG>(left) : cb;
        }
        if (count) std::memcpy(pv, data.data() + position_, count);
        position_ += count;
        if (pcbRead) *pcbRead = count;
        return S_OK;
    }

    STDMETHODIMP Write(const void* pv, ULONG cb, ULONG* pcbWritten) override {
        if (pcbWritten) *pcbWritten = 0;
        if (!WantsWrite(mode_)) return STG_E_ACCESSDENIED;
        if (!pv && cb) return STG_E_INVALIDPOINTER;
        if (cb == 0) return S_OK;
        auto& data = node_->data;
        const ULONGLONG end = position_ + cb;
        try {
            if (end > data.size()) data.resize(static_cast<size_t>(end));
        } catch (const std::bad_alloc&) {
            return STG_E_MEDIUMFULL;
        }
        std::memcpy(data.data() + position_, pv, cb);
        position_ = end;
        if (pcbWritten) *pcbWritten = cb;
        return root_->Changed();
    }

    STDMETHODIMP Seek(LARGE_INTEGER dlibMove, DWORD dwOrigin, ULARGE_INTEGER* plibNewPosition) override {
        LONGLONG base = 0;
        switch (dwOrigin) {
            case STREAM_SEEK_SET: base = 0; break;
            case STREAM_SEEK_CUR: base = static_cast<LONGLONG>(position_); break;
            case STREAM_SEEK_END: base = static_cast<LONGLONG>(node_->data.size()); break;
            default: return STG_E_INVALIDFUNCTION;
        }
        const LONGLONG target = base + dlibMove.QuadPart;
        if (target < 0 || (dlibMove.QuadPart > 0 && target < base)) return STG_E_INVALIDFUNCTION;
        position_ = static_cast<ULONGLONG>(target);
        if (plibNewPosition) plibNewPosition->QuadPart = position_;
        return S_OK;
    }

    STDMETHODIMP SetSize(ULARGE_INTEGER libNewSize) override {
        if (!WantsWrite(mode_)) return STG_E_ACCESSDENIED;
        if (libNewSize.QuadPart > (ULONGLONG{1} << 40)) return STG_E_MEDIUMFULL;
        try {
            node_->data.resize(static_cast<size_t>(libNewSize.QuadPart));
        } catch (const std::bad_alloc&) {
            return STG_E_MEDIUMFULL;
        }
        return root_->Changed();
    }

    STDMETHODIMP CopyTo(IStream* pstm, ULARGE_INTEGER cb, ULARGE_INTEGER* pcbRead,
                        ULARGE_INTEGER* pcbWritten) override {
        if (pcbRead) pcbRead->QuadPart = 0;
        if (pcbWritten) pcbWritten->QuadPart = 0;
        if (!pstm) return STG_E_INVALIDPOINTER;
        const auto& data = node_->data;
        ULONGLONG count = position_ < data.size() ? data.size() - position_ : 0;
        if (count > cb.QuadPart) count = cb.QuadPart;
        ULONGLONG written = 0;
        while (written < count) {
            const ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(count - written, 1u << 30));
            ULONG put = 0;
            const HRESULT hr = pstm->Write(data.data() + position_ + written, chunk, &put);
            written += put;
            if (FAILED(hr)) return hr;
            if (put != chunk) break;
        }
        position_ += count;
        if (pcbRead) pcbRead->QuadPart = count;
        if (pcbWritten) pcbWritten->QuadPart = written;
        return S_OK;
    }

    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return S_OK; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return STG_E_INVALIDFUNCTION; }

    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        FillStat(pstatstg, *node_, mode_, grfStatFlag);
        return S_OK;
    }

    STDMETHODIMP Clone(IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        auto* clone = new (std::nothrow) CStorageStream(root_, node_, mode_, false);
        *ppstm = clone;
        if (!clone) return E_OUTOFMEMORY;
        clone->position_ = position_;
        return S_OK;
    }

private:
    std::atomic<LONG> refs_{1};
    Root* root_;
    std::shared_ptr<Node> node_;
    DWORD mode_;
    bool ownsOpen_;
    ULONGLONG position_ = 0;
};

// ---- Element enumeration ------------------------------------------------------------------

class CEnumElements final : public IEnumSTATSTG {
public:
    explicit CEnumElements(std::vector<std::shared_ptr<Node>> items) : items_(std::move(items)) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumSTATSTG)) {
            *ppv = static_cast<IEnumSTATSTG*>(this);
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

    STDMETHODIMP Next(ULONG celt, STATSTG* rgelt, ULONG* pceltFetched) override {
        if (!rgelt || (celt > 1 && !pceltFetched)) return STG_E_INVALIDPOINTER;
        ULONG fetched = 0;
        while (fetched < celt && next_ < items_.size()) {
            FillStat(&rgelt[fetched], *items_[next_], 0, STATFLAG_DEFAULT);
            ++fetched;
            ++next_;
        }
        if (pceltFetched) *pceltFetched = fetched;
        return fetched == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        const size_t left = items_.size() - next_;
        next_ += std::min<size_t>(celt, left);
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        next_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumSTATSTG** ppenum) override {
        if (!ppenum) return STG_E_INVALIDPOINTER;
        auto* clone = new (std::nothrow) CEnumElements(items_);
        *ppenum = clone;
        if (!clone) return E_OUTOFMEMORY;
        clone->next_ = next_;
        return S_OK;
    }

private:
    std::atomic<LONG> refs_{1};
    std::vector<std::shared_ptr<Node>> items_;
    size_t next_ = 0;
};

// ---- Storages --------------------------------------------------------------------------------

class CStorage final : public IStorage {
public:
    CStorage(Root* root, std::shared_ptr<Node> node, DWORD mode, bool isRoot)
        : root_(root), node_(std::move(node)), mode_(mode), isRoot_(isRoot) {
        root_->AddRef();
    }
    ~CStorage() {
        if (!isRoot_) node_->open = false;
        root_->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IStorage)) {
            *ppv = static_cast<IStorage*>(this);
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

    STDMETHODIMP CreateStream(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD, IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        std::shared_ptr<Node> node;
        HRESULT hr = CreateElement(pwcsName, grfMode, false, node);
        if (FAILED(hr)) return hr;
        auto* stream = new (std::nothrow) CStorageStream(root_, node, grfMode, true);
        if (!stream) {
            node->open = false;
            return E_OUTOFMEMORY;
        }
        *ppstm = stream;
        return S_OK;
    }

    STDMETHODIMP OpenStream(const OLECHAR* pwcsName, void*, DWORD grfMode, DWORD, IStream** ppstm) override {
        if (!ppstm) return STG_E_INVALIDPOINTER;
        *ppstm = nullptr;
        std::shared_ptr<Node> node;
        HRESULT hr = OpenElement(pwcsName, grfMode, false, node);
        if (FAILED(hr)) return hr;
        auto* stream = new (std::nothrow) CStorageStream(root_, node, grfMode, true);
        if (!stream) {
            node->open = false;
            return E_OUTOFMEMORY;
        }
        *ppstm = stream;
        return S_OK;
    }

    STDMETHODIMP CreateStorage(const OLECHAR* pwcsName, DWORD grfMode, DWORD, DWORD, IStorage** ppstg) override {
        if (!ppstg) return STG_E_INVALIDPOINTER;
        *ppstg = nullptr;
        std::shared_ptr<Node> node;
        HRESULT hr = CreateElement(pwcsName, grfMode, true, node);
        if (FAILED(hr)) return hr;
        auto* storage = new (std::nothrow) CStorage(root_, node, grfMode, false);
        if (!storage) {
            node->open = false;
            return E_OUTOFMEMORY;
        }
        *ppstg = storage;
        return S_OK;
    }

    STDMETHODIMP OpenStorage(const OLECHAR* pwcsName, IStorage*, DWORD grfMode, SNB, DWORD,
                             IStorage** ppstg) override {
        if (!ppstg) return STG_E_INVALIDPOINTER;
        *ppstg = nullptr;
        std::shared_ptr<Node> node;
        HRESULT hr = OpenElement(pwcsName, grfMode, true, node);
        if (FAILED(hr)) return hr;
        auto* storage = new (std::nothrow) CStorage(root_, node, grfMode, false);
        if (!storage) {
            node->open = false;
            return E_OUTOFMEMORY;
        }
        *ppstg = storage;
        return S_OK;
    }

    STDMETHODIMP CopyTo(DWORD, const IID*, SNB, IStorage*) override { return STG_E_UNIMPLEMENTEDFUNCTION; }
    STDMETHODIMP MoveElementTo(const OLECHAR*, IStorage*, const OLECHAR*, DWORD) override {
        return STG_E_UNIMPLEMENTEDFUNCTION;
    }

    STDMETHODIMP Commit(DWORD) override {
        if (!isRoot_ || !root_->transacted || !root_->writable) return S_OK;
        return root_->WriteImage();
    }

    STDMETHODIMP Revert() override {
        if (!isRoot_ || !root_->transacted) return S_OK;
        std::shared_ptr<Node> fresh;
        HRESULT hr = root_->ReadImage(fresh);
        if (FAILED(hr)) return hr;
        root_->node = fresh;
        node_ = fresh;
        return S_OK;
    }

    STDMETHODIMP EnumElements(DWORD, void*, DWORD, IEnumSTATSTG** ppenum) override {
        if (!ppenum) return STG_E_INVALIDPOINTER;
        auto* list = new (std::nothrow) CEnumElements(node_->children);
        *ppenum = list;
        return list ? S_OK : E_OUTOFMEMORY;
    }

    STDMETHODIMP DestroyElement(const OLECHAR* pwcsName) override {
        if (!Writable()) return STG_E_ACCESSDENIED;
        std::u16string name;
        if (HRESULT hr = CheckName(pwcsName, name); FAILED(hr)) return hr;
        auto& children = node_->children;
        const auto found = Find(name);
        if (found == children.end()) return STG_E_FILENOTFOUND;
        children.erase(found);
        return root_->Changed();
    }

    STDMETHODIMP RenameElement(const OLECHAR* pwcsOldName, const OLECHAR* pwcsNewName) override {
        if (!Writable()) return STG_E_ACCESSDENIED;
        std::u16string oldName;
        std::u16string newName;
        if (HRESULT hr = CheckName(pwcsOldName, oldName); FAILED(hr)) return hr;
        if (HRESULT hr = CheckName(pwcsNewName, newName); FAILED(hr)) return hr;
        const auto found = Find(oldName);
        if (found == node_->children.end()) return STG_E_FILENOTFOUND;
        if (Find(newName) != node_->children.end()) return STG_E_FILEALREADYEXISTS;
        if ((*found)->open) return STG_E_ACCESSDENIED;
        (*found)->name = newName;
        return root_->Changed();
    }

    STDMETHODIMP SetElementTimes(const OLECHAR*, const FILETIME*, const FILETIME*, const FILETIME*) override {
        return S_OK;
    }

    STDMETHODIMP SetClass(REFCLSID clsid) override {
        if (!Writable()) return STG_E_ACCESSDENIED;
        node_->clsid = clsid;
        return root_->Changed();
    }

    STDMETHODIMP SetStateBits(DWORD grfStateBits, DWORD grfMask) override {
        if (!Writable()) return STG_E_ACCESSDENIED;
        node_->stateBits = (node_->stateBits & ~grfMask) | (grfStateBits & grfMask);
        return root_->Changed();
    }

    STDMETHODIMP Stat(STATSTG* pstatstg, DWORD grfStatFlag) override {
        if (!pstatstg) return STG_E_INVALIDPOINTER;
        FillStat(pstatstg, *node_, mode_, grfStatFlag);
        return S_OK;
    }

private:
    bool Writable() const { return root_->writable && WantsWrite(mode_); }

    std::vector<std::shared_ptr<Node>>::iterator Find(const std::u16string& name) {
        return std::find_if(node_->children.begin(), node_->children.end(),
                            [&](const std::shared_ptr<Node>& child) { return SameName(child->name, name); });
    }

    // Elements are opened one at a time and only with exclusive sharing.
    HRESULT CreateElement(const OLECHAR* pwcsName, DWORD mode, bool storage, std::shared_ptr<Node>& out) {
        std::u16string name;
        if (HRESULT hr = CheckName(pwcsName, name); FAILED(hr)) return hr;
        if ((mode & 0x70) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
        if (!Writable() || !WantsWrite(mode)) return STG_E_ACCESSDENIED;
        const auto found = Find(name);
        if (found != node_->children.end()) {
            if (!(mode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
            if ((*found)->open) return STG_E_ACCESSDENIED;
            node_->children.erase(found);
        }
        try {
            auto node = std::make_shared<Node>();
            node->isStorage = storage;
            node->name = name;
            node_->children.push_back(node);
            out = node;
        } catch (const std::bad_alloc&) {
            return STG_E_INSUFFICIENTMEMORY;
        }
        out->open = true;
        if (HRESULT hr = root_->Changed(); FAILED(hr)) {
            out->open = false;
            return hr;
        }
        return S_OK;
    }

    HRESULT OpenElement(const OLECHAR* pwcsName, DWORD mode, bool storage, std::shared_ptr<Node>& out) {
        std::u16string name;
        if (HRESULT hr = CheckName(pwcsName, name); FAILED(hr)) return hr;
        if ((mode & 0x70) != STGM_SHARE_EXCLUSIVE) return STG_E_INVALIDFLAG;
        if (WantsWrite(mode) && !Writable()) return STG_E_ACCESSDENIED;
        const auto found = Find(name);
        if (found == node_->children.end() || (*found)->isStorage != storage) return STG_E_FILENOTFOUND;
        if ((*found)->open) return STG_E_ACCESSDENIED;
        out = *found;
        out->open = true;
        return S_OK;
    }

    std::atomic<LONG> refs_{1};
    Root* root_;
    std::shared_ptr<Node> node_;
    DWORD mode_;
    bool isRoot_;
};

// A root storage over bytes (AddRef'ed here): a new empty one, or the image the
// bytes hold.
HRESULT MakeRoot(ILockBytes* bytes, DWORD mode, bool create, IStorage** out) {
    *out = nullptr;
    auto* root = new (std::nothrow) Root();
    if (!root) return E_OUTOFMEMORY;
    bytes->AddRef();
    root->bytes = bytes;
    root->transacted = (mode & STGM_TRANSACTED) != 0;
    root->writable = WantsWrite(mode);
    HRESULT hr = S_OK;
    if (create) {
        root->node = std::make_shared<Node>();
        root->node->isStorage = true;
        hr = root->WriteImage();
    } else {
        hr = root->ReadImage(root->node);
    }
    if (FAILED(hr)) {
        root->Release();
        return hr;
    }
    auto* storage = new (std::nothrow) CStorage(root, root->node, mode, true);
    root->Release();
    if (!storage) return E_OUTOFMEMORY;
    *out = storage;
    return S_OK;
}

ULONGLONG SizeOf(ILockBytes* bytes) {
    STATSTG stat{};
    return SUCCEEDED(bytes->Stat(&stat, STATFLAG_NONAME)) ? stat.cbSize.QuadPart : 0;
}

}  // namespace

// StgCreateDocfileOnILockBytes: a new, empty root storage on a byte array.
//   plkbyt    [in] the byte array; a non-empty one needs STGM_CREATE.
//   grfMode   [in] access (STGM_READWRITE or STGM_WRITE), STGM_TRANSACTED for
//                  changes kept until Commit, STGM_CREATE to overwrite.
//   reserved  [in] 0.
//   ppstgOpen [out] the storage.
// Returns S_OK, STG_E_INVALIDPOINTER, STG_E_INVALIDFLAG (no write access),
// STG_E_FILEALREADYEXISTS, or the byte array's failure.
STDAPI StgCreateDocfileOnILockBytes(ILockBytes* plkbyt, DWORD grfMode, DWORD, IStorage** ppstgOpen) {
    if (!ppstgOpen || !plkbyt) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!WantsWrite(grfMode)) return STG_E_INVALIDFLAG;
    if (SizeOf(plkbyt) > 0 && !(grfMode & STGM_CREATE)) return STG_E_FILEALREADYEXISTS;
    return MakeRoot(plkbyt, grfMode, true, ppstgOpen);
}

// StgOpenStorageOnILockBytes: the root storage a byte array holds.
//   plkbyt       [in] the byte array.
//   pstgPriority [in] ignored (NULL).
//   grfMode      [in] access and STGM_TRANSACTED as for StgCreateDocfileOnILockBytes;
//                     STGM_READ gives a storage that refuses changes.
//   snbExclude   [in] ignored (NULL).
//   ppstgOpen    [out] the storage.
// Returns S_OK, STG_E_INVALIDPOINTER, STG_E_INVALIDHEADER for bytes that hold
// no storage image, or the byte array's failure.
STDAPI StgOpenStorageOnILockBytes(ILockBytes* plkbyt, IStorage*, DWORD grfMode, SNB, DWORD,
                                  IStorage** ppstgOpen) {
    if (!ppstgOpen || !plkbyt) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    return MakeRoot(plkbyt, grfMode, false, ppstgOpen);
}

// StgCreateDocfile: a new, empty root storage in a file.
//   pwcsName  [in] the file's path; NULL makes a temporary file that is removed
//                  when the storage is released.
//   grfMode   [in] as for StgCreateDocfileOnILockBytes; without STGM_CREATE an
//                  existing file is refused; STGM_DELETEONRELEASE removes the file
//                  with the storage.
//   reserved  [in] 0.
//   ppstgOpen [out] the storage.
// Returns S_OK, STG_E_INVALIDPOINTER, STG_E_INVALIDFLAG, STG_E_FILEALREADYEXISTS,
// STG_E_ACCESSDENIED or STG_E_PATHNOTFOUND.
STDAPI StgCreateDocfile(const WCHAR* pwcsName, DWORD grfMode, DWORD, IStorage** ppstgOpen) {
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!WantsWrite(grfMode)) return STG_E_INVALIDFLAG;
    ILockBytes* bytes = nullptr;
    HRESULT hr = S_OK;
    if (!pwcsName) {
        hr = qelv_storage::CreateTemporaryFileLockBytes(&bytes);
    } else {
        const auto how = (grfMode & STGM_CREATE) ? qelv_storage::FileOpen::CreateOrTruncate
                                                 : qelv_storage::FileOpen::CreateNew;
        hr = qelv_storage::OpenFileLockBytes(qelv_rt::Utf16ToUtf8(pwcsName), how, true,
                                             (grfMode & STGM_DELETEONRELEASE) != 0, &bytes);
    }
    if (FAILED(hr)) return hr;
    hr = MakeRoot(bytes, grfMode, true, ppstgOpen);
    bytes->Release();
    return hr;
}

// StgOpenStorage: the root storage a file holds.
//   pwcsName     [in] the file's path.
//   pstgPriority [in] ignored (NULL).
//   grfMode      [in] as for StgOpenStorageOnILockBytes; the file is opened for
//                     writing only when write access is asked for.
//   snbExclude   [in] ignored (NULL).
//   ppstgOpen    [out] the storage.
// Returns S_OK, STG_E_INVALIDPOINTER, STG_E_INVALIDNAME (no name),
// STG_E_FILENOTFOUND, STG_E_ACCESSDENIED or STG_E_INVALIDHEADER.
STDAPI StgOpenStorage(const WCHAR* pwcsName, IStorage*, DWORD grfMode, SNB, DWORD, IStorage** ppstgOpen) {
    if (!ppstgOpen) return STG_E_INVALIDPOINTER;
    *ppstgOpen = nullptr;
    if (!pwcsName) return STG_E_INVALIDNAME;
    ILockBytes* bytes = nullptr;
    HRESULT hr = qelv_storage::OpenFileLockBytes(qelv_rt::Utf16ToUtf8(pwcsName), qelv_storage::FileOpen::Existing,
                                                 WantsWrite(grfMode), false, &bytes);
    if (FAILED(hr)) return hr;
    hr = MakeRoot(bytes, grfMode, false, ppstgOpen);
    bytes->Release();
    return hr;
}
