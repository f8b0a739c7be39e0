#include "platform/file_removal.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

struct RemovalFailure {
    std::string name;
    int error;
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
        return RemovalFailure{name, error};
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
        failure = RemovalFailure{name, errno};
    for (const std::string& child : children) {
        if (failure)
            break;
        failure = removeEntry(dirfd(stream), child);
    }
    closedir(stream);
    return failure;
}

std::optional<RemovalFailure> removeEntry(int parentFd, const std::string& name)
{
    struct stat info {};
    if (fstatat(parentFd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? std::nullopt : std::optional(RemovalFailure{name, errno});
    if (!S_ISDIR(info.st_mode)) {
        if (unlinkat(parentFd, name.c_str(), 0) != 0 && errno != ENOENT)
            return RemovalFailure{name, errno};
        return std::nullopt;
    }
    const int dirFd = openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (dirFd < 0)
        return RemovalFailure{name, errno};
    if (auto failure = emptyDirectory(dirFd, name))
        return failure;
    if (unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) != 0 && errno != ENOENT)
        return RemovalFailure{name, errno};
    return std::nullopt;
}

QString messageFor(const RemovalFailure& failure)
{
    const QString name = QString::fromStdString(failure.name);
    if (failure.error == EACCES || failure.error == EPERM)
        return QStringLiteral("“%1” couldn’t be removed because you don’t have permission to access it.").arg(name);
    return QStringLiteral("“%1” couldn’t be removed. %2.").arg(name, QString::fromLocal8Bit(std::strerror(failure.error)));
}

} // namespace

std::optional<QString> removeItemRecursively(const QString& path)
{
    const QFileInfo item(QDir::cleanPath(path));
    const QByteArray parent = QFile::encodeName(item.absolutePath());
    const std::string name = QFile::encodeName(item.fileName()).toStdString();
    const int parentFd = open(parent.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0)
        return messageFor({name, errno});
    const std::optional<RemovalFailure> failure = removeEntry(parentFd, name);
    close(parentFd);
    if (failure)
        return messageFor(*failure);
    return std::nullopt;
}

} // namespace platform
