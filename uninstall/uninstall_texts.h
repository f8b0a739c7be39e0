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
