#include "platform/WindowActivation.h"

#include <QGuiApplication>
#include <QWidget>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

// An X11 startup id ends in "_TIME" and the X server time of the click that launched.
constexpr char StartupTimeMark[] = "_TIME";
// _NET_ACTIVE_WINDOW's source indication: a request from an application (not a pager).
constexpr quint32 FromApplication = 1;
// The startup-notification messages travel in pieces of this many bytes.
constexpr int StartupMessagePiece = 20; // bytes

// Shows the window, restored and raised, and asks for the keyboard as a program asks for
// itself.
void showRaisedWindow(QWidget *window)
{
    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    window->show();
    window->raise();
    window->activateWindow();
}

// Wayland: Qt's Wayland plugin (6.4) activates a window through the compositor's
// xdg-activation with the token in XDG_ACTIVATION_TOKEN when the window asks to be
// activated, and removes the variable once it has used it. It is set for that moment only:
// left in the environment it would be used again at the next change of focus, and be
// handed to every program this one starts (the browser of the help pages, say).
void activateOnWayland(QWidget *window, const QByteArray &token)
{
    qputenv("XDG_ACTIVATION_TOKEN", token);
    showRaisedWindow(window);
    qunsetenv("XDG_ACTIVATION_TOKEN");
}

xcb_atom_t xAtom(xcb_connection_t *connection, const char *name)
{
    const xcb_intern_atom_cookie_t cookie = xcb_intern_atom(connection, 0, quint16(std::strlen(name)), name);
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return found;
}

// The time of the launcher's click in a startup id; the current time when it names none.
xcb_timestamp_t launchTime(const QByteArray &startupId)
{
    const qsizetype mark = startupId.lastIndexOf(StartupTimeMark);
    if (mark < 0)
        return XCB_CURRENT_TIME;
    bool isNumber = false;
    const uint time = startupId.mid(mark + qsizetype(sizeof StartupTimeMark - 1)).toUInt(&isNumber);
    return isNumber ? xcb_timestamp_t(time) : xcb_timestamp_t(XCB_CURRENT_TIME);
}

// Tells the launcher that the start it announced is complete, so that its busy pointer
// or spinning entry ends: "remove: ID=<id>" (spaces, quotes and backslashes escaped) with
// its closing NUL, sent to the root window in pieces, the first as _NET_STARTUP_INFO_BEGIN.
void endStartup(xcb_connection_t *connection, xcb_window_t root, const QByteArray &startupId)
{
    QByteArray message("remove: ID=");
    for (const char c : startupId) {
        if (c == ' ' || c == '"' || c == '\\')
            message += '\\';
        message += c;
    }
    message += '\0';
    const xcb_atom_t begin = xAtom(connection, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = xAtom(connection, "_NET_STARTUP_INFO");
    for (qsizetype sent = 0; sent < message.size(); sent += StartupMessagePiece) {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = root;
        event.type = sent == 0 ? begin : more;
        const QByteArray piece = message.mid(sent, StartupMessagePiece);
        std::memcpy(event.data.data8, piece.constData(), size_t(piece.size()));
        xcb_send_event(connection, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE, reinterpret_cast<const char *>(&event));
    }
}

// X11: the window carries the startup id (_NET_STARTUP_ID), which a window manager reads
// when it maps a new window, and the request for the keyboard carries the time of the
// launcher's click, which a window manager that prevents focus stealing compares with the
// user's last action. Qt's own request carries the time of this program's last event,
// which is older than any click since; it may be refused, and this one then decides.
void activateOnX11(QWidget *window, const QByteArray &startupId)
{
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection) {
        showRaisedWindow(window);
        return;
    }
    const auto id = xcb_window_t(window->winId()); // made now, before it is shown
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, xAtom(connection, "_NET_STARTUP_ID"),
                        xAtom(connection, "UTF8_STRING"), 8, quint32(startupId.size()), startupId.constData());
    // Qt's own request first: without a window manager it sets the keyboard focus itself.
    showRaisedWindow(window);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen) {
        xcb_client_message_event_t event {};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = id;
        event.type = xAtom(connection, "_NET_ACTIVE_WINDOW");
        event.data.data32[0] = FromApplication;
        event.data.data32[1] = launchTime(startupId);
        event.data.data32[2] = XCB_WINDOW_NONE; // the window now active is not this program's
        xcb_send_event(connection, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char *>(&event));
        endStartup(connection, screen->root, startupId);
    }
    xcb_flush(connection);
}

} // namespace

namespace WindowActivation {

void bringForward(QWidget *window, const QByteArray &token)
{
    if (!window)
        return;
    const QString platform = QGuiApplication::platformName();
    if (token.isEmpty())
        showRaisedWindow(window);
    else if (platform == QLatin1String("wayland"))
        activateOnWayland(window, token);
    else if (platform == QLatin1String("xcb"))
        activateOnX11(window, token);
    else
        showRaisedWindow(window);
}

} // namespace WindowActivation
