#include "PendingFile.h"

#include "Errors.h"
#include "Interrupt.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace sonalter {

namespace {

std::string Reason(int error) { return std::strerror(error); }

// The path the data finally lands at: the target, or the file a link points to.
std::string ResolveTarget(const std::string& target) {
    std::error_code ec;
    const std::filesystem::path path(target);
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) return resolved.string();
    }
    return target;
}

mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

PendingFile::PendingFile(const std::string& target) : target_(ResolveTarget(target)) {
    struct stat st {};
    if (stat(target_.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        throw Failure("cannot write " + target + ": it is a folder");
    }
    const std::filesystem::path path(target_);
    std::string folder = path.parent_path().string();
    if (folder.empty()) folder.assign(1, '.');  // a bare file name: the current folder
    std::string pattern = folder + "/." + path.filename().string() + ".sonalter-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        throw Failure("cannot write " + target + ": " + Reason(error) +
                      (error == ENOENT ? " (the folder " + folder + " does not exist)" : ""));
    }
    temp_.assign(buffer.data());
    abortSlot_ = RemoveOnAbort(temp_.c_str());
}

PendingFile::~PendingFile() {
    if (!committed_) Discard();
}

void PendingFile::Discard() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty() && !committed_) {
        unlink(temp_.c_str());
        KeepOnAbort(abortSlot_);
        abortSlot_ = -1;
        temp_.clear();
    }
}

void PendingFile::StartWriteBack() {
    if (fd_ < 0) return;
    // Starts write-out of the dirty pages that are not on their way yet; it does
    // not wait for them and guarantees nothing, which Commit's fsync does.
    sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
}

void PendingFile::Commit() {
    if (fd_ < 0 || temp_.empty()) throw Failure("cannot write " + target_ + ": the file was already closed");
    struct stat st {};
    const mode_t mode = stat(target_.c_str(), &st) == 0 ? (st.st_mode & 07777) : NewFileMode();
    if (fchmod(fd_, mode) != 0 || fsync(fd_) != 0) {
        const int error = errno;
        Discard();
        throw Failure("cannot write " + target_ + ": " + Reason(error));
    }
    if (close(fd_) != 0) {
        const int error = errno;
        fd_ = -1;
        Discard();
        throw Failure("cannot write " + target_ + ": " + Reason(error));
    }
    fd_ = -1;
    if (rename(temp_.c_str(), target_.c_str()) != 0) {
        const int error = errno;
        Discard();
        throw Failure("cannot write " + target_ + ": " + Reason(error));
    }
    committed_ = true;
    KeepOnAbort(abortSlot_);
    abortSlot_ = -1;
    // Make the rename itself durable; a failure here loses nothing already visible.
    const std::string folder = std::filesystem::path(target_).parent_path().string();
    const int dir = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
}

}  // namespace sonalter
