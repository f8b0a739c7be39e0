#include "platform/launch_activation.h"

#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>

#if !defined(__APPLE__)
#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <cstring>
#endif

namespace platform {

void prepareActivation(const QString& activationToken)
{
    if (!activationToken.isEmpty() && QGuiApplication::platformName() == u"wayland")
        qputenv("XDG_ACTIVATION_TOKEN", activationToken.toUtf8());
}

#if !defined(__APPLE__)
namespace {

    xcb_atom_t atom(xcb_connection_t* connection, const char* name)
    {
        const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, std::strlen(name), name);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
        const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return found;
    }

    void sendToRoot(xcb_connection_t* connection, xcb_window_t root, xcb_client_message_event_t event, uint32_t mask)
    {
        event.response_type = XCB_CLIENT_MESSAGE;
        xcb_send_event(connection, 0, root, mask, reinterpret_cast<const char*>(&event));
    }

} // namespace
#endif

void finishActivation(QWidget* window, const QString& startupId)
{
#if !defined(__APPLE__)
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    // Offered by other platforms too (offscreen, with no connection behind it).
    if (!x11 || !x11->connection() || QGuiApplication::platformName() != u"xcb" || startupId.isEmpty())
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const auto id = static_cast<xcb_window_t>(window->winId());
    // "remove: ID=…", the id quoted as the protocol asks, broadcast in pieces
    // of 20 bytes with its closing NUL.
    QByteArray message = "remove: ID=\"" + startupId.toUtf8().replace('\\', "\\\\").replace('"', "\\\"") + '"';
    message.append('\0');
    const xcb_atom_t begin = atom(connection, "_NET_STARTUP_INFO_BEGIN"), more = atom(connection, "_NET_STARTUP_INFO");
    for (qsizetype at = 0; at < message.size(); at += 20) {
        xcb_client_message_event_t piece {};
        piece.format = 8;
        piece.window = id;
        piece.type = at == 0 ? begin : more;
        std::memcpy(piece.data.data8, message.constData() + at, std::min<qsizetype>(20, message.size() - at));
        sendToRoot(connection, root, piece, XCB_EVENT_MASK_PROPERTY_CHANGE);
    }
    // The time of the user's launch, which lets the window manager give the
    // focus to the window the user asked for.
    static const QRegularExpression launchTime(QStringLiteral("_TIME(\\d+)$"));
    if (const QRegularExpressionMatch time = launchTime.match(startupId); time.hasMatch()) {
        xcb_client_message_event_t activate {};
        activate.format = 32;
        activate.window = id;
        activate.type = atom(connection, "_NET_ACTIVE_WINDOW");
        activate.data.data32[0] = 1; // asked for by the application
        activate.data.data32[1] = time.captured(1).toUInt();
        sendToRoot(
            connection, root, activate, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT);
    }
    xcb_flush(connection);
#else
    Q_UNUSED(window);
    Q_UNUSED(startupId);
#endif
}

} // namespace platform
