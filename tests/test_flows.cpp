// What the user sees through whole operations: start-up, the busy state and
// readiness, set-up and repair, uninstall, opening VS Code, and one journey
// with the development agent. Each scenario row is the situation, one action,
// and what the window shows afterwards.
#include "halden_test.h"

#include "platform/privileged_shell.h"
#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"

#include <QDesktopServices>

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
    { "no permission",
        "“" + AgentContract::executableName + "” couldn’t be removed because you don’t have permission to access it." },
    { "setting up", SetupTexts::setupRunning }, { "repairing", SetupTexts::repairRunning },
    { "removing", "Stopping the local agent and removing Halden…" },
    { "not found", "Visual Studio Code was not found. Open it and select the authorized project folder." },
    { "could not open", "Could not open VS Code. Open it and select the authorized project folder." }
};
const QString doneOk = QStringLiteral("echo '{\"step\":\"done\",\"status\":\"ok\"}'");

} // namespace

static void scenarioColumns()
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

// The agent's command lines as the rows expect them.
#define SETUP_ARGS "--allow-root ~/project --install-dir ~/Applications/Tervan Halden Beta"

void HaldenTest::windowStates_data()
{
    scenarioColumns();
    QTest::newRow("agent missing") << "-"
                                   << ""
                                   << "start"
                                   << "--E--C | red: missing | "
                                   << "";
    QTest::newRow("no installation") << ""
                                     << ""
                                     << "start"
                                     << "--E-EC | start | "
                                     << "";
    QTest::newRow("existing installation") << ""
                                           << "registered"
                                           << "start"
                                           << "-EE-EC | existing | "
                                           << "";
    QTest::newRow("existing, repaired") << doneOk << "registered"
                                        << "started"
                                        << "EEEEEC | not confirmed | ✓ done: /"
                                        << "--repair " SETUP_ARGS " (repairing)";
    QTest::newRow("busy") << ""
                          << "folder repair open"
                          << "busy"
                          << "------ | before | old/"
                          << "";
    QTest::newRow("idle, no folder") << ""
                                     << "open"
                                     << "idle"
                                     << "--EEEC | before | old/"
                                     << "";
    QTest::newRow("idle, folder") << ""
                                  << "folder"
                                  << "idle"
                                  << "E-E-EC | before | old/"
                                  << "";
    QTest::newRow("idle, repair") << ""
                                  << "folder repair open"
                                  << "idle"
                                  << "EEEEEC | before | old/"
                                  << "";
    QTest::newRow("idle, removal pending") << ""
                                           << "folder repair pending"
                                           << "idle"
                                           << "----EC | before | old/"
                                           << "";
    QTest::newRow("ready") << ""
                           << "folder repair"
                           << "ready"
                           << "EEE-EC | ready | old/"
                           << "";
    QTest::newRow("ready, no folder") << ""
                                      << "repair"
                                      << "ready"
                                      << "--E-EC | required | old/"
                                      << "";
    QTest::newRow("ready, agent lost") << ""
                                       << "folder lost"
                                       << "idle ready"
                                       << "--E-EC | before | old/"
                                       << "";
    QTest::newRow("ready while an agent runs") << ""
                                               << "folder repair running"
                                               << "ready"
                                               << "--E-EC | before | old/"
                                               << "";
    QTest::newRow("ready, removal pending") << ""
                                            << "folder repair pending"
                                            << "ready"
                                            << "--E-EC | before | old/"
                                            << "";
}

void HaldenTest::setupFlows_data()
{
    scenarioColumns();
    const QString extension = R"(echo '{"step":"done","status":"ok","extensionInstalled":true}')";
    QTest::newRow("confirmed") << extension << "folder"
                               << "setup"
                               << "E-EEEC | confirmed | ✓ done: /"
                               << "--setup " SETUP_ARGS " (setting up)";
    QTest::newRow("repair, not confirmed") << doneOk << "folder repair"
                                           << "repair"
                                           << "EEEEEC | not confirmed | ✓ done: /"
                                           << "--repair " SETUP_ARGS " (repairing)";
    QTest::newRow("no done") << R"(echo '{"step":"check","status":"ok"}')"
                             << "folder open"
                             << "setup"
                             << "E-E-EC | red: set-up failed | ✓ check: /"
                             << "--setup " SETUP_ARGS " (setting up)";
    QTest::newRow("repair, done warn") << R"(echo '{"step":"done","status":"warn","message":"partly"}')"
                                       << "folder repair open"
                                       << "repair"
                                       << "EEE-EC | red: repair failed | ! done: partly/"
                                       << "--repair " SETUP_ARGS " (repairing)";
    QTest::newRow("registered, then exit 5") << R"(echo '{"step":"register","status":"ok"}'; echo denied >&2; exit 5)"
                                             << "folder"
                                             << "setup"
                                             << "EEE-EC | red: set-up failed | ✓ register: /error: denied//"
                                             << "--setup " SETUP_ARGS " (setting up)";
    QTest::newRow("set-up, no folder") << ""
                                       << "repair"
                                       << "setup"
                                       << "--E-EC | red: choose first | old/"
                                       << "";
    QTest::newRow("repair, no folder") << ""
                                       << "repair"
                                       << "repair"
                                       << "--E-EC | before | old/"
                                       << "";
    QTest::newRow("set-up, no agent") << "-"
                                      << "folder"
                                      << "setup"
                                      << "--E--C | before | old/"
                                      << "";
    QTest::newRow("repair, no agent") << "-"
                                      << "folder repair"
                                      << "repair"
                                      << "--E--C | before | old/"
                                      << "";
    QTest::newRow("set-up while an agent runs") << ""
                                                << "folder repair open running"
                                                << "setup"
                                                << "---EEC | setting up | "
                                                << "";
    QTest::newRow("open, no VS Code") << ""
                                      << "folder"
                                      << "open"
                                      << "--E-EC | red: not found | old/"
                                      << "";
    QTest::newRow("open, no folder") << ""
                                     << ""
                                     << "open"
                                     << "--E-EC | red: not found | old/"
                                     << "";
}

void HaldenTest::uninstallFlows_data()
{
    scenarioColumns();
    const QString failing
        = R"(echo '{"step":"unregister","status":"failed","message":"busy"}'; echo 'in use' >&2; exit 4)";
    QTest::newRow("neither box") << "exit 1"
                                 << "folder"
                                 << "uninstall"
                                 << "E-E-EC | red: uninstall failed | "
                                 << "--uninstall confirm (removing)";
    QTest::newRow("both boxes") << "exit 1"
                                << "folder"
                                << "uninstall credentials history"
                                << "E-E-EC | red: uninstall failed | "
                                << "--uninstall --remove-credentials --remove-history ~/project confirm (removing)";
    QTest::newRow("no folder for history") << "exit 1"
                                           << ""
                                           << "uninstall credentials history"
                                           << "--E-EC | red: uninstall failed | "
                                           << "--uninstall --remove-credentials confirm (no history) (removing)";
    QTest::newRow("cancelled") << ""
                               << "folder"
                               << "uninstall cancel"
                               << "--E-EC | before | old/"
                               << "confirm";
    QTest::newRow("an agent runs") << ""
                                   << "folder running"
                                   << "uninstall"
                                   << "--E-EC | before | old/"
                                   << "";
    QTest::newRow("no agent") << "-"
                              << "folder"
                              << "uninstall"
                              << "--E--C | before | old/"
                              << "";
    QTest::newRow("installed elsewhere") << ""
                                         << "folder elsewhere"
                                         << "uninstall"
                                         << "--E-EC | red: unsupported | old/"
                                         << "";
    QTest::newRow("agent fails, then again") << failing << "folder"
                                             << "uninstall uninstall"
                                             << "E-E-EC | red: uninstall failed | ✗ unregister: busy/error: in use//"
                                             << "--uninstall --uninstall confirm (removing) confirm (removing)";
    QTest::newRow("approval cancelled, retried alone") << ""
                                                       << "folder repair open pending approval=126"
                                                       << "uninstall uninstall"
                                                       << "----EC | red: cancelled | old/"
                                                       << "approval approval";
    QTest::newRow("approval refused") << ""
                                      << "pending approval=127"
                                      << "uninstall"
                                      << "----EC | red: incomplete | old/"
                                      << "approval";
    QTest::newRow("per-user folder undeletable") << ""
                                                 << "folder repair open undeletable"
                                                 << "uninstall uninstall"
                                                 << "----EC | red: no permission | "
                                                 << "--uninstall confirm (removing)";
    QTest::newRow("shared removal approved") << ""
                                             << "pending approval=0"
                                             << "uninstall"
                                             << "------ | before | old/"
                                             << "approval Halden was uninstalled.";
    QTest::newRow("per-user removal") << ""
                                      << "folder"
                                      << "uninstall"
                                      << "------ | removing | "
                                      << "--uninstall confirm (removing) Halden was uninstalled.";
}

void HaldenTest::launchesVsCodeWithTheFolderAsOneArgument()
{
    const bool launched
        = qEnvironmentVariableIsEmpty("GIO_LAUNCH_DESKTOP"); // GIO's launch helper, pointed at nothing by ctest
    const QString record = home->filePath("vscode-arguments");
    writeExecutable(home->filePath("code"), "#!/bin/sh\n" + recordArguments(record).toUtf8() + "\n");
    writeFile(home->filePath("data/applications/com.visualstudio.code.desktop"),
        "[Desktop Entry]\nType=Application\nName=Visual Studio Code\nExec=\"" + home->filePath("code").toUtf8()
            + "\" %F\n");
    start().folder = home->filePath("My Project/ünï");
    for (const bool extension : { false, true }) { // the text follows the flag as it is then
        c->extensionInstalled = extension;
        c->setStatus("before", true);
        c->openProject();
        QTRY_COMPARE(shown(),
            !launched       ? "--E-EC | red: could not open | "
                : extension ? "--E-EC | confirmed | "
                            : "--E-EC | not confirmed | ");
    }
    QTRY_COMPARE(recordedLines(record), launched ? QStringList(2, *c->folder) : QStringList());
}

void HaldenTest::journey()
{
    // The development agent, a project folder chosen in the real panel, and
    // names that a careless shell command or a link-following deletion would
    // turn against the user's own files.
    QFile::remove(install->agentPath);
    QVERIFY(QFile::copy(HALDEN_STAGED_AGENT, install->agentPath));
    QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
    const QString project = home->filePath("-rf 'quoted' \"double\" .. $HOME");
    writeFile(project + "/src/main.ts", "export {}\n");
    QVERIFY(QFile::link(home->path(), install->installDir + "/dist/link to home"));
    // Started as a user starts it, the program finds the registration and repairs at once.
    const QString registration = home->filePath(AgentContract::launchAgentPropertyListPath);
    writeFile(registration, propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
    QProcess program;
    program.start(HALDEN_PROGRAM);
    QTRY_VERIFY_WITH_TIMEOUT(
        recordedLines(registration).join(' ').contains("RunAtLoad"), 20000); // the development agent's own
    QVERIFY(QFile::remove(registration)); // the program goes on running until the test ends
    start().window->show();
    for (const char* scheme : { "https", "mailto" })
        QDesktopServices::setUrlHandler(scheme, this, "open");
    c->helpLinkButton->click();
    c->supportLinkButton->click();
    for (const QString& choice : QStringList { "cancel", project }) // the panel, cancelled first
        answer = choice, c->chooseButton->click();
    c->setupButton->click();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(shown() + " | " + c->folderLabel->text(),
        "EEEEEC | confirmed | " + c->log->toPlainText().replace('\n', '/') + " | " + project);
    writeFile(project + "/.halden/history.json", "[]");
    answer = "credentials history";
    QTimer::singleShot(0, c->uninstallButton, &QPushButton::click);
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0); // the program ended after the final alert
    const QString perUser
        = "Stops and removes the local agent for your account. Removes Halden from your Applications folder. "
          "The VS Code extension stays installed. Project history and saved credentials are kept unless you "
          "select their removal below.";
    const QString panel = "Authorize | " + WindowTexts::folderPanelMessage + " | 2"; // directories only
    QCOMPARE(seen,
        QStringList({ helpURL.toString(), "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup", panel,
            panel, "Uninstall Tervan Halden?", "Halden was uninstalled." }));
    QCOMPARE(uninstallConfirmationText(ProgramRemoval::plan(install->installDir, home->path())), perUser);
    QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
        QString(perUser).replace("Removes Halden from your Applications folder.",
            "Removes the shared Halden application and CLI from this Mac. macOS will ask for administrator approval."));
    // No settings either: Qt's folder panel would write "~/.config/QtProject.conf".
    for (const QString& gone : { registration, install->installDir, project + "/.halden", home->filePath(".config") })
        QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
    for (const QString& kept : { project + "/src/main.ts", home->filePath(".vscode/extensions/tervan.halden-0.9.0"),
             home->filePath("Applications") })
        QVERIFY2(QFileInfo::exists(kept), qPrintable(kept));
}
