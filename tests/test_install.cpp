// Installation discovery and program removal, on real files and links.
#include "halden_test.h"

#include "install/launch_agent_registration.h"
#include "platform/privileged_shell.h"

#include <QDirIterator>

namespace {

// The outcome of a removal or its plan: "" for success, else the error's case.
QString outcomeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProgramRemovalError& error) {
        return QStringList { "unsupported", "cancelled", "incomplete" }.at(error.errorCase());
    }
    return QString();
}

} // namespace

static void fileSystemColumns()
{
    QTest::addColumn<QString>("setup"); // shell commands run in the home, after the install folder $INSTALL was made
    QTest::addColumn<QString>("operation"); // then what is asked; "~" is the home
    QTest::addColumn<QString>("result");
}

void HaldenTest::discovery_data()
{
    fileSystemColumns();
    QTest::newRow("install folder") << ""
                                    << "install"
                                    << "~/Applications/Tervan Halden Beta AGENT";
    QTest::newRow("agent not executable") << "chmod -x \"$AGENT\""
                                          << "install"
                                          << "~/Applications/Tervan Halden Beta none";
    QTest::newRow("agent a folder") << "rm \"$AGENT\"; mkdir \"$AGENT\""
                                    << "install"
                                    << "~/Applications/Tervan Halden Beta none";
    QTest::newRow("other processor's agent") << "mv \"$AGENT\" \"$OTHER\""
                                             << "install"
                                             << "~/Applications/Tervan Halden Beta none";
    QTest::newRow("registered") << "mkdir 'my prøject'"
                                << "found /agent -v --allow-root \"~/my prøject\""
                                << "~/my prøject";
    QTest::newRow("registered, binary") << "mkdir 'my prøject'"
                                        << "found-binary /agent --allow-root \"~/my prøject\""
                                        << "~/my prøject";
    QTest::newRow("link, trailing /") << "mkdir p; ln -s p link"
                                      << "found --allow-root ~/link/"
                                      << "~/link";
    QTest::newRow("switch last") << ""
                                 << "found /agent --allow-root"
                                 << "none";
    QTest::newRow("joined with =") << "mkdir p"
                                   << "found --allow-root=~/p"
                                   << "none";
    QTest::newRow("first names a file") << "touch f; mkdir p"
                                        << "found --allow-root ~/f --allow-root ~/p"
                                        << "none";
    QTest::newRow("relative") << "mkdir p"
                              << "found --allow-root p"
                              << "none";
    QTest::newRow("over the size limit") << "mkdir p"
                                         << "found-huge --allow-root ~/p"
                                         << "none";
    QTest::newRow("NUL in a string") << "mkdir 'pü'"
                                     << "found-binary --allow-root ~/pü"
                                     << "none"; // the library aborts if asked naively
}

void HaldenTest::removal_data()
{
    fileSystemColumns();
    QTest::newRow("shared") << ""
                            << "plan \"/Applications/./Tervan Halden Beta/dist/..\""
                            << "shared";
    QTest::newRow("shared, other case") << ""
                                        << "plan \"/applications/Tervan Halden Beta\""
                                        << "unsupported";
    QTest::newRow("user") << ""
                          << "plan \"~//Applications/Tervan Halden Beta\""
                          << "user ~/Applications/Tervan Halden Beta";
    QTest::newRow("user, linked home") << "ln -s ~ ~/linked"
                                       << "plan \"~/linked/Applications/Tervan Halden Beta\" ~/linked"
                                       << "user ~/linked/Applications/Tervan Halden Beta";
    QTest::newRow("user, not there") << "rm -r \"$INSTALL\""
                                     << "plan \"~/Applications/Tervan Halden Beta\""
                                     << "user ~/Applications/Tervan Halden Beta";
    QTest::newRow("desktop") << ""
                             << "plan \"~/Desktop/Tervan Halden Beta\""
                             << "unsupported";
    QTest::newRow("linked to the shared place")
        << "rm -r \"$INSTALL\"; ln -s '/Applications/Tervan Halden Beta' \"$INSTALL\""
        << "plan \"~/Applications/Tervan Halden Beta\""
        << "unsupported";
    QTest::newRow("removed") << ""
                             << "remove"
                             << " gone";
    QTest::newRow("already gone") << ""
                                  << "remove rm -r \"$INSTALL\""
                                  << " gone";
    QTest::newRow("parent swapped for a link") << ""
                                               << "remove mv Applications moved; ln -s elsewhere Applications"
                                               << "unsupported there";
    QTest::newRow("folder swapped for a link") << ""
                                               << "remove mv \"$INSTALL\" moved; ln -s \"elsewhere/$NAME\" \"$INSTALL\""
                                               << "unsupported there";
    QTest::newRow("folder swapped for another") << ""
                                                << "remove mv \"$INSTALL\" moved; mkdir \"$INSTALL\""
                                                << "unsupported there";
    for (const char* folder : { "", ".", "..", "../Other" })
        QTest::addRow("user(\"%s\")", folder)
            << "" << QString("user ") + (*folder ? folder : "''") << "unsupported there";
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
    const auto shell = [&](const QString& commands) {
        return QProcess::execute("/bin/sh", { "-c", names + commands }) == 0;
    };
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

void HaldenTest::bundleIsWhereTheProgramWasStartedFrom()
{
    // A real program asks, started through a link to its folder, and again
    // after its folder was renamed under it.
    const QString real = home->filePath("real/Halden Setup");
    QDir().mkpath(real);
    QVERIFY(QFile::copy(HALDEN_BUNDLE_PROBE, real + "/probe")
        && QFile::link(home->filePath("real"), home->filePath("linked")));
    QProcess probe;
    probe.start(home->filePath("linked/Halden Setup/probe"));
    const auto ask = [&probe] {
        probe.write("?\n");
        probe.waitForReadyRead(5000);
        return QString(probe.readLine().trimmed());
    };
    QCOMPARE(ask(), home->filePath("linked/Halden Setup")); // the link kept
    QVERIFY(QDir().rename(real, real + " 2"));
    QCOMPARE(ask(), real + " 2"); // asked afresh
}

void HaldenTest::privilegedOutcomes()
{
    const QString approve = "exec \"$@\"";
    const QList<std::tuple<QString, QString, QString>> rows {
        // the stand-in approval helper, the command, what came of it
        { approve, "echo ok > out", " ok" }, { "exit 126", "echo ok > out", "cancelled " },
        { "exit 127", "echo ok > out", "incomplete " }, { approve, "exit 1", "incomplete " },
        { approve, "exit 126", "incomplete " }, // only the approval helper itself may say "dismissed"
        { approve, "echo > out; ./out", "incomplete " }, { "", "echo ok > out", "incomplete " }
    }; // the real approval helper, with an impostor earlier in PATH
    const QByteArray path = qgetenv("PATH");
    for (const auto& [helper, command, outcome] : rows) {
        QFile::remove(home->filePath("out"));
        writeExecutable(
            home->filePath("bin/pkexec"), "#!/bin/sh\necho impostor > '" + home->filePath("out").toUtf8() + "'\n");
        writeExecutable(
            home->filePath("helper"), "#!/bin/sh\ncd '" + home->path().toUtf8() + "'\n" + helper.toUtf8() + "\n");
        if (helper.isEmpty() && QFileInfo::exists("/usr/bin/pkexec"))
            break; // its real approval prompt cannot run in a test
        qputenv("PATH", QFile::encodeName(home->filePath("bin")) + ":" + path);
        platform::setPrivilegeHelperForTesting(
            helper.isEmpty() ? std::nullopt : std::optional(home->filePath("helper")));
        const QString result = outcomeOf(
            [&] { ProgramRemoval::authorize("do shell script \"" + command + "\" with administrator privileges"); });
        platform::setPrivilegeHelperForTesting(std::nullopt);
        qputenv("PATH", path);
        QCOMPARE(result + " " + recordedLines(home->filePath("out")).join(' ').trimmed(), outcome);
    }
    QCOMPARE(QSet({ ProgramRemovalError(ProgramRemovalError::cancelled),
                      ProgramRemovalError(ProgramRemovalError::incomplete) })
                 .size(),
        2); // hashed by case
}

void HaldenTest::administratorCommandOnAScratchRoot()
{
    if (geteuid() != 0 || QProcess::execute("unshare", { "-m", "true" }) != 0)
        QSKIP("needs root and a private mount namespace (unshare -m) to stand a scratch root in for /");
    // The real command runs as root, chrooted into a scratch root that holds the
    // system's programs (bind mounts that vanish with the namespace) and
    // stand-ins for the receipt database, the tool and the shared folder.
    const QStringList all { "/receipt", "/usr/local/bin/halden", "/Applications/Tervan Halden Beta/dist",
        "/forget-fails" };
    const QList<std::tuple<QStringList, QString, int>> rows { // there before; the outcome; how many are left
        { all.mid(0, 3), "", 0 }, { all, "incomplete", 4 }, { all.mid(2, 1), "", 0 }
    };
    for (const auto& [present, outcome, left] : rows) {
        const QString root = home->filePath("root" + QString::number(present.size()));
        QString mounts = "mount --bind /dev/null \"$0/dev/null\"";
        writeFile(root + "/dev/null", "");
        for (const QString folder : { "bin", "lib", "lib64", "usr/bin", "usr/lib", "usr/lib64" }) {
            QDir().mkpath(QFileInfo(root + "/" + folder).absolutePath());
            if (QFileInfo("/" + folder).isSymLink())
                QFile::link(QFileInfo("/" + folder).symLinkTarget(), root + "/" + folder);
            else if (QFileInfo("/" + folder).isDir() && QDir().mkpath(root + "/" + folder))
                mounts += " && mount --bind /" + folder + " \"$0/" + folder + "\"";
        }
        writeExecutable(root + "/usr/sbin/pkgutil",
            "#!/bin/sh\ncase $1 in --pkg-info) [ -e /receipt ];; --forget) [ ! -e /forget-fails ] && rm /receipt;; "
            "esac\n");
        for (const QString& item : present)
            writeFile(root + item, "");
        writeExecutable(home->filePath("helper"),
            "#!/bin/sh\nexec unshare -m /bin/sh -c '" + mounts.toUtf8() + " && exec chroot \"$0\" \"$@\"' '"
                + root.toUtf8() + "' \"$@\"\n");
        platform::setPrivilegeHelperForTesting(home->filePath("helper"));
        QCOMPARE(outcomeOf([] { ProgramRemoval::shared().remove(); }), outcome);
        platform::setPrivilegeHelperForTesting(std::nullopt);
        QCOMPARE(std::count_if(present.begin(), present.end(),
                     [&](const QString& item) { return QFileInfo::exists(root + item); }),
            left);
    }
}
