// The registry file on disk.
//
// Readers never lock: a writer replaces the file by renaming a complete
// temporary file over it, so a reader sees either the old or the new version.
// Writers take an exclusive flock on "<file>.lock", read the current file
// (another process may have changed it), apply their change and rename the new
// version into place, so concurrent writers never lose each other's changes.
// The new file's data is synced before the rename, so even a crash leaves one
// complete version (at worst the one before the last change); the folder is
// not synced after the rename, which would double the cost of every change.
// Each new version gets a modification time strictly later than the one it
// replaces; (device, inode, size, mtime) then identifies a version, which is
// how a reader notices that its cached copy is stale.
#include "registry_store.h"

#include "registry_text.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace qelv::registry {

namespace {

// The identity of a file as stat describes it, to tell later whether it changed.
Store::Identity IdentityOf(const struct stat& st) {
    Store::Identity id;
    id.exists = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = static_cast<std::uint64_t>(st.st_size);
    id.mtimeSec = st.st_mtim.tv_sec;
    id.mtimeNsec = st.st_mtim.tv_nsec;
    return id;
}

LSTATUS StatusFromErrno(int err, bool writing) {
    switch (err) {
        case EACCES:
        case EPERM:
        case EROFS: return ERROR_ACCESS_DENIED;
        case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
        default: return writing ? ERROR_CANTWRITE : ERROR_CANTREAD;
    }
}

std::string HomeDirectory() {
    const char* home = std::getenv("HOME");
    if (home && *home) return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buf[4096];
    if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir && *found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string ParentDirectory(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// mkdir -p; new folders are private to the user as the XDG layout expects.
bool MakeDirectories(const std::string& dir) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos < dir.size() && dir[pos] != '/') continue;
        std::string prefix = dir.substr(0, pos);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// A registry path that is a symbolic link is updated where the link points,
// so that the link survives and every process locks the same file.
std::string WriteTarget(const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    }
    return path;
}

bool ReadAll(int fd, std::string& out) {
    char buf[65536];
    while (true) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buf, static_cast<std::size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr std::int64_t kEpochDifference = 11644473600;

std::uint64_t ToFileTime(std::int64_t sec, std::int64_t nsec) {
    if (sec < -kEpochDifference) return 0;
    return static_cast<std::uint64_t>(sec + kEpochDifference) * 10000000u + static_cast<std::uint64_t>(nsec / 100);
}

// Holds the exclusive advisory lock for one change.
class WriterLock {
public:
    ~WriterLock() {
        if (fd_ >= 0) close(fd_);  // closing releases the flock
    }
    bool Acquire(const std::string& lockPath) {
        fd_ = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd_ < 0) return false;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno != EINTR) return false;
        }
        return true;
    }

private:
    int fd_ = -1;
};

void Report(const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

}  // namespace

std::string RegistryPath() {
    const char* explicitPath = std::getenv("QELV_REGISTRY");
    if (explicitPath && *explicitPath) return explicitPath;
    std::string base;
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') {
        base = dataHome;  // relative values are invalid and ignored, as XDG says
    } else {
        std::string home = HomeDirectory();
        if (home.empty()) return {};
        base = home + "/.local/share";
    }
    return base + "/qelvsonalter2/registry";
}

void Store::ReportOnce(const std::string& message, const Identity& id) {
    if (haveReported_ && reported_ == id) return;
    Report(message);
    reported_ = id;
    haveReported_ = true;
}

LSTATUS Store::LoadTracked(const std::string& path, Tree& tree, Identity& id) {
    const LSTATUS status = Load(path, tree, id);
    if (status == ERROR_BADDB) {
        valid_ = true;
        corrupt_ = true;
        identity_ = id;
    } else if (status != ERROR_SUCCESS) {
        valid_ = false;
    }
    return status;
}

void Store::Adopt(Tree&& tree, const Identity& id) {
    tree_ = std::move(tree);
    identity_ = id;
    valid_ = true;
    corrupt_ = false;
    lastWrite_ = id.exists ? ToFileTime(id.mtimeSec, id.mtimeNsec) : 0;
}

LSTATUS Store::Load(const std::string& path, Tree& tree, Identity& id) {
    id = Identity{};
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        if (err == ENOENT || err == ENOTDIR) return ERROR_SUCCESS;  // no file yet: an empty registry
        ReportOnce(path + ": cannot read the registry: " + std::strerror(err), id);
        return StatusFromErrno(err, false);
    }
    struct stat st;
    std::string text;
    bool ok = fstat(fd, &st) == 0;
    int err = errno;
    if (ok && !S_ISREG(st.st_mode)) {
        ok = false;
        err = EISDIR;
    }
    if (ok) {
        ok = ReadAll(fd, text);
        err = errno;
    }
    close(fd);
    if (!ok) {
        ReportOnce(path + ": cannot read the registry: " + std::strerror(err), id);
        return StatusFromErrno(err, false);
    }
    id = IdentityOf(st);

    Tree parsed;
    std::size_t line = 0;
    std::string problem;
    if (!ParseTree(text, parsed, line, problem)) {
        ReportOnce(path + ":" + std::to_string(line) + ": " + problem, id);
        return ERROR_BADDB;
    }
    tree = std::move(parsed);
    return ERROR_SUCCESS;
}

LSTATUS Store::WriteAtomically(const std::string& path, const std::string& text, const Identity& old,
                               Identity& fresh) {
    static unsigned sequence = 0;
    std::string temp = path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(++sequence);
    int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        int err = errno;
        Report(path + ": cannot write the registry: " + std::strerror(err));
        return StatusFromErrno(err, true);
    }
    bool ok = WriteAll(fd, text);
    struct stat st;
    if (ok && old.exists && stat(path.c_str(), &st) == 0) fchmod(fd, st.st_mode & 07777);

    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    if (old.exists && (now.tv_sec < old.mtimeSec || (now.tv_sec == old.mtimeSec && now.tv_nsec <= old.mtimeNsec))) {
        now.tv_sec = old.mtimeSec;
        now.tv_nsec = old.mtimeNsec + 1;
        if (now.tv_nsec >= 1000000000) {
            now.tv_sec += 1;
            now.tv_nsec = 0;
        }
    }
    timespec times[2] = {now, now};
    if (ok) futimens(fd, times);
    ok = ok && fsync(fd) == 0 && fstat(fd, &st) == 0;
    int err = errno;
    close(fd);
    if (ok && rename(temp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(temp.c_str());
        Report(path + ": cannot write the registry: " + std::strerror(err));
        return StatusFromErrno(err, true);
    }
    fresh = IdentityOf(st);
    return ERROR_SUCCESS;
}

LSTATUS Store::SelectPath(std::string& path) {
    path = RegistryPath();
    if (path.empty()) {
        ReportOnce("qelvsonalter2: no registry file: set QELV_REGISTRY or HOME", Identity{});
        return ERROR_CANTOPEN;
    }
    if (path != path_) {
        // Another file than before (the environment changed): forget what was cached.
        path_ = path;
        valid_ = false;
        haveReported_ = false;
    }
    return ERROR_SUCCESS;
}

LSTATUS Store::Read(const Tree** tree) {
    std::string path;
    if (LSTATUS status = SelectPath(path); status != ERROR_SUCCESS) return status;
    Identity now;
    struct stat st;
    bool known = true;  // false when the file's state cannot be told; Load then reports why
    if (stat(path.c_str(), &st) == 0) {
        now = IdentityOf(st);
    } else {
        known = errno == ENOENT || errno == ENOTDIR;
    }
    if (valid_ && known && now == identity_) {
        if (corrupt_) return ERROR_BADDB;
        *tree = &tree_;
        return ERROR_SUCCESS;
    }
    Tree fresh;
    Identity id;
    if (LSTATUS status = LoadTracked(path, fresh, id); status != ERROR_SUCCESS) return status;
    Adopt(std::move(fresh), id);
    *tree = &tree_;
    return ERROR_SUCCESS;
}

LSTATUS Store::Modify(const std::function<LSTATUS(Tree&, bool&)>& edit) {
    std::string path;
    if (LSTATUS status = SelectPath(path); status != ERROR_SUCCESS) return status;
    std::string target = WriteTarget(path);
    if (!MakeDirectories(ParentDirectory(target))) {
        int err = errno;
        Report(target + ": cannot create the registry's folder: " + std::strerror(err));
        return StatusFromErrno(err, true);
    }
    WriterLock lock;
    if (!lock.Acquire(target + ".lock")) {
        int err = errno;
        Report(target + ".lock: cannot lock the registry: " + std::strerror(err));
        return StatusFromErrno(err, true);
    }

    Tree tree;
    Identity id;
    LSTATUS status = LoadTracked(target, tree, id);
    if (status != ERROR_SUCCESS) return status;
    bool changed = false;
    status = edit(tree, changed);
    if (status != ERROR_SUCCESS || !changed) {
        Adopt(std::move(tree), id);
        return status;
    }
    Identity fresh;
    status = WriteAtomically(target, FormatTree(tree), id, fresh);
    if (status != ERROR_SUCCESS) {
        valid_ = false;
        return status;
    }
    Adopt(std::move(tree), fresh);
    return ERROR_SUCCESS;
}

Store& TheStore() {
    // Never destroyed: Reg* calls from other libraries' static destructors stay safe.
    static Store* store = new Store;
    return *store;
}

}  // namespace qelv::registry
