// The window as a screen reader meets it: the program itself on a screen of its own (Xvfb; Qt's accessibility
// bridge runs on the xcb platform), on the accessibility bus of a session bus of its own, read through libatspi and
// driven by key events as a keyboard user drives it.
#include "halden_test.h"

#include <QScopeGuard>
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
    // Newer AT-SPI (Debian 13) names the push-button role "button"; screen readers treat both alike.
    QString role = taken(atspi_accessible_get_role_name(object, nullptr));
    if (role == "button")
        role = "push button";
    QString line = role + ": " + nameOf(object).section(". ", 0, 0);
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

// Orca 43's default script: it speaks the object that takes the focus, and the object that has it when its name
// changes (as it reads it then); other changes of name it leaves unsaid.
struct ScreenReader {
    QStringList spoken;
    Held focus { nullptr, g_object_unref };

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

enum Keysym : long { Tab = 0xff09, ShiftTab = 0xfe20, Return = 0xff0d }; // X keysyms

} // namespace

class ScreenReaderTest : public HaldenTest {
    Q_OBJECT

private slots:
    void readAndDrivenAsAScreenReaderUserDoes()
    {
        // The program on a screen of its own with a window manager (which gives the focus back after a dialog, as
        // a desktop's does), on a session bus of its own; the shell tells its process, its screen and the address
        // of the accessibility bus, and becomes the program.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        environment.remove("XDG_DATA_DIRS"); // the bus launcher's settings schemas are the system's
        unpackThePackage();
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start("xvfb-run",
            { "-a", "-s", "-ac -screen 0 1280x900x24", "dbus-run-session", "--", "sh", "-c",
                "command -v openbox >/dev/null || exit; openbox --sm-disable --startup \"touch $HOME/managing\" "
                ">/dev/null 2>&1 &"
                "until [ -e $HOME/managing ]; do sleep 0.1; done; echo $$ $DISPLAY $(dbus-send --session --print-reply"
                " --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress | grep -o 'unix:[^\"]*'); exec \"$0\"",
                install->bundle + "/halden-setup" });
        program.waitForReadyRead(20000);
        const QStringList started = QString::fromUtf8(program.readLine()).trimmed().split(' ');
        const auto end = qScopeGuard([&] {
            if (const pid_t id = started.first().toInt(); id > 0)
                kill(id, SIGTERM); // the buses, the window manager and the screen end with it
            program.waitForFinished(10000);
        });
        if (started.size() < 3 || !started[2].startsWith("unix:"))
            QSKIP("the accessibility bus cannot start here: it needs xvfb-run, openbox, dbus-run-session and "
                  "at-spi2-core");
        qputenv("AT_SPI_BUS_ADDRESS", started[2].toUtf8());
        atspi_init();
        const Held desktop = hold(atspi_get_desktop(0));
        Held frame = hold(nullptr); // of the one program on this bus
        QVERIFY(QTest::qWaitFor(
            [&] {
                const Held application = hold(atspi_accessible_get_child_at_index(desktop.get(), 0, nullptr));
                frame
                    = hold(application ? atspi_accessible_get_child_at_index(application.get(), 0, nullptr) : nullptr);
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
        QString actions; // what the window manager offers for the window: closing and minimizing, no maximizing
        QVERIFY(QTest::qWaitFor([&] {
            QProcess xprop;
            xprop.start("sh",
                { "-c",
                    "export DISPLAY=" + started[1]
                        + "; xprop -id $(xprop -root _NET_ACTIVE_WINDOW | sed "
                          "'s/.*# //') _NET_WM_ALLOWED_ACTIONS" });
            return xprop.waitForFinished() && (actions = xprop.readAll()).contains("CLOSE");
        }));
        QVERIFY2(actions.contains("MINIMIZE") && !actions.contains("MAXIMIZE"), qPrintable(actions));

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
        g_object_unref(listener);
    }
};

QTEST_MAIN(ScreenReaderTest)
#include "test_screen_reader.moc"
