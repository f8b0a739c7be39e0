#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "support/test_support.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <nlohmann/json.hpp>

namespace {

struct AgentResult {
    int exitCode = -1;
    QStringList steps; // "step:status"
    bool extensionInstalled = false;
    QString errors;
};

AgentResult runAgent(const QString& home, const QStringList& arguments)
{
    QProcess agent;
    QProcessEnvironment environment;
    environment.insert("HOME", home);
    environment.insert("PATH", "/usr/bin:/bin");
    agent.setProcessEnvironment(environment);
    agent.start(QStringLiteral(HALDEN_STAGED_AGENT), arguments);
    agent.closeWriteChannel();
    agent.waitForFinished(20000);
    AgentResult result;
    result.exitCode = agent.exitStatus() == QProcess::NormalExit ? agent.exitCode() : -1;
    result.errors = QString::fromUtf8(agent.readAllStandardError());
    for (const QByteArray& line : agent.readAllStandardOutput().split('\n')) {
        if (line.isEmpty())
            continue;
        const nlohmann::json event = nlohmann::json::parse(line.toStdString()); // every line is strict JSON
        result.steps << QString::fromStdString(event["step"].get<std::string>() + ":" + event["status"].get<std::string>());
        if (event["step"] == "done")
            result.extensionInstalled = event.value("extensionInstalled", false);
    }
    return result;
}

} // namespace

class LocalAgentTest : public QObject {
    Q_OBJECT

private slots:
    void setupRegistersTheFolder();
    void extensionIsReportedWhenInstalled();
    void setupRefusesAMissingFolder();
    void uninstallRemovesTheRegistration();
    void historyRemovalStaysInItsFolder();
    void malformedCommandLinesExit2_data();
    void malformedCommandLinesExit2();
};

void LocalAgentTest::setupRegistersTheFolder()
{
    TemporaryHome home;
    const QString project = home.filePath("my project ü");
    QDir().mkpath(project);
    for (const QString& command : {QStringLiteral("--setup"), QStringLiteral("--repair")}) {
        const AgentResult result = runAgent(home.path(), {command, "--allow-root", project, "--install-dir", home.path()});
        QCOMPARE(result.exitCode, 0);
        QVERIFY(result.steps.contains("register:ok"));
        QCOMPARE(result.steps.last(), QStringLiteral("done:ok"));
        QVERIFY(!result.extensionInstalled);
        QCOMPARE(existingAuthorizedFolder(), std::optional<QString>(project)); // read back as the program does
    }
    // Nothing but the registration was written in the home folder.
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             (QStringList{"Library", "my project ü"}));
    QCOMPARE(QDir(project).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void LocalAgentTest::extensionIsReportedWhenInstalled()
{
    TemporaryHome home;
    QDir().mkpath(home.filePath(".vscode/extensions/tervan.halden-0.3.1"));
    const AgentResult result = runAgent(home.path(), {"--setup", "--allow-root", home.path(), "--install-dir", home.path()});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.extensionInstalled);
    QVERIFY(result.steps.contains("extension:ok"));
}

void LocalAgentTest::setupRefusesAMissingFolder()
{
    TemporaryHome home;
    const AgentResult result = runAgent(home.path(), {"--setup", "--allow-root", home.filePath("gone"), "--install-dir", home.path()});
    QCOMPARE(result.exitCode, 1);
    QVERIFY(result.errors.contains("project folder not found"));
    QVERIFY(!result.steps.contains("done:ok"));
    QVERIFY(!QFileInfo::exists(home.filePath(AgentContract::launchAgentPropertyListPath)));
}

void LocalAgentTest::uninstallRemovesTheRegistration()
{
    TemporaryHome home;
    runAgent(home.path(), {"--setup", "--allow-root", home.path(), "--install-dir", home.path()});
    QVERIFY(existingAuthorizedFolder());
    const AgentResult result = runAgent(home.path(), {"--uninstall", "--remove-credentials"});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.steps, (QStringList{"unregister:ok", "credentials:ok", "done:ok"}));
    QVERIFY(!existingAuthorizedFolder());
    QVERIFY(!QFileInfo::exists(home.filePath(AgentContract::launchAgentPropertyListPath)));
    // Once more: nothing left to remove is no failure.
    QCOMPARE(runAgent(home.path(), {"--uninstall"}).exitCode, 0);
}

void LocalAgentTest::historyRemovalStaysInItsFolder()
{
    TemporaryHome home;
    const QString project = home.filePath("-project with 'quotes' and ..");
    writeFile(project + "/.halden/history.json", "{}");
    writeFile(project + "/.halden/feedback/1.json", "{}");
    writeFile(project + "/src/main.c", "int main;");
    writeFile(home.filePath("outside/keep.txt"), "keep");
    QVERIFY(QFile::link(home.filePath("outside"), project + "/.halden/linked"));

    const AgentResult result = runAgent(home.path(), {"--uninstall", "--remove-history", project});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(!QFileInfo::exists(project + "/.halden"));
    QVERIFY(QFileInfo::exists(project + "/src/main.c"));
    QVERIFY(QFileInfo::exists(home.filePath("outside/keep.txt")));

    // A history folder that is a link: the link goes, its target stays.
    QVERIFY(QFile::link(home.filePath("outside"), project + "/.halden"));
    QCOMPARE(runAgent(home.path(), {"--uninstall", "--remove-history", project}).exitCode, 0);
    QVERIFY(!QFileInfo(project + "/.halden").isSymLink());
    QVERIFY(QFileInfo::exists(home.filePath("outside/keep.txt")));
}

void LocalAgentTest::malformedCommandLinesExit2_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("nothing") << QStringList{};
    QTest::newRow("unknown") << QStringList{"--scan"};
    QTest::newRow("setup without folder") << QStringList{"--setup", "--allow-root"};
    QTest::newRow("setup in wrong order") << QStringList{"--setup", "/p", "--allow-root", "--install-dir", "/i"};
    QTest::newRow("history without folder") << QStringList{"--uninstall", "--remove-history"};
    QTest::newRow("uninstall with extra") << QStringList{"--uninstall", "--allow-root"};
    QTest::newRow("uninstall not first") << QStringList{"--remove-credentials", "--uninstall"};
}

void LocalAgentTest::malformedCommandLinesExit2()
{
    QFETCH(QStringList, arguments);
    TemporaryHome home;
    const AgentResult result = runAgent(home.path(), arguments);
    QCOMPARE(result.exitCode, 2);
    QVERIFY(result.errors.startsWith("usage:"));
    QVERIFY(result.steps.isEmpty());
    QCOMPARE(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

QTEST_GUILESS_MAIN(LocalAgentTest)
#include "test_local_agent.moc"
