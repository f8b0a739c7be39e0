#pragma once

#include <QString>

// Every text of set-up, repair and opening the project.

// How to make VS Code pick up the extension after a set-up.
extern const QString vscodeReloadInstruction;

// The status line after a successful set-up, repair or VS Code launch.
QString setupCompletionMessage(bool extensionInstalled);

namespace SetupTexts {

inline const QString chooseFolderFirst = QStringLiteral("Choose the project folder first.");
inline const QString setupRunning = QStringLiteral("Setting up and starting the local agent…");
inline const QString repairRunning = QStringLiteral("Repairing and starting the local agent…");
// Both failure lines end with the support address and a full stop.
inline const QString setupFailedStart = QStringLiteral(
    "Agent set-up did not complete. Fix the problem shown below and press Set Up Agent again, or email ");
inline const QString repairFailedStart = QStringLiteral("Agent repair did not complete. See the error below or email ");

inline const QString vscodeNotFound
    = QStringLiteral("Visual Studio Code was not found. Open it and select the authorized project folder.");
inline const QString vscodeCouldNotOpen
    = QStringLiteral("Could not open VS Code. Open it and select the authorized project folder.");

inline const QString vscodeBundleIdentifier = QStringLiteral("com.microsoft.VSCode");
inline const QString supportMailSubject = QStringLiteral("?subject=Tervan%20Halden%20Beta%20setup");

} // namespace SetupTexts
