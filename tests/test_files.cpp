// The installation on disk, on real files, links and mounts: discovery (where the program stands, its agent, an
// existing registration) and removal (classification, the per-user deletion, the privileged step).
#include "halden_test.h"

#include "install/launch_agent_registration.h"
#include "platform/bundle_location.h"
#include "platform/privileged_shell.h"
#include "uninstall/uninstall_texts.h"

namespace {

// The outcome of a removal or its plan: "" for success, else the error's case or sentence.
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

} // namespace

class FilesTest : public HaldenTest {
    Q_OBJECT

    static void fileSystemColumns()
    {
        QTest::addColumn<QString>("setup"); // shell commands run in the home once $INSTALL was made; "sudo": as root
        QTest::addColumn<QString>("operation"); // then what is asked; "~" is the home
        QTest::addColumn<QString>("result");
    }

    void fileSystem()
    {
        QFETCH(QString, setup);
        QFETCH(QString, operation);
        QFETCH(QString, result);
        static const bool privileged = geteuid() == 0 && QProcess::execute("unshare", { "-m", "true" }) == 0;
        const QString verb = operation.section(' ', 0, 0);
        if (!privileged && (setup.contains("sudo ") || verb == "remove-chrooted"))
            QSKIP("needs root and a private mount namespace (unshare -m)");
        const bool removes = verb.startsWith("remove") || verb == "user";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const auto& [name, value] :
            { std::pair { "INSTALL", installDir }, { "NAME", installDirName }, { "AGENT", agentPath },
                { "OTHER", installDir + "/dist/tervan-agent-" + (agentPath.endsWith("x86_64") ? "arm64" : "x86_64") },
                { "QUESTION", verb.startsWith("remove") ? "remove" : operation },
                { "PROGRAM", QCoreApplication::applicationFilePath() }, { "SETUP", setup },
                { "BETWEEN", removes || verb == "bundle" ? operation.section(' ', 1) : "" }, { "VERB", verb },
                { "REMOVES", removes ? "yes" : "" }, { "HELPERS", HALDEN_TEST_HELPERS } })
            environment.insert(name, value);
        // As root in a private mount namespace, so that the setup's mounts vanish with it.
        QProcess sh;
        sh.setProcessEnvironment(environment);
        sh.start(privileged ? "unshare" : "/bin/sh",
            QStringList { "-m", "/bin/sh", HALDEN_TESTS_DIR "/file_system_row.sh" }.mid(privileged ? 0 : 2));
        sh.waitForFinished(-1); // a deep tree on a busy disk takes minutes at times
        const QString said = QString::fromUtf8(sh.readAllStandardOutput()).trimmed();
        const qsizetype end = said.lastIndexOf(']');
        if (said.startsWith("[skip: "))
            QSKIP(qPrintable(said.mid(7, end - 7)));
        QVERIFY2(said.startsWith('[') && end > 0, qPrintable("the question was not answered: " + said));
        QString got = (said.mid(1, end - 1) + said.mid(end + 1)).trimmed();
        QCOMPARE(got.replace(agentPath, "AGENT").replace(home->path(), "~"), result);
        const QStringList after = recordedLines(home->filePath(".snapshot-after"));
        // Only a removal that says it removed files may have removed some, and only from the install folder.
        const bool removedSome
            = result.endsWith("gone") || (result.contains(u'“') && !result.contains(UninstallTexts::noFilesRemoved));
        for (const QString& entry : recordedLines(home->filePath(".snapshot-before")))
            QVERIFY2(after.contains(entry) || (removedSome && entry.startsWith("Applications/" + installDirName)),
                qPrintable(entry + " was lost"));
    }

public:
    // Started by a file-system row with $QUESTION set: answers it as the program does, in a process of its own, and
    // prints the answer in brackets instead of testing, so that a child that did not run is told from a success. The
    // commands on its input run in between: after a removal was planned, before it removes; after the bundle was looked
    // for, before it is looked for again; before any other question.
    static void initMain()
    {
        const QString question = qEnvironmentVariable("QUESTION"), install = qEnvironmentVariable("INSTALL");
        if (question.isEmpty())
            return;
        const QString verb = question.section(' ', 0, 0);
        const QStringList words = QProcess::splitCommand(question.section(' ', 1).replace("~", QDir::homePath()));
        if (verb != "bundle")
            platform::setBundlePathForTesting(install + "/Halden Setup");
        std::optional<ProgramRemoval> plan;
        const auto openDescriptors = [] { return QDir("/proc/self/fd").count(); };
        const qsizetype descriptorsBefore = openDescriptors();
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
            plan.reset();
            if (openDescriptors() != descriptorsBefore)
                got += " (a descriptor left open)";
        }
        std::exit(std::fputs(("[" + got + "]").toUtf8().constData(), stdout) < 0);
    }

private slots:
    void discovery_data()
    {
        fileSystemColumns();
        row("install folder", "", "install", "~/Applications/Tervan Halden Beta AGENT");
        row("install folder of another case",
            "INSTALL=~/Applications/'tervan halden beta' && mv ~/Applications/T* \"$INSTALL\"", "install", "none");
        row("agent not executable", "chmod -x \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("agent a folder", "rm \"$AGENT\"; mkdir \"$AGENT\"", "install", "~/Applications/Tervan Halden Beta none");
        row("other processor's agent", "mv \"$AGENT\" \"$OTHER\"", "install", "~/Applications/Tervan Halden Beta none");
        row("a number among the arguments", "mkdir p", "found 1 --allow-root ~/p", "none");
        row("registered, by a link", "mkdir p; ln -s p 'my prøject'",
            "found-binary /agent -v --allow-root \"~/my prøject/\"", "~/my prøject");
        row("switch last", "", "found /agent --allow-root", "none");
        row("first names a file", "touch f; mkdir p", "found --allow-root ~/f --allow-root ~/p", "none");
        row("relative", "mkdir Applications/Other/p", "found --allow-root p", "none"); // where the question is asked
        row("over the size limit", "mkdir p", "found-huge --allow-root ~/p", "none");
        // Started through a link to it in another folder that points through a link to its folder: the link to the
        // program followed, the one to its folder kept; asked afresh once its folder was renamed.
        row("bundle, started through links",
            "mkdir -p real/B && cp \"$PROGRAM\" real/B && ln -s real linked && ln -s \"linked/B/${PROGRAM##*/}\" p && "
            "PROGRAM=~/p",
            "bundle mv real/B 'real/B 2'", "~/linked/B ~/real/B 2");
        // The library aborts if asked naively.
        row("NUL in a string", "mkdir 'pü'", "found-binary --allow-root ~/pü", "none");
        // A reader that waited for a writer would hang the start-up.
        row("registration a FIFO",
            "mkdir -p Library/LaunchAgents && mkfifo \"Library/LaunchAgents/com.tervan.local-agent.plist\"", "found",
            "none");
    }

    void discovery() { fileSystem(); }
    void removal_data()
    {
        fileSystemColumns();
        row("shared", "", "plan \"/Applications/./Tervan Halden Beta/dist/..\"", "shared");
        row("shared, other case", "", "plan \"/applications/Tervan Halden Beta\"", "unsupported");
        row("user, linked home", "ln -s ~ ~/linked", "plan \"~/linked/Applications/Tervan Halden Beta\" ~/linked",
            "user ~/linked/Applications/Tervan Halden Beta");
        row("user, not there", "rm -r \"$INSTALL\"", "plan \"~//Applications/Tervan Halden Beta\"",
            "user ~/Applications/Tervan Halden Beta");
        row("desktop", "", "plan \"~/Desktop/Tervan Halden Beta\"", "unsupported");
        row("linked to the shared place", "rm -r \"$INSTALL\"; ln -s '/Applications/Tervan Halden Beta' \"$INSTALL\"",
            "plan \"~/Applications/Tervan Halden Beta\"", "unsupported");
        // ~/Applications leads to the scratch root's /Applications, by a path that a text comparison would miss.
        row("Applications linked to the shared folder",
            "mkdir root && mv Applications root && ln -s ~/root/Applications Applications", "remove-chrooted",
            "unsupported there");
        row("the shared folder there too", "mkdir -p \"root/Applications/$NAME\"", "remove-chrooted", "gone");
        row("already gone", "", "remove rm -r \"$INSTALL\"", "gone");
        row("nothing there, then or now", "rm -r \"$INSTALL\"", "remove", "gone");
        row("nothing there, a folder made since", "rm -r \"$INSTALL\"", "remove mkdir \"$INSTALL\"",
            "unsupported there");
        row("gone with its parent", "", "remove rm -r \"$INSTALL\" && mv Applications moved", "gone");
        // Each layer reports its own device for its files; deleting in a folder of the lower layer copies it up.
        row("an overlay of two disks, the folder in its lower layer",
            "mkdir lo up && mount -t tmpfs l lo && mount -t tmpfs u up && mkdir up/u up/w && cp -a Applications/. lo "
            "&& "
            "mount -t overlay o -o \"lowerdir=$HOME/lo,upperdir=$HOME/up/u,workdir=$HOME/up/w,xino=off\" Applications "
            "|| skip no overlay file system",
            "remove", "gone");
        row("openat2 refused by a sandbox's filter", "\"$HELPERS/no-openat2\" true && RUN_WITH=$HELPERS/no-openat2",
            "remove", "gone");
        row("parent swapped for a link", "", "remove mv Applications moved; ln -s elsewhere Applications",
            "unsupported there");
        row("folder swapped for a link", "", "remove mv \"$INSTALL\" moved; ln -s \"elsewhere/$NAME\" \"$INSTALL\"",
            "unsupported there");
        // ext4 gives the new folder the inode number the old one had.
        const QString madeAgain = "remove rm -r \"$INSTALL\"; mkdir \"$INSTALL\"; echo > \"$INSTALL/keep\"";
        row("folder made again at its path", "", madeAgain, "unsupported there");
        row("made again on a disk without birth times",
            "truncate -s 16M disk && mkfs.ext4 -q -F -I 128 disk >/dev/null && mkdir d && mount -o loop disk d && "
            "mkdir "
            "d/A && cp -a Applications/. d/A && mount --bind d/A Applications || skip no loop devices",
            madeAgain, "unsupported there");
        // Another program acts just before the removal deletes "a/b/race".
        const QString racing = "mkdir -p \"$INSTALL/a/b\" && echo > \"$INSTALL/a/b/race\" && RUN_WITH=$RACING && "
                               "export RACE_BEFORE=race RACE_COMMAND=";
        // The file is saved into the folder's other subfolder, which the removal has not gone through yet.
        row("a folder moved out, a file saved into it",
            racing
                + "'mv \"$INSTALL/a\" ~/moved && for d in b c; do [ $d = ${RACE_DIR##*/} ] || echo > ~/moved/$d/saved; "
                  "done' AFTER='cd ~/moved/? && echo *' && mkdir \"$INSTALL/a/c\" && echo > \"$INSTALL/a/c/race\"",
            "remove",
            "“a” was changed by another program while Halden was being removed. Click Uninstall to retry. there race "
            "saved");
        row("the folder renamed, an empty one made at its path",
            racing
                + "'mv \"$INSTALL\" ~/renamed && mkdir \"$INSTALL\"' AFTER='rmdir ~/renamed \"$INSTALL\" && echo "
                  "empty'",
            "remove",
            "Another program moved Halden’s folder to “~/renamed” while Halden was being removed. Delete it there "
            "yourself. there empty");
        // On a tmpfs as root: on a disk its 400 MB of folders take minutes at times.
        row("100,000 folders deep, 64 descriptors",
            "ulimit -n 64; ulimit -s 8192; [ $(id -u) != 0 ] || mount -t tmpfs t Applications && mkdir -p "
            "\"$INSTALL/dist\" && perl -e 'chdir shift; for (1..100000) { mkdir \"d\"; chdir \"d\" or die }' "
            "\"$INSTALL/dist\"",
            "remove", "gone");
        const QString retry = " then click Uninstall to retry. No files were removed. there";
        row("a folder mounted inside", "mkdir \"$INSTALL/dist/x\" && sudo mount --bind precious \"$INSTALL/dist/x\"",
            "remove", "“dist/x” is a disk or share mounted inside Halden’s folder. Eject it," + retry);
        row("the folder a mount point", "sudo mount --bind \"$INSTALL\" \"$INSTALL\"", "remove",
            "Halden’s folder is a disk or share of its own. Eject it," + retry);
        row("a disk inside whose server does not answer",
            "[ -c /dev/fuse ] || skip no FUSE; mkdir \"$INSTALL/dist/x\" && "
            "UNSEEN='sudo \"$HELPERS/dead-fuse\" \"$INSTALL/dist/x\" > ~/.server-pid'",
            "remove", "“dist/x” is a disk or share mounted inside Halden’s folder. Eject it," + retry);
        const QString mountedMidway = " is a disk or share mounted inside Halden’s folder. Eject it, then click "
                                      "Uninstall to retry. there";
        row("a disk mounted over a folder above", racing + "'sudo mount --bind ~/precious \"$INSTALL/a\"'", "remove",
            "“a”" + mountedMidway);
        // Saved into the folder after it was listed: left there, and the folder with it.
        row("a file saved into the folder meanwhile", racing + "'echo > \"$INSTALL/late\"' AFTER='ls \"$INSTALL\"'",
            "remove",
            "“Tervan Halden Beta” was changed by another program while Halden was being removed. Click Uninstall to "
            "retry. there late");
        row("a disk mounted on the folder being emptied", racing + "'sudo mount --bind ~/precious \"$INSTALL/a/b\"'",
            "remove", "“a/b”" + mountedMidway);
        row("a read-only disk", "sudo mount --bind -o ro Applications Applications", "remove",
            "“~/Applications” is on a disk or share that can only be read. Mount it for writing," + retry);
        const QString file = "f=\"$INSTALL/Halden Setup/halden-setup\"; echo > \"$f\" && sudo chattr ";
        const QString locked = " is locked. An administrator can unlock it with “sudo chattr -i -a”," + retry;
        row("parent immutable", "sudo chattr +i Applications", "remove", "“~/Applications”" + locked);
        row("a file immutable", file + "+i \"$f\"", "remove", "“Halden Setup/halden-setup”" + locked);
        row("a file append-only", file + "+a \"$f\"", "remove", "“Halden Setup/halden-setup”" + locked);
        const QString noPermission
            = "You don’t have permission to change “%1”. Give yourself write access to it in its Properties in the "
              "file manager or with “chmod u+w”,"
            + retry;
        row("parent not writable", "chmod a-w Applications", "remove-as-nobody", noPermission.arg("~/Applications"));
        row("the folder not writable", "chmod a-w \"$INSTALL\"", "remove-as-nobody",
            noPermission.arg("Tervan Halden Beta"));
        row("a folder inside not writable", "chmod a-w \"$INSTALL/dist\"", "remove-as-nobody",
            noPermission.arg("dist"));
        row("another's sticky Applications folder",
            "chmod 1777 Applications && sudo chown 4242 Applications \"$INSTALL\"", "remove-as-nobody",
            noPermission.arg("~/Applications"));
        row("another's folder, open to all",
            "mkdir -m 777 \"$INSTALL/d\" && echo > \"$INSTALL/d/f\" && sudo chown 4242 \"$INSTALL/d\" \"$INSTALL/d/f\"",
            "remove-as-nobody", "gone");
        row("another's folder in a sticky folder",
            "mkdir -m 1777 \"$INSTALL/d\" \"$INSTALL/d/e\" && sudo chown 4242 \"$INSTALL/d\" \"$INSTALL/d/e\"",
            "remove-as-nobody", noPermission.arg("d/e"));
        const QString unreadable = " couldn’t be opened because you don’t have permission to view it. No files were "
                                   "removed. there";
        row("a folder deep inside unreadable", "mkdir -p \"$INSTALL/dist/a/b\" && chmod a-r \"$INSTALL/dist/a/b\"",
            "remove-as-nobody", "The folder “dist/a/b”" + unreadable);
        row("home unreadable", "chmod a-rwx ~", "remove-as-nobody", "The folder “~”" + unreadable);
        row("user, relative", "", "user ..", "unsupported there");
        row("user, another name", "", "user ~/Applications/Other", "unsupported there");
    }

    void removal() { fileSystem(); }

    // Only the approval helper may say that its prompt was dismissed, and it is never looked for in PATH. The
    // statement's command runs as it is written, its escapes read; what the helper's answers lead to is seen in the
    // flows.
    void privilegedOutcomes()
    {
        const auto outcome = [](const QString& command) {
            return outcomeOf([&] {
                ProgramRemoval::authorize("do shell script \"" + command + "\" with administrator privileges");
            });
        };
        const QByteArray path = qgetenv("PATH");
        writeScript(home->filePath("bin/pkexec"), "echo impostor > '" + home->filePath("impostor") + "'");
        qputenv("PATH", QFile::encodeName(home->filePath("bin")) + ":" + path);
        writeScript(home->filePath("helper"), "exec \"$@\"");
        platform::setPrivilegeHelperForTesting(home->filePath("helper"));
        const QString ran = home->filePath("ran");
        QCOMPARE(outcome("printf '%s\\\\n' \\\"a b\\\" > '" + ran + "'; exit 126"), "incomplete");
        QCOMPARE(recordedLines(ran), QStringList("a b"));
        platform::setPrivilegeHelperForTesting(std::nullopt);
        if (!QFileInfo::exists("/usr/bin/pkexec")) // the real approval prompt cannot run in a test
            QCOMPARE(outcome("true"), "incomplete");
        qputenv("PATH", path);
        QVERIFY(!QFileInfo::exists(home->filePath("impostor")));
    }
};

QTEST_MAIN(FilesTest)
#include "test_files.moc"
