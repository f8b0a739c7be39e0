// Rows of a file-system setup and a question, shared by discovery and removal.
#include "halden_test.h"

#include "install/launch_agent_registration.h"
#include "platform/bundle_location.h"

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

// Started by a file-system row with $QUESTION set: answers it as the program does, in a process of its own, and
// prints the answer in brackets instead of testing, so that a child that did not run is told from a success. The
// commands on its input run in between: after a removal was planned, before it removes; after the bundle was looked
// for, before it is looked for again; before any other question.
void HaldenTest::initMain()
{
    const QString question = qEnvironmentVariable("QUESTION"), install = qEnvironmentVariable("INSTALL");
    if (question.isEmpty())
        return;
    const QString verb = question.section(' ', 0, 0);
    const QStringList words = QProcess::splitCommand(question.section(' ', 1).replace("~", QDir::homePath()));
    if (verb != "bundle")
        platform::setBundlePathForTesting(install + "/Halden Setup");
    std::optional<ProgramRemoval> plan;
    QString got = verb == "remove" ? outcomeOf([&] { plan = ProgramRemoval::plan(install); })
        : verb == "bundle"         ? platform::bundlePath() + " "
                                   : "";
    [[maybe_unused]] const int between = std::system("exec /bin/sh");
    if (verb == "bundle") {
        got += platform::bundlePath();
    } else if (verb == "install") {
        const std::optional<QString> found = ::installDir();
        got = found ? *found + " " + agentBinary(*found).value_or("none") : "none";
    } else if (verb.startsWith("found")) { // "-binary": the list in the binary form; "-huge": padded past the limit
        QByteArray list = propertyList(words, verb.endsWith("binary") ? PlistFormat::binary : PlistFormat::xml);
        if (verb.endsWith("huge"))
            list.replace("</plist>", QByteArray(maxLaunchAgentPropertyListSize, ' ') + "</plist>");
        if (!words.isEmpty()) // without any, the registration is whatever the setup left there
            writeFile(QDir::home().filePath(AgentContract::launchAgentPropertyListPath),
                list.replace(QByteArray("\x00\xFC", 2), QByteArray("\x00\x00", 2))
                    .replace("<string>1</string>", "<integer>1</integer>"));
        got = existingAuthorizedFolder().value_or("none");
    } else if (verb == "plan") {
        got = outcomeOf([&] { plan = ProgramRemoval::plan(words.value(0), words.value(1, QDir::homePath())); });
        if (plan)
            got = plan->kind() == ProgramRemoval::Kind::shared ? "shared" : "user " + plan->userFolder();
    } else if (verb == "user" || plan) {
        got = outcomeOf([&] {
            (plan ? *plan : ProgramRemoval::user(words.value(0))).remove([](const QString&) {
                throw ProgramRemovalError(ProgramRemovalError::incomplete); // no privileged step
            });
        });
    }
    std::exit(std::fputs(("[" + got + "]").toUtf8().constData(), stdout) < 0);
}

void HaldenTest::fileSystem()
{
    QFETCH(QString, setup);
    QFETCH(QString, operation);
    QFETCH(QString, result);
    const QString verb = operation.section(' ', 0, 0), self = QCoreApplication::applicationFilePath();
    const QString chroot = inScratchRoot({ home->path(), QFileInfo(self).path() });
    if (chroot.isEmpty() && (setup.contains("sudo ") || verb == "remove-chrooted"))
        QSKIP("needs root and a private mount namespace (unshare -m)");
    const bool removes = verb.startsWith("remove") || verb == "user", between = removes || verb == "bundle";
    // As root in a private mount namespace, so that the setup's mounts vanish with it; some removals as nobody, or
    // chrooted into a scratch root.
    const QString launch = verb == "remove-chrooted" ? chroot + " ~/root "
        : verb == "remove-as-nobody" && geteuid() == 0
        ? "chown -R --from=0:0 65534:65534 ~ && setpriv --reuid=65534 --regid=65534 --clear-groups "
        : "";
    // Files a wrong deletion would take: behind links in the install folder, beside it, and in a folder of the same
    // name elsewhere. Every row compares what the home holds before and after what is asked: nothing may be lost
    // outside the install folder, nor anything inside it unless it went.
    const QString snapshot = "find ~ -maxdepth 9 -printf '%P %i\\n' | sort > ~/.snapshot-";
    const QString script
        = QString("sudo() { \"$@\"; }; cd ~ && export INSTALL='%1' NAME='%2' AGENT='%3' "
                  "OTHER='%1/dist/tervan-agent-%4' QUESTION='%5' PROGRAM='%6'; ")
              .arg(installDir, installDirName, agentPath, agentPath.endsWith("x86_64") ? "arm64" : "x86_64",
                  verb.startsWith("remove") ? "remove" : QString(operation).replace("'", "'\\''"), self)
        + "mkdir -p precious Applications/Other \"elsewhere/$NAME\" && echo > precious/keep && "
          "echo > Applications/Other/keep && echo > \"elsewhere/$NAME/keep\" && ln -s ~/precious "
          "\"$INSTALL/dist/link\" && ln -s ~/precious/keep \"$INSTALL/link\"; "
        + setup + "\ncd ~/Applications/Other 2>/dev/null; " + launch + "\"$PROGRAM\" <<'END'\ncd ~\n"
        + (between ? operation.section(' ', 1) : "") + "\n" + snapshot
        + "before\nEND\nchmod -R u+rwX ~; chattr -R -ia ~ 2>/dev/null; " + snapshot + "after; "
        + (removes ? "[ -e \"$INSTALL\" ] || [ -L \"$INSTALL\" ] && echo ' there' || echo ' gone'; " : "")
        + "rm -rf \"$INSTALL\""; // which, unlike the fixture's clean-up, copes with any depth
    QProcess sh;
    sh.start(chroot.isEmpty() ? "/bin/sh" : "unshare",
        QStringList { "-m", "/bin/sh", "-c", script }.mid(chroot.isEmpty() ? 2 : 0));
    sh.waitForFinished(-1); // a deep tree on a busy disk takes minutes at times
    const QString said = QString::fromUtf8(sh.readAllStandardOutput()).trimmed();
    static const QRegularExpression answer(
        "^\\[(.*)\\]( there| gone)?$", QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = answer.match(said);
    QString got = match.hasMatch() ? (match.captured(1) + match.captured(2)).trimmed()
                                   : "the question was not answered: " + said;
    QCOMPARE(got.replace(agentPath, "AGENT").replace(home->path(), "~"), result);
    const QStringList after = recordedLines(home->filePath(".snapshot-after"));
    for (const QString& entry : recordedLines(home->filePath(".snapshot-before")))
        QVERIFY2(
            after.contains(entry) || (result.endsWith("gone") && entry.startsWith("Applications/" + installDirName)),
            qPrintable(entry + " was lost"));
}
