#include "platform/bundle_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <climits>
#include <sys/stat.h>

namespace platform {
namespace {

    std::optional<QString>& bundlePathOverride()
    {
        static std::optional<QString> path;
        return path;
    }

#ifndef __APPLE__
    bool sameFile(const QString& a, const QString& b)
    {
        struct stat first {};
        struct stat second {};
        return stat(QFile::encodeName(a).constData(), &first) == 0
            && stat(QFile::encodeName(b).constData(), &second) == 0 && first.st_dev == second.st_dev
            && first.st_ino == second.st_ino;
    }

    // The path the program was started through, read afresh at every call: the
    // first word of the kernel's copy of the command line, made absolute and
    // cleaned, with its links kept, so a linked install folder is seen as the link
    // it is. Trusted only while it still names the running executable (a bare name
    // found through PATH, a changed working directory, a renamed folder); otherwise
    // the kernel's own path of the executable, which follows renames.
    QString executablePath()
    {
        const QString kernelPath = QStringLiteral("/proc/self/exe");
        QFile commandLine(QStringLiteral("/proc/self/cmdline"));
        if (commandLine.open(QIODevice::ReadOnly)) {
            const QByteArray first = commandLine.read(PATH_MAX + 1).split('\0').value(0);
            const QString started = QFile::decodeName(first);
            if (started.contains(u'/')) {
                const QString absolute = QDir::cleanPath(QDir::current().absoluteFilePath(started));
                if (sameFile(absolute, kernelPath))
                    return absolute;
            }
        }
        return QFileInfo(kernelPath).symLinkTarget();
    }
#endif

} // namespace

QString bundlePath()
{
    if (bundlePathOverride())
        return QDir::cleanPath(*bundlePathOverride());
#ifdef __APPLE__
    // …/Name.app/Contents/MacOS/executable
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../.."));
#else
    return QFileInfo(executablePath()).absolutePath();
#endif
}

QString bundleResourcePath()
{
#ifdef __APPLE__
    return bundlePath() + QStringLiteral("/Contents/Resources");
#else
    return bundlePath();
#endif
}

void setBundlePathForTesting(std::optional<QString> path) { bundlePathOverride() = std::move(path); }

} // namespace platform
