// An output file that appears complete or not at all: the data goes to a
// temporary file in the target's folder, which replaces the target by rename
// only on Commit. A failure, a cancel or a crash before Commit leaves the target
// (possibly the input itself) untouched.
#pragma once

#include <string>

namespace sonalter {

class PendingFile {
public:
    // PendingFile
    //   Creates the temporary file beside target at once, so that an unwritable
    //   output is reported before any long work.
    //   [in] target  the final path; an existing symbolic link is followed, so the
    //                file it points at is replaced and the link is kept
    //   Throws Failure naming the target and the system's reason.
    explicit PendingFile(const std::string& target);
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    // Removes the temporary file unless Commit succeeded.
    ~PendingFile();

    // The open descriptor of the temporary file (read-write, positioned at 0).
    int Descriptor() const { return fd_; }
    const std::string& Target() const { return target_; }

    // StartWriteBack
    //   Asks the system to start writing what has been written so far to disk,
    //   without waiting for it, so that the one flush in Commit has little left
    //   to do. Best effort: nothing happens where the system cannot do it.
    void StartWriteBack();

    // Commit
    //   Flushes the data to disk, gives the file the target's permissions (or the
    //   usual ones for a new file) and renames it over the target.
    //   Throws Failure when any step fails; the target is then unchanged.
    void Commit();

    // Discard
    //   Closes and removes the temporary file now.
    void Discard();

private:
    std::string target_;
    std::string temp_;
    int fd_ = -1;
    int abortSlot_ = -1;
    bool committed_ = false;
};

}  // namespace sonalter
