// The program started as a user starts it, with the development agent, from start-up repair to uninstall.
#include "halden_test.h"

#include "platform/single_instance.h"
#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"
#include <QDesktopServices>
#include <QSysInfo>

class JourneyTest : public HaldenTest {
    Q_OBJECT

private slots:
    void journey()
    {
        // The development agent, a project folder chosen in the real panel, and
        // names that a careless shell command or a link-following deletion would
        // turn against the user's own files.
        const QString top = "Tervan Halden Beta/"; // exactly the program, its images and the agent
        QCOMPARE(unpackThePackage(),
            QStringList({ top, top + "Halden Setup/", top + "Halden Setup/HaldenInstaller.png",
                top + "Halden Setup/HaldenInstaller@2x.png", top + "Halden Setup/halden-setup", top + "dist/",
                top + "dist/tervan-agent-" + QSysInfo::currentCpuArchitecture() }));
        QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
        const QString project = home->filePath("-rf 'quoted' \"double\" .. $HOME");
        writeFile(project + "/src/main.ts", "export {}\n");
        QVERIFY(QFile::link(home->path(), install->installDir + "/dist/link to home"));
        // Started as a user starts it, the program finds the registration and repairs at once.
        const QString registration = home->filePath(AgentContract::launchAgentPropertyListPath);
        writeFile(registration, propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
        QProcess program;
        program.start(install->bundle + "/halden-setup");
        // The registration the development agent writes, in XML, names the folder as the program reads it.
        QTRY_VERIFY_WITH_TIMEOUT(recordedLines(registration).join(' ').contains("<key>RunAtLoad</key>"), 20000);
        QCOMPARE(existingAuthorizedFolder(), project);
        QVERIFY(QFile::remove(registration)); // the program goes on running until the test ends
        start().window->show();
        for (const char* scheme : { "https", "mailto" })
            QDesktopServices::setUrlHandler(scheme, this, "open");
        c->helpLinkButton->click();
        c->supportLinkButton->click();
        for (const QString& choice : QStringList { "cancel", project }) // the panel, cancelled first
            expect("panel", choice), c->chooseButton->click();
        c->setupButton->click();
        QVERIFY(waitForRunEnd(*c));
        QCOMPARE(enabledControls(), "set-up repair choose open uninstall close");
        QCOMPARE(statusShown() + " | " + c->folderLabel->text(), "confirmed | " + project);
        writeFile(project + "/.halden/history.json", "[]");
        expect("confirm", "credentials history");
        expect("notice");
        QTimer::singleShot(0, c->uninstallButton, &QPushButton::click);
        QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
        QCOMPARE(QCoreApplication::exec(), 0); // the program ended after the final alert
        const QString perUser
            = "Stops and removes the local agent for your account. Removes Halden from your Applications folder. "
              "The VS Code extension stays installed. Project history and saved credentials are kept unless you "
              "select their removal below.";
        const QString panel
            = "Authorize | " + WindowTexts::folderPanelMessage + " | 2 | " + home->path(); // folders, at home
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

    void startsWhereNoOtherStartCanBeMet()
    {
        QVERIFY(QDir(home->path()).mkdir("halden-setup.lock")); // in the runtime folder
        QVERIFY(platform::SingleInstance().claim());
    }
};

QTEST_MAIN(JourneyTest)
#include "test_journey.moc"
