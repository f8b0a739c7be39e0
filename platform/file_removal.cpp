#include "platform/file_removal.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace platform {
namespace {

    struct RemovalFailure {
        std::string name;
        int error;
    };

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
        int release() { return std::exchange(fd, -1); }

    private:
        int fd;
    };

    // Everything is opened relative to an already opened parent with O_NOFOLLOW, so
    // a link swapped in while we work is unlinked, never descended into.
    std::optional<RemovalFailure> removeEntry(int parentFd, const std::string& name);

    std::optional<RemovalFailure> emptyDirectory(int dirFd, const std::string& name)
    {
        DIR* stream = fdopendir(dirFd);
        if (!stream) {
            const int error = errno;
            close(dirFd);
            return RemovalFailure { name, error };
        }
        std::vector<std::string> children;
        errno = 0;
        while (const dirent* entry = readdir(stream)) {
            const std::string child = entry->d_name;
            if (child != "." && child != "..")
                children.push_back(child);
        }
        std::optional<RemovalFailure> failure;
        if (errno != 0)
            failure = RemovalFailure { name, errno };
        for (const std::string& child : children) {
            if (failure)
                break;
            failure = removeEntry(dirfd(stream), child);
        }
        closedir(stream);
        return failure;
    }

    // Takes over `directory`, an open descriptor of the folder `name` in the parent.
    std::optional<RemovalFailure> removeDirectory(int parentFd, const std::string& name, Descriptor& directory)
    {
        if (auto failure = emptyDirectory(directory.release(), name))
            return failure;
        if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
            return RemovalFailure { name, errno };
        return std::nullopt;
    }

    std::optional<RemovalFailure> removeEntry(int parentFd, const std::string& name)
    {
        struct stat info {};
        if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return errno == ENOENT ? std::nullopt : std::optional(RemovalFailure { name, errno });
        if (!S_ISDIR(info.st_mode)) {
            if (unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT)
                return RemovalFailure { name, errno };
            return std::nullopt;
        }
        Descriptor directory(openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (directory.get() < 0)
            return RemovalFailure { name, errno };
        return removeDirectory(parentFd, name, directory);
    }

    QString messageFor(const RemovalFailure& failure)
    {
        const QString name = QString::fromStdString(failure.name);
        if (failure.error == EACCES || failure.error == EPERM)
            return QStringLiteral("“%1” couldn’t be removed because you don’t have permission to access it.").arg(name);
        return QStringLiteral("“%1” couldn’t be removed. %2.")
            .arg(name, QString::fromLocal8Bit(std::strerror(failure.error)));
    }

    FolderRemoval failedWith(const std::string& name, int error)
    {
        return { FolderRemoval::failed, messageFor({ name, error }) };
    }

    std::optional<FolderIdentity> identityOf(const struct stat& info)
    {
        if (!S_ISDIR(info.st_mode))
            return std::nullopt;
        return FolderIdentity { info.st_dev, info.st_ino };
    }

} // namespace

PinnedFolder pinFolder(const QString& path)
{
    struct stat info {};
    if (lstat(QFile::encodeName(path).constData(), &info) != 0)
        return { path, std::nullopt, errno != ENOENT };
    const QString resolved = QFileInfo(path).canonicalFilePath();
    if (resolved.isEmpty())
        return { path, std::nullopt, true };
    return { resolved, identityOf(info), true };
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

    Descriptor parent(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (parent.get() < 0)
        return failedWith("/", errno);
    for (qsizetype i = 0; i + 1 < components.size(); ++i) {
        const std::string name = QFile::encodeName(components[i]).toStdString();
        Descriptor next(openat(parent.get(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (next.get() < 0) {
            if (errno == ENOENT)
                return nothingThere;
            if (errno == ENOTDIR || errno == ELOOP) // a link (or a file) where a folder was
                return { FolderRemoval::refused, {} };
            return failedWith(name, errno);
        }
        parent = std::move(next);
    }

    const std::string name = QFile::encodeName(components.last()).toStdString();
    struct stat info {};
    if (fstatat(parent.get(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? nothingThere : failedWith(name, errno);
    if (!folder.identity || identityOf(info) != folder.identity)
        return { FolderRemoval::refused, {} };
    Descriptor directory(openat(parent.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (directory.get() < 0)
        return failedWith(name, errno);
    // The folder opened is the one just looked at, not one swapped in between.
    if (fstat(directory.get(), &info) != 0 || identityOf(info) != folder.identity)
        return { FolderRemoval::refused, {} };
    if (const std::optional<RemovalFailure> failure = removeDirectory(parent.get(), name, directory))
        return { FolderRemoval::failed, messageFor(*failure) };
    return { FolderRemoval::removed, {} };
}

} // namespace platform
