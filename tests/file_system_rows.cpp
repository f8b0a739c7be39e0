// Rows of a file-system setup and a question, shared by discovery and removal.
#include "halden_test.h"

#include "install/launch_agent_registration.h"

#include <QDirIterator>

QString outcomeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProgramRemovalError& error) {
        return QStringList { "unsupported", "cancelled", "incomplete" }.at(error.errorCase());
    }
    return QString();
}

void HaldenTest::fileSystemColumns()
{
    QTest::addColumn<QString>("setup"); // shell commands run in the home, after the install folder $INSTALL was made
    QTest::addColumn<QString>("operation"); // then what is asked; "~" is the home
    QTest::addColumn<QString>("result");
}

void HaldenTest::fileSystem()
{
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(QString, result);
    // Files a wrong deletion would take: behind links in the install folder,
    // beside it, and in a folder of the same name elsewhere.
    const QString common = "mkdir -p precious Applications/Other \"elsewhere/$NAME\"; echo > precious/keep; echo > "
                           "Applications/Other/keep; "
                           "echo > \"elsewhere/$NAME/keep\"; ln -s ~/precious \"$INSTALL/dist/link\"; ln -s "
                           "~/precious/keep \"$INSTALL/link\"; ";
    const QString other = install->installDir
        + (AgentContract::executableName.endsWith("x86_64") ? "/dist/tervan-agent-arm64" : "/dist/tervan-agent-x86_64");
    const QString names = QString("cd ~ && INSTALL='%1' NAME='%2' AGENT='%3' OTHER='%4'; ")
                              .arg(install->installDir, installDirName, install->agentPath, other);
    const auto shell
        = [&](const QString& commands) { return QProcess::execute("/bin/sh", { "-c", names + commands }) == 0; };
    QVERIFY(shell(common + setup));
    const QString verb = operation.section(' ', 0, 0);
    QStringList words = QProcess::splitCommand(operation.section(' ', 1).replace("~", home->path()));
    QDir::setCurrent(home->filePath("Applications/Other")); // where "." and ".." lead, and relative paths
    QString got;
    if (verb == "install") {
        got = installDir().value_or("none") + " " + agentBinary(install->installDir).value_or("none");
    } else if (verb.startsWith(
                   "found")) { // "found-binary": the same list in the binary form; "found-huge": padded past the limit
        QByteArray list = propertyList(words, verb.endsWith("binary") ? PlistFormat::binary : PlistFormat::xml);
        if (verb.endsWith("huge"))
            list.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>");
        writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
            list.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2)));
        got = existingAuthorizedFolder().value_or("none");
    } else if (verb == "plan") {
        std::optional<ProgramRemoval> plan;
        got = outcomeOf([&] { plan = ProgramRemoval::plan(words.value(0), words.value(1, home->path())); });
        if (plan)
            got = plan->kind() == ProgramRemoval::Kind::shared ? "shared" : "user " + plan->userFolder();
    } else {
        const ProgramRemoval plan = verb == "user" ? ProgramRemoval::user(words.value(0))
                                                   : ProgramRemoval::plan(install->installDir, home->path());
        QVERIFY(verb == "user" || shell(operation.section(' ', 1))); // what happens between the plan and the removal
        got = outcomeOf([&] { plan.remove([](const QString&) { QFAIL("no privileged step for a user"); }); });
        got += QFileInfo(install->installDir).exists() || QFileInfo(install->installDir).isSymLink() ? " there"
                                                                                                     : " gone";
    }
    QDir::setCurrent(QDir::rootPath());
    QCOMPARE(got.replace(install->agentPath, "AGENT").replace(home->path(), "~"), result);
    int kept = 0;
    for (QDirIterator it(home->path(), { "keep" }, QDir::Files, QDirIterator::Subdirectories); it.hasNext(); it.next())
        ++kept;
    QCOMPARE(kept, 3);
}
