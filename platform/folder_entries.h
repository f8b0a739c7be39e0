#pragma once

// The few file-system calls a removal is made of, each asked so that it never follows a link, never enters another
// mount and never waits on one.

#include "platform/descriptor.h"
#include "platform/file_removal.h"

#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace platform::entries {

using platform::Descriptor;

// The entry itself, never what a link at the end names; no automount triggered, and nothing asked of the file
// system behind a mount (a network or FUSE server that no longer answers would block the caller).
int lookAt(int dirFd, const char* name, struct statx& info, int flags = 0);
FolderIdentity identityOf(const struct statx& info);

// Whether an entry lies on another mount than the folder. Told by mount id: an overlay reports the device of each
// layer for its files, yet is one mount, and a bind mount keeps the device of its source. Kernels before 5.8 give
// no mount id; there the device is all there is.
bool otherMount(const FolderIdentity& entry, const FolderIdentity& folder);

// Opens a folder for listing, refusing to follow a link anywhere or to cross into another mount (EXDEV), ".."
// included. Where openat2 is refused (older kernels, and sandboxes whose filters predate it), a plain openat is
// used; the callers compare the identity of what was opened, which tells a mount as well.
int openFolder(int dirFd, const char* name);

// Immutable and append-only entries cannot be deleted, nor can anything in such a folder. statx reports the inode
// flags without opening the entry (which could block, act, or need a permission the deletion does not).
bool isLocked(const struct statx& info);

// In a folder with the sticky bit only the owner of an entry or of the folder may remove the entry.
bool stickyForbids(std::uint16_t folderMode, std::uint32_t folderOwner, const struct statx& entry);

// What keeps entries from being added to or removed from the folder, if anything: notWritable, or readOnly when
// the folder lies on a disk or share mounted read-only. Root passes unless the disk is read-only.
std::optional<FolderRemoval::Outcome> writeRefusal(int folderFd);

// Appends the names of the entries of the folder open at `fd`, read from its start.
bool listEntries(int fd, std::vector<std::string>& names);

} // namespace platform::entries
