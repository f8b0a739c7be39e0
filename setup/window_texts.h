#pragma once

#include <QString>

// Every text of the setup window itself.
namespace WindowTexts {

inline const QString noFolderChosen = QStringLiteral("No project folder chosen");
inline const QString setupButtonTitle = QStringLiteral("Set Up Agent");
inline const QString repairButtonTitle = QStringLiteral("Repair Agent");
inline const QString chooseButtonTitle = QStringLiteral("Choose Project Folder…");
inline const QString openProjectButtonTitle = QStringLiteral("Open Project in VS Code");
inline const QString uninstallButtonTitle = QStringLiteral("Uninstall…");

inline const QString introduction = QStringLiteral(
    "Tervan Halden Beta is installed. Choose the one project folder Halden may scan, then press Set Up Agent: "
    "the local agent starts for your account, scans only that folder, and works with the VS Code extension.");
inline const QString folderHeading = QStringLiteral("1. Project folder Halden may scan (required)");

inline const QString componentsMissing
    = QStringLiteral("Program components not found. Reinstall Tervan Halden Beta, then reopen Setup.");
inline const QString existingInstallation
    = QStringLiteral("Existing Halden installation found. Repairing the local agent…");
inline const QString chooseFolderToStart
    = QStringLiteral("To begin, choose the project folder Halden may scan. Halden never scans outside it.");

inline const QString folderPanelPrompt = QStringLiteral("Authorize");
inline const QString folderPanelMessage
    = QStringLiteral("Choose the project folder Halden may scan (it never scans outside it).");
inline const QString folderRequired = QStringLiteral("Project folder is required. Choose the folder Halden may scan.");
inline const QString readyToSetUp
    = QStringLiteral("Ready. Press Set Up Agent to set up and start the local agent for this folder.");

inline const QString headerImageName = QStringLiteral("HaldenInstaller.png");
inline const QString headerImageName2x = QStringLiteral("HaldenInstaller@2x.png");

// What a screen reader says of the controls whose title alone does not tell.
inline const QString headerImageDescription = QStringLiteral("Halden Setup icon");
inline const QString helpLinkDescription = QStringLiteral("Opens the Halden help page in your web browser");
inline const QString supportLinkDescription = QStringLiteral("Writes an email to Halden support");
inline const QString folderLabelDescription = QStringLiteral("The project folder Halden may scan");
inline const QString logName = QStringLiteral("Agent log");
inline const QString logDescription = QStringLiteral("What the local agent reported during the last run");

} // namespace WindowTexts
