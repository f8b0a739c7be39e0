// The development agent keeps the contract the program relies on: strict JSON
// lines, exit status 2 for a command line it does not know, and deletions that
// stay inside the project's history folder.
#include "support/fixture.h"

#include <QDir>
#include <QProcess>
#include <QTest>

#include <nlohmann/json.hpp>

class LocalAgentTest : public FixtureTest {
    Q_OBJECT

private slots:
    void commandLines_data();
    void commandLines();
    void historyRemovalStaysInItsFolder();

private:
    int runAgent(const QStringList& arguments, QStringList* steps = nullptr);
};

int LocalAgentTest::runAgent(const QStringList& arguments, QStringList* steps)
{
    QProcess agent;
    agent.setEnvironment({"HOME=" + home->path(), "PATH=/usr/bin:/bin"});
    agent.start(HALDEN_STAGED_AGENT, arguments);
    agent.closeWriteChannel();
    agent.waitForFinished(20000);
    for (const QByteArray& line : agent.readAllStandardOutput().split('\n'))
        if (!line.isEmpty() && steps) { // every line is strict JSON
            const nlohmann::json event = nlohmann::json::parse(line.toStdString());
            *steps << QString::fromStdString(event["step"].get<std::string>() + ":" + event["status"].get<std::string>());
        }
    return agent.exitStatus() == QProcess::NormalExit ? agent.exitCode() : -1;
}

void LocalAgentTest::commandLines_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" the project folder
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("lastStep");
    QTest::newRow("set-up") << QStringList{"--setup", "--allow-root", "@", "--install-dir", "@"} << 0 << "done:ok";
    QTest::newRow("repair") << QStringList{"--repair", "--allow-root", "@", "--install-dir", "@"} << 0 << "done:ok";
    QTest::newRow("set-up, folder gone") << QStringList{"--setup", "--allow-root", "@/gone", "--install-dir", "@"} << 1 << "folder:error";
    QTest::newRow("uninstall") << QStringList{"--uninstall", "--remove-credentials"} << 0 << "done:ok";
    QTest::newRow("nothing") << QStringList{} << 2 << "";
    QTest::newRow("unknown") << QStringList{"--scan"} << 2 << "";
    QTest::newRow("set-up in wrong order") << QStringList{"--setup", "@", "--allow-root", "--install-dir", "@"} << 2 << "";
    QTest::newRow("history without folder") << QStringList{"--uninstall", "--remove-history"} << 2 << "";
    QTest::newRow("uninstall not first") << QStringList{"--remove-credentials", "--uninstall"} << 2 << "";
}

void LocalAgentTest::commandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, lastStep);
    QStringList steps;
    QCOMPARE(runAgent(arguments.replaceInStrings("@", home->path()), &steps), exitCode);
    QCOMPARE(steps.value(steps.size() - 1), lastStep);
}

void LocalAgentTest::historyRemovalStaysInItsFolder()
{
    const QString project = home->filePath("-project 'q' ..");
    writeFile(project + "/.halden/feedback/1.json", "{}");
    writeFile(project + "/src/main.c", "int main;");
    writeFile(home->filePath("outside/keep"), "keep");
    QVERIFY(QFile::link(home->filePath("outside"), project + "/.halden/linked"));
    QCOMPARE(runAgent({"--uninstall", "--remove-history", project}), 0);
    QVERIFY(!QFileInfo::exists(project + "/.halden") && QFileInfo::exists(project + "/src/main.c"));
    QVERIFY(QFile::link(home->filePath("outside"), project + "/.halden")); // a history folder that is a link
    QCOMPARE(runAgent({"--uninstall", "--remove-history", project}), 0);
    QVERIFY(!QFileInfo(project + "/.halden").isSymLink() && QFileInfo::exists(home->filePath("outside/keep")));
}

QTEST_GUILESS_MAIN(LocalAgentTest)
#include "test_local_agent.moc"
