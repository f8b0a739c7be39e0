// The program itself on a desktop of its own, as a user and a screen reader meet it: its windows read through the
// window manager, the X server and the accessibility bus (libatspi, Qt's accessibility bridge on the xcb platform),
// driven by key events as a keyboard user drives it.
#include "halden_test.h"

#include "setup/window_texts.h"

#include <QSysInfo>
#include <atspi/atspi.h>

namespace {

using Held = std::unique_ptr<AtspiAccessible, decltype(&g_object_unref)>;
Held hold(AtspiAccessible* object) { return { object, g_object_unref }; }
QString taken(gchar* text) { return std::unique_ptr<gchar, decltype(&g_free)>(text, g_free).get(); }
QString nameOf(AtspiAccessible* object) { return taken(atspi_accessible_get_name(object, nullptr)); }

// Orca 43's default script: it speaks the object that takes the focus, and the object that has it when its name
// changes (as it reads it then); other changes of name it leaves unsaid.
struct ScreenReader {
    QStringList spoken;
    Held focus = hold(nullptr);
    AtspiEventListener* listener = atspi_event_listener_new(&ScreenReader::hear, this, nullptr);

    ScreenReader() { atspi_event_listener_register(listener, "object:", nullptr); }
    ~ScreenReader() // it hears nothing more
    {
        atspi_event_listener_deregister(listener, "object:", nullptr);
        g_object_unref(listener);
    }

    static void hear(AtspiEvent* event, void* self)
    {
        auto* reader = static_cast<ScreenReader*>(self);
        const QByteArray type(event->type);
        const bool focused = type == "object:state-changed:focused" && event->detail1;
        if (focused)
            reader->focus.reset(ATSPI_ACCESSIBLE(g_object_ref(event->source)));
        if (focused || (type.endsWith("accessible-name") && event->source == reader->focus.get()))
            reader->spoken << nameOf(event->source);
        g_boxed_free(ATSPI_TYPE_EVENT, event);
    }
};

// A desktop as a user's session has it: a screen (Xvfb), a window manager (openbox, which focuses, raises and
// minimizes windows as a desktop's does) and a session bus with the accessibility bus. The programs started on it
// meet their other starts in the test's runtime folder. It ends, with all it runs, when its input closes, as it
// does when the test ends in any way.
struct Desktop {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QProcess session;
    QStringList names; // its screen, its session bus and its accessibility bus

    Desktop()
    {
        environment.remove("XDG_DATA_DIRS"); // the bus launcher's settings schemas are the system's
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        session.setProcessEnvironment(environment);
        session.start(
            "xvfb-run", { "-a", "-s", "-ac", "dbus-run-session", "--", "sh", HALDEN_TESTS_DIR "/desktop_session.sh" });
        session.waitForReadyRead(20000);
        names = QString::fromUtf8(session.readLine()).trimmed().split(' ');
        environment.insert("DISPLAY", names.value(0));
        environment.insert("DBUS_SESSION_BUS_ADDRESS", names.value(1));
    }
    ~Desktop()
    {
        session.closeWriteChannel();
        session.waitForFinished();
        for (QProcess* program : session.findChildren<QProcess*>())
            program->waitForFinished(); // as it ends when its screen goes
    }
    QProcess& start(const QString& path, const QStringList& arguments = {})
    {
        auto* program = new QProcess(&session);
        program->setProcessEnvironment(environment);
        program->start(path, arguments);
        return *program;
    }
    QStringList run(const QString& command) // a shell command on this desktop: the lines it printed
    {
        QProcess& shell = start("sh", { "-c", command });
        shell.waitForFinished();
        return QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
};

} // namespace

class DesktopTest : public HaldenTest {
    Q_OBJECT

private slots:
    // A user's journey by keyboard, as a screen reader tells it: the program unpacked from the package, with the
    // development agent, finds a registration at its start and repairs it; the user opens the help and writes to
    // support, chooses the folder in the real panel, sets up, and uninstalls with both boxes ticked.
    void aUsersJourneyByKeyboard()
    {
        Desktop desktop;
        if (desktop.names.size() != 3)
            QSKIP("no desktop here: it needs xvfb-run, openbox, dbus-run-session, at-spi2-core");
        const QString top = "Tervan Halden Beta/";
        // The package as users get it, made by cpack from the install rules and unpacked into ~/Applications over
        // the fixture's install folder: exactly the program, its images and the agent.
        QCOMPARE(desktop.run("'" HALDEN_CPACK "' -G TGZ --config '" HALDEN_CPACK_CONFIG "' -B ~/packed >/dev/null && "
                             "tar -xvzf ~/packed/*.tar.gz -C ~/Applications | LC_ALL=C sort"),
            QStringList({ top, top + "Halden Setup/", top + "Halden Setup/HaldenInstaller.png",
                top + "Halden Setup/HaldenInstaller@2x.png", top + "Halden Setup/halden-setup", top + "dist/",
                top + "dist/tervan-agent-" + QSysInfo::currentCpuArchitecture() }));
        // A start that crashed (killed), leaving its names in the runtime folder: the next start is the one instance,
        // as its start again further on shows.
        QProcess& crashed = desktop.start(bundle + "/halden-setup");
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(home->filePath("halden-setup")), 20000);
        crashed.kill();
        QVERIFY(crashed.waitForFinished());
        // An extension installed, and names that a careless shell command or a link-following deletion would turn
        // against the user's own files.
        QDir().mkpath(home->filePath(".vscode/extensions/tervan.halden-0.9.0"));
        const QString project = home->filePath("-rf 'quoted' $HOME ..");
        writeFile(project + "/src/main.ts", "export {}\n");
        writeFile(project + "/.halden/history.json", "[]");
        QVERIFY(QFile::link(home->path(), installDir + "/dist/link to home"));
        const QString registration = home->filePath(AgentContract::launchAgentPropertyListPath);
        writeFile(registration, propertyList({ "/agent", "--allow-root", project }, PlistFormat::xml));
        const QString opened = home->filePath("opened"); // by the desktop's opener of web and mail addresses
        writeScript(home->filePath("bin/xdg-open"), recordArguments(opened));
        desktop.environment.insert("PATH", home->filePath("bin") + ":" + desktop.environment.value("PATH"));
        // Started as from a link in the PATH folder, given Qt's own switches, which a program without arguments
        // ignores.
        const QString link = home->filePath("bin/halden-setup");
        QVERIFY(QFile::link(bundle + "/halden-setup", link));
        QProcess& program = desktop.start(link, { "-qwindowtitle", "X", "-reverse" });
        // The registration the development agent writes anew, in XML, names the folder as the program reads it.
        QTRY_VERIFY_WITH_TIMEOUT(recordedLines(registration).join(' ').contains("<key>RunAtLoad</key>"), 20000);
        QCOMPARE(existingAuthorizedFolder(), project);
        qputenv("AT_SPI_BUS_ADDRESS", desktop.names[2].toUtf8());
        atspi_init();
        // The program on the accessibility bus, by its name.
        const auto onTheBus = [] { return hold(atspi_get_desktop(0)); };
        QTRY_VERIFY_WITH_TIMEOUT(atspi_accessible_get_child_count(onTheBus().get(), nullptr) > 0, 20000);
        QCOMPARE(nameOf(hold(atspi_accessible_get_child_at_index(onTheBus().get(), 0, nullptr)).get()), "Halden Setup");
        // What the window manager shows: the product's title, and it offers closing and minimizing, no maximizing.
        QTRY_COMPARE(desktop.run("xdotool getactivewindow getwindowname; xprop -id $(xdotool getactivewindow) "
                                 "_NET_WM_ALLOWED_ACTIONS | grep -Eo 'CLOSE|MINIMIZE|MAXIMIZE' | sort -u"),
            QStringList({ productName, "CLOSE", "MINIMIZE" }));

        ScreenReader reader;
        const auto press = [&](const QString& keys, const QString& heard) {
            desktop.run("xdotool key --delay 100 " + keys);
            if (QTest::qWaitFor([&] { return !reader.spoken.isEmpty() && reader.spoken.last() == heard; }, 10000))
                return true;
            qWarning() << "spoken last:" << reader.spoken.mid(reader.spoken.size() - 3);
            return false;
        };
        QVERIFY(press("Tab Return", "https://halden.tervan.example/help/setup"));
        QVERIFY(press("Tab Return", "halden-support@tervan.example") && press("Tab", "Choose Project Folder…"));
        QVERIFY(press("Return", "Directory:")); // the panel's field for a folder's name
        QVERIFY(press("Return", WindowTexts::readyToSetUp)); // the folder it opens at is taken
        QVERIFY(press("shift+Tab shift+Tab shift+Tab shift+Tab", "Set Up Agent"));
        QVERIFY(press("Return", setupCompletionMessage(true)));
        // The window's menus: Alt with a title's letter opens one, Escape leaves it for where the focus was.
        QVERIFY(press("alt+h", "Quit Halden Setup") && press("Escape Escape", setupCompletionMessage(true)));
        // The status line has the focus from the press on: what it says is spoken as it is written.
        QCOMPARE(reader.spoken.mid(reader.spoken.indexOf(WindowTexts::readyToSetUp), 5),
            QStringList({ WindowTexts::readyToSetUp, "Open Project in VS Code", "Uninstall…", "Repair Agent",
                "Set Up Agent" }));
        // Minimized and started again: the one window comes back to the front, its focus where it was, and the keys
        // reach it again.
        desktop.run("xdotool getactivewindow windowminimize --sync");
        QProcess& again = desktop.start(link);
        QVERIFY(again.waitForFinished(20000) && again.exitCode() == 0);
        QVERIFY(press("shift+Tab shift+Tab", "Uninstall…"));
        // Behind another program's window and started again: it comes to the front, and the keys reach it.
        desktop.start("xmessage", { "another program" });
        QTRY_COMPARE(desktop.run("xdotool getactivewindow getwindowname"), QStringList("xmessage"));
        QProcess& third = desktop.start(link);
        QVERIFY(third.waitForFinished(20000) && third.exitCode() == 0);
        QVERIFY(press("Tab", "Open Project in VS Code") && press("shift+Tab", "Uninstall…"));
        QVERIFY(press("Return", "Uninstall")); // the confirmation's default
        QVERIFY(press("shift+Tab space", "Also delete Halden scan history and feedback in the chosen project folder"));
        QVERIFY(press("shift+Tab space", "Also remove Keychain credentials (rule key, device key)"));
        QVERIFY(press("Return", "Close"));
        desktop.run("xdotool key Return");
        QVERIFY(program.waitForFinished(20000) && program.exitCode() == 0);
        QCOMPARE(recordedLines(opened),
            QStringList(
                { helpURL.toString(), "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup" }));
        // No settings either: Qt's folder panel would write "~/.config/QtProject.conf".
        for (const auto& [path, kept] : { std::pair { registration, false }, { installDir, false },
                 { project + "/.halden", false }, { home->filePath(".config"), false },
                 { project + "/src/main.ts", true }, { home->filePath(".vscode/extensions/tervan.halden-0.9.0"), true },
                 { home->filePath("Applications"), true } })
            QVERIFY2(QFileInfo::exists(path) == kept, qPrintable(path));
    }
};

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
