#pragma once

#include <QString>

// Every text the uninstall flow shows.
namespace UninstallTexts {

inline const QString unsupportedLocation = QStringLiteral(
    "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed.");
inline const QString removalCancelled = QStringLiteral(
    "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app.");
inline const QString removalIncomplete
    = QStringLiteral("The agent was stopped, but application files could not be removed. Click Uninstall to retry.");

// Why a per-user install folder was not removed. %1 names the item that stopped it by its path inside
// Halden's folder ("dist/x"), or a folder above by its full path; `noFilesRemoved` follows when the
// removal stopped before deleting anything.
inline const QString mountedInside = QStringLiteral(
    "“%1” is a disk or share mounted inside Halden’s folder. Eject it, then click Uninstall to retry.");
inline const QString folderIsMounted
    = QStringLiteral("Halden’s folder is a disk or share of its own. Eject it, then click Uninstall to retry.");
// What the user does about a locked item or a folder they may not change, in their platform's words: on Linux
// "locked" is the immutable or append-only attribute, which only an administrator can clear.
#ifdef __APPLE__
inline const QString itemLocked
    = QStringLiteral("“%1” is locked. Unlock it in its Get Info window in the Finder, then click Uninstall to retry.");
inline const QString folderNotWritable = QStringLiteral(
    "You don’t have permission to change “%1”. Give yourself Read & Write access to it in its Get Info window in "
    "the Finder, then click Uninstall to retry.");
#else
inline const QString itemLocked = QStringLiteral(
    "“%1” is locked. An administrator can unlock it with “sudo chattr -i -a”, then click Uninstall to retry.");
inline const QString folderNotWritable = QStringLiteral(
    "You don’t have permission to change “%1”. Give yourself write access to it in its Properties in the file "
    "manager or with “chmod u+w”, then click Uninstall to retry.");
#endif
inline const QString readOnlyDisk = QStringLiteral(
    "“%1” is on a disk or share that can only be read. Mount it for writing, then click Uninstall to retry.");
inline const QString folderMoved = QStringLiteral(
    "Another program moved Halden’s folder to “%1” while Halden was being removed. Delete it there yourself.");
inline const QString folderUnreadable
    = QStringLiteral("The folder “%1” couldn’t be opened because you don’t have permission to view it.");
inline const QString itemNotOpened = QStringLiteral("“%1” couldn’t be opened. %2.");
inline const QString itemChanged
    = QStringLiteral("“%1” was changed by another program while Halden was being removed. Click Uninstall to retry.");
inline const QString itemNotRemovedNoPermission
    = QStringLiteral("“%1” couldn’t be removed because you don’t have permission to access it.");
inline const QString itemNotRemoved = QStringLiteral("“%1” couldn’t be removed. %2.");
inline const QString noFilesRemoved = QStringLiteral("No files were removed.");

inline const QString confirmationMessage = QStringLiteral("Uninstall Tervan Halden?");
inline const QString confirmationStart = QStringLiteral("Stops and removes the local agent for your account. ");
inline const QString sharedPlanSentence = QStringLiteral(
    "Removes the shared Halden application and CLI from this Mac. macOS will ask for administrator approval.");
inline const QString userPlanSentence = QStringLiteral("Removes Halden from your Applications folder.");
inline const QString confirmationEnd = QStringLiteral(
    " The VS Code extension stays installed. Project history and saved credentials are kept unless you select "
    "their removal below.");
inline const QString removeCredentialsTitle = QStringLiteral("Also remove Keychain credentials (rule key, device key)");
inline const QString removeHistoryTitle
    = QStringLiteral("Also delete Halden scan history and feedback in the chosen project folder");
inline const QString uninstallButtonTitle = QStringLiteral("Uninstall");
inline const QString cancelButtonTitle = QStringLiteral("Cancel");

inline const QString uninstallRunning = QStringLiteral("Stopping the local agent and removing Halden…");
inline const QString uninstallFailed = QStringLiteral("Uninstall reported a problem; see details above.");

inline const QString finishedMessage = QStringLiteral("Halden was uninstalled.");
inline const QString finishedInformation = QStringLiteral(
    "The local agent and application files were removed. The VS Code extension remains available for reinstalling "
    "Halden.");
inline const QString closeButtonTitle = QStringLiteral("Close");

} // namespace UninstallTexts
