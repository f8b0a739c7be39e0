// Rows of a file-system setup and a question, shared by discovery and removal.
#include "halden_test.h"

#include "install/launch_agent_registration.h"

QString outcomeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ProgramRemovalError& error) {
        return QStringList { "unsupported", "cancelled", "incomplete" }.at(error.errorCase());
    } catch (const LocalizedError& error) {
        return error.errorDescription();
    }
    return QString();
}

QString inScratchRoot(const QStringList& alsoBound)
{
    static const bool privileged = geteuid() == 0 && QProcess::execute("unshare", { "-m", "true" }) == 0;
    if (!privileged)
        return QString();
    QString mounts
        = "mkdir -p \"$0/dev\" \"$0/proc\" && touch \"$0/dev/null\" && mount --bind /dev/null \"$0/dev/null\" "
          "&& mount -t proc proc \"$0/proc\"";
    for (const QString& folder :
        QStringList { "/bin", "/lib", "/lib64", "/usr/bin", "/usr/lib", "/usr/lib64" } + alsoBound)
        if (QFileInfo(folder).isSymLink())
            mounts += " && ln -s " + QFileInfo(folder).symLinkTarget() + " \"$0" + folder + "\"";
        else if (QFileInfo(folder).isDir())
            mounts += " && mkdir -p \"$0" + folder + "\" && mount --bind \"" + folder + "\" \"$0" + folder + "\"";
    return "unshare -m /bin/sh -c '" + mounts + " && exec chroot \"$0\" \"$@\"'";
}

void HaldenTest::fileSystemColumns()
{
    QTest::addColumn<QString>("setup"); // shell commands run in the home once $INSTALL was made; "sudo": as root
    QTest::addColumn<QString>("operation"); // then what is asked; "~" is the home
    QTest::addColumn<QString>("result");
}

void HaldenTest::row(const char* name, const QString& a, const QString& b, const QString& c)
{
    QTest::newRow(name) << a << b << c;
}

void HaldenTest::fileSystem()
{
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(QString, result);
    const QString verb = operation.section(' ', 0, 0);
    const QString self = QCoreApplication::applicationFilePath();
    const QString chroot = inScratchRoot({ home->path(), QFileInfo(self).path() });
    if (chroot.isEmpty() && (setup.contains("sudo ") || verb == "remove-chrooted"))
        QSKIP("needs root and a private mount namespace (unshare -m)");
    const QString other = install->agentPath.endsWith("x86_64") ? "arm64" : "x86_64";
    const QString names = QString("sudo() { \"$@\"; }; cd ~ && export INSTALL='%1' NAME='%2' AGENT='%3' "
                                  "OTHER='%1/dist/tervan-agent-%4' SELF='%5'; ")
                              .arg(install->installDir, installDirName, install->agentPath, other, self);
    // Files a wrong deletion would take: behind links in the install folder,
    // beside it, and in a folder of the same name elsewhere. Every row compares
    // what the home holds before and after what is asked: nothing may be lost
    // outside the install folder, nor anything inside it unless it went.
    const QString common = "mkdir -p precious Applications/Other \"elsewhere/$NAME\" && echo > precious/keep && "
                           "echo > Applications/Other/keep && echo > \"elsewhere/$NAME/keep\" && ln -s ~/precious "
                           "\"$INSTALL/dist/link\" && ln -s ~/precious/keep \"$INSTALL/link\"; ";
    const QString snapshot = "find ~ -maxdepth 9 -printf '%P %i\\n' | sort > ~/.snapshot-";
    const auto shell = [&](const QString& script) {
        QProcess sh;
        sh.start(chroot.isEmpty() ? "/bin/sh" : "unshare",
            QStringList { "-m", "/bin/sh", "-c", names + script }.mid(chroot.isEmpty() ? 2 : 0));
        sh.waitForFinished(-1); // a deep tree on a busy disk takes minutes at times
        return QString::fromUtf8(sh.readAllStandardOutput()).trimmed();
    };
    QStringList words = QProcess::splitCommand(operation.section(' ', 1).replace("~", home->path()));
    QString got;
    if (verb.startsWith("remove")) {
        // In a process of its own, as the program does: plans, runs what happens before the removal,
        // removes; in a private mount namespace as root, so that the setup's mounts vanish with it. What is
        // left then goes by rm, which, unlike the fixture's clean-up, copes with any depth.
        const QString launch = verb == "remove-chrooted" ? chroot + " ~/root "
            : verb == "remove-as-nobody" && geteuid() == 0
            ? "chown -R --from=0:0 65534:65534 ~ && setpriv --reuid=65534 --regid=65534 --clear-groups "
            : "";
        got = shell(common + setup + "\nexport REMOVING=1; " + launch + "\"$SELF\" <<'END'\n"
            + operation.section(' ', 1) + "\n" + snapshot
            + "before\nEND\nchmod -R u+rwX ~; chattr -R -ia ~ 2>/dev/null; " + snapshot
            + "after; [ -e \"$INSTALL\" ] || [ -L \"$INSTALL\" ] && echo ' there' || echo ' gone'; rm -rf "
              "\"$INSTALL\"");
        // The child writes its outcome in brackets: one that did not run at all is told from a success.
        static const QRegularExpression outcome(
            "^\\[(.*)\\]( there| gone)$", QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = outcome.match(got);
        got = match.hasMatch() ? (match.captured(1) + match.captured(2)).trimmed() : "the removal did not run: " + got;
    } else {
        shell(common + setup + "\n" + snapshot + "before");
        QDir::setCurrent(home->filePath("Applications/Other")); // where "." and ".." lead, and relative paths
        if (verb == "install") {
            got = installDir().value_or("none") + " " + agentBinary(install->installDir).value_or("none");
        } else if (verb.startsWith("found")) { // "-binary": the list in the binary form; "-huge": padded past the limit
            QByteArray list = propertyList(words, verb.endsWith("binary") ? PlistFormat::binary : PlistFormat::xml);
            if (verb.endsWith("huge"))
                list.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>");
            if (!words.isEmpty()) // without any, the registration is whatever the setup left there
                writeFile(home->filePath(AgentContract::launchAgentPropertyListPath),
                    list.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2))
                        .replace("<string>1</string>", "<integer>1</integer>"));
            got = existingAuthorizedFolder().value_or("none");
        } else if (verb == "plan") {
            std::optional<ProgramRemoval> plan;
            got = outcomeOf([&] { plan = ProgramRemoval::plan(words.value(0), words.value(1, home->path())); });
            if (plan)
                got = plan->kind() == ProgramRemoval::Kind::shared ? "shared" : "user " + plan->userFolder();
        } else {
            got = outcomeOf([&] {
                ProgramRemoval::user(words.value(0)).remove([](const QString&) { QFAIL("no privileged step"); });
            });
            got += QFileInfo(install->installDir).exists() ? " there" : " gone";
        }
        QDir::setCurrent(QDir::rootPath());
        shell(snapshot + "after");
    }
    QCOMPARE(got.replace(install->agentPath, "AGENT").replace(home->path(), "~"), result);
    const QStringList after = recordedLines(home->filePath(".snapshot-after"));
    for (const QString& entry : recordedLines(home->filePath(".snapshot-before")))
        QVERIFY2(
            after.contains(entry) || (result.endsWith("gone") && entry.startsWith("Applications/" + installDirName)),
            qPrintable(entry + " was lost"));
}
