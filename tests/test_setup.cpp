#include "app/globals.h"
#include "install/setup_texts.h"
#include "support/fixture.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

class SetupTest : public FixtureTest {
    Q_OBJECT

private slots:
    void finalLines_data();
    void finalLines();
    void runningStateAndArguments();
    void nothingRunsWithoutItsPreconditions_data();
    void nothingRunsWithoutItsPreconditions();
};

void SetupTest::finalLines_data()
{
    QTest::addColumn<bool>("repair");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("status");
    QTest::addColumn<QString>("log");
    const QString confirmed = "Halden is running and the extension installation is confirmed. In VS Code, open the Command "
                              "Palette (Cmd+Shift+P), run “Developer: Reload Window”, then run “Tervan: Scan Workspace”.";
    const QString notConfirmed = "Halden is running, but the VS Code extension installation was not confirmed. Use Repair "
                                 "Agent to retry extension setup before scanning.";
    for (const bool repair : {false, true}) {
        const QString failed = repair ? "Agent repair did not complete. See the error below or email " + supportAddress + "."
                                      : "Agent set-up did not complete. Fix the problem shown below and press Set Up Agent "
                                        "again, or email " + supportAddress + ".";
        const auto row = [repair](const char* name) -> QTestData& { return QTest::addRow("%s, %s", repair ? "repair" : "set-up", name) << repair; };
        row("extension confirmed") << R"(echo '{"step":"done","status":"ok","extensionInstalled":true}')" << confirmed << "✓ done: \n";
        row("extension not confirmed") << R"(echo '{"step":"done","status":"ok"}')" << notConfirmed << "✓ done: \n";
        row("no done") << R"(echo '{"step":"check","status":"ok"}')" << failed << "✓ check: \n";
        row("done warn") << R"(echo '{"step":"done","status":"warn","message":"partly"}')" << failed << "! done: partly\n";
        row("registered, then exit 5") << R"(echo '{"step":"register","status":"ok"}'; echo 'denied' >&2; exit 5)"
                                       << failed << "✓ register: \nerror: denied\n\n";
    }
}

void SetupTest::finalLines()
{
    QFETCH(bool, repair);
    QFETCH(QString, body);
    QFETCH(QString, status);
    QFETCH(QString, log);
    install->writeAgentScript(body);
    start();
    c->folder = home->path();
    c->repairAvailable = repair;
    c->openProjectButton->setEnabled(true);
    c->append("from an earlier run");
    repair ? c->repair() : c->setUpAgent();
    QVERIFY(waitForRunEnd(*c));
    const bool succeeded = !status.contains("did not complete");
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(statusIsRed(*c), !succeeded);
    QCOMPARE(c->log->toPlainText(), log); // cleared at the start, never at the end
    // Repair is offered once the agent registered itself, even if the rest failed.
    const QString repairState = repair || log.contains("register") ? "E" : "-";
    QCOMPARE(buttonStates(*c), "E" + repairState + "E" + (succeeded ? "E" : "-") + "E");
}

void SetupTest::runningStateAndArguments()
{
    const QString record = home->filePath("arguments");
    install->writeAgentScript(recordArguments(record) + "; sleep 0.3; echo '{\"step\":\"done\",\"status\":\"ok\"}'");
    start();
    const QString project = home->filePath("Mein Projekt/ünï cødé");
    c->folder = project + "/";
    for (const QString command : {"--setup", "--repair"}) {
        QFile::remove(record);
        c->append("old");
        command == "--setup" ? c->setUpAgent() : c->repair();
        QCOMPARE(c->statusLabel->text(), command == "--setup" ? SetupTexts::setupRunning : SetupTexts::repairRunning);
        QVERIFY(!statusIsRed(*c) && c->log->toPlainText().isEmpty());
        QCOMPARE(buttonStates(*c), QStringLiteral("-----"));
        QVERIFY(waitForRunEnd(*c));
        QCOMPARE(recordedLines(record), QStringList({command, "--allow-root", project, "--install-dir", install->installDir()}));
    }
}

void SetupTest::nothingRunsWithoutItsPreconditions_data()
{
    QTest::addColumn<bool>("repair");
    QTest::addColumn<QString>("missing"); // "folder" or "agent"
    QTest::addColumn<QString>("status");  // after the attempt
    QTest::newRow("set-up without a folder") << false << "folder" << "Choose the project folder first.";
    QTest::newRow("repair without a folder") << true << "folder" << "as before";
    QTest::newRow("set-up, agent lost its execute bit") << false << "agent" << "as before";
    QTest::newRow("repair, agent lost its execute bit") << true << "agent" << "as before";
}

void SetupTest::nothingRunsWithoutItsPreconditions()
{
    QFETCH(bool, repair);
    QFETCH(QString, missing);
    QFETCH(QString, status);
    install->writeAgentScript("touch '" + home->filePath("ran") + "'");
    start();
    if (missing == "agent") {
        c->folder = home->path();
        QFile::setPermissions(install->agentPath(), QFile::ReadOwner | QFile::WriteOwner);
    }
    c->repairAvailable = true;
    c->setStatus("as before", false);
    c->append("log");
    repair ? c->repair() : c->setUpAgent();
    QVERIFY(!c->child);
    QCOMPARE(c->statusLabel->text(), status);
    QCOMPARE(statusIsRed(*c), status != "as before");
    QCOMPARE(c->log->toPlainText(), QStringLiteral("log\n"));
    QTest::qWait(50);
    QVERIFY(!QFileInfo::exists(home->filePath("ran")));
}

QTEST_MAIN(SetupTest)
#include "test_setup.moc"
