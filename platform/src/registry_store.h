// The registry file: where it lives, reading it when another process changed
// it, and replacing it atomically under an advisory lock.
#pragma once

#include "registry_tree.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qelv::registry {

// The registry file's path: $QELV_REGISTRY, else
// $XDG_DATA_HOME/qelvsonalter2/registry, else
// ~/.local/share/qelvsonalter2/registry. Empty when no home is known.
std::string RegistryPath();

// Not thread-safe: the Reg* functions serialise all calls with one mutex.
class Store {
public:
    // Which version of the file the cached contents belong to.
    struct Identity {
        bool exists = false;
        std::uint64_t dev = 0, ino = 0, size = 0;
        std::int64_t mtimeSec = 0, mtimeNsec = 0;
        bool operator==(const Identity&) const = default;
    };

    // Points *tree at the current contents, re-reading the file when it
    // changed since the last look. ERROR_BADDB when the file cannot be parsed.
    LSTATUS Read(const Tree** tree);

    // Runs edit on the file's current contents under the lock and, when edit
    // succeeds and reports a change, replaces the file with the result.
    // Edits check before they change anything, so a failing edit leaves the
    // tree as it was.
    LSTATUS Modify(const std::function<LSTATUS(Tree&, bool& changed)>& edit);

    // Time of the file version last seen, in 100 ns units since 1601 (the
    // unit of the platform's file times); 0 for a registry without a file.
    std::uint64_t LastWriteTime() const { return lastWrite_; }

private:
    // The registry file to use now; a different file than last time drops the cache.
    LSTATUS SelectPath(std::string& path);
    LSTATUS Load(const std::string& path, Tree& tree, Identity& id);
    // Load, remembering a corrupt file (so later calls fail at once) and
    // forgetting the cached tree on any other failure.
    LSTATUS LoadTracked(const std::string& path, Tree& tree, Identity& id);
    LSTATUS WriteAtomically(const std::string& path, const std::string& text, const Identity& old, Identity& fresh);
    void Adopt(Tree&& tree, const Identity& id);
    void ReportOnce(const std::string& message, const Identity& id);

    std::string path_;  // the configured path the cached state belongs to
    bool valid_ = false;
    bool corrupt_ = false;
    Identity identity_;
    Identity reported_;  // file version whose problem was already printed
    bool haveReported_ = false;
    Tree tree_;
    std::uint64_t lastWrite_ = 0;
};

Store& TheStore();

}  // namespace qelv::registry
