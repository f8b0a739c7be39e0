// The program itself on a desktop of its own, as a user and a screen reader meet it: its windows read through the
// window manager, the X server and the accessibility bus (libatspi, Qt's accessibility bridge on the xcb platform),
// driven by key events as a keyboard user drives it.
#include "halden_test.h"

#include "setup/window_texts.h"
#include "uninstall/uninstall_texts.h"

#include <QRegularExpression>
#include <QSysInfo>
#include <atspi/atspi.h>

namespace {

using Held = std::unique_ptr<AtspiAccessible, decltype(&g_object_unref)>;
Held hold(AtspiAccessible* object) { return { object, g_object_unref }; }
QString taken(gchar* text) { return std::unique_ptr<gchar, decltype(&g_free)>(text, g_free).get(); }
QString nameOf(AtspiAccessible* object) { return taken(atspi_accessible_get_name(object, nullptr)); }

// The screen reader itself, Orca, on the desktop: what it says is what its debug file logs as "SPEECH OUTPUT:". The
// file is a terminal, where Orca writes it a line at a time, not in blocks; braille is off, as no braille server runs.
struct ScreenReader {
    QProcess& orca;
    QStringList spoken {};
    qsizetype taken = 0; // events it has come to

    QStringList hear() // all it has said so far
    {
        while (orca.canReadLine() || orca.waitForReadyRead(100)) {
            const QString line = QString::fromUtf8(orca.readLine());
            if (const qsizetype start = line.indexOf("SPEECH OUTPUT: '"); start >= 0)
                spoken << line.mid(start + 16).trimmed(); // and what the reader notes after it
            else
                taken += line.contains("EVENT MANAGER: Dequeued");
        }
        return spoken;
    }
    // Whether it says `text` after what it said last to a question here.
    bool says(const QString& text)
    {
        const QRegularExpression line(".*" + QRegularExpression::escape(text) + ".*");
        qsizetype found = -1;
        if (QTest::qWaitFor([&] { return (found = hear().indexOf(line, heardUpTo)) >= 0; }, 30000)) {
            heardUpTo = found + 1;
            return true;
        }
        qWarning() << "said last:" << spoken.mid(spoken.size() - 4);
        return false;
    }
    qsizetype heardUpTo = 0;
};

// A desktop as a user's session has it: a screen (Xvfb), a window manager (openbox, which focuses, raises and
// minimizes windows as a desktop's does) and a session bus with the accessibility bus. The programs started on it
// meet their other starts on that session bus. It ends, with all it runs, when its input closes, as it does when the
// test ends in any way.
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
    // A shell command on this desktop, given its arguments as $1…: the lines it printed.
    QStringList run(const QString& command, const QStringList& arguments = {})
    {
        QProcess& shell = start("sh", QStringList { "-c", command, "sh" } + arguments);
        // The event loop runs meanwhile, so that the screen reader's output is read and it never waits on it.
        if (!QTest::qWaitFor([&] { return shell.state() == QProcess::NotRunning; }, 60000))
            shell.kill();
        return QString::fromUtf8(shell.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
};

// Makes the package as users get it, with cpack from the install rules, and unpacks it into ~/Applications: prints
// what it unpacked, then how many sections of debugging information the program ($1) has.
const char* const unpackPackage
    = "'" HALDEN_CPACK "' -G TGZ --config '" HALDEN_CPACK_CONFIG "' -B ~/packed >/dev/null "
      "&& tar -xvzf ~/packed/*.tar.gz -C ~/Applications | LC_ALL=C sort; readelf -S \"$1\" | "
      "grep -c debug_info";

// The first object on the accessibility bus, depth first, that is `wanted`.
Held find(AtspiAccessible* object, const std::function<bool(AtspiAccessible*)>& wanted)
{
    if (wanted(object))
        return hold(ATSPI_ACCESSIBLE(g_object_ref(object)));
    Held found = hold(nullptr);
    for (int i = 0; !found && i < atspi_accessible_get_child_count(object, nullptr); ++i)
        found = find(hold(atspi_accessible_get_child_at_index(object, i, nullptr)).get(), wanted);
    return found;
}
auto withRole(AtspiRole role)
{
    return [role](AtspiAccessible* object) { return atspi_accessible_get_role(object, nullptr) == role; };
}
Held statusBar(AtspiAccessible* object) { return find(object, withRole(ATSPI_ROLE_STATUS_BAR)); }
QRect extents(AtspiAccessible* object) // on the screen
{
    const std::unique_ptr<AtspiRect, decltype(&g_free)> rect(
        atspi_component_get_extents(ATSPI_COMPONENT(object), ATSPI_COORD_TYPE_SCREEN, nullptr), g_free);
    return rect ? QRect(rect->x, rect->y, rect->width, rect->height) : QRect();
}

} // namespace

class DesktopTest : public HaldenTest {
    Q_OBJECT

private slots:
    // A user's journey by keyboard, as the screen reader Orca tells it: the program unpacked from the package, with
    // the development agent. Started with the agent missing, then with a registration that it repairs; the user opens
    // the help and writes to support, types the folder into the real panel, sets up, sets up and uninstalls with an
    // agent that fails, and uninstalls with both boxes ticked. Each status line is heard once, as the window shows
    // it, wherever the focus is.
    void aUsersJourneyByKeyboard()
    {
        Desktop desktop;
        if (desktop.names.size() != 3)
            QSKIP("no desktop here: it needs xvfb-run, openbox, dbus-run-session, at-spi2-core");
        desktop.environment.insert("XDG_CONFIG_HOME", home->filePath("orca-settings"));
        ScreenReader reader { desktop.start(
            "script", { "-qfc", "exec orca --disable=braille --debug-file=/dev/tty", "/dev/null" }) };
        if (!reader.says("Screen reader on."))
            QSKIP("no screen reader here: it needs orca, and script (bsdutils)");
        const QString top = "Tervan Halden Beta/";
        // The package as users get it, made by cpack from the install rules and unpacked into ~/Applications over
        // the fixture's install folder: exactly the program, its images, its desktop entry and icon, and the agent;
        // the program without its debugging information.
        QCOMPARE(desktop.run(unpackPackage, { bundle + "/halden-setup" }),
            QStringList({ top, top + "Halden Setup/", top + "Halden Setup/HaldenInstaller.png",
                top + "Halden Setup/HaldenInstaller@2x.png", top + "Halden Setup/com.tervan.HaldenSetup.desktop",
                top + "Halden Setup/com.tervan.HaldenSetup.png", top + "Halden Setup/halden-setup", top + "dist/",
                top + "dist/tervan-agent-" + QSysInfo::currentCpuArchitecture(), "0" }));
        // Started with the agent missing: the first thing heard after the window's title is the red line. Then it
        // crashes (killed), and the session bus frees its name: the next start is the one instance, as its start again
        // further on shows.
        const QString developmentAgent = home->filePath("tervan-agent");
        QVERIFY(QFile::rename(agentPath, developmentAgent));
        QProcess& crashed = desktop.start(bundle + "/halden-setup");
        QVERIFY(reader.says(productName + " frame"));
        const qsizetype afterTitle = reader.heardUpTo;
        QVERIFY(reader.says(WindowTexts::componentsMissing) && reader.heardUpTo == afterTitle + 1);
        crashed.kill();
        QVERIFY(crashed.waitForFinished());
        // Without a session bus to meet others on, a start is a lone instance, and shows its window.
        QProcess& lone = desktop.start("env", { "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent", crashed.program() });
        QTRY_VERIFY(!desktop.run("xdotool search --onlyvisible --name \"$1\"", { productName }).isEmpty());
        lone.kill();
        QVERIFY(lone.waitForFinished());
        // The agent takes its time, as a real one does, so that what it is doing is heard before it has done.
        const QString slowly = "sleep 2; ", slowAgent = slowly + "exec '" + developmentAgent + "' \"$@\"";
        writeAgent(slowAgent);
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
        // ignores. It repairs the registration it finds, and the result is heard.
        const QString link = home->filePath("bin/halden-setup");
        QVERIFY(QFile::link(bundle + "/halden-setup", link));
        QProcess& program = desktop.start(link, { "-qwindowtitle", "X", "-reverse" });
        qputenv("AT_SPI_BUS_ADDRESS", desktop.names[2].toUtf8());
        atspi_init();
        accessibilityBusTaken = true;
        const auto onTheBus = [] { return hold(atspi_get_desktop(0)); };
        QStringList heard; // the status lines, in order
        const auto hears = [&](const QString& line) {
            heard << line;
            return reader.says(line) && nameOf(statusBar(onTheBus().get()).get()) == line; // as the window shows it
        };
        QVERIFY(reader.says(productName + " frame") && hears(setupCompletionMessage(true)));
        // The registration the development agent writes anew, in XML, names the folder as the program reads it.
        QTRY_VERIFY_WITH_TIMEOUT(recordedLines(registration).join(' ').contains("<key>RunAtLoad</key>"), 20000);
        QCOMPARE(existingAuthorizedFolder(), project);
        // The program on the accessibility bus, by its name.
        QCOMPARE(nameOf(hold(atspi_accessible_get_application(statusBar(onTheBus().get()).get(), nullptr)).get()),
            "Halden Setup");
        // What the window manager shows: the product's title and icon, in both sizes, and it offers closing and
        // minimizing, no maximizing.
        QTRY_COMPARE(desktop.run("xdotool getactivewindow getwindowname; xprop -id $(xdotool getactivewindow) "
                                 "_NET_WM_ALLOWED_ACTIONS _NET_WM_ICON | grep -Eo 'CLOSE|MINIMIZE|MAXIMIZE|Icon "
                                 "\\([0-9]+ x [0-9]+\\)' | sort -u"),
            QStringList({ productName, "CLOSE", "Icon (112 x 112)", "Icon (56 x 56)", "MINIMIZE" }));

        const auto press = [&](const QString& keys, const QString& said) {
            reader.heardUpTo = reader.hear().size();
            desktop.run("xdotool key --delay 100 " + keys);
            return reader.says(said);
        };
        QVERIFY(press("Tab", WindowTexts::logName) && press("Tab Tab", "https://halden.tervan.example/help/setup"));
        QVERIFY(press("Return Tab", "halden-support@tervan.example") && press("Return Tab", "Choose Project Folder…"));
        // The panel, opened beside the chosen folder with its name selected, and the name typed over it; once it has
        // closed the window has the keys.
        QVERIFY(press("Return", "selected")); // the folder's name in its field
        desktop.run("xdotool key ctrl+a; xdotool type --delay 100 -- \"$1\"", { QFileInfo(project).fileName() });
        // As a user listens to what was typed before going on: a reader far behind drops what it is told.
        for (qsizetype before = -1; before != (reader.hear(), reader.taken); QTest::qWait(1000))
            before = reader.taken; // until a second passes without its coming to an event
        desktop.run("xdotool key Return");
        QVERIFY(hears(WindowTexts::readyToSetUp));
        QVERIFY(press("Tab Tab", "Set Up Agent"));
        QVERIFY(press("Return", SetupTexts::setupRunning) && hears(setupCompletionMessage(true)));
        // The window's menus: Alt with a title's letter opens one, Escape leaves it for where the focus was.
        QVERIFY(press("alt+h", "Quit Halden Setup") && press("Escape Escape", "status"));
        heard << setupCompletionMessage(true); // read again with the focus it comes back to
        // An agent that fails: Return presses set-up from the status line, and the failure is heard; so is an
        // uninstall whose agent run fails.
        writeAgent(slowly + "exit 3");
        QVERIFY(
            press("Return", SetupTexts::setupRunning) && hears(SetupTexts::setupFailedStart + supportAddress + '.'));
        QVERIFY(press("shift+Tab", "Uninstall…") && press("Return", "Uninstall Tervan Halden?"));
        QVERIFY(press("Return", UninstallTexts::uninstallRunning) && hears(UninstallTexts::uninstallFailed));
        QVERIFY(press("shift+Tab", "Uninstall…"));
        writeAgent(slowAgent);
        // Minimized and started again: the one window comes back to the front, its focus where it was, and the keys
        // reach it again.
        desktop.run("xdotool getactivewindow windowminimize --sync");
        QProcess& again = desktop.start(link);
        QVERIFY(again.waitForFinished(20000) && again.exitCode() == 0);
        QVERIFY(press("shift+Tab", "Repair Agent"));
        // Behind another program's window and started again: it comes to the front, and the keys reach it.
        desktop.start("xmessage", { "another program" });
        QTRY_COMPARE(desktop.run("xdotool getactivewindow getwindowname"), QStringList("xmessage"));
        QProcess& third = desktop.start(link);
        QVERIFY(third.waitForFinished(20000) && third.exitCode() == 0);
        // Behind it again, and asked forward as a desktop asks an application, on the session bus.
        desktop.start("xmessage", { "yet another program" });
        QTRY_COMPARE(desktop.run("xdotool getactivewindow getwindowname"), QStringList("xmessage"));
        desktop.run("gdbus call --session --dest com.tervan.HaldenSetup --object-path /com/tervan/HaldenSetup "
                    "--method org.freedesktop.Application.Activate \"{'desktop-startup-id': <'journey_TIME0'>}\"");
        QVERIFY(press("Tab", "Uninstall…"));
        QVERIFY(press("Return", "Uninstall")); // the confirmation's default
        QVERIFY(press("shift+Tab space", "Also delete Halden scan history and feedback in the chosen project folder"));
        QVERIFY(press("shift+Tab space", "Also remove Keychain credentials (rule key, device key)"));
        QVERIFY(press("Return", "Close"));
        desktop.run("xdotool key Return");
        // It may have ended already, while the key was sent: the event loop runs then.
        QTRY_VERIFY_WITH_TIMEOUT(program.state() == QProcess::NotRunning && program.exitCode() == 0, 20000);
        // Each status line heard once, and again only where the focus came back to it.
        for (const QString& line : heard)
            QCOMPARE(reader.hear().filter(line).size(), heard.count(line));
        QCOMPARE(recordedLines(opened),
            QStringList(
                { helpURL.toString(), "mailto:" + supportAddress + "?subject=Tervan%20Halden%20Beta%20setup" }));
        // No settings either: Qt's folder panel would write "~/.config/QtProject.conf".
        for (const auto& [path, kept] : { std::pair { registration, false }, { installDir, false },
                 { project + "/.halden", false }, { home->filePath(".config/QtProject.conf"), false },
                 { project + "/src/main.ts", true }, { home->filePath(".vscode/extensions/tervan.halden-0.9.0"), true },
                 { home->filePath("Applications"), true } })
            QVERIFY2(QFileInfo::exists(path) == kept, qPrintable(path));
    }

    // The program from the package on screens with less room than its window asks for, at a desktop's scale: the
    // window's frame lies on the screen, and each control Tab reaches is in sight below the menu bar while it has the
    // focus. Each screen is a display of its own with its window manager, on one desktop's accessibility bus: a
    // process meets one such bus, so ctest runs this alone (desktop.screens).
    void onSmallScreens()
    {
        if (accessibilityBusTaken)
            QSKIP("the accessibility bus of this process is the journey's: ctest runs this as desktop.screens");
        Desktop desktop;
        if (desktop.names.size() != 3)
            QSKIP("no desktop here: it needs xvfb-run, openbox, dbus-run-session, at-spi2-core");
        qputenv("AT_SPI_BUS_ADDRESS", desktop.names[2].toUtf8());
        atspi_init();
        accessibilityBusTaken = true;
        const QString program = unpacked();
        const auto first = [](auto wanted) { return find(hold(atspi_get_desktop(0)).get(), wanted); };
        for (const auto& [size, scale] :
            { std::pair { "1280x800", "1.5" }, { "1366x768", "1.25" }, { "1280x800", "2" } }) {
            QProcess& screen = desktop.start("xvfb-run",
                { "-a", "-s", QString("-ac -screen 0 %1x24").arg(size), "sh", HALDEN_TESTS_DIR "/desktop_session.sh" });
            QVERIFY(screen.waitForReadyRead(20000));
            desktop.environment.insert("DISPLAY", QString::fromUtf8(screen.readLine()).section(' ', 0, 0));
            desktop.environment.insert("QT_SCALE_FACTOR", scale);
            desktop.start(program);
            QTRY_COMPARE_WITH_TIMEOUT(
                desktop.run("sh " HALDEN_TESTS_DIR "/frame_on_screen.sh \"$1\"", { productName }).value(0), "on screen",
                20000);
            QStringList reached;
            for (int tab = 0; tab < 20 && reached.count(reached.value(0)) < 2; ++tab) {
                desktop.run("xdotool key Tab");
                Held focused = hold(nullptr);
                QTRY_VERIFY(focused = first([&](AtspiAccessible* object) {
                    const std::unique_ptr<AtspiStateSet, decltype(&g_object_unref)> states(
                        atspi_accessible_get_state_set(object), g_object_unref);
                    return atspi_state_set_contains(states.get(), ATSPI_STATE_FOCUSED)
                        && nameOf(object) != reached.value(reached.size() - 1);
                }));
                reached << nameOf(focused.get());
                QTRY_VERIFY2(extents(first(withRole(ATSPI_ROLE_FRAME)).get()).contains(extents(focused.get()))
                        && extents(focused.get()).top() > extents(first(withRole(ATSPI_ROLE_MENU_BAR)).get()).bottom(),
                    qPrintable(QString("%1x on %2: ").arg(scale, size) + reached.last()));
            }
            for (const QString& control : { helpURL.toString(), supportAddress, WindowTexts::chooseButtonTitle,
                     WindowTexts::uninstallButtonTitle, WindowTexts::logName })
                QVERIFY2(reached.contains(control), qPrintable(QString(size) + ' ' + control));
            screen.closeWriteChannel(); // the program ends with its display
        }
    }

    // Under a Wayland compositor that leaves the title bar to Qt (Weston): the program from the package is never
    // maximized; a click on each button of its title bar, then a key, leaves it running, or closes it as a close does.
    void underWayland()
    {
        // The middle of each button in Qt's own title bar, from the frame's right.
        for (const auto& [button, fromRight, outcome] :
            { std::tuple { "maximize", 40, "running" }, { "minimize", 63, "running" }, { "close", 17, "ended 0" } }) {
            QProcess session; // XDG_RUNTIME_DIR is the test's home
            session.start("xvfb-run",
                { "-a", "-s", "-ac -screen 0 640x540x24", "sh", HALDEN_TESTS_DIR "/weston_session.sh", unpacked(),
                    QString::number(fromRight) });
            QVERIFY(session.waitForFinished(60000));
            const QString said = QString::fromUtf8(session.readAllStandardOutput()).trimmed();
            if (said == "no weston")
                QSKIP("no Wayland compositor here: it needs weston and xvfb-run");
            if (said == "missed")
                QSKIP("the compositor passed on none of the test's clicks (Weston 14's X11 backend, XTEST input)");
            QVERIFY2(said == outcome, qPrintable(QString(button) + ": " + said));
        }
    }

private:
    static inline bool accessibilityBusTaken = false; // by libatspi, for good: it cannot be given another bus

    // The package unpacked into ~/Applications: its program.
    QString unpacked()
    {
        QProcess shell;
        shell.start("sh", { "-c", unpackPackage, "sh", bundle + "/halden-setup" });
        shell.waitForFinished(-1);
        return bundle + "/halden-setup";
    }
};

QTEST_MAIN(DesktopTest)
#include "test_desktop.moc"
