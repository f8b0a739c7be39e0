// Program removal: classification, the per-user deletion on real files, links and mounts, the privileged step.
#include "halden_test.h"

#include "platform/privileged_shell.h"

class RemovalTest : public HaldenTest {
    Q_OBJECT

private slots:
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

    // Only the approval helper may say that its prompt was dismissed, and it is never looked for in PATH. What its
    // answers lead to is seen in the uninstall flows; the real command runs on a scratch root below.
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
        QCOMPARE(outcome("exit 126"), "incomplete");
        platform::setPrivilegeHelperForTesting(std::nullopt);
        if (!QFileInfo::exists("/usr/bin/pkexec")) // the real approval prompt cannot run in a test
            QCOMPARE(outcome("true"), "incomplete");
        qputenv("PATH", path);
        QVERIFY(!QFileInfo::exists(home->filePath("impostor")));
    }

    void administratorCommandOnAScratchRoot_data()
    {
        QTest::addColumn<QStringList>("present"); // in the scratch root before
        QTest::addColumn<QString>("outcome");
        const QStringList all { "/receipt", "/usr/local/bin/halden", "/Applications/Tervan Halden Beta/dist",
            "/forget-fails" };
        QTest::newRow("receipt, tool and folder") << all.mid(0, 3) << QString();
        QTest::newRow("forgetting the receipt fails") << all << QString("incomplete");
        QTest::newRow("folder only") << all.mid(2, 1) << QString();
    }

    void administratorCommandOnAScratchRoot()
    {
        QFETCH(QStringList, present);
        QFETCH(QString, outcome);
        // The real command runs as root, chrooted into a scratch root that holds the system's programs
        // and stand-ins for the receipt database, the tool and the shared folder.
        if (inScratchRoot().isEmpty())
            QSKIP("needs root and a private mount namespace (unshare -m) to stand a scratch root in for /");
        const QString root = home->filePath("root");
        writeScript(root + "/usr/sbin/pkgutil",
            "case $1 in --pkg-info) [ -e /receipt ];; --forget) [ ! -e /forget-fails ] && rm /receipt;; esac");
        for (const QString& item : present)
            writeFile(root + item, "");
        writeScript(home->filePath("helper"), "exec " + inScratchRoot() + " '" + root + "' \"$@\"");
        platform::setPrivilegeHelperForTesting(home->filePath("helper"));
        QCOMPARE(outcomeOf([] { ProgramRemoval::shared().remove(); }), outcome);
        for (const QString& item : present) // all gone, or, where it failed, nothing
            QVERIFY2(QFileInfo::exists(root + item) != outcome.isEmpty(), qPrintable(item));
    }
};

QTEST_MAIN(RemovalTest)
#include "test_removal.moc"
