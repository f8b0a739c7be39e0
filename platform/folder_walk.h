#pragma once

#include "platform/folder_entries.h"

#include <optional>
#include <string>
#include <vector>

namespace platform {

struct WalkStop {
    FolderRemoval::Outcome outcome;
    std::string item; // inside the folder walked: "dist/x"; "" for the folder itself
    int error = 0;
};

// Goes through the folder open at `current` depth first without recursion: the folders on the way down are
// remembered by name and identity, not by descriptor, and the walk climbs back through "..", checking that it came
// back where it came from. So at any depth it holds `current` and one more. Each folder is listed once: what another
// program puts into a folder meanwhile is never deleted, even where that folder was moved elsewhere. Either pass
// leaves `current` on the folder itself when it ends without a stop.
class FolderWalk {
public:
    FolderWalk(entries::Descriptor& current, const struct statx& folder);

    // Looks only, and stops at the first entry that would keep the deletion from finishing: another mount, a locked
    // entry, a folder the user may not change or an entry a sticky folder keeps.
    std::optional<WalkStop> inspect() { return run(false); }
    // Deletes everything in the folder, links removed and never followed; stops at the first entry it cannot delete.
    std::optional<WalkStop> deleteAll() { return run(true); }

    bool deletedAny = false;

private:
    struct Level {
        std::string name;
        FolderIdentity identity;
        std::uint16_t mode;
        std::uint32_t owner;
        std::vector<std::string> names; // still to be gone through
        bool listed;
    };

    std::optional<WalkStop> run(bool deleting);
    std::optional<WalkStop> inspect(const std::string& name);
    std::optional<WalkStop> unlinkOrDescend(const std::string& name);
    std::optional<WalkStop> descend(const std::string& name, bool deleting);
    std::optional<WalkStop> climb(bool deleting);

    // The path of the folder `depth` levels down (0: the folder itself), with `name` inside it.
    std::string pathAt(size_t depth, const std::string& name = {}) const;
    // Reads errno first: building the path may change it.
    WalkStop stopAt(FolderRemoval::Outcome outcome, const std::string& name = {}) const;

    entries::Descriptor& current;
    const struct statx folder;
    const FolderIdentity top;
    std::vector<Level> levels;
};

} // namespace platform
