#pragma once

#include <QString>
#include <optional>
#include <sys/types.h>

namespace platform {

// Which folder a path named when it was looked at.
struct FolderIdentity {
    dev_t device = 0;
    ino_t inode = 0;
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

struct FolderRemoval {
    enum Outcome {
        removed,
        absent, // nothing is there (any more): nothing to do
        refused, // a link on the way, or not the pinned folder: nothing touched
        failed, // the deletion stopped part way; `message` says why
    };
    Outcome outcome;
    QString message;
};

// Deletes the pinned folder with everything in it. The path is walked from "/"
// one component at a time without following a link, and the folder found must
// be the pinned one; inside it, links are removed, never followed, as the file
// manager does. Stops at the first failure.
FolderRemoval removePinnedFolder(const PinnedFolder& folder);

} // namespace platform
