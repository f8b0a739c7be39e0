#include "platform/folder_walk.h"

#include <cerrno>
#include <utility>

namespace platform {

using namespace entries;

FolderWalk::FolderWalk(Descriptor& current, const struct statx& folder)
    : current(current)
    , folder(folder)
    , top(identityOf(folder))
{
}

std::optional<WalkStop> FolderWalk::run(bool deleting)
{
    levels.assign(1, Level { {}, top, folder.stx_mode, folder.stx_uid, {}, false });
    for (;;) {
        Level& level = levels.back();
        if (!level.listed) {
            if (!listEntries(current.get(), level.names))
                return stopAt(FolderRemoval::unreadable);
            level.listed = true;
        }
        if (level.names.empty()) {
            if (levels.size() == 1)
                return std::nullopt;
            if (auto stop = climb(deleting))
                return stop;
            continue;
        }
        const std::string name = std::move(level.names.back());
        level.names.pop_back();
        if (auto stop = deleting ? unlinkOrDescend(name) : inspect(name))
            return stop;
    }
}

std::string FolderWalk::pathAt(size_t depth, const std::string& name) const
{
    std::string path;
    for (size_t i = 1; i <= depth; ++i)
        path += (path.empty() ? "" : "/") + levels[i].name;
    return name.empty() ? path : path.empty() ? name : path + '/' + name;
}

WalkStop FolderWalk::stopAt(FolderRemoval::Outcome outcome, const std::string& name) const
{
    const int error = errno;
    return { outcome, pathAt(levels.size() - 1, name), error };
}

std::optional<WalkStop> FolderWalk::inspect(const std::string& name)
{
    struct statx info {};
    if (lookAt(current.get(), name.c_str(), info) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(stopAt(FolderRemoval::unreadable, name));
    if (otherMount(identityOf(info), top))
        return stopAt(FolderRemoval::mounted, name);
    if (isLocked(info))
        return stopAt(FolderRemoval::locked, name);
    if (stickyForbids(levels.back().mode, levels.back().owner, info))
        return stopAt(FolderRemoval::notWritable, name);
    return S_ISDIR(info.stx_mode) ? descend(name, false) : std::nullopt;
}

std::optional<WalkStop> FolderWalk::unlinkOrDescend(const std::string& name)
{
    if (unlinkat(current.get(), name.c_str(), 0) == 0) {
        deletedAny = true;
        return std::nullopt;
    }
    if (errno == ENOENT)
        return std::nullopt;
    if (errno != EISDIR) // a mount point cannot be unlinked: EBUSY
        return stopAt(errno == EBUSY ? FolderRemoval::mounted : FolderRemoval::failed, name);
    return descend(name, true);
}

std::optional<WalkStop> FolderWalk::descend(const std::string& name, bool deleting)
{
    Descriptor child(openFolder(current.get(), name.c_str()));
    if (child.get() < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        return stopAt(errno == EXDEV                 ? FolderRemoval::mounted
                : errno == ELOOP || errno == ENOTDIR ? FolderRemoval::changed // a link or file swapped in
                                                     : FolderRemoval::unreadable,
            name);
    }
    struct statx info {};
    if (lookAt(child.get(), "", info, AT_EMPTY_PATH) != 0)
        return stopAt(FolderRemoval::unreadable, name);
    if (otherMount(identityOf(info), top))
        return stopAt(FolderRemoval::mounted, name);
    if (const auto refusal = deleting ? std::nullopt : writeRefusal(child.get()))
        return stopAt(*refusal, name);
    levels.push_back(Level { name, identityOf(info), info.stx_mode, info.stx_uid, {}, false });
    current = std::move(child);
    return std::nullopt;
}

std::optional<WalkStop> FolderWalk::climb(bool deleting)
{
    const size_t parent = levels.size() - 2;
    Descriptor up(openFolder(current.get(), ".."));
    struct statx info {};
    if (up.get() < 0 || lookAt(up.get(), "", info, AT_EMPTY_PATH) != 0)
        return errno == EXDEV ? WalkStop { FolderRemoval::mounted, pathAt(parent) } : stopAt(FolderRemoval::unreadable);
    // ".." leads into a disk or share mounted over the folder above meanwhile.
    if (otherMount(identityOf(info), top))
        return WalkStop { FolderRemoval::mounted, pathAt(parent) };
    // Moved elsewhere while we were inside: ".." is no longer the folder we came from.
    if (identityOf(info) != levels[parent].identity)
        return stopAt(FolderRemoval::changed);
    const std::string name = std::move(levels.back().name);
    levels.pop_back();
    current = std::move(up);
    if (deleting) {
        if (unlinkat(current.get(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            return stopAt(errno == EBUSY ? FolderRemoval::mounted // a disk or share mounted on it meanwhile
                    : errno == ENOTEMPTY ? FolderRemoval::changed // another program put something into it
                                         : FolderRemoval::failed,
                name);
        deletedAny = true;
    }
    // Back in a folder with more to go: it must still be inside the folder walked, or what another program saves
    // into those entries once it was moved out would be listed and deleted. Each return looks one level up; a folder
    // further up that moved is found on the way back to it.
    if (levels.size() > 1 && !levels.back().names.empty()) {
        struct statx above {};
        if (lookAt(current.get(), "..", above) != 0 || identityOf(above) != levels[levels.size() - 2].identity)
            return stopAt(FolderRemoval::changed);
    }
    return std::nullopt;
}

} // namespace platform
