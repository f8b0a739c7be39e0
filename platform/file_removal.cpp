#include "platform/file_removal.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

    class Descriptor {
    public:
        explicit Descriptor(int fd)
            : fd(fd)
        {
        }
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(Descriptor&& other) noexcept
        {
            std::swap(fd, other.fd);
            return *this;
        }
        ~Descriptor()
        {
            if (fd >= 0)
                close(fd);
        }
        int get() const { return fd; }

    private:
        int fd;
    };

    // The entry itself, never what a link at the end names, and no automount triggered.
    int lookAt(int dirFd, const char* name, struct statx& info, int flags = 0)
    {
        return statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT,
            STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_BTIME | STATX_MNT_ID, &info);
    }

    FolderIdentity identityOf(const struct statx& info)
    {
        FolderIdentity identity { makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino };
        if (info.stx_mask & STATX_BTIME) {
            identity.bornSeconds = info.stx_btime.tv_sec;
            identity.bornNanoseconds = info.stx_btime.tv_nsec;
        }
        if (info.stx_mask & STATX_MNT_ID)
            identity.mount = info.stx_mnt_id;
        return identity;
    }

    // A bind mount of a folder on the same file system has the same device: only the mount id tells.
    bool otherMount(const FolderIdentity& a, const FolderIdentity& b)
    {
        return a.device != b.device || a.mount != b.mount;
    }

    // Refuses to follow a link anywhere and to cross into another mount (EXDEV), ".." included.
    int openFolder(int dirFd, const char* name)
    {
        open_how how {};
        how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
        how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
        const int fd = static_cast<int>(syscall(SYS_openat2, dirFd, name, &how, sizeof how));
        if (fd < 0 && errno == ENOSYS) // before Linux 5.6 the identity checked after opening tells a mount
            return openat(dirFd, name, how.flags);
        return fd;
    }

    // Immutable and append-only entries cannot be deleted, nor can anything in such a folder. statx reports the
    // inode flags that FS_IOC_GETFLAGS reads, without opening the entry (which could block, act, or need a
    // permission the deletion does not) and for links too.
    bool isLocked(const struct statx& info)
    {
        return (info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
    }

    // In a folder with the sticky bit only the owner of an entry or of the folder may remove the entry.
    bool stickyForbids(std::uint16_t folderMode, std::uint32_t folderOwner, const struct statx& entry)
    {
        const uid_t user = geteuid();
        return (folderMode & S_ISVTX) != 0 && user != 0 && user != folderOwner && user != entry.stx_uid;
    }

    // Whether entries may be added to and removed from the folder; root passes unless the disk is read-only.
    bool isWritable(int folderFd) { return faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0; }

    // Appends the entries of the folder open at `fd`, read afresh from its start.
    bool listEntries(int fd, std::vector<std::string>& names)
    {
        if (lseek(fd, 0, SEEK_SET) != 0)
            return false;
        alignas(dirent64) char buffer[32768];
        for (;;) {
            const ssize_t size = getdents64(fd, buffer, sizeof buffer);
            if (size <= 0)
                return size == 0;
            for (ssize_t offset = 0; offset < size;) {
                const auto* entry = reinterpret_cast<const dirent64*>(buffer + offset);
                offset += entry->d_reclen;
                const std::string_view name = entry->d_name;
                if (name != "." && name != "..")
                    names.emplace_back(name);
            }
        }
    }

    struct Stop {
        FolderRemoval::Outcome outcome;
        std::string item;
        int error = 0;
    };

    // Goes through the folder open at `current` depth first without recursion: the folders on the way
    // down are remembered by name and identity, not by descriptor, and the walk climbs back through
    // "..", checking it came back where it came from. So at any depth it holds `current` and one more.
    // Looking only, it stops at the first entry that would keep the deletion from finishing; deleting,
    // it stops at the first entry it cannot delete. Either way `current` is the folder again at the end.
    class Walk {
    public:
        Walk(Descriptor& current, const struct statx& folder)
            : current(current)
            , folder(folder)
            , top(identityOf(folder))
        {
        }

        std::optional<Stop> run(bool deleting)
        {
            levels.assign(1, Level { {}, top, folder.stx_mode, folder.stx_uid, {}, false });
            for (;;) {
                Level& level = levels.back();
                if (level.names.empty() && (deleting || !level.listed)) {
                    // Deleting, a folder is listed again until nothing is left: entries added meanwhile go too.
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

        // Reads errno first: building the path may change it.
        Stop stopAt(FolderRemoval::Outcome outcome, const std::string& name = {}) const
        {
            const int error = errno;
            return { outcome, pathTo(name), error };
        }

        std::string pathTo(const std::string& name) const
        {
            std::string path;
            for (size_t i = 1; i < levels.size(); ++i)
                path += (path.empty() ? "" : "/") + levels[i].name;
            return name.empty() ? path : path.empty() ? name : path + '/' + name;
        }

        std::optional<Stop> inspect(const std::string& name)
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

        std::optional<Stop> unlinkOrDescend(const std::string& name)
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

        std::optional<Stop> descend(const std::string& name, bool deleting)
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
            if (!deleting && !isWritable(child.get()))
                return stopAt(FolderRemoval::notWritable, name);
            levels.push_back(Level { name, identityOf(info), info.stx_mode, info.stx_uid, {}, false });
            current = std::move(child);
            return std::nullopt;
        }

        std::optional<Stop> climb(bool deleting)
        {
            Descriptor up(openFolder(current.get(), ".."));
            struct statx info {};
            if (up.get() < 0 || lookAt(up.get(), "", info, AT_EMPTY_PATH) != 0)
                return stopAt(FolderRemoval::unreadable);
            // Moved elsewhere while we were inside: ".." is no longer the folder we came from.
            if (identityOf(info) != levels[levels.size() - 2].identity)
                return stopAt(FolderRemoval::changed);
            const std::string name = std::move(levels.back().name);
            levels.pop_back();
            current = std::move(up);
            if (deleting) {
                if (unlinkat(current.get(), name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
                    return stopAt(FolderRemoval::failed, name);
                deletedAny = true;
            }
            return std::nullopt;
        }

        Descriptor& current;
        const struct statx folder;
        const FolderIdentity top;
        std::vector<Level> levels;
    };

} // namespace

PinnedFolder pinFolder(const QString& path)
{
    struct statx info {};
    if (lookAt(AT_FDCWD, QFile::encodeName(path).constData(), info) != 0)
        return { path, std::nullopt, errno != ENOENT };
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return { path, std::nullopt, true };
    return { resolved, S_ISDIR(info.stx_mode) ? std::optional(identityOf(info)) : std::nullopt, true };
}

bool sameFolder(const QString& a, const QString& b)
{
    struct stat first {}, second {};
    return stat(QFile::encodeName(a).constData(), &first) == 0 && stat(QFile::encodeName(b).constData(), &second) == 0
        && first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

FolderRemoval removePinnedFolder(const PinnedFolder& folder)
{
    const QStringList components = folder.path.split(u'/', Qt::SkipEmptyParts);
    if (!folder.path.startsWith(u'/') || components.isEmpty() || components.contains(QStringLiteral("."))
        || components.contains(QStringLiteral("..")))
        return { FolderRemoval::refused, {} };
    const FolderRemoval nothingThere {
        folder.identity || !folder.existed ? FolderRemoval::absent : FolderRemoval::refused, {}
    };
    const qsizetype last = components.size() - 1;
    // The folder holding components[count], by its absolute path.
    const auto above = [&](qsizetype count) { return u'/' + components.first(count).join(u'/'); };

    Descriptor parent(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (qsizetype i = 0; i < last && parent.get() >= 0; ++i) {
        Descriptor next(openat(
            parent.get(), QFile::encodeName(components[i]).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            if (errno == ENOENT)
                return nothingThere;
            if (errno == ENOTDIR || errno == ELOOP) // a link (or a file) where a folder was
                return { FolderRemoval::refused, {} };
            // Not being allowed to look inside a folder is that folder's failure, not its entry's.
            const int error = errno;
            return { FolderRemoval::unreadable, above(error == EACCES ? i : i + 1), error };
        }
        parent = std::move(next);
    }
    const QByteArray name = QFile::encodeName(components[last]);
    struct statx parentInfo {};
    struct statx info {};
    if (parent.get() < 0 || lookAt(parent.get(), ".", parentInfo) != 0
        || lookAt(parent.get(), name.constData(), info) != 0) {
        const int error = errno;
        return error == ENOENT ? nothingThere : FolderRemoval { FolderRemoval::unreadable, above(last), error };
    }
    if (!folder.identity || identityOf(info) != *folder.identity)
        return { FolderRemoval::refused, {} };
    // What could stop the deletion is decided before anything is deleted.
    if (otherMount(identityOf(info), identityOf(parentInfo)))
        return { FolderRemoval::mounted, QString() };
    if (isLocked(parentInfo))
        return { FolderRemoval::locked, above(last) };
    if (!isWritable(parent.get()))
        return { FolderRemoval::notWritable, above(last) };
    if (stickyForbids(parentInfo.stx_mode, parentInfo.stx_uid, info))
        return { FolderRemoval::notWritable, QString() };
    if (isLocked(info))
        return { FolderRemoval::locked, QString() };
    Descriptor directory(openFolder(parent.get(), name.constData()));
    if (directory.get() < 0)
        return { FolderRemoval::unreadable, QString(), errno };
    // The folder opened is the one just looked at, not one swapped in between.
    if (lookAt(directory.get(), "", info, AT_EMPTY_PATH) != 0 || identityOf(info) != *folder.identity)
        return { FolderRemoval::refused, {} };
    if (!isWritable(directory.get()))
        return { FolderRemoval::notWritable, QString() };

    Walk walk(directory, info);
    std::optional<Stop> stop = walk.run(false);
    if (!stop)
        stop = walk.run(true);
    if (!stop && unlinkat(parent.get(), name.constData(), AT_REMOVEDIR) != 0)
        stop = Stop { FolderRemoval::failed, {}, errno };
    if (stop)
        return { stop->outcome, QFile::decodeName(QByteArray::fromStdString(stop->item)), stop->error,
            walk.deletedAny };
    return { FolderRemoval::removed, {} };
}

} // namespace platform
