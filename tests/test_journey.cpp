// The program started as a user starts it, with the development agent, from start-up repair to uninstall.
#include "halden_test.h"

#include "platform/single_instance.h"
#include "setup/window_texts.h"
#include "uninstall/uninstall_dialogs.h"
#include <QDesktopServices>
#include <QScopeGuard>
#include <QSysInfo>
#include <csignal>
#include <span>
#include <sys/prctl.h>

#include <X11/Xlib.h> // last: its macros would rename Qt's own names
#include <X11/Xutil.h>

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

    // Started again from the desktop, while the first runs minimized or after it
    // crashed (killed, so its names in the runtime folder stay behind): one
    // window, the product's own title and picture, in front and focused.
    void startedAgain_data()
    {
        QTest::addColumn<bool>("firstCrashed");
        QTest::addColumn<bool>("throughALink"); // in another folder, started by its path
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("while running") << false << false << QStringList();
        QTest::newRow("after a crash, with Qt's switches")
            << true << false << QStringList({ "-qwindowtitle", "X", "-reverse" });
        QTest::newRow("after a crash, through a link") << true << true << QStringList();
    }
    void startedAgain()
    {
        QFETCH(bool, firstCrashed);
        QFETCH(bool, throughALink);
        QFETCH(QStringList, arguments);
        const auto endWithTheTest = [] { prctl(PR_SET_PDEATHSIG, SIGTERM); }; // should it die half-way
        QProcess server;
        server.setChildProcessModifier(endWithTheTest);
        server.start("Xvfb", { "-displayfd", "1", "-screen", "0", "1024x768x24" });
        QVERIFY(server.waitForReadyRead(10000));
        const QByteArray display = ":" + server.readAll().trimmed();
        Display* x = XOpenDisplay(display);
        const auto stop = qScopeGuard([&] {
            XCloseDisplay(x);
            server.terminate(); // so that it removes its lock and socket
            server.waitForFinished();
        });
        Window program = 0; // the last shown window with a title
        XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }); // a window may go while it is read
        const auto shown = [x, &program] { // the windows on the screen from the front: title, focus, picture
            QStringList windows;
            Window unused, focus, *children = nullptr;
            unsigned count = 0;
            int revert = 0;
            XGetInputFocus(x, &focus, &revert);
            XQueryTree(x, DefaultRootWindow(x), &unused, &unused, &children, &count);
            for (const Window window : std::span(children, count)) {
                XWindowAttributes attributes {};
                XTextProperty title {};
                XGetWindowAttributes(x, window, &attributes);
                XGetTextProperty(x, window, &title, XInternAtom(x, "_NET_WM_NAME", False));
                // None of a window not shown: the error is ignored.
                XImage* picture = XGetImage(x, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
                if (picture) {
                    program = title.value ? window : program;
                    const QByteArrayView pixels(picture->data, picture->bytes_per_line * picture->height);
                    windows.prepend(title.value ? QString::fromUtf8(reinterpret_cast<char*>(title.value), title.nitems)
                                + (window == focus ? " focused " : " ") + QString::number(qHash(pixels))
                                                : "another program");
                    XDestroyImage(picture);
                }
                XFree(title.value);
            }
            XFree(children);
            return windows;
        };
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", display);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        QProcess first, second, third;
        for (QProcess* start : { &first, &second, &third }) {
            start->setProcessEnvironment(environment);
            start->setChildProcessModifier(endWithTheTest);
        }
        first.start(HALDEN_PROGRAM);
        QString window; // once it has settled
        QTRY_VERIFY_WITH_TIMEOUT(shown() == QStringList(window = shown().value(0))
                && (QTest::qWait(200), shown() == QStringList(window)) && window.startsWith(productName + " focused "),
            20000);
        const Window another = XCreateSimpleWindow(x, DefaultRootWindow(x), 0, 0, 1, 1, 0, 0, 0);
        XMapRaised(x, another);
        if (firstCrashed)
            first.kill();
        else { // minimized, as a window manager does it
            const long iconic[] = { IconicState, None };
            const Atom state = XInternAtom(x, "WM_STATE", False);
            XChangeProperty(
                x, program, state, state, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(iconic), 2);
            XUnmapWindow(x, program);
        }
        XSync(x, False);
        QVERIFY(QFile::link(HALDEN_PROGRAM, home->filePath("setup")));
        second.start(throughALink ? home->filePath("setup") : HALDEN_PROGRAM, arguments);
        QVERIFY(firstCrashed || (second.waitForFinished(20000) && second.exitCode() == 0));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList({ window, "another program" }), 20000);
        // Whichever runs now is found by the next start.
        XRaiseWindow(x, another);
        XSync(x, False);
        third.start(HALDEN_PROGRAM);
        QVERIFY(third.waitForFinished(20000) && third.exitCode() == 0);
        QTRY_COMPARE_WITH_TIMEOUT(shown(), QStringList({ window, "another program" }), 20000);
    }
    void startsWhereNoOtherStartCanBeMet()
    {
        QVERIFY(QDir(home->path()).mkdir("halden-setup.lock")); // in the runtime folder
        QVERIFY(platform::SingleInstance().claim());
    }
};

QTEST_MAIN(JourneyTest)
#include "test_journey.moc"
