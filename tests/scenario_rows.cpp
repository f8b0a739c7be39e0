// Scenario rows: the situation, one action, and what the window shows afterwards.
#include "halden_test.h"

#include "platform/privileged_shell.h"
#include "setup/window_texts.h"

namespace {

// The status lines by a short name, word for word as users read them.
const QMap<QString, QString> texts {
    { "missing", "Program components not found. Reinstall Tervan Halden Beta, then reopen Setup." },
    { "existing", "Existing Halden installation found. Repairing the local agent…" },
    { "start", WindowTexts::chooseFolderToStart }, { "ready", WindowTexts::readyToSetUp },
    { "required", WindowTexts::folderRequired }, { "choose first", SetupTexts::chooseFolderFirst },
    { "confirmed",
        "Halden is running and the extension installation is confirmed. In VS Code, open the Command Palette "
        "(Cmd+Shift+P), run “Developer: Reload Window”, then run “Tervan: Scan Workspace”." },
    { "not confirmed",
        "Halden is running, but the VS Code extension installation was not confirmed. Use Repair Agent to retry "
        "extension setup before scanning." },
    { "set-up failed",
        "Agent set-up did not complete. Fix the problem shown below and press Set Up Agent again, or email "
        "halden-support@tervan.example." },
    { "repair failed", "Agent repair did not complete. See the error below or email halden-support@tervan.example." },
    { "uninstall failed", "Uninstall reported a problem; see details above." },
    { "unsupported",
        "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed." },
    { "cancelled",
        "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app." },
    { "incomplete", "The agent was stopped, but application files could not be removed. Click Uninstall to retry." },
    { "no permission", // nothing is removed from a folder that is locked (as root) or not writable (as anyone else)
        (geteuid() == 0
                ? QString("“dist” is locked. Unlock it")
                : QString("You don’t have permission to change “dist”. Give yourself Read & Write access to it"))
            + " in its Get Info window in the Finder, then click Uninstall to retry. No files were removed." },
    { "setting up", SetupTexts::setupRunning }, { "repairing", SetupTexts::repairRunning },
    { "removing", "Stopping the local agent and removing Halden…" },
    { "not found", "Visual Studio Code was not found. Open it and select the authorized project folder." },
    { "could not open", "Could not open VS Code. Open it and select the authorized project folder." }
};

} // namespace

void HaldenTest::scenarioColumns()
{
    QTest::addColumn<QString>("agent"); // the stand-in agent's script; "-" for no agent
    QTest::addColumn<QString>(
        "given"); // of: registered, lost, folder, repair, pending, open, running, elsewhere, undeletable, approval=CODE
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("after"); // buttons (set-up, repair, choose, open, uninstall, close) | status | log
    QTest::addColumn<QString>("calls"); // the agent's arguments and the approval prompts, in order; "~" the home
}

QString HaldenTest::shown() const
{
    const QString status = texts.key(c->statusLabel->text(), c->statusLabel->text());
    const QColor color = c->statusLabel->palette().color(QPalette::WindowText);
    const bool red = color.hslSaturation() > 128 && (color.hslHue() < 15 || color.hslHue() > 345); // as a user tells it
    QString buttons; // set-up, repair, choose, open-project, uninstall, close: enabled or "-"
    for (const QWidget* button :
        QWidgetList { c->setupButton, c->repairButton, c->chooseButton, c->openProjectButton, c->uninstallButton })
        buttons += button->isEnabled() ? "E" : "-";
    return buttons + (c->window->isCloseEnabled() ? "C" : "-") + " | " + (red ? "red: " : "") + status + " | "
        + c->log->toPlainText().replace('\n', '/');
}

void HaldenTest::scenario()
{
    QFETCH(QString, agent);
    QFETCH(QString, given);
    QFETCH(QString, action);
    QFETCH(QString, after);
    QFETCH(QString, calls);
    const QString record = home->filePath("calls"), project = home->filePath("project"),
                  dist = install->installDir + "/dist";
    install->writeAgentScript(recordArguments(record) + "\n" + agent);
    if (agent == "-")
        QFile::remove(install->agentPath);
    if (given.contains("registered") && QDir().mkpath(project))
        writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
            propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
    if (given.contains("elsewhere")) // another user's home: the install folder is in no supported place
        qputenv("HOME", QFile::encodeName(project));
    const auto lock = [&](bool locked) { // a per-user folder that cannot be deleted, also by root
        return geteuid() == 0 ? QProcess::execute("chattr", { locked ? "+i" : "-i", dist }) == 0
                              : QFile::setPermissions(dist,
                                  QFile::ReadOwner | QFile::ExeOwner | (locked ? QFile::ReadOwner : QFile::WriteOwner));
    };
    if (given.contains("undeletable") && !lock(true))
        QSKIP("root, and no immutable attribute on this file system: nothing can refuse a deletion");
    writeExecutable(home->filePath("helper"),
        "#!/bin/sh\necho approval >> '" + record.toUtf8() + "'\nexit " + given.section("approval=", 1).toUtf8() + "\n");
    platform::setPrivilegeHelperForTesting(home->filePath("helper")); // never the real administrator script
    answer = action;
    start();
    if (given.contains("lost")) // the agent binary is gone since start-up
        QFile::remove(install->agentPath);
    QProcess running;
    if (!action.startsWith("start")) {
        c->folder = given.contains("folder") ? std::optional(project) : std::nullopt;
        c->repairAvailable = given.contains("repair");
        c->pendingProgramRemoval = given.contains("pending") ? std::optional(ProgramRemoval::shared()) : std::nullopt;
        c->openProjectButton->setEnabled(given.contains("open"));
        c->child = given.contains("running") ? &running : nullptr;
        c->setStatus("before", false);
        c->append("old");
    }
    const QMap<QString, void (SetupController::*)()> operations { { "ready", &SetupController::updateSetupReadiness },
        { "setup", &SetupController::setUpAgent }, { "repair", &SetupController::repair },
        { "uninstall", &SetupController::uninstall }, { "open", &SetupController::openProject } };
    for (const QString& step : action.split(' ')) {
        if (operations.contains(step))
            (c.get()->*operations[step])();
        else if (step == "busy" || step == "idle")
            c->setBusy(step == "busy");
        else if (step == "started") // the event loop runs what start-up queued
            QVERIFY(QTest::qWaitFor([this] { return c->child != nullptr; }));
        if (c->child && c->child != &running)
            seen << "(" + texts.key(c->statusLabel->text()) + ")";
        c->child = c->child == &running ? nullptr : c->child;
        QVERIFY(waitForRunEnd(*c));
    }
    QVERIFY(!given.contains("undeletable") || lock(false));
    platform::setPrivilegeHelperForTesting(std::nullopt);
    QCOMPARE(shown(), after);
    QCOMPARE((recordedLines(record) << seen)
                 .join(' ')
                 .replace(home->path(), "~")
                 .replace("Uninstall Tervan Halden?", "confirm"),
        calls);
}
