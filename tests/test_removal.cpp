// Program removal: classification, the per-user deletion on real files and links, the privileged step.
#include "halden_test.h"

#include "platform/privileged_shell.h"

class RemovalTest : public HaldenTest {
    Q_OBJECT

private slots:
    void removal_data()
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
        QTest::newRow("folder swapped for a link")
            << ""
            << "remove mv \"$INSTALL\" moved; ln -s \"elsewhere/$NAME\" \"$INSTALL\""
            << "unsupported there";
        QTest::newRow("folder swapped for another") << ""
                                                    << "remove mv \"$INSTALL\" moved; mkdir \"$INSTALL\""
                                                    << "unsupported there";
        for (const char* folder : { "", ".", "..", "../Other" })
            QTest::addRow("user(\"%s\")", folder)
                << "" << QString("user ") + (*folder ? folder : "''") << "unsupported there";
    }

    void removal() { fileSystem(); }
    void privilegedOutcomes()
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
            const QString result = outcomeOf([&] {
                ProgramRemoval::authorize("do shell script \"" + command + "\" with administrator privileges");
            });
            platform::setPrivilegeHelperForTesting(std::nullopt);
            qputenv("PATH", path);
            QCOMPARE(result + " " + recordedLines(home->filePath("out")).join(' ').trimmed(), outcome);
        }
        QCOMPARE(QSet({ ProgramRemovalError(ProgramRemovalError::cancelled),
                          ProgramRemovalError(ProgramRemovalError::incomplete) })
                     .size(),
            2); // hashed by case
    }

    void administratorCommandOnAScratchRoot()
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
};

QTEST_MAIN(RemovalTest)
#include "test_removal.moc"
