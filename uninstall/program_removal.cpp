#include "uninstall/program_removal.h"

#include "install/installation_discovery.h"
#include "platform/file_removal.h"
#include "platform/privileged_shell.h"
#include "uninstall/uninstall_texts.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>

const char* LocalizedError::what() const noexcept
{
    whatText = errorDescription().toUtf8();
    return whatText.constData();
}

QString ProgramRemovalError::errorDescription() const
{
    switch (which) {
    case unsupportedLocation:
        return UninstallTexts::unsupportedLocation;
    case cancelled:
        return UninstallTexts::removalCancelled;
    case incomplete:
        return UninstallTexts::removalIncomplete;
    }
    return QString();
}

namespace {

std::optional<QString>& sharedDirectoryOverride()
{
    static std::optional<QString> folder;
    return folder;
}

} // namespace

const QString& ProgramRemoval::sharedDirectory()
{
    static const QString directory = QStringLiteral("/Applications/") + installDirName;
    return sharedDirectoryOverride() ? *sharedDirectoryOverride() : directory;
}

void ProgramRemoval::setSharedDirectoryForTesting(std::optional<QString> folder)
{
    sharedDirectoryOverride() = std::move(folder);
}

const QString& ProgramRemoval::administratorScript()
{
    static const QString script
        = QStringLiteral("do shell script \"if /usr/sbin/pkgutil --pkg-info com.tervan.halden >/dev/null 2>&1; then "
                         "/usr/sbin/pkgutil --forget com.tervan.halden >/dev/null || exit 1; fi; "
                         "/bin/rm -f /usr/local/bin/halden && /bin/rm -rf '/Applications/Tervan Halden Beta'\" "
                         "with administrator privileges");
    return script;
}

ProgramRemoval ProgramRemoval::plan(const QString& installFolder, const QString& home)
{
    // Lexical standardization: "." and empty components dropped, ".." resolved,
    // no trailing separator; links are not resolved.
    const QString standardized = QDir::cleanPath(installFolder);
    const QFileInfo item(standardized);
    if (item.isSymLink())
        throw ProgramRemovalError(ProgramRemovalError::unsupportedLocation);
    if (standardized == sharedDirectory())
        return shared();
    if (standardized == QDir::cleanPath(home + QStringLiteral("/Applications/") + installDirName)) {
        // Reached through a linked or mounted Applications folder, the shared installation is still the
        // shared one: never deleted with the user's rights, which would leave its receipt and tool behind.
        if (platform::sameFolder(standardized, sharedDirectory()))
            throw ProgramRemovalError(ProgramRemovalError::unsupportedLocation);
        return user(standardized);
    }
    throw ProgramRemovalError(ProgramRemovalError::unsupportedLocation);
}

ProgramRemoval ProgramRemoval::user(const QString& installFolder)
{
    const QString standardized = QDir::cleanPath(installFolder);
    return ProgramRemoval(Kind::user, standardized, platform::pinFolder(standardized));
}

void ProgramRemoval::remove(const PrivilegedStep& authorize) const
{
    if (which == Kind::shared)
        authorize(administratorScript());
    else
        removeUserFolder();
}

namespace {

QString sentenceFor(const platform::FolderRemoval& removal)
{
    using namespace UninstallTexts;
    const QString item = removal.item.isEmpty() ? installDirName : removal.item;
    const QString reason = QString::fromLocal8Bit(std::strerror(removal.error));
    const bool denied = removal.error == EACCES || removal.error == EPERM;
    QString sentence;
    switch (removal.outcome) {
    case platform::FolderRemoval::mounted:
        sentence = removal.item.isEmpty() ? folderIsMounted : mountedInside.arg(item);
        break;
    case platform::FolderRemoval::locked:
        sentence = itemLocked.arg(item);
        break;
    case platform::FolderRemoval::notWritable:
        sentence = folderNotWritable.arg(item);
        break;
    case platform::FolderRemoval::unreadable:
        sentence = denied ? folderUnreadable.arg(item) : itemNotOpened.arg(item, reason);
        break;
    case platform::FolderRemoval::changed:
        sentence = itemChanged.arg(item);
        break;
    case platform::FolderRemoval::moved:
        sentence = removal.item.isEmpty() ? itemChanged.arg(item) : folderMoved.arg(item);
        break;
    case platform::FolderRemoval::readOnly:
        sentence = readOnlyDisk.arg(item);
        break;
    default:
        sentence = denied ? itemNotRemovedNoPermission.arg(item) : itemNotRemoved.arg(item, reason);
    }
    return removal.deletedAny ? sentence : sentence + u' ' + noFilesRemoved;
}

} // namespace

void ProgramRemoval::removeUserFolder() const
{
    // Whatever the caller handed over, only an install folder by its full path
    // is ever deleted: never "", "." or "..", never a folder of another name.
    const bool installFolder = QDir::isAbsolutePath(folder) && QFileInfo(folder).fileName() == installDirName
        && QFileInfo(pinned.path).fileName() == installDirName;
    if (!installFolder)
        throw ProgramRemovalError(ProgramRemovalError::unsupportedLocation);
    const platform::FolderRemoval removal = platform::removePinnedFolder(pinned);
    switch (removal.outcome) {
    case platform::FolderRemoval::removed:
    case platform::FolderRemoval::absent:
        return;
    case platform::FolderRemoval::refused:
        throw ProgramRemovalError(ProgramRemovalError::unsupportedLocation);
    default:
        throw FileRemovalError(sentenceFor(removal));
    }
}

void ProgramRemoval::authorize(const QString& script)
{
    switch (platform::runAdministratorStatement(script)) {
    case platform::PrivilegedOutcome::succeeded:
        return;
    case platform::PrivilegedOutcome::cancelled:
        throw ProgramRemovalError(ProgramRemovalError::cancelled);
    case platform::PrivilegedOutcome::failed:
        throw ProgramRemovalError(ProgramRemovalError::incomplete);
    }
}
