// The window as a screen reader meets it: the program itself on a screen of its own (Xvfb; Qt's accessibility
// bridge runs on the xcb platform), on the accessibility bus of a session bus of its own, read through libatspi and
// driven by key events as a keyboard user drives it.
#include "halden_test.h"

#include <QScopeGuard>
#include <QStandardPaths>
#include <atspi/atspi.h>
#include <csignal>

namespace {

using Held = std::unique_ptr<AtspiAccessible, decltype(&g_object_unref)>;
Held hold(AtspiAccessible* object) { return { object, g_object_unref }; }

QString taken(gchar* text)
{
    const QString copy = QString::fromUtf8(text);
    g_free(text);
    return copy;
}
QString nameOf(AtspiAccessible* object) { return taken(atspi_accessible_get_name(object, nullptr)); }

// What a control is to a screen reader: its role and name, the first sentence of it, and the label it is
// labelled by.
QString described(AtspiAccessible* object)
{
    QString line = taken(atspi_accessible_get_role_name(object, nullptr)) + ": " + nameOf(object).section(". ", 0, 0);
    GArray* relations = atspi_accessible_get_relation_set(object, nullptr);
    for (guint i = 0; relations && i < relations->len; ++i) {
        AtspiRelation* relation = g_array_index(relations, AtspiRelation*, i);
        if (atspi_relation_get_relation_type(relation) == ATSPI_RELATION_LABELLED_BY)
            line += " (labelled by " + nameOf(hold(atspi_relation_get_target(relation, 0)).get()) + ")";
        g_object_unref(relation);
    }
    if (relations)
        g_array_free(relations, true);
    return line;
}

// Every control the keyboard reaches, in the order of the tree.
void focusable(AtspiAccessible* object, QStringList& controls)
{
    AtspiStateSet* states = atspi_accessible_get_state_set(object);
    if (atspi_state_set_contains(states, ATSPI_STATE_FOCUSABLE))
        controls << described(object);
    g_object_unref(states);
    for (int i = 0, count = atspi_accessible_get_child_count(object, nullptr); i < count; ++i)
        focusable(hold(atspi_accessible_get_child_at_index(object, i, nullptr)).get(), controls);
}

// Orca 43's default script: it speaks the object that takes the focus, and a new name of the object that has it;
// other changes of name it leaves unsaid.
struct ScreenReader {
    QStringList spoken;
    Held focus { nullptr, g_object_unref };

    static void hear(AtspiEvent* event, void* self)
    {
        auto* reader = static_cast<ScreenReader*>(self);
        const QByteArray type(event->type);
        if (type == "object:state-changed:focused" && event->detail1) {
            reader->focus.reset(ATSPI_ACCESSIBLE(g_object_ref(event->source)));
            reader->spoken << nameOf(event->source);
        } else if (type == "object:property-change:accessible-name" && event->source == reader->focus.get()) {
            reader->spoken << (G_VALUE_HOLDS_STRING(&event->any_data)
                    ? QString::fromUtf8(g_value_get_string(&event->any_data))
                    : nameOf(event->source));
        }
        g_boxed_free(ATSPI_TYPE_EVENT, event);
    }
};

// What the window manager offers for the window that has the focus, as xprop prints it.
QString offered(const QProcessEnvironment& environment)
{
    QProcess xprop;
    xprop.setProcessEnvironment(environment);
    xprop.start("xprop", { "-root", "_NET_ACTIVE_WINDOW" }); // "…(WINDOW): window id # 0x400007"
    xprop.waitForFinished();
    const QString id = QString(xprop.readAll()).section("# ", 1).trimmed();
    xprop.start("xprop", { "-id", id, "_NET_WM_ALLOWED_ACTIONS" });
    xprop.waitForFinished();
    return xprop.readAll();
}

enum Keysym : long { Tab = 0xff09, ShiftTab = 0xfe20, Return = 0xff0d }; // X keysyms

} // namespace

class ScreenReaderTest : public HaldenTest {
    Q_OBJECT

private slots:
    void readAndDrivenAsAScreenReaderUserDoes()
    {
        for (const char* tool : { "Xvfb", "openbox", "xprop", "dbus-run-session", "dbus-send" })
            if (QStandardPaths::findExecutable(tool).isEmpty())
                QSKIP(qPrintable(QString("the accessibility bus cannot start here: no %1").arg(tool)));
        QProcess display, windowManager, program;
        pid_t programId = 0;
        const auto end = qScopeGuard([&] {
            programId ? kill(programId, SIGTERM) : (program.kill(), 0); // its session bus ends with it
            program.waitForFinished(10000);
            for (QProcess* process : { &windowManager, &display }) {
                process->terminate();
                process->waitForFinished(10000);
            }
        });
        display.start("Xvfb", { "-displayfd", "1", "-screen", "0", "1280x900x24", "-nolisten", "tcp" });
        QVERIFY(display.waitForReadyRead(10000));
        const QString screen = ":" + display.readAll().trimmed();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", screen);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        environment.remove("XDG_DATA_DIRS"); // the bus launcher's settings schemas are the system's
        windowManager.setProcessEnvironment(
            environment); // as a desktop has one, which gives the focus back after a dialog
        windowManager.start("openbox", { "--sm-disable", "--startup", "echo managing" });
        QVERIFY(windowManager.waitForReadyRead(10000));
        program.setProcessEnvironment(environment);
        // The shell tells its process and the session bus's address, then becomes the program.
        program.start(
            "dbus-run-session", { "--", "sh", "-c", "echo $$ $DBUS_SESSION_BUS_ADDRESS; exec \"$0\"", HALDEN_PROGRAM });
        QVERIFY(program.waitForReadyRead(10000));
        const QStringList started = QString::fromUtf8(program.readLine()).trimmed().split(' ');
        programId = started.first().toInt();
        // The session bus starts the accessibility bus on request; libatspi would end the test if it could not.
        QProcess ask;
        environment.insert("DBUS_SESSION_BUS_ADDRESS", started.last());
        ask.setProcessEnvironment(environment);
        ask.start("dbus-send",
            { "--session", "--print-reply", "--dest=org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus.GetAddress" });
        ask.waitForFinished(20000);
        const QString address = QString::fromUtf8(ask.readAllStandardOutput()).section('"', 1, 1);
        if (address.isEmpty())
            QSKIP(qPrintable("the accessibility bus cannot start here: " + ask.readAllStandardError()));
        qputenv("AT_SPI_BUS_ADDRESS", address.toUtf8());
        qputenv("DISPLAY", screen.toLatin1());
        atspi_init();
        const Held desktop = hold(atspi_get_desktop(0));
        Held frame = hold(nullptr);
        QVERIFY(QTest::qWaitFor(
            [&] {
                for (int i = 0; !frame && i < atspi_accessible_get_child_count(desktop.get(), nullptr); ++i) {
                    const Held application = hold(atspi_accessible_get_child_at_index(desktop.get(), i, nullptr));
                    if (application && nameOf(application.get()) == "Halden Setup")
                        frame = hold(atspi_accessible_get_child_at_index(application.get(), 0, nullptr));
                }
                return frame != nullptr;
            },
            20000));
        QStringList controls;
        focusable(frame.get(), controls);
        QCOMPARE(controls,
            QStringList(
                { "label: Tervan Halden Beta is installed", "push button: https://halden.tervan.example/help/setup",
                    "push button: halden-support@tervan.example", "push button: Choose Project Folder…",
                    "label: No project folder chosen (labelled by 1. Project folder Halden may scan (required))",
                    "push button: Set Up Agent", "push button: Repair Agent", "push button: Uninstall…",
                    "push button: Open Project in VS Code",
                    "status bar: To begin, choose the project folder Halden may scan", "text: Agent log" }));
        QString actions; // a window of fixed size: closed and minimized, never maximized
        QVERIFY(QTest::qWaitFor([&] { return (actions = offered(environment)).contains("_NET_WM_ACTION_CLOSE"); }));
        QVERIFY2(actions.contains("_NET_WM_ACTION_MINIMIZE") && !actions.contains("MAXIMIZE"), qPrintable(actions));

        // The user tabs to the folder button, takes the folder the panel opens in, then tabs back to set-up.
        ScreenReader reader;
        AtspiEventListener* listener = atspi_event_listener_new(&ScreenReader::hear, &reader, nullptr);
        for (const char* event : { "object:state-changed:focused", "object:property-change:accessible-name" })
            atspi_event_listener_register(listener, event, nullptr);
        const auto press = [&](Keysym key, const QString& heard) {
            atspi_generate_keyboard_event(key, nullptr, ATSPI_KEY_SYM, nullptr);
            return QTest::qWaitFor([&] { return !reader.spoken.isEmpty() && reader.spoken.last() == heard; }, 10000);
        };
        QVERIFY(press(Tab, "https://halden.tervan.example/help/setup"));
        QVERIFY(press(Tab, "halden-support@tervan.example") && press(Tab, "Choose Project Folder…"));
        QVERIFY(press(Return, "Directory:")); // the panel's field for a folder's name
        const QString ready = "Ready. Press Set Up Agent to set up and start the local agent for this folder.";
        QVERIFY2(press(Return, ready), qPrintable(reader.spoken.join(" | "))); // the panel's folder, home, is taken
        QVERIFY(press(ShiftTab, "Uninstall…") && press(ShiftTab, "Set Up Agent"));
        const QString done = "Halden is running, but the VS Code extension installation was not confirmed. Use Repair "
                             "Agent to retry extension setup before scanning.";
        QVERIFY2(press(Return, done), qPrintable(reader.spoken.join(" | ")));
        // The status line has the focus from the press on: what it says is spoken as it is written.
        QCOMPARE(
            reader.spoken.mid(reader.spoken.indexOf(ready), 3), QStringList({ ready, "Uninstall…", "Set Up Agent" }));
        QCOMPARE(reader.spoken.last(), done);
        g_object_unref(listener);
        controls.clear();
        focusable(frame.get(), controls);
        QVERIFY(controls.contains(
            "label: " + home->path() + " (labelled by 1. Project folder Halden may scan (required))"));
    }
};

QTEST_MAIN(ScreenReaderTest)
#include "test_screen_reader.moc"
