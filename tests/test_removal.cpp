#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "platform/privileged_shell.h"
#include "support/fixture.h"
#include "uninstall/program_removal.h"

#include <QDir>
#include <QProcess>
#include <QTest>

namespace {

using Outcome = std::optional<ProgramRemovalError::Case>; // none: success

template <typename Action>
Outcome outcomeOf(Action action)
{
    try {
        action();
    } catch (const ProgramRemovalError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

Outcome authorizeWith(const QString& helper, const QString& command)
{
    platform::setPrivilegeHelperForTesting(helper);
    const Outcome outcome = outcomeOf(
        [&] { ProgramRemoval::authorize("do shell script \"" + command + "\" with administrator privileges"); });
    platform::setPrivilegeHelperForTesting(std::nullopt);
    return outcome;
}

bool setImmutable(const QString& path, bool on)
{
    return QProcess::execute("chattr", {on ? "+i" : "-i", path}) == 0;
}

} // namespace

class RemovalTest : public FixtureTest {
    Q_OBJECT

private slots:
    void errorsSayWhatHappened();
    void classification_data();
    void classification();
    void perUserRemoval_data();
    void perUserRemoval();
    void undeletableFolderCarriesTheFileMessage();
    void privilegedOutcomes_data();
    void privilegedOutcomes();
    void pkexecIsNeverLookedUpInPath();
    void administratorCommandOnAScratchRoot_data();
    void administratorCommandOnAScratchRoot();
};

void RemovalTest::errorsSayWhatHappened()
{
    const QStringList sentences{
        "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed.",
        "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app.",
        "The agent was stopped, but application files could not be removed. Click Uninstall to retry."};
    QSet<ProgramRemovalError> distinct;
    for (const auto which : {ProgramRemovalError::unsupportedLocation, ProgramRemovalError::cancelled, ProgramRemovalError::incomplete}) {
        const ProgramRemovalError error(which);
        QCOMPARE(error.errorDescription(), sentences[which]);
        QVERIFY(!error.failureReason() && !error.recoverySuggestion() && !error.helpAnchor());
        distinct << error << ProgramRemovalError(which);
    }
    QCOMPARE(distinct.size(), 3);
}

void RemovalTest::classification_data()
{
    QTest::addColumn<QString>("folder"); // "~" the home, "@" a link to it, "%" a home whose install folder is a link, "&" an empty home
    QTest::addColumn<QString>("plan");   // "shared", "user" or "unsupported"
    QTest::newRow("shared") << "/Applications/Tervan Halden Beta/" << "shared";
    QTest::newRow("shared through . and ..") << "/Applications/./Tervan Halden Beta/dist/.." << "shared";
    QTest::newRow("shared in other case") << "/applications/Tervan Halden Beta" << "unsupported";
    QTest::newRow("user") << "~//Applications/Tervan Halden Beta" << "user";
    QTest::newRow("user through a linked home") << "@/Applications/Tervan Halden Beta" << "user";
    QTest::newRow("user, not there") << "&/Applications/../Applications/Tervan Halden Beta" << "user";
    QTest::newRow("desktop") << "~/Desktop/Tervan Halden Beta" << "unsupported";
    QTest::newRow("another home") << "/home/bob/Applications/Tervan Halden Beta" << "unsupported";
    QTest::newRow("a link to the shared place") << "%/Applications/Tervan Halden Beta" << "unsupported";
}

void RemovalTest::classification()
{
    QFETCH(QString, folder);
    QFETCH(QString, plan);
    const QString linkedHome = home->filePath("linked-home");
    const QString otherHome = home->filePath("other-home");
    QVERIFY(QFile::link(home->path(), linkedHome));
    QDir().mkpath(otherHome + "/Applications");
    QVERIFY(QFile::link(ProgramRemoval::sharedDirectory(), otherHome + "/Applications/Tervan Halden Beta"));
    QString homeGiven = home->path();
    for (const auto& [mark, root] : {std::pair{u'~', home->path()}, {u'@', linkedHome}, {u'%', otherHome}, {u'&', home->filePath("empty-home")}})
        if (folder.startsWith(mark))
            folder.replace(0, 1, homeGiven = root);
    std::optional<ProgramRemoval> made;
    const Outcome outcome = outcomeOf([&] { made = ProgramRemoval::plan(folder, homeGiven); });
    QCOMPARE(outcome ? "unsupported" : made->kind() == ProgramRemoval::Kind::shared ? "shared" : "user", plan);
    if (plan == "user")
        QCOMPARE(made->userFolder(), homeGiven + "/Applications/Tervan Halden Beta");
}

void RemovalTest::perUserRemoval_data()
{
    QTest::addColumn<QString>("change"); // what happens between the plan and the removal
    QTest::addColumn<bool>("removed");   // false: refused as an unsupported location, nothing touched
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("already gone") << "gone" << true;
    QTest::newRow("parent swapped for a link") << "parent" << false;
    QTest::newRow("folder swapped for a link") << "link" << false;
    QTest::newRow("folder swapped for another") << "other" << false;
    QTest::newRow("empty name") << "user:" << false;
    QTest::newRow(".") << "user:." << false;
    QTest::newRow("..") << "user:.." << false;
    QTest::newRow("another name") << "user:~/Applications/Other" << false;
}

void RemovalTest::perUserRemoval()
{
    QFETCH(QString, change);
    QFETCH(bool, removed);
    const QString folder = install->installDir();
    const QString applications = home->filePath("Applications");
    const QString elsewhere = home->filePath("elsewhere");
    writeFile(home->filePath("precious/document"), "mine");
    writeFile(applications + "/Other/keep", "keep");
    writeFile(elsewhere + "/Tervan Halden Beta/keep", "keep");
    QVERIFY(QFile::link(home->filePath("precious"), folder + "/dist/link to a folder"));
    QVERIFY(QFile::link(home->filePath("precious/document"), folder + "/link to a file"));
    ProgramRemoval plan = ProgramRemoval::plan(folder, home->path());
    if (change.startsWith("user:"))
        plan = ProgramRemoval::user(change.mid(5).replace('~', home->path()));
    else if (change == "gone")
        QVERIFY(QDir(folder).removeRecursively());
    else if (change == "parent")
        QVERIFY(QDir().rename(applications, home->filePath("moved")) && QFile::link(elsewhere, applications));
    else if (change == "link")
        QVERIFY(QDir().rename(folder, folder + " moved") && QFile::link(elsewhere + "/Tervan Halden Beta", folder));
    else if (change == "other")
        QVERIFY(QDir().rename(folder, folder + " moved") && QDir().mkpath(folder + "/dist"));

    QDir::setCurrent(applications + "/Other"); // where "." and ".." would lead
    const Outcome outcome = outcomeOf([&] { plan.remove([](const QString&) { QFAIL("no privileged step for a user"); }); });
    QDir::setCurrent(QDir::rootPath());
    QCOMPARE(outcome, removed ? std::nullopt : Outcome(ProgramRemovalError::unsupportedLocation));
    QCOMPARE(QFileInfo::exists(folder) || QFileInfo(folder).isSymLink(), !removed && change != "gone");
    const QString sibling = (change == "parent" ? "moved" : "Applications") + QStringLiteral("/Other/keep");
    for (const QString& kept : {QStringLiteral("precious/document"), sibling, QStringLiteral("elsewhere/Tervan Halden Beta/keep")})
        QVERIFY2(QFileInfo::exists(home->filePath(kept)), qPrintable(kept));
}

void RemovalTest::undeletableFolderCarriesTheFileMessage()
{
    const QString dist = install->installDir() + "/dist";
    const bool root = geteuid() == 0;
    if (root ? !setImmutable(dist, true) : !QFile::setPermissions(dist, QFile::ReadOwner | QFile::ExeOwner))
        QSKIP("root, and no immutable attribute on this file system: nothing can refuse a deletion");
    QString message;
    try {
        ProgramRemoval::plan(install->installDir(), home->path()).remove();
    } catch (const LocalizedError& error) {
        message = error.errorDescription();
    }
    root ? setImmutable(dist, false) : QFile::setPermissions(dist, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(message, "“" + AgentContract::executableName + "” couldn’t be removed because you don’t have permission to access it.");
    QVERIFY(QFileInfo::exists(install->agentPath()));
}

void RemovalTest::privilegedOutcomes_data()
{
    QTest::addColumn<QString>("helper"); // the stand-in approval helper's body; "" for none at all
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("outcome"); // -1 for success
    QTest::newRow("approved") << "exec \"$@\"" << "touch ran" << -1;
    QTest::newRow("approval dismissed") << "exit 126" << "touch ran" << int(ProgramRemovalError::cancelled);
    QTest::newRow("approval refused") << "exit 127" << "touch ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command fails") << "exec \"$@\"" << "exit 1" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command exits 126") << "exec \"$@\"" << "exit 126" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command cannot run") << "exec \"$@\"" << "./not-executable" << int(ProgramRemovalError::incomplete);
    QTest::newRow("no helper") << "" << "touch ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("quote unescaped") << "exec \"$@\"" << "touch \"ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("escapes undone") << "exec \"$@\"" << "printf '%s' \\\"a\\\\\\\\b\\\" > ran" << -1;
}

void RemovalTest::privilegedOutcomes()
{
    QFETCH(QString, helper);
    QFETCH(QString, command);
    QFETCH(int, outcome);
    writeFile(home->filePath("not-executable"), "");
    const QString path = home->filePath("helper");
    if (!helper.isEmpty())
        writeExecutable(path, "#!/bin/sh\ncd '" + home->path().toUtf8() + "'\n" + helper.toUtf8() + "\n");
    QCOMPARE(authorizeWith(path, command), outcome < 0 ? std::nullopt : Outcome(ProgramRemovalError::Case(outcome)));
    QCOMPARE(QFileInfo::exists(home->filePath("ran")), outcome < 0);
    if (QTest::currentDataTag() == QByteArray("escapes undone"))
        QCOMPARE(recordedLines(home->filePath("ran")), QStringList{"a\\b"});
}

void RemovalTest::pkexecIsNeverLookedUpInPath()
{
    // The real approval helper would ask a person here.
    if (QFileInfo::exists("/usr/bin/pkexec"))
        QSKIP("pkexec is installed: the real approval prompt cannot run in a test");
    const QByteArray path = qgetenv("PATH");
    writeExecutable(home->filePath("bin/pkexec"), "#!/bin/sh\ntouch '" + home->filePath("impostor").toUtf8() + "'\n");
    qputenv("PATH", QFile::encodeName(home->filePath("bin")) + ":" + path);
    const Outcome outcome = outcomeOf([] { ProgramRemoval::authorize("do shell script \"true\" with administrator privileges"); });
    qputenv("PATH", path);
    QCOMPARE(outcome, ProgramRemovalError::incomplete);
    QVERIFY(!QFileInfo::exists(home->filePath("impostor")));
}

void RemovalTest::administratorCommandOnAScratchRoot_data()
{
    QTest::addColumn<QStringList>("present");  // of "receipt", "forget-fails", "tool"
    QTest::addColumn<int>("outcome");          // -1 for success
    QTest::addColumn<QStringList>("left");     // what is there afterwards
    QTest::newRow("receipt forgotten") << QStringList{"receipt", "tool"} << -1 << QStringList{};
    QTest::newRow("forgetting fails") << QStringList{"receipt", "forget-fails", "tool"}
                                      << int(ProgramRemovalError::incomplete) << QStringList{"receipt", "tool", "folder"};
    QTest::newRow("no receipt, no tool") << QStringList{} << -1 << QStringList{};
}

void RemovalTest::administratorCommandOnAScratchRoot()
{
    QFETCH(QStringList, present);
    QFETCH(int, outcome);
    QFETCH(QStringList, left);
    if (geteuid() != 0 || QProcess::execute("unshare", {"-m", "true"}) != 0)
        QSKIP("needs root and a private mount namespace (unshare -m) to stand a scratch root in for /");
    // The real command runs as root, chrooted into a scratch root that holds
    // the system's programs (bind mounts that vanish with the namespace) and
    // stand-ins for the receipt database, the tool and the shared folder.
    const QString root = home->filePath("root");
    QString mounts;
    for (const QString folder : {"bin", "lib", "lib64", "usr/bin", "usr/lib", "usr/lib64"}) {
        const QFileInfo real("/" + folder);
        if (real.isSymLink()) {
            QDir().mkpath(QFileInfo(root + "/" + folder).absolutePath());
            QFile::link(real.symLinkTarget(), root + "/" + folder);
        } else if (real.isDir()) {
            QDir().mkpath(root + "/" + folder);
            mounts += "mount --bind /" + folder + " \"$0/" + folder + "\" && ";
        }
    }
    writeFile(root + "/dev/null", "");
    mounts += "mount --bind /dev/null \"$0/dev/null\" && ";
    writeExecutable(root + "/usr/sbin/pkgutil", "#!/bin/sh\ncase $1 in --pkg-info) [ -e /receipt ];; "
                                                "--forget) [ ! -e /forget-fails ] && rm /receipt;; esac\n");
    writeFile(root + "/Applications/Tervan Halden Beta/dist/agent", "");
    const QMap<QString, QString> places{{"receipt", "/receipt"}, {"forget-fails", "/forget-fails"},
                                        {"tool", "/usr/local/bin/halden"}, {"folder", "/Applications/Tervan Halden Beta"}};
    for (const QString& item : present)
        writeFile(root + places[item], "");
    writeExecutable(home->filePath("helper"), "#!/bin/sh\nexec unshare -m /bin/sh -c '" + mounts.toUtf8()
                                                  + "exec chroot \"$0\" \"$@\"' '" + root.toUtf8() + "' \"$@\"\n");
    platform::setPrivilegeHelperForTesting(home->filePath("helper"));
    const Outcome result = outcomeOf([] { ProgramRemoval::shared().remove(); });
    platform::setPrivilegeHelperForTesting(std::nullopt);
    QCOMPARE(result, outcome < 0 ? std::nullopt : Outcome(ProgramRemovalError::Case(outcome)));
    QStringList found;
    for (const char* item : {"receipt", "tool", "folder"})
        if (QFileInfo::exists(root + places[item]))
            found << item;
    QCOMPARE(found, left);
}

QTEST_GUILESS_MAIN(RemovalTest)
#include "test_removal.moc"
