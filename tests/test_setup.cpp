#include "app/globals.h"
#include "install/setup_texts.h"
#include "setup/setup_controller.h"
#include "setup/setup_window.h"
#include "setup/status_colors.h"
#include "support/controller_probe.h"
#include "support/installation_fixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString extensionConfirmed = QStringLiteral(
    "Halden is running and the extension installation is confirmed. In VS Code, open the Command Palette "
    "(Cmd+Shift+P), run “Developer: Reload Window”, then run “Tervan: Scan Workspace”.");
const QString extensionNotConfirmed = QStringLiteral(
    "Halden is running, but the VS Code extension installation was not confirmed. Use Repair Agent to retry "
    "extension setup before scanning.");

} // namespace

class SetupTest : public QObject, InstallationFixture {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void completionTexts();
    void setupWithoutFolderAsksForOne();
    void repairWithoutFolderDoesNothing();
    void finalLines_data();
    void finalLines();
    void runningStateAndArguments();
    void failedRepairDisablesOpenProject();
    void agentLosingItsExecuteBitIsSilent();
    void registerEventEnablesRepairEvenIfSetupFails();

private:
    bool isError() const { return statusIsError(*c); }
    void agent(const QString& body) { install->writeAgentScript(body); }

    QString record;
};

void SetupTest::init()
{
    makeInstallation();
    record = home->filePath("arguments");
    agent("exit 0");
    startController();
}

void SetupTest::cleanup()
{
    removeInstallation();
}

void SetupTest::completionTexts()
{
    QCOMPARE(setupCompletionMessage(true), extensionConfirmed);
    QCOMPARE(setupCompletionMessage(false), extensionNotConfirmed);
    QCOMPARE(vscodeReloadInstruction, QStringLiteral("In VS Code, open the Command Palette (Cmd+Shift+P), run "
                                                     "“Developer: Reload Window”, then run “Tervan: Scan Workspace”."));
}

void SetupTest::setupWithoutFolderAsksForOne()
{
    agent("touch '" + record + "'");
    c->append("earlier line");
    c->setupButton->setEnabled(true);
    c->setUpAgent();
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Choose the project folder first."));
    QVERIFY(isError());
    QCOMPARE(c->log->toPlainText(), QStringLiteral("earlier line\n"));
    QVERIFY(!c->child);
    QTest::qWait(50);
    QVERIFY(!QFileInfo::exists(record));
}

void SetupTest::repairWithoutFolderDoesNothing()
{
    agent("touch '" + record + "'");
    c->setStatus("untouched", false);
    c->append("log");
    c->repair();
    QVERIFY(!c->child);
    QCOMPARE(c->statusLabel->text(), QStringLiteral("untouched"));
    QCOMPARE(c->log->toPlainText(), QStringLiteral("log\n"));
}

void SetupTest::finalLines_data()
{
    QTest::addColumn<bool>("repair");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("error");
    QTest::addColumn<QString>("logEnd");
    const QString setupFailed = "Agent set-up did not complete. Fix the problem shown below and press Set Up Agent "
                                "again, or email " + supportAddress + ".";
    const QString repairFailed = "Agent repair did not complete. See the error below or email " + supportAddress + ".";
    for (const bool repair : {false, true}) {
        const QString kind = repair ? "repair: " : "set-up: ";
        QTest::newRow(qPrintable(kind + "ok with the extension")) << repair
            << R"(echo '{"step":"done","status":"ok","extensionInstalled":true}')" << extensionConfirmed << false << "✓ done: \n";
        QTest::newRow(qPrintable(kind + "ok without the extension")) << repair
            << R"(echo '{"step":"done","status":"ok"}')" << extensionNotConfirmed << false << "✓ done: \n";
        QTest::newRow(qPrintable(kind + "exit 0 without done")) << repair
            << R"(echo '{"step":"register","status":"ok"}')" << (repair ? repairFailed : setupFailed) << true << "✓ register: \n";
        QTest::newRow(qPrintable(kind + "warn")) << repair
            << R"(echo '{"step":"done","status":"warn","message":"partly"}')" << (repair ? repairFailed : setupFailed) << true << "! done: partly\n";
        QTest::newRow(qPrintable(kind + "non-zero exit")) << repair
            << R"(echo '{"step":"start","status":"failed"}'; echo 'launchctl: denied' >&2; exit 5)"
            << (repair ? repairFailed : setupFailed) << true << "✗ start: \nerror: launchctl: denied\n\n";
    }
}

void SetupTest::finalLines()
{
    QFETCH(bool, repair);
    QFETCH(QString, body);
    QFETCH(QString, status);
    QFETCH(bool, error);
    QFETCH(QString, logEnd);
    agent(body);
    c->folder = home->path();
    c->repairAvailable = true;
    c->append("from an earlier run");
    repair ? c->repair() : c->setUpAgent();
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(isError(), error);
    QCOMPARE(c->log->toPlainText(), logEnd); // cleared at the start, never at the end
    QCOMPARE(c->openProjectButton->isEnabled(), !error);
    QVERIFY(c->chooseButton->isEnabled() && c->setupButton->isEnabled() && c->repairButton->isEnabled());
}

void SetupTest::runningStateAndArguments()
{
    agent("for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + record + "'; sleep 0.3; "
          R"(echo '{"step":"done","status":"ok"}')");
    const QString project = home->filePath("Mein Projekt/ünï cødé");
    QDir().mkpath(project);
    c->folder = project + "/";
    c->append("old");
    c->setUpAgent();
    QVERIFY(c->child);
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Setting up and starting the local agent…"));
    QVERIFY(!isError());
    QVERIFY(c->log->toPlainText().isEmpty());
    for (QPushButton* button : {c->setupButton, c->repairButton, c->chooseButton, c->uninstallButton, c->openProjectButton})
        QVERIFY(!button->isEnabled());
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(record), (QStringList{"--setup", "--allow-root", project, "--install-dir", install->installDir()}));

    c->repair();
    QCOMPARE(c->statusLabel->text(), QStringLiteral("Repairing and starting the local agent…"));
    QVERIFY(waitForRunEnd(*c));
    QCOMPARE(recordedLines(record), (QStringList{"--repair", "--allow-root", project, "--install-dir", install->installDir()}));
}

void SetupTest::failedRepairDisablesOpenProject()
{
    c->folder = home->path();
    agent(R"(echo '{"step":"done","status":"ok"}')");
    c->setUpAgent();
    QVERIFY(waitForRunEnd(*c));
    QVERIFY(c->openProjectButton->isEnabled());
    agent("exit 1");
    c->repair(); // repair not yet available: the button is off, but the operation itself runs
    QVERIFY(waitForRunEnd(*c));
    QVERIFY(!c->openProjectButton->isEnabled());
    QVERIFY(isError());
}

void SetupTest::agentLosingItsExecuteBitIsSilent()
{
    c->folder = home->path();
    c->repairAvailable = true;
    c->updateSetupReadiness();
    c->setStatus("as before", false);
    QFile::setPermissions(install->agentPath(), QFile::ReadOwner | QFile::WriteOwner);
    c->setUpAgent();
    c->repair();
    QVERIFY(!c->child);
    QCOMPARE(c->statusLabel->text(), QStringLiteral("as before"));
    QVERIFY(c->log->toPlainText().isEmpty());
}

void SetupTest::registerEventEnablesRepairEvenIfSetupFails()
{
    agent(R"(echo '{"step":"register","status":"ok"}'; echo '{"step":"start","status":"failed"}'; exit 1)");
    c->folder = home->path();
    QVERIFY(!c->repairAvailable);
    c->setUpAgent();
    QVERIFY(waitForRunEnd(*c));
    QVERIFY(c->repairAvailable);
    QVERIFY(c->repairButton->isEnabled());
    QVERIFY(isError());
}

QTEST_MAIN(SetupTest)
#include "test_setup.moc"
