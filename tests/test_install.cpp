// Installation discovery and program removal.
#include "agent/agent_contract.h"
#include "install/installation_discovery.h"
#include "install/launch_agent_registration.h"
#include "platform/privileged_shell.h"
#include "support/fixture.h"

#include <QProcess>
#include <QTest>

namespace {

using Outcome = std::optional<ProgramRemovalError::Case>; // none: success

Outcome outcomeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProgramRemovalError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

Outcome expected(int outcome) // -1 for success
{
    return outcome < 0 ? std::nullopt : Outcome(ProgramRemovalError::Case(outcome));
}

} // namespace

class InstallTest : public FixtureTest {
    Q_OBJECT

private slots:
    void discovery();
    void registration_data();
    void registration();
    void malformedPropertyListsGiveNone();
    void bundleIsWhereTheProgramWasStartedFrom();
    void errorsSayWhatHappened();
    void classification_data();
    void classification();
    void perUserRemoval_data();
    void perUserRemoval();
    void privilegedOutcomes_data();
    void privilegedOutcomes();
    void administratorCommandOnAScratchRoot_data();
    void administratorCommandOnAScratchRoot();
};

void InstallTest::discovery()
{
    QCOMPARE(installDir(), install->installDir);
    for (const QString& name : {installDirName + " 2", installDirName.toLower()}) {
        const StagedInstall misnamed(home->path(), name);
        QVERIFY(!installDir());
    }
    const QString folder = install->installDir;
    QCOMPARE(agentBinary(folder), install->agentPath());
    QFile::remove(install->agentPath());
    const bool x86 = AgentContract::executableName.endsWith("x86_64");
    writeExecutable(folder + "/dist/tervan-agent-" + (x86 ? "arm64" : "x86_64"), "#!/bin/sh\n");
    QVERIFY(!agentBinary(folder)); // the other processor's agent is never taken
    writeFile(install->agentPath(), "#!/bin/sh\n");
    QVERIFY(!agentBinary(folder)); // no execute bit: not even root may run it
    QFile::remove(install->agentPath());
    QDir().mkpath(install->agentPath());
    QVERIFY(!agentBinary(folder));
}

void InstallTest::registration_data()
{
    QTest::addColumn<QStringList>("arguments"); // "@" the home
    QTest::addColumn<QString>("found");         // relative to the home; "" for none
    const QString project = "@/my prøject";
    QTest::newRow("agent, switch, folder") << QStringList{"/agent", "-v", "--allow-root", project} << "my prøject";
    QTest::newRow("link to a folder, trailing /") << QStringList{"--allow-root", "@/link/"} << "link";
    QTest::newRow("switch last") << QStringList{"/agent", "--allow-root"} << "";
    QTest::newRow("joined with =") << QStringList{"--allow-root=" + project} << "";
    QTest::newRow("first names a file") << QStringList{"--allow-root", "@/file", "--allow-root", project} << "";
    QTest::newRow("relative") << QStringList{"--allow-root", "my prøject"} << "";
}

void InstallTest::registration()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, found);
    QVERIFY(!existingAuthorizedFolder());
    QDir().mkpath(home->filePath("my prøject"));
    writeFile(home->filePath("file"), "x");
    QFile::link(home->filePath("my prøject"), home->filePath("link"));
    QDir::setCurrent(home->path()); // where a relative path would lead
    for (const PlistFormat format : {PlistFormat::xml, PlistFormat::binary}) {
        writeRegistration(home->path(), QStringList(arguments).replaceInStrings("@", home->path()), format);
        QCOMPARE(existingAuthorizedFolder(), found.isEmpty() ? std::nullopt : std::optional(home->filePath(found)));
    }
    QDir::setCurrent(QDir::rootPath());
}

void InstallTest::malformedPropertyListsGiveNone()
{
    const auto xml = [](const QByteArray& arguments) {
        return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>ProgramArguments</key>" + arguments + "</dict></plist>";
    };
    const QByteArray good = propertyList({"--allow-root", "/tmp"}, PlistFormat::binary);
    QByteArray withNul = propertyList({"--allow-root", "/tmp/ü"}, PlistFormat::binary);
    withNul.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2)); // the library aborts if asked naively
    QCOMPARE(authorizedFolderInPropertyList(good), "/tmp");
    for (const QByteArray& bad : {good.left(good.size() / 2), withNul, xml("<string>--allow-root /tmp</string>"),
                                  xml("<array><string>--allow-root</string><string>/tmp</string><true/></array>")})
        QVERIFY2(!authorizedFolderInPropertyList(bad), bad.toHex().left(40).constData());
    QByteArray huge = propertyList({"--allow-root", home->path()}, PlistFormat::xml);
    writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
              huge.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>"));
    QVERIFY(!existingAuthorizedFolder());
}

void InstallTest::bundleIsWhereTheProgramWasStartedFrom()
{
    // A real program asks, started through its folder and through a link to
    // it, and again after its folder was renamed under it.
    const QString real = home->filePath("real/Halden Setup");
    QDir().mkpath(real);
    QVERIFY(QFile::copy(HALDEN_BUNDLE_PROBE, real + "/probe") && QFile::link(home->filePath("real"), home->filePath("linked")));
    for (const QString& via : {home->filePath("linked"), home->filePath("real")}) {
        QProcess probe;
        probe.start(via + "/Halden Setup/probe");
        const auto ask = [&probe] { probe.write("?\n"); probe.waitForReadyRead(5000); return QString(probe.readLine().trimmed()); };
        QCOMPARE(ask(), via + "/Halden Setup");
        QVERIFY(QDir().rename(real, real + " 2"));
        QCOMPARE(ask(), home->filePath("real/Halden Setup 2"));
        QVERIFY(QDir().rename(real + " 2", real));
        probe.closeWriteChannel();
        probe.waitForFinished(5000);
    }
}

void InstallTest::errorsSayWhatHappened()
{
    const QStringList sentences{
        "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed.",
        "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app.",
        "The agent was stopped, but application files could not be removed. Click Uninstall to retry."};
    QSet<ProgramRemovalError> distinct;
    for (int which = 0; which < 3; ++which) {
        const ProgramRemovalError error{ProgramRemovalError::Case(which)};
        QCOMPARE(error.errorDescription(), sentences[which]);
        QVERIFY(!error.failureReason() && !error.recoverySuggestion() && !error.helpAnchor());
        distinct << error << error;
    }
    QCOMPARE(distinct.size(), 3);
}

void InstallTest::classification_data()
{
    QTest::addColumn<QString>("folder"); // "~" the home, "@" a link to it
    QTest::addColumn<QString>("plan");
    QTest::newRow("shared") << "/Applications/Tervan Halden Beta/" << "shared";
    QTest::newRow("shared through . and ..") << "/Applications/./Tervan Halden Beta/dist/.." << "shared";
    QTest::newRow("user through a linked home") << "@/Applications/Tervan Halden Beta" << "user";
    QTest::newRow("user, not there") << "~/Applications/Tervan Halden Beta/gone/.." << "user";
    QTest::newRow("desktop, other case") << "~/Desktop/../applications/Tervan Halden Beta" << "unsupported";
    QTest::newRow("a link to the shared place") << "~/Applications/Tervan Halden Beta" << "unsupported";
}

void InstallTest::classification()
{
    QFETCH(QString, folder);
    QFETCH(QString, plan);
    const QString given = folder.startsWith('@') ? home->filePath("linked") : home->path();
    QVERIFY(QFile::link(home->path(), home->filePath("linked")));
    if (QTest::currentDataTag() == QByteArray("user, not there"))
        QDir(install->installDir).removeRecursively();
    if (QTest::currentDataTag() == QByteArray("a link to the shared place"))
        QDir(install->installDir).removeRecursively() && QFile::link(ProgramRemoval::sharedDirectory(), install->installDir);
    folder.replace(QRegularExpression("^[~@]"), given);
    std::optional<ProgramRemoval> made;
    const Outcome outcome = outcomeOf([&] { made = ProgramRemoval::plan(folder, given); });
    QCOMPARE(outcome ? "unsupported" : made->kind() == ProgramRemoval::Kind::shared ? "shared" : "user", plan);
    if (plan == "user")
        QCOMPARE(made->userFolder(), given + "/Applications/Tervan Halden Beta");
}

void InstallTest::perUserRemoval_data()
{
    QTest::addColumn<QString>("change"); // what happens between the plan and the removal
    QTest::addColumn<bool>("removed");   // false: refused as an unsupported location, nothing touched
    QTest::newRow("nothing") << "" << true;
    QTest::newRow("already gone") << "gone" << true;
    QTest::newRow("parent swapped for a link") << "parent" << false;
    QTest::newRow("folder swapped for a link") << "link" << false;
    QTest::newRow("folder swapped for another") << "other" << false;
    for (const char* folder : {"", ".", "..", "Other"})
        QTest::addRow("user(\"%s\")", folder) << QString("user:") + folder << false;
}

void InstallTest::perUserRemoval()
{
    QFETCH(QString, change);
    QFETCH(bool, removed);
    const QString folder = install->installDir, applications = home->filePath("Applications");
    writeFile(home->filePath("precious/document"), "mine");
    writeFile(applications + "/Other/keep", "keep");
    writeFile(home->filePath("elsewhere/Tervan Halden Beta/keep"), "keep");
    QVERIFY(QFile::link(home->filePath("precious"), folder + "/dist/link to a folder"));
    QVERIFY(QFile::link(home->filePath("precious/document"), folder + "/link to a file"));
    ProgramRemoval plan = ProgramRemoval::plan(folder, home->path());
    QDir::setCurrent(applications + "/Other"); // where "." and ".." would lead
    if (change.startsWith("user:"))
        plan = ProgramRemoval::user(change.mid(5));
    else if (change == "gone")
        QDir(folder).removeRecursively();
    else if (change == "parent")
        QDir().rename(applications, home->filePath("moved")) && QFile::link(home->filePath("elsewhere"), applications);
    else if (!change.isEmpty()) // the folder renamed away, something else put in its place
        QDir().rename(folder, home->filePath("moved")) && (change == "link" ? QFile::link(home->filePath("elsewhere"), folder) : QDir().mkpath(folder));
    const Outcome outcome = outcomeOf([&] { plan.remove([](const QString&) { QFAIL("no privileged step for a user"); }); });
    QDir::setCurrent(QDir::rootPath());
    QCOMPARE(outcome, expected(removed ? -1 : ProgramRemovalError::unsupportedLocation));
    QCOMPARE(QFileInfo(folder).exists() || QFileInfo(folder).isSymLink(), !removed && change != "gone");
    for (const QString kept : {"precious/document", "elsewhere/Tervan Halden Beta/keep", change == "parent" ? "moved/Other/keep" : "Applications/Other/keep"})
        QVERIFY2(QFileInfo::exists(home->filePath(kept)), qPrintable(kept));
}

void InstallTest::privilegedOutcomes_data()
{
    QTest::addColumn<QString>("helper"); // the stand-in approval helper's body; "" for none at all
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("outcome"); // -1 for success
    const QString approve = "exec \"$@\"";
    QTest::newRow("approved") << approve << "touch ran" << -1;
    QTest::newRow("escapes undone") << approve << "printf '%s' \\\"a\\\\\\\\b\\\" > ran" << -1;
    QTest::newRow("dismissed") << "exit 126" << "touch ran" << int(ProgramRemovalError::cancelled);
    QTest::newRow("refused") << "exit 127" << "touch ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command fails") << approve << "exit 1" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command exits 126") << approve << "exit 126" << int(ProgramRemovalError::incomplete);
    QTest::newRow("command cannot run") << approve << "./ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("no helper") << "" << "touch ran" << int(ProgramRemovalError::incomplete);
    QTest::newRow("quote unescaped") << approve << "touch \"ran" << int(ProgramRemovalError::incomplete);
}

void InstallTest::privilegedOutcomes()
{
    QFETCH(QString, helper);
    QFETCH(QString, command);
    QFETCH(int, outcome);
    const QString ran = home->filePath("ran");
    if (command == "./ran")
        writeFile(ran, "not executable");
    const QByteArray path = qgetenv("PATH");
    if (helper.isEmpty()) { // the real approval helper: never one found through PATH
        if (QFileInfo::exists("/usr/bin/pkexec"))
            QSKIP("pkexec is installed: its real approval prompt cannot run in a test");
        writeExecutable(home->filePath("bin/pkexec"), "#!/bin/sh\ntouch '" + home->filePath("impostor").toUtf8() + "'\n");
        qputenv("PATH", QFile::encodeName(home->filePath("bin")) + ":" + path);
    } else {
        writeExecutable(home->filePath("helper"), "#!/bin/sh\ncd '" + home->path().toUtf8() + "'\n" + helper.toUtf8() + "\n");
        platform::setPrivilegeHelperForTesting(home->filePath("helper"));
    }
    const Outcome result = outcomeOf([&] { ProgramRemoval::authorize("do shell script \"" + command + "\" with administrator privileges"); });
    platform::setPrivilegeHelperForTesting(std::nullopt);
    qputenv("PATH", path);
    QCOMPARE(result, expected(outcome));
    QCOMPARE(QFileInfo::exists(ran), outcome < 0 || command == "./ran");
    if (command.startsWith("printf"))
        QCOMPARE(recordedLines(ran), QStringList{"a\\b"});
    QVERIFY(!QFileInfo::exists(home->filePath("impostor")));
}

void InstallTest::administratorCommandOnAScratchRoot_data()
{
    QTest::addColumn<QStringList>("present"); // in the scratch root before, then what is left after
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QStringList>("left");
    const QStringList all{"/receipt", "/usr/local/bin/halden", "/Applications/Tervan Halden Beta/dist"};
    QTest::newRow("receipt forgotten") << all << -1 << QStringList{};
    QTest::newRow("forgetting fails") << all + QStringList{"/forget-fails"} << int(ProgramRemovalError::incomplete) << all;
    QTest::newRow("no receipt, no tool") << all.mid(2) << -1 << QStringList{};
}

void InstallTest::administratorCommandOnAScratchRoot()
{
    QFETCH(QStringList, present);
    QFETCH(int, outcome);
    QFETCH(QStringList, left);
    if (geteuid() != 0 || QProcess::execute("unshare", {"-m", "true"}) != 0)
        QSKIP("needs root and a private mount namespace (unshare -m) to stand a scratch root in for /");
    // The real command runs as root, chrooted into a scratch root that holds the
    // system's programs (bind mounts that vanish with the namespace) and
    // stand-ins for the receipt database, the tool and the shared folder.
    const QString root = home->filePath("root");
    QString mounts = "mount --bind /dev/null \"$0/dev/null\"";
    writeFile(root + "/dev/null", "");
    for (const QString folder : {"bin", "lib", "lib64", "usr/bin", "usr/lib", "usr/lib64"}) {
        QDir().mkpath(QFileInfo(root + "/" + folder).absolutePath());
        if (QFileInfo("/" + folder).isSymLink())
            QFile::link(QFileInfo("/" + folder).symLinkTarget(), root + "/" + folder);
        else if (QFileInfo("/" + folder).isDir() && QDir().mkpath(root + "/" + folder))
            mounts += " && mount --bind /" + folder + " \"$0/" + folder + "\"";
    }
    writeExecutable(root + "/usr/sbin/pkgutil",
                    "#!/bin/sh\ncase $1 in --pkg-info) [ -e /receipt ];; --forget) [ ! -e /forget-fails ] && rm /receipt;; esac\n");
    for (const QString& item : present)
        writeFile(root + item, "");
    writeExecutable(home->filePath("helper"), "#!/bin/sh\nexec unshare -m /bin/sh -c '" + mounts.toUtf8()
                                                  + " && exec chroot \"$0\" \"$@\"' '" + root.toUtf8() + "' \"$@\"\n");
    platform::setPrivilegeHelperForTesting(home->filePath("helper"));
    const Outcome result = outcomeOf([] { ProgramRemoval::shared().remove(); });
    platform::setPrivilegeHelperForTesting(std::nullopt);
    QCOMPARE(result, expected(outcome));
    QStringList found;
    for (const QString& item : present)
        if (QFileInfo::exists(root + item) && item != "/forget-fails")
            found << item;
    QCOMPARE(found, left);
}

QTEST_GUILESS_MAIN(InstallTest)
#include "test_install.moc"
