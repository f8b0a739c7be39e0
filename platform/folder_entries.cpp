#include "platform/folder_entries.h"

#include <cerrno>
#include <dirent.h>
#include <linux/openat2.h>
#include <string_view>
#include <sys/syscall.h>
#include <sys/sysmacros.h>

namespace platform::entries {

int lookAt(int dirFd, const char* name, struct statx& info, int flags)
{
    return statx(dirFd, name, flags | AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT | AT_STATX_DONT_SYNC,
        STATX_TYPE | STATX_MODE | STATX_UID | STATX_INO | STATX_MNT_ID, &info);
}

FolderIdentity identityOf(const struct statx& info)
{
    return { makedev(info.stx_dev_major, info.stx_dev_minor), info.stx_ino,
        (info.stx_mask & STATX_MNT_ID) != 0 ? info.stx_mnt_id : 0 };
}

bool otherMount(const FolderIdentity& entry, const FolderIdentity& folder)
{
    return entry.mount != 0 && folder.mount != 0 ? entry.mount != folder.mount : entry.device != folder.device;
}

int openFolder(int dirFd, const char* name)
{
    open_how how {};
    how.flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    how.resolve = RESOLVE_NO_XDEV | RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const int fd = static_cast<int>(syscall(SYS_openat2, dirFd, name, &how, sizeof how));
    // A filter answers with an error of its choosing before the call is looked at; a plain openat then tells a
    // real refusal from the filter's.
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != EACCES))
        return fd;
    return openat(dirFd, name, static_cast<int>(how.flags));
}

bool isLocked(const struct statx& info)
{
    return (info.stx_attributes & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) != 0;
}

bool stickyForbids(std::uint16_t folderMode, std::uint32_t folderOwner, const struct statx& entry)
{
    const uid_t user = geteuid();
    return (folderMode & S_ISVTX) != 0 && user != 0 && user != folderOwner && user != entry.stx_uid;
}

std::optional<FolderRemoval::Outcome> writeRefusal(int folderFd)
{
    if (faccessat(folderFd, ".", W_OK | X_OK, AT_EACCESS) == 0)
        return std::nullopt;
    return errno == EROFS ? FolderRemoval::readOnly : FolderRemoval::notWritable;
}

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

} // namespace platform::entries
