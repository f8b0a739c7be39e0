// How long the program takes from its start to its window mapped on the screen, and how much memory it holds once
// the window shows, against a bare Qt window of the same size and title: both started in turn, ROUNDS times each,
// on one X server, with a home of their own. Prints the medians and the two ratios (program / bare window).
//
//   dbus-run-session -- xvfb-run -a bench-startup PROGRAM BARE_WINDOW [ROUNDS]
//
// PROGRAM is the halden-setup of a staged install folder (build/stage/…), BARE_WINDOW the bench-bare-window beside
// this benchmark. With a session bus, as a user's desktop has one: without it, QtDBus would start one of its own at
// every start. Nothing is asserted: the machines are shared and noisy.
#include "app/globals.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct Start {
    double milliseconds; // from the start to the window mapped
    double megabytes; // resident once it shows
};

// The window's title as the program set it (UTF-8, _NET_WM_NAME).
QByteArray titleOf(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t name, xcb_atom_t utf8)
{
    xcb_get_property_reply_t* reply
        = xcb_get_property_reply(connection, xcb_get_property(connection, 0, window, name, utf8, 0, 256), nullptr);
    QByteArray title;
    if (reply)
        title
            = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    std::free(reply);
    return title;
}

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    xcb_intern_atom_reply_t* reply
        = xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

Start startOnce(xcb_connection_t* connection, const QString& program)
{
    const xcb_atom_t name = atom(connection, "_NET_WM_NAME"), utf8 = atom(connection, "UTF8_STRING");
    QTemporaryDir home;
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home.path());
    environment.insert("QT_QPA_PLATFORM", "xcb");
    process.setProcessEnvironment(environment);
    QElapsedTimer clock;
    clock.start();
    process.start(program);
    double mapped = -1;
    while (mapped < 0 && clock.elapsed() < 20000) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (!event) {
            QThread::usleep(200);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (titleOf(connection, map->window, name, utf8) == productName.toUtf8())
                mapped = clock.nsecsElapsed() / 1e6;
        }
        std::free(event);
    }
    QThread::msleep(1000); // what it holds once the window shows, painted and settled
    const double megabytes = residentMegabytes(process.processId());
    process.kill();
    process.waitForFinished();
    return { mapped, megabytes };
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: dbus-run-session -- xvfb-run -a bench-startup PROGRAM BARE_WINDOW [ROUNDS]\n");
        return 2;
    }
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "no X server: run it under xvfb-run -a\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY; // top-level windows mapped, with no window manager
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 10;
    std::vector<double> time[2], memory[2];
    for (int round = 0; round < rounds; ++round)
        for (int which = 0; which < 2; ++which) { // in turn, so that a noisy moment falls on both
            const Start start = startOnce(connection, QString::fromLocal8Bit(argv[1 + which]));
            time[which].push_back(start.milliseconds);
            memory[which].push_back(start.megabytes);
        }
    std::printf("start to window mapped, median of %d: program %.1f ms, bare window %.1f ms, ratio %.2f\n", rounds,
        median(time[0]), median(time[1]), median(time[0]) / median(time[1]));
    std::printf("resident once shown, median of %d: program %.1f MB, bare window %.1f MB, ratio %.2f\n", rounds,
        median(memory[0]), median(memory[1]), median(memory[0]) / median(memory[1]));
    xcb_disconnect(connection);
    return 0;
}
