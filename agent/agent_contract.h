#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// What this program and the local agent agree on: where the agent lies, how it
// is called, the environment it gets and the steps it reports. The agent
// itself is a separate program; only what is written here is relied on.
namespace AgentContract {

// The agent lies in this subfolder of the install folder, named for the
// processor the program was built for (the other architecture's file is never
// looked for).
inline const QString distFolderName = QStringLiteral("dist");
inline const QString executableName = QStringLiteral(HALDEN_AGENT_FILE_NAME);

// Command-line switches.
inline const QString setupSwitch = QStringLiteral("--setup");
inline const QString repairSwitch = QStringLiteral("--repair");
inline const QString uninstallSwitch = QStringLiteral("--uninstall");
inline const QString allowRootSwitch = QStringLiteral("--allow-root");
inline const QString installDirSwitch = QStringLiteral("--install-dir");
inline const QString removeCredentialsSwitch = QStringLiteral("--remove-credentials");
inline const QString removeHistorySwitch = QStringLiteral("--remove-history");

// The agent's environment: exactly these, nothing inherited.
inline const QString homeVariable = QStringLiteral("HOME");
inline const QString userVariable = QStringLiteral("USER");
inline const QString langVariable = QStringLiteral("LANG");
inline const QString pathVariable = QStringLiteral("PATH");
inline const QString langValue = QStringLiteral("en_US.UTF-8");
inline const QString pathValue = QStringLiteral("/usr/bin:/bin");

// Output events: one JSON object a line.
inline constexpr const char* stepKey = "step";
inline constexpr const char* statusKey = "status";
inline constexpr const char* messageKey = "message";
inline constexpr const char* extensionInstalledKey = "extensionInstalled";
inline const QString statusOk = QStringLiteral("ok");
inline const QString statusWarn = QStringLiteral("warn");

// The agent's last event; with status "ok" the whole command succeeded.
inline const QString doneStep = QStringLiteral("done");
// The agent has registered itself with the service manager. From its "ok" on,
// the installation can be repaired even if the rest of the set-up fails.
inline const QString registerStep = QStringLiteral("register");

// The registration the agent leaves after a set-up or repair, relative to the
// home folder: its "ProgramArguments" hold "--allow-root" and the project folder.
inline const QString launchAgentPropertyListPath = QStringLiteral("Library/LaunchAgents/com.tervan.local-agent.plist");
inline const QString launchAgentLabel = QStringLiteral("com.tervan.local-agent");
inline constexpr const char* programArgumentsKey = "ProgramArguments";

// The agent's scan history and feedback inside the project folder.
inline const QString historyFolderName = QStringLiteral(".halden");

// A path as the agent receives it: one argument, without a trailing separator.
QString agentPath(const QString& path);

QStringList setupArguments(const QString& projectFolder, const QString& installDir);
QStringList repairArguments(const QString& projectFolder, const QString& installDir);
// The history folder is sent only when a project folder is given.
QStringList uninstallArguments(bool removeCredentials, const std::optional<QString>& removeHistoryIn);

} // namespace AgentContract
