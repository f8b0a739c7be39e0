#include "local-agent/agent_commands.h"

#include "agent/agent_contract.h"
#include "local-agent/event_writer.h"
#include "platform/property_list.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

using namespace AgentContract;

namespace {

const QString failed = QStringLiteral("error");

QString registrationPath() { return QDir::homePath() + u'/' + launchAgentPropertyListPath; }

// The registration the service manager would start the agent from.
bool writeRegistration(const QString& projectFolder, QString& problem)
{
    const platform::PlistPtr root(plist_new_dict());
    plist_dict_set_item(root.get(), "Label", plist_new_string(launchAgentLabel.toUtf8().constData()));
    plist_t arguments = plist_new_array();
    for (const QString& argument : { QCoreApplication::applicationFilePath(), allowRootSwitch, projectFolder })
        plist_array_append_item(arguments, plist_new_string(argument.toUtf8().constData()));
    plist_dict_set_item(root.get(), programArgumentsKey, arguments);
    plist_dict_set_item(root.get(), "RunAtLoad", plist_new_bool(1));
    const QByteArray contents = platform::serializePropertyList(root.get(), platform::PlistFormat::xml);

    const QString path = registrationPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        problem = QStringLiteral("could not create %1").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(contents) != contents.size() || !file.commit()) {
        problem = QStringLiteral("could not write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

// The product's extension as VS Code installs it: "tervan.halden-<version>".
std::optional<QString> installedExtension()
{
    const QDir extensions(QDir::homePath() + QStringLiteral("/.vscode/extensions"));
    const QStringList found
        = extensions.entryList({ QStringLiteral("tervan.halden-*") }, QDir::Dirs | QDir::NoDotAndDotDot);
    if (found.isEmpty())
        return std::nullopt;
    return found.first();
}

int fail(const QString& step, const QString& message)
{
    writeEvent(step, failed, message);
    writeError(QStringLiteral("tervan-agent: ") + message);
    return 1;
}

// Deletes the agent's history folder inside the project folder and nothing
// else: a link there is removed, never followed.
bool removeHistoryFolder(const QString& projectFolder, QString& outcome)
{
    const QFileInfo history(QDir(projectFolder).filePath(historyFolderName));
    if (!history.exists() && !history.isSymLink()) {
        outcome = QStringLiteral("No scan history found in %1.").arg(projectFolder);
        return true;
    }
    const bool removed = history.isSymLink() || !history.isDir() ? QFile::remove(history.absoluteFilePath())
                                                                 : QDir(history.absoluteFilePath()).removeRecursively();
    outcome = removed ? QStringLiteral("Scan history and feedback removed from %1.").arg(projectFolder)
                      : QStringLiteral("could not remove %1").arg(history.absoluteFilePath());
    return removed;
}

} // namespace

int runSetup(const SetupCommand& command)
{
    if (!QFileInfo(command.projectFolder).isDir())
        return fail(
            QStringLiteral("folder"), QStringLiteral("project folder not found: %1").arg(command.projectFolder));
    writeEvent(
        QStringLiteral("folder"), statusOk, QStringLiteral("Authorized project folder: %1").arg(command.projectFolder));
    if (!QFileInfo(command.installDir).isDir())
        return fail(QStringLiteral("install"), QStringLiteral("install folder not found: %1").arg(command.installDir));

    QString problem;
    if (!writeRegistration(command.projectFolder, problem))
        return fail(registerStep, problem);
    writeEvent(registerStep, statusOk, QStringLiteral("Registered the local agent to start at login."));
    writeEvent(
        QStringLiteral("start"), statusOk, QStringLiteral("Development build: no background service is started."));

    const std::optional<QString> extension = installedExtension();
    if (extension)
        writeEvent(
            QStringLiteral("extension"), statusOk, QStringLiteral("VS Code extension found: %1").arg(*extension));
    else
        writeEvent(QStringLiteral("extension"), statusWarn, QStringLiteral("The VS Code extension was not found."));
    writeEvent(doneStep, statusOk,
        command.repair ? QStringLiteral("Repair complete.") : QStringLiteral("Set-up complete."),
        extension.has_value());
    return 0;
}

int runUninstall(const UninstallCommand& command)
{
    const QString registration = registrationPath();
    if (QFileInfo(registration).exists() || QFileInfo(registration).isSymLink()) {
        if (!QFile::remove(registration))
            return fail(QStringLiteral("unregister"), QStringLiteral("could not remove %1").arg(registration));
        writeEvent(QStringLiteral("unregister"), statusOk, QStringLiteral("Local agent stopped and unregistered."));
    } else {
        writeEvent(QStringLiteral("unregister"), statusOk, QStringLiteral("The local agent was not registered."));
    }
    if (command.removeCredentials)
        writeEvent(QStringLiteral("credentials"), statusOk, QStringLiteral("No credentials are stored by this build."));
    if (command.removeHistoryIn) {
        QString outcome;
        if (!removeHistoryFolder(*command.removeHistoryIn, outcome))
            return fail(QStringLiteral("history"), outcome);
        writeEvent(QStringLiteral("history"), statusOk, outcome);
    }
    writeEvent(doneStep, statusOk, QStringLiteral("Uninstall complete."));
    return 0;
}
