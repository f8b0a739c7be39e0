#include "agent/agent_contract.h"
#include "platform/privileged_shell.h"
#include "setup/setup_window.h"
#include "support/fixture.h"
#include "uninstall/uninstall_dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString perUserText = QStringLiteral(
    "Stops and removes the local agent for your account. Removes Halden from your Applications folder. The VS Code "
    "extension stays installed. Project history and saved credentials are kept unless you select their removal below.");
const QString failedLine = QStringLiteral("Uninstall reported a problem; see details above.");

// What the confirmation showed, and how it was answered.
struct Confirmation {
    bool credentials = false, history = false, confirm = true;
    QString seen; // message | informative text | history box enabled | default button
};

std::unique_ptr<ModalDriver> answer(Confirmation& confirmation, int timeoutMs = 10000)
{
    return std::make_unique<ModalDriver>([&confirmation](QWidget* modal) {
        auto* dialog = qobject_cast<UninstallConfirmation*>(modal);
        QString defaultButton;
        for (QPushButton* button : dialog->findChildren<QPushButton*>())
            defaultButton += button->isDefault() ? button->text() : QString();
        confirmation.seen = dialog->findChild<QLabel*>("message")->text() + " | " + dialog->findChild<QLabel*>("informativeText")->text()
            + " | " + (dialog->removeHistory->isEnabled() ? "history" : "-") + " | " + defaultButton;
        dialog->removeCredentials->setChecked(confirmation.credentials);
        dialog->removeHistory->setChecked(confirmation.history);
        confirmation.confirm ? dialog->accept() : dialog->reject();
    }, timeoutMs);
}

} // namespace

class UninstallTest : public FixtureTest {
    Q_OBJECT

private slots:
    void cleanup();
    void confirmationAndArguments_data();
    void confirmationAndArguments();
    void nothingHappensWhen_data();
    void nothingHappensWhen();
    void failedAgentRunKeepsNoPlan_data();
    void failedAgentRunKeepsNoPlan();
    void failedRemovalIsRetriedAlone_data();
    void failedRemovalIsRetriedAlone();
    void successEndsTheProgramAfterClose();

private:
    QString record() const { return home->filePath("agent-arguments"); }
    QString approvalHelper(const QString& body);
};

void UninstallTest::cleanup()
{
    platform::setPrivilegeHelperForTesting(std::nullopt);
    FixtureTest::cleanup();
}

// A stand-in for the approval prompt. It never runs the command it is
// handed: the administrator script would delete the real shared installation.
QString UninstallTest::approvalHelper(const QString& body)
{
    const QString calls = home->filePath("approvals");
    writeExecutable(home->filePath("helper"), "#!/bin/sh\necho asked >> '" + calls.toUtf8() + "'\n" + body.toUtf8() + "\n");
    platform::setPrivilegeHelperForTesting(home->filePath("helper"));
    return calls;
}

void UninstallTest::confirmationAndArguments_data()
{
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("credentials");
    QTest::addColumn<bool>("history");
    QTest::addColumn<QStringList>("arguments"); // "@" the project folder
    QTest::newRow("neither") << true << false << false << QStringList{"--uninstall"};
    QTest::newRow("credentials") << true << true << false << QStringList{"--uninstall", "--remove-credentials"};
    QTest::newRow("history") << true << false << true << QStringList{"--uninstall", "--remove-history", "@"};
    QTest::newRow("both") << true << true << true << QStringList{"--uninstall", "--remove-credentials", "--remove-history", "@"};
    QTest::newRow("no folder") << false << true << true << QStringList{"--uninstall", "--remove-credentials"};
}

void UninstallTest::confirmationAndArguments()
{
    QFETCH(bool, folder);
    QFETCH(bool, credentials);
    QFETCH(bool, history);
    QFETCH(QStringList, arguments);
    install->writeAgentScript(recordArguments(record()) + "; exit 1"); // the files stay
    start();
    const QString project = home->filePath("My Project -x 'q'");
    if (folder)
        c->folder = project;
    Confirmation confirmation{credentials, history, true, {}};
    auto driver = answer(confirmation);
    c->append("old log");
    c->uninstall();
    QCOMPARE(confirmation.seen, "Uninstall Tervan Halden? | " + perUserText + (folder ? " | history" : " | -") + " | Uninstall");
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Stopping the local agent and removing Halden…"));
    QVERIFY(!statusIsRed(*c) && c->log->toPlainText().isEmpty());
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(record()), arguments.replaceInStrings("@", project));
    QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
             QString(perUserText).replace("Removes Halden from your Applications folder.",
                                          "Removes the shared Halden application and CLI from this Mac. macOS will ask "
                                          "for administrator approval."));
}

void UninstallTest::nothingHappensWhen_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("status");
    QTest::newRow("cancelled") << "cancel" << "kept";
    QTest::newRow("an agent runs") << "running" << "kept";
    QTest::newRow("no agent binary") << "no agent" << "kept";
    QTest::newRow("installed elsewhere")
        << "elsewhere" << "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed.";
}

void UninstallTest::nothingHappensWhen()
{
    QFETCH(QString, situation);
    QFETCH(QString, status);
    std::optional<StagedInstall> elsewhere;
    if (situation == "elsewhere")
        elsewhere.emplace(home->filePath("Desktop"));
    for (const StagedInstall* staged : {install.get(), elsewhere ? &*elsewhere : nullptr})
        if (staged)
            staged->writeAgentScript("echo ran >> '" + record() + "'");
    if (situation == "no agent")
        QFile::remove(install->agentPath());
    start();
    QProcess running;
    if (situation == "running")
        c->child = &running;
    c->setStatus("kept", false);
    c->append("kept too");
    Confirmation confirmation{true, false, false, {}};
    auto driver = answer(confirmation, 300);
    c->uninstall();
    QTest::qWait(situation == "cancel" ? 50 : 400);
    c->child = nullptr;
    QCOMPARE(driver->wasCalled(), situation == "cancel");
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(statusIsRed(*c), status != "kept");
    QCOMPARE(c->log->toPlainText(), QStringLiteral("kept too\n"));
    QVERIFY(!QFileInfo::exists(record()) && !c->pendingProgramRemoval);
    QVERIFY(QFileInfo::exists(install->installDir()));
}

void UninstallTest::failedAgentRunKeepsNoPlan_data()
{
    QTest::addColumn<QString>("body"); // "" for an agent that cannot start
    QTest::addColumn<QString>("log");
    QTest::newRow("exit 4") << R"(echo '{"step":"unregister","status":"failed","message":"busy"}'; echo 'in use' >&2; exit 4)"
                            << "✗ unregister: busy\nerror: in use\n\n";
    QTest::newRow("cannot start") << "" << "error: could not start the agent binary\n";
}

void UninstallTest::failedAgentRunKeepsNoPlan()
{
    QFETCH(QString, body);
    QFETCH(QString, log);
    if (body.isEmpty())
        writeExecutable(install->agentPath(), "#!/nonexistent/interpreter\n");
    else
        install->writeAgentScript(body);
    start();
    Confirmation confirmation;
    auto driver = answer(confirmation);
    c->uninstall();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), failedLine);
    QVERIFY(statusIsRed(*c));
    QCOMPARE(c->log->toPlainText(), log);
    QVERIFY(!c->pendingProgramRemoval && QFileInfo::exists(install->installDir()));
    Confirmation again{false, false, false, {}}; // the next press starts over
    auto secondDriver = answer(again);
    c->uninstall();
    QVERIFY(secondDriver->wasCalled());
}

void UninstallTest::failedRemovalIsRetriedAlone_data()
{
    QTest::addColumn<QString>("approval");
    QTest::addColumn<QString>("status");
    QTest::newRow("approval cancelled") << "exit 126"
                                        << "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app.";
    QTest::newRow("approval refused") << "exit 127"
                                      << "The agent was stopped, but application files could not be removed. Click Uninstall to retry.";
    QTest::newRow("per-user folder undeletable") << "" << "“" + AgentContract::executableName
                                                        + "” couldn’t be removed because you don’t have permission to access it.";
}

void UninstallTest::failedRemovalIsRetriedAlone()
{
    QFETCH(QString, approval);
    QFETCH(QString, status);
    const bool shared = !approval.isEmpty();
    const QString calls = approvalHelper(approval);
    install->writeAgentScript("echo ran >> '" + record() + "'");
    const QString dist = install->installDir() + "/dist";
    const bool root = geteuid() == 0;
    if (!shared && !(root ? QProcess::execute("chattr", {"+i", dist}) == 0 : QFile::setPermissions(dist, QFile::ReadOwner | QFile::ExeOwner)))
        QSKIP("root, and no immutable attribute on this file system: nothing can refuse a deletion");
    start();
    c->folder = home->path();
    c->repairAvailable = true;
    c->openProjectButton->setEnabled(true);
    Confirmation confirmation;
    auto driver = answer(confirmation);
    if (shared)
        c->pendingProgramRemoval = ProgramRemoval::shared(); // as after the agent's run
    c->uninstall();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), status);
    QVERIFY(statusIsRed(*c));
    QCOMPARE(buttonStates(*c), QStringLiteral("----E"));
    QVERIFY(c->pendingProgramRemoval && c->window->isCloseEnabled());
    c->uninstall(); // the removal again at once: no confirmation, no agent run
    if (!shared)
        root ? QProcess::execute("chattr", {"-i", dist}) : QFile::setPermissions(dist, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(recordedLines(calls).size(), shared ? 2 : 0);
    QCOMPARE(recordedLines(record()).size(), shared ? 0 : 1);
    QCOMPARE(c->statusLabel->text(), status);
}

void UninstallTest::successEndsTheProgramAfterClose()
{
    const QString calls = approvalHelper("exit 0");
    start();
    c->window->show();
    c->pendingProgramRemoval = ProgramRemoval::shared();
    QString notice;
    ModalDriver driver([&](QWidget* modal) {
        auto* alert = qobject_cast<QMessageBox*>(modal);
        notice = alert->text() + " | " + alert->informativeText() + " | " + alert->buttons().first()->text();
        alert->buttons().first()->click();
    });
    QTimer::singleShot(0, c.get(), &SetupController::uninstall);
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QCOMPARE(notice, QStringLiteral("Halden was uninstalled. | The local agent and application files were removed. The VS "
                                    "Code extension remains available for reinstalling Halden. | Close"));
    QVERIFY(!c->pendingProgramRemoval);
    QCOMPARE(recordedLines(calls).size(), 1);
}

QTEST_MAIN(UninstallTest)
#include "test_uninstall.moc"
