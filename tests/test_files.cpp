// The installation on disk, on real files, links and mounts: discovery (where the program stands, its agent, an
// existing registration) and removal (classification, the per-user deletion, the privileged step).
#include "halden_test.h"

#include "install/launch_agent_registration.h"
#include "platform/privileged_shell.h"

class FilesTest : public HaldenTest {
    Q_OBJECT

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
        row("registered, by a link", "mkdir p; ln -s p 'my prøject'", "found /agent -v --allow-root \"~/my prøject/\"",
            "~/my prøject");
        row("switch last", "", "found /agent --allow-root", "none");
        row("joined with =", "mkdir p", "found --allow-root=~/p", "none");
        row("first names a file", "touch f; mkdir p", "found --allow-root ~/f --allow-root ~/p", "none");
        row("relative", "mkdir p", "found --allow-root p", "none");
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
        row("already gone", "", "remove rm -r \"$INSTALL\"", "gone");
        row("parent swapped for a link", "", "remove mv Applications moved; ln -s elsewhere Applications",
            "unsupported there");
        row("folder swapped for a link", "", "remove mv \"$INSTALL\" moved; ln -s \"elsewhere/$NAME\" \"$INSTALL\"",
            "unsupported there");
        // ext4 gives the new folder the inode number the old one had.
        row("folder made again at its path", "",
            "remove rm -r \"$INSTALL\"; mkdir \"$INSTALL\"; echo > \"$INSTALL/keep\"", "unsupported there");
        // On a tmpfs as root: on a disk its 400 MB of folders take minutes at times.
        row("100,000 folders deep, 64 descriptors",
            "ulimit -n 64; ulimit -s 8192; [ $(id -u) != 0 ] || mount -t tmpfs t Applications && mkdir -p "
            "\"$INSTALL/dist\" && "
            "perl -e 'chdir shift; for (1..100000) { mkdir \"d\"; chdir \"d\" or die }' \"$INSTALL/dist\"",
            "remove", "gone");
        const QString retry = " then click Uninstall to retry. No files were removed. there";
        row("a folder mounted inside", "mkdir \"$INSTALL/dist/x\" && sudo mount --bind precious \"$INSTALL/dist/x\"",
            "remove", "“dist/x” is a disk or share mounted inside Halden’s folder. Eject it," + retry);
        row("the folder a mount point", "sudo mount --bind \"$INSTALL\" \"$INSTALL\"", "remove",
            "Halden’s folder is a disk or share of its own. Eject it," + retry);
        const QString file = "f=\"$INSTALL/Halden Setup/halden-setup\"; echo > \"$f\" && sudo chattr ";
        const QString inTheFinder = " in its Get Info window in the Finder," + retry;
        const QString locked = " is locked. Unlock it" + inTheFinder;
        row("parent immutable", "sudo chattr +i Applications", "remove", "“~/Applications”" + locked);
        row("a file immutable", file + "+i \"$f\"", "remove", "“Halden Setup/halden-setup”" + locked);
        row("a file append-only", file + "+a \"$f\"", "remove", "“Halden Setup/halden-setup”" + locked);
        const QString noPermission
            = "You don’t have permission to change “%1”. Give yourself Read & Write access to it";
        row("a folder inside not writable", "chmod a-w \"$INSTALL/dist\"", "remove-as-nobody",
            noPermission.arg("dist") + inTheFinder);
        row("another's folder in a sticky folder",
            "mkdir -m 1777 \"$INSTALL/d\" \"$INSTALL/d/e\" && sudo chown 4242 \"$INSTALL/d\" \"$INSTALL/d/e\"",
            "remove-as-nobody", noPermission.arg("d/e") + inTheFinder);
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
