#include "XDisplay.h"

#include <QStandardPaths>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

template <typename Reply> using ReplyPointer = std::unique_ptr<Reply, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const ReplyPointer<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

QString title(xcb_connection_t* connection, xcb_window_t window)
{
    const xcb_atom_t utf8 = atom(connection, "UTF8_STRING");
    for (const auto& [property, type] :
         {std::pair(atom(connection, "_NET_WM_NAME"), utf8),
          std::pair(xcb_atom_t(XCB_ATOM_WM_NAME), xcb_atom_t(XCB_ATOM_STRING))}) {
        const ReplyPointer<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(connection,
                                   xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr),
            &std::free);
        if (reply && xcb_get_property_value_length(reply.get()) > 0)
            return QString::fromUtf8(static_cast<const char*>(xcb_get_property_value(reply.get())),
                                     xcb_get_property_value_length(reply.get()));
    }
    return {};
}

QList<std::pair<xcb_window_t, QString>> shown(xcb_connection_t* connection)
{
    QList<std::pair<xcb_window_t, QString>> windows;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const ReplyPointer<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
    if (!tree)
        return windows;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    for (int i = 0; i < xcb_query_tree_children_length(tree.get()); ++i) {
        const ReplyPointer<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, children[i]),
                                            nullptr),
            &std::free);
        if (attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE && !attributes->override_redirect)
            windows.append({children[i], title(connection, children[i])});
    }
    return windows;
}

} // namespace

XDisplay::XDisplay()
{
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (server.isEmpty())
        return;
    // The server picks a free display number and writes it to standard output once it accepts clients.
    m_server.start(server, {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-screen"), QStringLiteral("0"),
                            QStringLiteral("1280x1024x24")});
    if (!m_server.waitForStarted(5000))
        return;
    while (!m_server.canReadLine() && m_server.waitForReadyRead(10000)) {
    }
    const QString number = QString::fromLatin1(m_server.readLine()).trimmed();
    if (number.isEmpty())
        return;
    m_name = QLatin1Char(':') + number;
    m_connection = xcb_connect(m_name.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(m_connection)) {
        xcb_disconnect(m_connection);
        m_connection = nullptr;
    }
}

XDisplay::~XDisplay()
{
    if (m_connection)
        xcb_disconnect(m_connection);
    m_server.terminate();
    if (!m_server.waitForFinished(5000))
        m_server.kill();
}

QStringList XDisplay::shownWindows() const
{
    QStringList titles;
    if (!m_connection)
        return titles;
    for (const auto& window : shown(m_connection))
        titles.append(window.second);
    return titles;
}

bool XDisplay::close(const QString& windowTitle) const
{
    if (!m_connection)
        return false;
    for (const auto& [window, name] : shown(m_connection)) {
        if (name != windowTitle)
            continue;
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window;
        event.type = atom(m_connection, "WM_PROTOCOLS");
        event.data.data32[0] = atom(m_connection, "WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        xcb_send_event(m_connection, 0, window, XCB_EVENT_MASK_NO_EVENT,
                       reinterpret_cast<const char*>(&event));
        xcb_flush(m_connection);
        return true;
    }
    return false;
}
