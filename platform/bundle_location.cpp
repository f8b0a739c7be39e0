#include "platform/bundle_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace platform {
namespace {

std::optional<QString>& bundlePathOverride()
{
    static std::optional<QString> path;
    return path;
}

QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    // Before the application object exists, ask the kernel.
    return QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
}

} // namespace

QString bundlePath()
{
    if (bundlePathOverride())
        return QDir::cleanPath(*bundlePathOverride());
#ifdef __APPLE__
    // …/Name.app/Contents/MacOS/executable
    return QDir::cleanPath(executableDirectory() + QStringLiteral("/../.."));
#else
    return executableDirectory();
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

void setBundlePathForTesting(std::optional<QString> path)
{
    bundlePathOverride() = std::move(path);
}

} // namespace platform
