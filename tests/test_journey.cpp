// The program started as a user starts it, with the development agent, from start-up repair to uninstall.
#include "halden_test.h"

#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"
#include <QDesktopServices>
#include <QSysInfo>

class JourneyTest : public HaldenTest {
    Q_OBJECT

    // The package as users get it, made by cpack from the install rules and unpacked into
    // ~/Applications over the fixture's install folder: exactly the program, its images and the agent.
    void unpackThePackage()
    {
        const QTemporaryDir packed;
        const auto run = [](const QString& program, const QStringList& arguments) {
            QProcess process;
            process.start(program, arguments);
            return process.waitForFinished(60000) && process.exitCode() == 0 ? process.readAllStandardOutput() : "";
        };
        QVERIFY(!run(HALDEN_CPACK, { "-G", "TGZ", "--config", HALDEN_CPACK_CONFIG, "-B", packed.path() }).isEmpty());
        const QString archive = QDir(packed.path()).entryInfoList({ "*.tar.gz" }).value(0).filePath();
        const QString top = "Tervan Halden Beta/";
        QStringList listing = QString(run("tar", { "-tzf", archive })).split('\n', Qt::SkipEmptyParts);
        listing.sort();
        QCOMPARE(listing,
            QStringList({ top, top + "Halden Setup/", top + "Halden Setup/HaldenInstaller.png",
                top + "Halden Setup/HaldenInstaller@2x.png", top + "Halden Setup/halden-setup", top + "dist/",
                top + "dist/tervan-agent-" + QSysInfo::currentCpuArchitecture() }));
        QVERIFY(!run("tar", { "-xvzf", archive, "-C", home->filePath("Applications") }).isEmpty());
    }

private slots:
    void journey()
    {
        // The development agent, a project folder chosen in the real panel, and
        // names that a careless shell command or a link-following deletion would
        // turn against the user's own files.
        unpackThePackage();
        if (QTest::currentTestFailed())
            return;
        QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
        const QString project = home->filePath("-rf 'quoted' \"double\" .. $HOME");
        writeFile(project + "/src/main.ts", "export {}\n");
        QVERIFY(QFile::link(home->path(), install->installDir + "/dist/link to home"));
        // Started as a user starts it, the program finds the registration and repairs at once.
        const QString registration = home->filePath(AgentContract::launchAgentPropertyListPath);
        writeFile(registration, propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
        QProcess program;
        program.start(install->bundle + "/halden-setup");
        QTRY_VERIFY_WITH_TIMEOUT(
            recordedLines(registration).join(' ').contains("RunAtLoad"), 20000); // the development agent's own
        QVERIFY(QFile::remove(registration)); // the program goes on running until the test ends
        start().window->show();
        for (const char* scheme : { "https", "mailto" })
            QDesktopServices::setUrlHandler(scheme, this, "open");
        c->helpLinkButton->click();
        c->supportLinkButton->click();
        for (const QString& choice : QStringList { "cancel", project }) // the panel, cancelled first
            answer = choice, c->chooseButton->click();
        c->setupButton->click();
        QVERIFY(waitForRunEnd(*c));
        QCOMPARE(shown() + " | " + c->folderLabel->text(),
            "EEEEEC | confirmed | " + c->log->toPlainText().replace('\n', '/') + " | " + project);
        writeFile(project + "/.halden/history.json", "[]");
        answer = "credentials history";
        QTimer::singleShot(0, c->uninstallButton, &QPushButton::click);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0); // the program ended after the final alert
        const QString perUser
            = "Stops and removes the local agent for your account. Removes Halden from your Applications folder. "
              "The VS Code extension stays installed. Project history and saved credentials are kept unless you "
              "select their removal below.";
        const QString panel = "Authorize | " + WindowTexts::folderPanelMessage + " | 2"; // directories only
        QCOMPARE(seen,
            QStringList({ helpURL.toString(), "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup",
                panel, panel, "Uninstall Tervan Halden?", "Halden was uninstalled." }));
        QCOMPARE(uninstallConfirmationText(ProgramRemoval::plan(install->installDir, home->path())), perUser);
        QCOMPARE(uninstallConfirmationText(ProgramRemoval::shared()),
            QString(perUser).replace("Removes Halden from your Applications folder.",
                "Removes the shared Halden application and CLI from this Mac. macOS will ask for administrator "
                "approval."));
        // No settings either: Qt's folder panel would write "~/.config/QtProject.conf".
        for (const QString& gone :
            { registration, install->installDir, project + "/.halden", home->filePath(".config") })
            QVERIFY2(!QFileInfo::exists(gone), qPrintable(gone));
        for (const QString& kept : { project + "/src/main.ts", home->filePath(".vscode/extensions/tervan.halden-0.9.0"),
                 home->filePath("Applications") })
            QVERIFY2(QFileInfo::exists(kept), qPrintable(kept));
    }
};

QTEST_MAIN(JourneyTest)
#include "test_journey.moc"
