#include "platform/file_removal.h"

#include "platform/folder_walk.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <climits>

namespace platform {

using namespace entries;

namespace {

    std::optional<FolderIdentity> identityOfHeld(const HeldFolder& held)
    {
        struct statx info {};
        return lookAt(held.folder.get(), "", info, AT_EMPTY_PATH) == 0 ? std::optional(identityOf(info)) : std::nullopt;
    }

    // Where the held folder is now, by its absolute path; "" where that cannot be told.
    QString whereNow(const HeldFolder& held)
    {
        char target[PATH_MAX];
        const ssize_t size
            = readlink(("/proc/self/fd/" + std::to_string(held.folder.get())).c_str(), target, sizeof target);
        return size > 0 && size < PATH_MAX ? QFile::decodeName(QByteArray(target, size)) : QString();
    }

    // The path no longer leads to the folder held. Nothing is removed; what is said depends on whether an earlier
    // try already deleted some of it.
    FolderRemoval notThere(const std::shared_ptr<HeldFolder>& held, bool existed, bool somethingThere)
    {
        if (!held)
            return { existed || somethingThere ? FolderRemoval::refused : FolderRemoval::absent, {} };
        struct stat info {};
        const bool gone = fstat(held->folder.get(), &info) == 0 && info.st_nlink == 0;
        if (gone && !somethingThere)
            return { FolderRemoval::absent, {} };
        if (!held->deletedAny)
            return { FolderRemoval::refused, {} };
        return gone ? FolderRemoval { FolderRemoval::changed, {}, 0, true }
                    : FolderRemoval { FolderRemoval::moved, whereNow(*held), 0, true };
    }

} // namespace

PinnedFolder pinFolder(const QString& path)
{
    const int fd = open(QFile::encodeName(path).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return { path, nullptr, errno != ENOENT };
    auto held = std::make_shared<HeldFolder>(HeldFolder { Descriptor(fd) });
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return { path, nullptr, true };
    return { resolved, std::move(held), true };
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
    const qsizetype last = components.size() - 1;
    // The folder holding components[count], by its absolute path.
    const auto above = [&](qsizetype count) { return u'/' + components.first(count).join(u'/'); };

    Descriptor parent(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    for (qsizetype i = 0; i < last && parent.get() >= 0; ++i) {
        Descriptor next(openat(
            parent.get(), QFile::encodeName(components[i]).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            if (errno == ENOENT)
                return notThere(folder.held, folder.existed, false);
            if (errno == ENOTDIR || errno == ELOOP) // a link (or a file) where a folder was
                return notThere(folder.held, folder.existed, true);
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
        return error == ENOENT ? notThere(folder.held, folder.existed, false)
                               : FolderRemoval { FolderRemoval::unreadable, above(last), error };
    }
    const std::optional<FolderIdentity> held = folder.held ? identityOfHeld(*folder.held) : std::nullopt;
    if (!held || identityOf(info) != *held)
        return notThere(folder.held, folder.existed, true);
    // What could stop the deletion is decided before anything is deleted.
    if (otherMount(identityOf(info), identityOf(parentInfo)))
        return { FolderRemoval::mounted, QString() };
    if (isLocked(parentInfo))
        return { FolderRemoval::locked, above(last) };
    if (const auto refusal = writeRefusal(parent.get()))
        return { *refusal, above(last) };
    if (stickyForbids(parentInfo.stx_mode, parentInfo.stx_uid, info))
        return { FolderRemoval::notWritable, above(last) };
    if (isLocked(info))
        return { FolderRemoval::locked, QString() };
    Descriptor directory(openFolder(parent.get(), name.constData()));
    if (directory.get() < 0)
        return { FolderRemoval::unreadable, QString(), errno };
    // The folder opened is the one just looked at, not one swapped in between.
    if (lookAt(directory.get(), "", info, AT_EMPTY_PATH) != 0 || identityOf(info) != *held)
        return notThere(folder.held, folder.existed, true);
    if (const auto refusal = writeRefusal(directory.get()))
        return { *refusal, QString() };

    FolderWalk walk(directory, info);
    std::optional<WalkStop> stop = walk.inspect();
    if (!stop)
        stop = walk.deleteAll();
    folder.held->deletedAny = folder.held->deletedAny || walk.deletedAny;
    if (!stop) {
        // Only the folder held is removed: moved away meanwhile, it stays where it went, and what now stands at its
        // path is another's.
        struct statx now {};
        const bool found = lookAt(parent.get(), name.constData(), now) == 0;
        if (!found || identityOf(now) != *held)
            return notThere(folder.held, folder.existed, found);
        if (unlinkat(parent.get(), name.constData(), AT_REMOVEDIR) != 0)
            stop = WalkStop { errno == EBUSY ? FolderRemoval::mounted
                    : errno == ENOTEMPTY     ? FolderRemoval::changed
                                             : FolderRemoval::failed,
                {}, errno };
    }
    if (stop)
        return { stop->outcome, QFile::decodeName(QByteArray::fromStdString(stop->item)), stop->error,
            folder.held->deletedAny };
    return { FolderRemoval::removed, {} };
}

} // namespace platform
