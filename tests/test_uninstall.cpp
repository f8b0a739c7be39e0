#include "platform/privileged_shell.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"
#include "support/controller_probe.h"
#include "support/modal_driver.h"
#include "support/installation_fixture.h"
#include "uninstall/uninstall_dialogs.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

// Answers the confirmation: ticks the boxes asked for, then presses Uninstall
// or Cancel. Records what the alert showed.
struct ConfirmationAnswer {
    bool credentials = false;
    bool history = false;
    bool confirm = true;
    // seen
    QString message;
    QString informativeText;
    bool historyEnabled = false;
    QString defaultButton;
};

std::unique_ptr<ModalDriver> answerConfirmation(ConfirmationAnswer& answer)
{
    return std::make_unique<ModalDriver>([&answer](QWidget* modal) {
        auto* dialog = qobject_cast<UninstallConfirmation*>(modal);
        if (!dialog)
            return;
        answer.message = dialog->findChild<QLabel*>("message")->text();
        answer.informativeText = dialog->findChild<QLabel*>("informativeText")->text();
        answer.historyEnabled = dialog->removeHistory->isEnabled();
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            if (button->isDefault())
                answer.defaultButton = button->text();
        QVERIFY(!dialog->removeCredentials->isChecked() && !dialog->removeHistory->isChecked());
        if (answer.credentials)
            dialog->removeCredentials->click();
        if (answer.history)
            dialog->removeHistory->click();
        answer.confirm ? dialog->accept() : dialog->reject();
    });
}

const QString perUserText = QStringLiteral(
    "Stops and removes the local agent for your account. Removes Halden from your Applications folder. The VS Code "
    "extension stays installed. Project history and saved credentials are kept unless you select their removal below.");

} // namespace

class UninstallTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void confirmationTexts();
    void argumentLists_data();
    void argumentLists();
    void cancelChangesNothing();
    void refusedLocationShowsTheRedLine();
    void agentFailureKeepsNoPlan();
    void agentThatCannotStart();
    void secondPressWhileTheAgentRuns();
    void cancelledApprovalThenRetryAsksAgainAtOnce();
    void incompleteSharedRemoval();
    void undeletableUserFolderShowsTheFileMessage();
    void successEndsTheProgramAfterClose();

private:
    bool isError() const { return statusIsError(*c); }
    QString buttonStates() const { return ::buttonStates(*c); }
    QString helper(const QString& name, const QString& body);

    QString record;
};

void UninstallTest::init()
{
    makeInstallation(Place::userApplications);
    record = home->filePath("agent-arguments");
    install->writeAgentScript("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'");
}

void UninstallTest::cleanup()
{
    platform::setPrivilegeHelperForTesting(std::nullopt);
    removeInstallation();
}

QString UninstallTest::helper(const QString& name, const QString& body)
{
    // Never runs the command it is handed: the administrator script would
    // delete the real shared installation.
    const QString path = home->filePath(name);
    writeExecutable(path, "#!/bin/sh\necho called >> '" + home->filePath(name + ".calls").toUtf8() + "'\n" + body.toUtf8() + "\n");
    platform::setPrivilegeHelperForTesting(path);
    return home->filePath(name + ".calls");
}

void UninstallTest::confirmationTexts()
{
    QCOMPARE(uninstallConfirmationText(ProgramRemoval::user("/x")), perUserText);
    QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
             QStringLiteral("Stops and removes the local agent for your account. Removes the shared Halden application "
                            "and CLI from this Mac. macOS will ask for administrator approval. The VS Code extension "
                            "stays installed. Project history and saved credentials are kept unless you select their "
                            "removal below."));
}

void UninstallTest::argumentLists_data()
{
    QTest::addColumn<bool>("withFolder");
    QTest::addColumn<bool>("credentials");
    QTest::addColumn<bool>("history");
    QTest::addColumn<QStringList>("expected");
    const QString folder = QStringLiteral("@FOLDER@");
    QTest::newRow("neither") << true << false << false << QStringList{"--uninstall"};
    QTest::newRow("credentials") << true << true << false << QStringList{"--uninstall", "--remove-credentials"};
    QTest::newRow("history") << true << false << true << QStringList{"--uninstall", "--remove-history", folder};
    QTest::newRow("both") << true << true << true
                          << QStringList{"--uninstall", "--remove-credentials", "--remove-history", folder};
    QTest::newRow("no folder, history box disabled") << false << true << true << QStringList{"--uninstall", "--remove-credentials"};
}

void UninstallTest::argumentLists()
{
    QFETCH(bool, withFolder);
    QFETCH(bool, credentials);
    QFETCH(bool, history);
    QFETCH(QStringList, expected);
    // The agent fails, so the files stay for the next row.
    install->writeAgentScript("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'; exit 1");
    startController();
    const QString folder = home->filePath("My Project -x 'q'");
    if (withFolder)
        c->folder = folder;
    expected.replaceInStrings("@FOLDER@", folder);
    ConfirmationAnswer answer{credentials, history, true, {}, {}, false, {}};
    auto driver = answerConfirmation(answer);
    c->append("old log");
    c->uninstall();
    QVERIFY(driver->wasCalled());
    QCOMPARE(answer.message, QStringLiteral("Uninstall Tervan Halden?"));
    QCOMPARE(answer.informativeText, perUserText);
    QCOMPARE(answer.historyEnabled, withFolder);
    QCOMPARE(answer.defaultButton, QStringLiteral("Uninstall"));
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Stopping the local agent and removing Halden…"));
    QVERIFY(!isError());
    QVERIFY(c->log->toPlainText().isEmpty());
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(record), expected);
}

void UninstallTest::cancelChangesNothing()
{
    startController();
    c->setStatus("kept", false);
    c->append("kept too");
    ConfirmationAnswer answer{true, false, false, {}, {}, false, {}};
    auto driver = answerConfirmation(answer);
    c->uninstall();
    QVERIFY(driver->wasCalled());
    QTest::qWait(50);
    QVERIFY(!c->child);
    QVERIFY(!QFileInfo::exists(record));
    QCOMPARE(c->statusLabel->text(), QStringLiteral("kept"));
    QCOMPARE(c->log->toPlainText(), QStringLiteral("kept too\n"));
    QVERIFY(!c->pendingProgramRemoval);
    QVERIFY(QFileInfo::exists(install->installDir()));
}

void UninstallTest::refusedLocationShowsTheRedLine()
{
    install.reset();
    StagedInstall elsewhere(QStringLiteral("Tervan Halden Beta"), home->filePath("Desktop"));
    elsewhere.writeAgentScript("touch '" + record + "'");
    startController();
    ModalDriver driver([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }, 300);
    c->uninstall();
    QTest::qWait(400);
    QVERIFY(!driver.wasCalled());
    QCOMPARE(c->statusLabel->text(),
             QStringLiteral("Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed."));
    QVERIFY(isError());
    QVERIFY(!QFileInfo::exists(record));
    QVERIFY(QFileInfo::exists(elsewhere.installDir()));
}

void UninstallTest::agentFailureKeepsNoPlan()
{
    install->writeAgentScript(R"(echo '{"step":"unregister","status":"failed","message":"busy"}'; echo 'launchctl: in use' >&2; exit 4)");
    startController();
    ConfirmationAnswer answer;
    auto driver = answerConfirmation(answer);
    c->uninstall();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Uninstall reported a problem; see details above."));
    QVERIFY(isError());
    QCOMPARE(c->log->toPlainText(), QStringLiteral("✗ unregister: busy\nerror: launchctl: in use\n\n"));
    QVERIFY(!c->pendingProgramRemoval);
    QVERIFY(QFileInfo::exists(install->installDir()));

    // The next press starts over with a new confirmation.
    ConfirmationAnswer again{false, false, false, {}, {}, false, {}};
    auto secondDriver = answerConfirmation(again);
    c->uninstall();
    QVERIFY(secondDriver->wasCalled());
}

void UninstallTest::agentThatCannotStart()
{
    install->writeAgentScript("exit 0");
    writeExecutable(install->agentPath(), "#!/nonexistent/interpreter\n");
    startController();
    ConfirmationAnswer answer;
    auto driver = answerConfirmation(answer);
    c->uninstall();
    QVERIFY(driver->wasCalled());
    QVERIFY(!c->child);
    QCOMPARE(c->log->toPlainText(), QStringLiteral("error: could not start the agent binary\n"));
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Uninstall reported a problem; see details above."));
    QVERIFY(!c->pendingProgramRemoval);
}

void UninstallTest::secondPressWhileTheAgentRuns()
{
    install->writeAgentScript("echo run >> '" + record + "'; sleep 0.5; exit 1");
    startController();
    ConfirmationAnswer answer;
    auto driver = answerConfirmation(answer);
    c->uninstall();
    QVERIFY(c->child);
    ConfirmationAnswer second;
    auto secondDriver = answerConfirmation(second);
    c->uninstall();
    QTest::qWait(100);
    QVERIFY(!secondDriver->wasCalled());
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(record), QStringList{"run"});
}

void UninstallTest::cancelledApprovalThenRetryAsksAgainAtOnce()
{
    startController();
    const QString calls = helper("dismissing-helper", "exit 126");
    c->folder = home->path();
    c->repairAvailable = true;
    c->pendingProgramRemoval = ProgramRemoval::shared();
    ModalDriver noAlert([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); }, 300);
    c->uninstall();
    QCOMPARE(c->statusLabel->text(),
             QStringLiteral("The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app."));
    QVERIFY(isError());
    QCOMPARE(recordedLines(calls).size(), 1);
    QCOMPARE(buttonStates(), QStringLiteral("----E"));
    QVERIFY(c->window->isCloseEnabled());
    QVERIFY(c->pendingProgramRemoval == ProgramRemoval::shared());

    c->uninstall(); // asks for approval again at once: no confirmation, no agent run
    QCOMPARE(recordedLines(calls).size(), 2);
    QTest::qWait(350);
    QVERIFY(!noAlert.wasCalled());
    QVERIFY(!QFileInfo::exists(record));
}

void UninstallTest::incompleteSharedRemoval()
{
    startController();
    helper("refusing-helper", "exit 127");
    c->pendingProgramRemoval = ProgramRemoval::shared();
    c->uninstall();
    QCOMPARE(c->statusLabel->text(),
             QStringLiteral("The agent was stopped, but application files could not be removed. Click Uninstall to retry."));
    QVERIFY(isError());
    QVERIFY(c->pendingProgramRemoval);
}

void UninstallTest::undeletableUserFolderShowsTheFileMessage()
{
    install->writeAgentScript("exit 0");
    const QString dist = install->installDir() + "/dist";
    bool immutable = false;
    if (geteuid() == 0) {
        immutable = QProcess::execute("chattr", {"+i", dist}) == 0;
        if (!immutable)
            QSKIP("root, and no immutable attribute on this file system: nothing can refuse a deletion");
    } else {
        QFile::setPermissions(dist, QFile::ReadOwner | QFile::ExeOwner);
    }
    startController();
    c->folder = home->path();
    c->openProjectButton->setEnabled(true);
    ConfirmationAnswer answer;
    auto driver = answerConfirmation(answer);
    c->uninstall();
    QVERIFY(waitForRunEnd(*c));
    const QString status = c->statusLabel->text();
    const QString states = buttonStates();
    const bool pending = c->pendingProgramRemoval.has_value();
    if (immutable)
        QProcess::execute("chattr", {"-i", dist});
    QFile::setPermissions(dist, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(status, QStringLiteral("“tervan-agent-x86_64” couldn’t be removed because you don’t have permission to access it."));
    QVERIFY(isError());
    QCOMPARE(states, QStringLiteral("----E"));
    QVERIFY(pending);
    QVERIFY(c->window->isCloseEnabled());
}

void UninstallTest::successEndsTheProgramAfterClose()
{
    startController();
    c->window->show();
    const QString calls = helper("approving-helper", "exit 0");
    c->pendingProgramRemoval = ProgramRemoval::shared();
    QString message, information, buttons;
    ModalDriver driver([&](QWidget* modal) {
        auto* notice = qobject_cast<QMessageBox*>(modal);
        QVERIFY(notice);
        message = notice->text();
        information = notice->informativeText();
        for (QAbstractButton* button : notice->buttons())
            buttons += button->text();
        notice->buttons().first()->click();
    });
    QTimer::singleShot(0, c.get(), &SetupController::uninstall);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(driver.wasCalled());
    QCOMPARE(message, QStringLiteral("Halden was uninstalled."));
    QCOMPARE(information, QStringLiteral("The local agent and application files were removed. The VS Code extension "
                                         "remains available for reinstalling Halden."));
    QCOMPARE(buttons, QStringLiteral("Close"));
    QVERIFY(!c->pendingProgramRemoval);
    QCOMPARE(recordedLines(calls).size(), 1);
}

QTEST_MAIN(UninstallTest)
#include "test_uninstall.moc"
