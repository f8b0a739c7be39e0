#pragma once

#include <QString>
#include <cstdint>
#include <optional>
#include <sys/types.h>

namespace platform {

// Which folder a path named when it was looked at. A folder deleted and made
// again at the same path may get the freed inode number back (ext4 does), so
// the birth time (to the nanosecond) and the mount are compared as well. Where
// the file system reports no birth time it stays zero, and device, inode and
// mount decide alone.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t bornSeconds = 0;
    std::uint32_t bornNanoseconds = 0;
    std::uint64_t mount = 0;
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

// A folder as it was found when its removal was planned: the path with every
// link resolved, so that the removal can refuse any link on its way, and the
// folder's identity. `identity` is none when the path named no plain folder
// (nothing, a link, a file); `existed` tells nothing from something.
struct PinnedFolder {
    QString path;
    std::optional<FolderIdentity> identity;
    bool existed = false;
    friend bool operator==(const PinnedFolder&, const PinnedFolder&) = default;
};

PinnedFolder pinFolder(const QString& path);

// Whether two paths, every link followed, lead to one folder.
bool sameFolder(const QString& a, const QString& b);

struct FolderRemoval {
    enum Outcome {
        removed,
        absent, // nothing is there (any more): nothing to do
        refused, // a link on the way, or not the pinned folder: nothing touched
        mounted, // `item` is another mount: not entered
        locked, // `item` is immutable or append-only
        notWritable, // the user may not change the folder `item`, or remove `item` from its sticky folder
        unreadable, // `item` could not be opened or looked at; `error` says why
        changed, // `item` was replaced or moved while the removal worked on it
        failed, // `item` could not be deleted; `error` says why
    };
    Outcome outcome = removed;
    // What stopped the removal: its path inside the folder ("dist/x"), "" for
    // the folder itself, or the absolute path of a folder above it.
    QString item;
    int error = 0;
    bool deletedAny = false;
};

// Deletes the pinned folder with everything in it, or nothing at all when it
// can tell beforehand that it could not finish. The path is walked from "/"
// one component at a time without following a link, and the folder found must
// be the pinned one. A read-only pass then looks at every entry: none may lie
// on another mount (nor may the folder itself be a mount point), none may be
// immutable or append-only, and the user must be allowed to change the parent
// and every folder inside and to remove every entry from a sticky folder. Only then is the folder deleted, depth first:
// links are removed, never followed, no other mount is entered, and at most three descriptors are open at any depth.
FolderRemoval removePinnedFolder(const PinnedFolder& folder);

} // namespace platform
