#pragma once

#include "platform/descriptor.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <sys/types.h>

namespace platform {

// Which folder or entry a path named when it was looked at: its device, inode and mount (0 where the kernel gives
// no mount id). Within one walk, a folder held open below this one keeps this one's inode alive, so the numbers
// cannot pass to another folder meanwhile; a birth time would not do, as an overlay copying a folder up changes it.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    std::uint64_t mount = 0;
    friend bool operator==(const FolderIdentity&, const FolderIdentity&) = default;
};

// The planned folder, held open (O_PATH) for as long as a plan keeps it: while it is held its inode cannot be freed,
// so a folder made later at the same path never takes its number, on any file system, with or without birth times.
struct HeldFolder {
    Descriptor folder;
    // Whether a removal of this folder deleted anything: a later try then never says that nothing was removed.
    bool deletedAny = false;
};

// A folder as it was found when its removal was planned: the path with every link resolved, so that the removal can
// refuse any link on its way, and the folder held. `held` is none when the path named no plain folder (nothing, a
// link, a file); `existed` tells nothing from something. Copies share the folder held.
struct PinnedFolder {
    QString path;
    std::shared_ptr<HeldFolder> held;
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
        moved, // the folder was moved away while its contents were deleted; `item`: where it is now, if known
        readOnly, // `item` lies on a disk or share mounted read-only
        failed, // `item` could not be deleted; `error` says why
    };
    Outcome outcome = removed;
    // What stopped the removal: its path inside the folder ("dist/x"), "" for
    // the folder itself, or the absolute path of a folder above it.
    QString item;
    int error = 0;
    bool deletedAny = false;
};

// Deletes the pinned folder with everything in it, or nothing at all when it can tell beforehand that it could not
// finish. The path is walked from "/" one component at a time without following a link, and the folder found must
// be the one held. A read-only pass then looks at every entry: none may lie on another mount (nor may the folder
// itself be a mount point), none may be immutable or append-only, and the user must be allowed to change the parent
// and every folder inside and to remove every entry from a sticky folder. Only then is the folder deleted, depth
// first (see FolderWalk); the folder itself is removed only where it still is the one held.
FolderRemoval removePinnedFolder(const PinnedFolder& folder);

} // namespace platform
