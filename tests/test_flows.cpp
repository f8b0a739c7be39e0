// The window's flows as the user sees them: the situation, one action, what the window shows afterwards.
#include "halden_test.h"

#include "platform/privileged_shell.h"
#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"
#include "uninstall/uninstall_texts.h"

namespace {

// What the window and its dialogs say, by a short name; the texts the program puts together, put together here.
QString shortName(const QString& text)
{
    using namespace WindowTexts;
    using namespace SetupTexts;
    using namespace UninstallTexts;
    static const QMap<QString, QString> texts { { "missing", componentsMissing }, { "existing", existingInstallation },
        { "start", chooseFolderToStart }, { "ready", readyToSetUp }, { "required", folderRequired },
        { "choose first", chooseFolderFirst }, { "not confirmed", setupCompletionMessage(false) },
        { "set-up failed", setupFailedStart + supportAddress + "." },
        { "repair failed", repairFailedStart + supportAddress + "." }, { "uninstall failed", uninstallFailed },
        { "unsupported", unsupportedLocation }, { "cancelled", removalCancelled }, { "incomplete", removalIncomplete },
        { "setting up", setupRunning }, { "repairing", repairRunning }, { "removing", uninstallRunning },
        { "not found", vscodeNotFound },
        { "confirm", confirmationMessage + " " + confirmationStart + userPlanSentence + confirmationEnd },
        { "uninstalled", finishedMessage + " " + finishedInformation } };
    return texts.key(text, text);
}

} // namespace

// The set-up's and repair's arguments after their switch, as the rows write them.
#define SETUP_ARGS "--allow-root ~/project --install-dir ~/Applications/Tervan Halden Beta"

class FlowsTest : public HaldenTest {
    Q_OBJECT

    // The controls a user can press, and the close button.
    QString enabledControls() const
    {
        QStringList offered;
        for (const auto& [button, name] : { std::pair { c->setupButton, "set-up" }, { c->repairButton, "repair" },
                 { c->chooseButton, "choose" }, { c->openProjectButton, "open" }, { c->uninstallButton, "uninstall" } })
            if (button->isEnabled())
                offered << name;
        if (c->window->isCloseEnabled())
            offered << "close";
        return offered.join(' ');
    }

    QString statusShown() const
    {
        const QColor color = c->statusLabel->palette().color(QPalette::WindowText);
        const bool red
            = color.hslSaturation() > 128 && (color.hslHue() < 15 || color.hslHue() > 345); // as a user tells it
        return (red ? "red: " : "") + shortName(c->statusLabel->text());
    }

private slots:
    void flows_data()
    {
        QTest::addColumn<QString>("agent"); // the stand-in agent's script
        QTest::addColumn<QString>("given"); // the situation, in words the fixture knows
        QTest::addColumn<QString>("action"); // operations in turn, "uninstall" with the confirmation's answer
        QTest::addColumn<QString>("enabled"); // the controls offered afterwards
        QTest::addColumn<QString>("status"); // by its short name; "red: " when shown as an error
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("calls"); // the agent's arguments, the approval prompts and the dialogs, in order
        // The start, and readiness once a folder is chosen
        row("agent missing", "", "no agent binary", "start", "choose close", "red: missing", "", "");
        row("no installation", "", "", "start", "choose uninstall close", "start", "", "");
        row("existing installation", "", "registered at start", "start", "repair choose uninstall close", "existing",
            "", "");
        row("ready", "", "folder chosen, repair available", "ready", "set-up repair choose uninstall close", "ready",
            "old/", "");
        row("ready, no folder", "", "repair available", "ready", "choose uninstall close", "required", "old/", "");
        row("agent lost", "", "folder chosen, agent lost", "ready", "choose uninstall close", "before", "old/", "");
        row("ready while an agent runs", "", "folder chosen, repair available, agent running", "ready", "", "before",
            "old/", "");
        // Set-up, repair and opening the project
        row("repair, not confirmed", doneOk, "folder chosen, repair available, project opened", "repair",
            "set-up repair choose open uninstall close", "not confirmed", "✓ done: /",
            "--repair " SETUP_ARGS " (repairing)");
        row("repair, done warn", "echo '{\"step\":\"done\",\"status\":\"warn\",\"message\":\"partly\"}'",
            "folder chosen, repair available, project opened", "repair", "set-up repair choose uninstall close",
            "red: repair failed", "! done: partly/", "--repair " SETUP_ARGS " (repairing)");
        // Without the agent binary a press does nothing, and no control is withdrawn for it.
        row("registered, then exit 5, the binary gone",
            "echo '{\"step\":\"register\",\"status\":\"ok\"}'; echo denied >&2; rm \"$0\"; exit 5", "folder chosen",
            "setup", "repair choose uninstall close", "red: set-up failed", "✓ register: /error: denied//",
            "--setup " SETUP_ARGS " (setting up)");
        row("set-up, no folder", "", "repair available", "setup", "choose uninstall close", "red: choose first", "old/",
            "");
        row("repair, no agent", "", "no agent binary, folder chosen, repair available", "repair", "choose close",
            "before", "old/", "");
        row("set-up while an agent runs", "", "folder chosen, repair available, project opened, agent running", "setup",
            "", "setting up", "", "");
        row("open, no VS Code", "", "folder chosen", "open", "set-up choose uninstall close", "red: not found", "old/",
            "");
        // Uninstall
        const QString failing
            = "echo '{\"step\":\"unregister\",\"status\":\"failed\",\"message\":\"busy\"}'; echo 'in use' >&2; exit 4";
        row("neither box", "exit 1", "folder chosen", "uninstall", "set-up choose uninstall close",
            "red: uninstall failed", "", "--uninstall confirm (removing)");
        row("both boxes", "exit 1", "folder chosen", "uninstall credentials history", "set-up choose uninstall close",
            "red: uninstall failed", "",
            "--uninstall --remove-credentials --remove-history ~/project confirm (removing)");
        row("no folder for history", "exit 1", "", "uninstall credentials history", "choose uninstall close",
            "red: uninstall failed", "", "--uninstall --remove-credentials confirm (no history) (removing)");
        row("cancelled", "", "folder chosen", "uninstall cancel", "set-up choose uninstall close", "before", "old/",
            "confirm");
        row("an agent runs", "", "folder chosen, agent running", "uninstall", "", "before", "old/", "");
        row("no agent", "", "no agent binary, folder chosen", "uninstall", "choose close", "before", "old/", "");
        row("installed elsewhere", "", "folder chosen, installed elsewhere", "uninstall",
            "set-up choose uninstall close", "red: unsupported", "old/", "");
        row("agent fails, then again", failing, "folder chosen, project opened", "uninstall uninstall",
            "set-up choose uninstall close", "red: uninstall failed", "✗ unregister: busy/error: in use//",
            "--uninstall --uninstall confirm (removing) confirm (removing)");
        row("approval cancelled, retried alone", "",
            "folder chosen, repair available, project opened, removal pending, approval exits 126",
            "uninstall uninstall", "uninstall close", "red: cancelled", "old/", "approval approval");
        row("approval refused", "", "removal pending, approval exits 127", "uninstall", "uninstall close",
            "red: incomplete", "old/", "approval");
        // The agent makes the folder anew at its path: it is not the one planned, and never removed.
        row("per-user folder replaced meanwhile", "cd ~/Applications && mv T* ~/moved && mkdir 'Tervan Halden Beta'",
            "folder chosen, repair available, project opened", "uninstall uninstall", "uninstall close",
            "red: unsupported", "", "--uninstall confirm (removing)");
        row("shared removal approved", "", "removal pending, approval exits 0", "uninstall", "", "before", "old/",
            "approval uninstalled");
    }
    void flows()
    {
        QFETCH(QString, agent);
        QFETCH(QString, given);
        QFETCH(QString, action);
        QFETCH(QString, calls);
        const QString record = home->filePath("calls"), project = home->filePath("project");
        const auto has = [&given](const char* situation) { return given.contains(situation); };
        if (has("registered") && QDir().mkpath(project))
            writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
                propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
        if (has("installed elsewhere")) // another user's home: the install folder is in no supported place
            qputenv("HOME", QFile::encodeName(project));
        writeScript(
            home->filePath("helper"), "echo approval >> '" + record + "'; exit " + given.section("approval exits ", 1));
        platform::setPrivilegeHelperForTesting(home->filePath("helper")); // never the real administrator script
        writeAgent(R"(echo '{"step":"done","status":"ok","extensionInstalled":true}')"); // a set-up that confirms it
        if (has("no agent"))
            QFile::remove(agentPath);
        start();
        if (!action.startsWith("start")) { // the situation, reached through the controller's own operations
            if (has("folder chosen") && QDir().mkpath(project)) {
                expect("panel", project);
                c->chooseFolder();
            }
            if (has("project opened")) { // a set-up that succeeded
                c->setUpAgent();
                QVERIFY(waitForRunEnd(*c));
            }
            c->repairAvailable = has("repair available"); // as the agent's report of its registration sets it
            if (has("removal pending")) // as after an uninstall whose removal failed
                c->pendingProgramRemoval = ProgramRemoval::shared();
            if (has("agent running"))
                c->run("/bin/sleep", { "30" }, [](bool) { });
            c->updateControls();
            c->setStatus("before", false);
            c->log->clear();
            c->append("old");
            seen.clear();
        }
        if (QFile::exists(agentPath))
            writeAgent(recordArguments(record) + "\n" + agent);
        if (has("agent lost")) // the agent binary is gone since start-up
            QFile::remove(agentPath);
        static const QRegularExpression dialogs("confirm|uninstalled"); // those the row names are answered
        for (const QRegularExpressionMatch& dialog : dialogs.globalMatch(calls))
            expect(dialog.captured() == "confirm" ? "confirm" : "notice", action);
        QProcess* sleeper = c->child;
        using Operation = void (SetupController::*)();
        static const QMap<QString, Operation> operations { { "ready", &SetupController::updateSetupReadiness },
            { "setup", &SetupController::setUpAgent }, { "repair", &SetupController::repair },
            { "uninstall", &SetupController::uninstall }, { "open", &SetupController::openProject } };
        for (const QString& step : action.split(' ')) {
            if (operations.contains(step))
                (c.get()->*operations[step])();
            if (c->child && c->child != sleeper)
                seen << "(" + statusShown() + ")"; // the running line, never shown as an error
            QVERIFY(c->child == sleeper || waitForRunEnd(*c));
        }
        QCOMPARE(c->window->cursor().shape(), c->window->isCloseEnabled() ? Qt::ArrowCursor : Qt::BusyCursor);
        QTEST(enabledControls(), "enabled");
        QTEST(statusShown(), "status");
        QTEST(c->log->toPlainText().replace('\n', '/'), "log");
        for (QString& shown : seen)
            shown = shortName(shown);
        QCOMPARE((recordedLines(record) << seen).join(' ').replace(home->path(), "~"), calls);
    }

    void sharedConfirmationText() // the per-user one is read in the rows above
    {
        QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
            "Stops and removes the local agent for your account. Removes the shared Halden application and CLI from "
            "this Mac. macOS will ask for administrator approval. The VS Code extension stays installed. Project "
            "history and saved credentials are kept unless you select their removal below.");
    }
};

QTEST_MAIN(FlowsTest)
#include "test_flows.moc"
