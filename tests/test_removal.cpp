#include "install/installation_discovery.h"
#include "platform/privileged_shell.h"
#include "support/test_support.h"
#include "uninstall/program_removal.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <sys/stat.h>

namespace {

std::optional<ProgramRemovalError::Case> planError(const QString& folder, const QString& home)
{
    try {
        ProgramRemoval::plan(folder, home);
    } catch (const ProgramRemovalError& error) {
        return error.errorCase();
    }
    return std::nullopt;
}

// Whether `chattr` can make a file immutable here (root on ext4), the one way
// to make a deletion fail for root.
bool setImmutable(const QString& path, bool on)
{
    return QProcess::execute(QStringLiteral("chattr"), {on ? "+i" : "-i", path}) == 0;
}

} // namespace

class RemovalTest : public QObject {
    Q_OBJECT

private slots:
    void errorSentences();
    void administratorScriptText();
    void classification_data();
    void classification();
    void linkedInstallFolderIsRefused();
    void userRemovalDeletesTheFolder();
    void userRemovalNeverFollowsLinks();
    void userRemovalOfGoneFolderSucceeds();
    void userRemovalFailureCarriesTheMessage();
    void sharedRemovalHandsTheScriptToThePrivilegedStep();
    void privilegedOutcomes();
    void administratorStatementIsRead();
};

void RemovalTest::errorSentences()
{
    const ProgramRemovalError unsupported(ProgramRemovalError::unsupportedLocation);
    QCOMPARE(unsupported.errorDescription(),
             "Reopen Setup from Halden's installed Applications folder to uninstall it. No files were removed.");
    QCOMPARE(ProgramRemovalError(ProgramRemovalError::cancelled).errorDescription(),
             "The agent was stopped, but app removal was cancelled. Click Uninstall to finish removing the app.");
    QCOMPARE(ProgramRemovalError(ProgramRemovalError::incomplete).errorDescription(),
             "The agent was stopped, but application files could not be removed. Click Uninstall to retry.");
    QVERIFY(!unsupported.failureReason() && !unsupported.recoverySuggestion() && !unsupported.helpAnchor());
    QVERIFY(unsupported == ProgramRemovalError(ProgramRemovalError::unsupportedLocation));
    QVERIFY(!(unsupported == ProgramRemovalError(ProgramRemovalError::cancelled)));
}

void RemovalTest::administratorScriptText()
{
    QCOMPARE(ProgramRemoval::administratorScript(),
             "do shell script \"if /usr/sbin/pkgutil --pkg-info com.tervan.halden >/dev/null 2>&1; then "
             "/usr/sbin/pkgutil --forget com.tervan.halden >/dev/null || exit 1; fi; /bin/rm -f "
             "/usr/local/bin/halden && /bin/rm -rf '/Applications/Tervan Halden Beta'\" with administrator "
             "privileges");
    QCOMPARE(ProgramRemoval::sharedDirectory(), "/Applications/" + installDirName);
}

void RemovalTest::classification_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("expected"); // "shared", "user" or "unsupported"
    const QString home = QStringLiteral("/home/ann");
    QTest::newRow("shared") << "/Applications/Tervan Halden Beta" << "shared";
    QTest::newRow("shared with trailing separator") << "/Applications/Tervan Halden Beta/" << "shared";
    QTest::newRow("shared with dot") << "/Applications/./Tervan Halden Beta" << "shared";
    QTest::newRow("shared through ..") << "/Applications/Tervan Halden Beta/dist/.." << "shared";
    QTest::newRow("shared in other case") << "/applications/Tervan Halden Beta" << "unsupported";
    QTest::newRow("user") << home + "/Applications/Tervan Halden Beta" << "user";
    QTest::newRow("user with double separators") << home + "//Applications//Tervan Halden Beta" << "user";
    QTest::newRow("desktop") << home + "/Desktop/Tervan Halden Beta" << "unsupported";
    QTest::newRow("another user") << "/home/bob/Applications/Tervan Halden Beta" << "unsupported";
    QTest::newRow("disk image") << "/Volumes/Tervan Halden Beta/Tervan Halden Beta" << "unsupported";
    QTest::newRow("user in other case") << home + "/applications/Tervan Halden Beta" << "unsupported";
}

void RemovalTest::classification()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    const QString home = QStringLiteral("/home/ann");
    if (expected == "unsupported") {
        QCOMPARE(planError(folder, home), ProgramRemovalError::unsupportedLocation);
        return;
    }
    const ProgramRemoval plan = ProgramRemoval::plan(folder, home);
    if (expected == "shared") {
        QVERIFY(plan == ProgramRemoval::shared());
    } else {
        QVERIFY(plan.kind() == ProgramRemoval::Kind::user);
        QCOMPARE(plan.userFolder(), home + "/Applications/Tervan Halden Beta"); // standardized
    }
}

void RemovalTest::linkedInstallFolderIsRefused()
{
    TemporaryHome home;
    const QString real = home.filePath("elsewhere/Tervan Halden Beta");
    QDir().mkpath(real);
    QDir().mkpath(home.filePath("Applications"));
    const QString link = home.filePath("Applications/Tervan Halden Beta");
    QVERIFY(QFile::link(real, link));
    QCOMPARE(planError(link, home.path()), ProgramRemovalError::unsupportedLocation);
    QCOMPARE(planError(link + "/", home.path()), ProgramRemovalError::unsupportedLocation);
}

void RemovalTest::userRemovalDeletesTheFolder()
{
    TemporaryHome home;
    const QString folder = home.filePath("Applications/Tervan Halden Beta");
    writeExecutable(folder + "/dist/tervan-agent-x86_64", "#!/bin/sh\n");
    writeFile(folder + "/Halden Setup/.hidden", "x");
    writeFile(home.filePath("Applications/Other App/keep"), "keep");
    const ProgramRemoval plan = ProgramRemoval::plan(folder, home.path());
    bool privilegedStepCalled = false;
    plan.remove([&](const QString&) { privilegedStepCalled = true; });
    QVERIFY(!privilegedStepCalled);
    QVERIFY(!QFileInfo::exists(folder));
    QVERIFY(QFileInfo::exists(home.filePath("Applications/Other App/keep")));
}

void RemovalTest::userRemovalNeverFollowsLinks()
{
    TemporaryHome home;
    const QString folder = home.filePath("Applications/Tervan Halden Beta");
    const QString outside = home.filePath("precious");
    writeFile(outside + "/document.txt", "mine");
    writeFile(home.filePath("lone-file"), "mine too");
    QDir().mkpath(folder + "/dist");
    QVERIFY(QFile::link(outside, folder + "/dist/link-to-folder"));
    QVERIFY(QFile::link(home.filePath("lone-file"), folder + "/link-to-file"));
    QVERIFY(QFile::link(home.filePath("missing"), folder + "/dangling"));

    ProgramRemoval::plan(folder, home.path()).remove();
    QVERIFY(!QFileInfo::exists(folder) && !QFileInfo(folder).isSymLink());
    QVERIFY(QFileInfo::exists(outside + "/document.txt"));
    QVERIFY(QFileInfo::exists(home.filePath("lone-file")));
}

void RemovalTest::userRemovalOfGoneFolderSucceeds()
{
    TemporaryHome home;
    const QString folder = home.filePath("Applications/Tervan Halden Beta");
    const ProgramRemoval plan = ProgramRemoval::plan(folder, home.path()); // nothing there: classified by path
    plan.remove();
    QVERIFY(!QFileInfo::exists(folder));
}

void RemovalTest::userRemovalFailureCarriesTheMessage()
{
    TemporaryHome home;
    const QString folder = home.filePath("Applications/Tervan Halden Beta");
    const QString stuck = folder + "/dist/tervan-agent-x86_64";
    writeFile(stuck, "agent");
    const QString parent = folder + "/dist";
    bool immutable = false;
    if (geteuid() == 0) {
        immutable = setImmutable(parent, true);
        if (!immutable)
            QSKIP("root, and no immutable attribute on this file system: nothing can refuse a deletion");
    } else {
        QVERIFY(QFile::setPermissions(parent, QFile::ReadOwner | QFile::ExeOwner));
    }
    QString message;
    try {
        ProgramRemoval::plan(folder, home.path()).remove();
    } catch (const LocalizedError& error) {
        message = error.errorDescription();
    }
    if (immutable)
        setImmutable(parent, false);
    QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(message, QStringLiteral("“tervan-agent-x86_64” couldn’t be removed because you don’t have permission to access it."));
    QVERIFY(QFileInfo::exists(stuck));
}

void RemovalTest::sharedRemovalHandsTheScriptToThePrivilegedStep()
{
    QStringList scripts;
    ProgramRemoval::shared().remove([&](const QString& script) { scripts << script; });
    QCOMPARE(scripts, QStringList{ProgramRemoval::administratorScript()});

    bool thrown = false;
    try {
        ProgramRemoval::shared().remove([](const QString&) { throw ProgramRemovalError(ProgramRemovalError::cancelled); });
    } catch (const ProgramRemovalError& error) {
        thrown = error.errorCase() == ProgramRemovalError::cancelled;
    }
    QVERIFY(thrown);
}

void RemovalTest::privilegedOutcomes()
{
    // Stand-ins for the approval helper: each is called as `helper /bin/sh -c COMMAND`.
    QTemporaryDir helpers;
    const QString ran = helpers.filePath("ran");
    const QString approving = helpers.filePath("approve");
    writeExecutable(approving, "#!/bin/sh\nexec \"$@\"\n");
    const QString dismissing = helpers.filePath("dismiss");
    writeExecutable(dismissing, "#!/bin/sh\nexit 126\n");
    const QString refusing = helpers.filePath("refuse");
    writeExecutable(refusing, "#!/bin/sh\nexit 127\n");

    const auto outcome = [](const QString& helper, const QString& script) -> std::optional<ProgramRemovalError::Case> {
        platform::setPrivilegeHelperForTesting(helper);
        std::optional<ProgramRemovalError::Case> result;
        try {
            ProgramRemoval::authorize(script);
        } catch (const ProgramRemovalError& error) {
            result = error.errorCase();
        }
        platform::setPrivilegeHelperForTesting(std::nullopt);
        return result;
    };
    const QString touch = "do shell script \"echo \\\"it ran\\\" > '" + ran + "'\" with administrator privileges";
    QCOMPARE(outcome(approving, touch), std::nullopt);
    QCOMPARE(recordedLines(ran), QStringList{"it ran"});

    QCOMPARE(outcome(dismissing, touch), ProgramRemovalError::cancelled);
    QCOMPARE(outcome(refusing, touch), ProgramRemovalError::incomplete);
    QCOMPARE(outcome(approving, "do shell script \"exit 1\" with administrator privileges"),
             ProgramRemovalError::incomplete);
    QCOMPARE(outcome(helpers.filePath("no-such-helper"), touch), ProgramRemovalError::incomplete);
    QCOMPARE(outcome(approving, "display dialog \"hi\""), ProgramRemovalError::incomplete); // cannot be read
}

void RemovalTest::administratorStatementIsRead()
{
    QCOMPARE(platform::shellCommandOfAdministratorStatement(ProgramRemoval::administratorScript()),
             std::optional<QString>(
                 "if /usr/sbin/pkgutil --pkg-info com.tervan.halden >/dev/null 2>&1; then /usr/sbin/pkgutil --forget "
                 "com.tervan.halden >/dev/null || exit 1; fi; /bin/rm -f /usr/local/bin/halden && /bin/rm -rf "
                 "'/Applications/Tervan Halden Beta'"));
    QCOMPARE(platform::shellCommandOfAdministratorStatement(
                 "do shell script \"a \\\\ b \\\"c\\\"\" with administrator privileges"),
             std::optional<QString>("a \\ b \"c\""));
    for (const QString& unreadable : {QString("do shell script \"a\"b\" with administrator privileges"),
                                      QString("do shell script \"a\\\" with administrator privileges"),
                                      QString("do shell script \"a\""), QString()})
        QVERIFY(!platform::shellCommandOfAdministratorStatement(unreadable));
}

QTEST_GUILESS_MAIN(RemovalTest)
#include "test_removal.moc"
