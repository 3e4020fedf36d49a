#include "platform/StatusTrayWatch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QXmlStreamReader>

#include <cstdlib>
#include <xcb/xcb.h>

namespace {
const QString watcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString watcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString hostProperty = QStringLiteral("IsStatusNotifierHostRegistered");
// Without an event of its own for a tray manager that appears, the X server is asked this often.
constexpr int xembedPollMs = 2000;
// A watcher that hangs must not hold the agent: its answers are awaited in the event loop anyway.
constexpr int callTimeoutMs = 5000;

// Qt takes a watcher whose introspection data lacks the host property as no watcher at all.
bool introspectionListsHostProperty(const QString& xml)
{
    QXmlStreamReader reader(xml);
    bool inWatcherInterface = false;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement() && reader.name() == QLatin1String("interface"))
            inWatcherInterface = reader.attributes().value(QLatin1String("name")) == watcherService;
        else if (reader.isEndElement() && reader.name() == QLatin1String("interface"))
            inWatcherInterface = false;
        else if (inWatcherInterface && reader.isStartElement() &&
                 reader.name() == QLatin1String("property") &&
                 reader.attributes().value(QLatin1String("name")) == hostProperty)
            return true;
    }
    return false;
}
} // namespace

struct StatusTrayWatch::XConnection
{
    xcb_connection_t* connection = nullptr;
    xcb_atom_t selection = XCB_ATOM_NONE;

    XConnection()
    {
        int screen = 0;
        connection = xcb_connect(nullptr, &screen);
        if (xcb_connection_has_error(connection) != 0)
            return;
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(screen);
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr);
        if (reply != nullptr)
            selection = reply->atom;
        std::free(reply);
    }
    ~XConnection() { xcb_disconnect(connection); }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;

    [[nodiscard]] bool hasTrayManager() const
    {
        if (xcb_connection_has_error(connection) != 0 || selection == XCB_ATOM_NONE)
            return false;
        xcb_get_selection_owner_reply_t* reply = xcb_get_selection_owner_reply(
            connection, xcb_get_selection_owner(connection, selection), nullptr);
        const bool owned = reply != nullptr && reply->owner != XCB_WINDOW_NONE;
        std::free(reply);
        return owned;
    }
};

StatusTrayWatch::StatusTrayWatch(QObject* parent) : QObject(parent)
{
    m_xembedPoll.setInterval(xembedPollMs);
    connect(&m_xembedPoll, &QTimer::timeout, this, &StatusTrayWatch::checkXEmbedTray);
}

StatusTrayWatch::~StatusTrayWatch() = default;

void StatusTrayWatch::start(const QString& platformName)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        m_serviceWatcher =
            new QDBusServiceWatcher(watcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
        connect(m_serviceWatcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                &StatusTrayWatch::checkStatusNotifierWatcher);
        // Any watcher's announcement of a new host: the sender is checked again anyway.
        bus.connect(QString(), watcherPath, watcherService, QStringLiteral("StatusNotifierHostRegistered"),
                    this, SLOT(checkStatusNotifierWatcher()));
        checkStatusNotifierWatcher();
    }
    // Qt docks into an X11 tray only on its xcb platform.
    if (platformName == QLatin1String("xcb")) {
        m_x = std::make_unique<XConnection>();
        checkXEmbedTray();
        if (!isTrayAvailable())
            m_xembedPoll.start();
    }
}

void StatusTrayWatch::checkStatusNotifierWatcher()
{
    const quint64 question = ++m_question;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QDBusMessage introspect = QDBusMessage::createMethodCall(
        watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Introspectable"),
        QStringLiteral("Introspect"));
    auto* pending = new QDBusPendingCallWatcher(bus.asyncCall(introspect, callTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this,
            [this, question](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                const QDBusPendingReply<QString> xml = *call;
                if (question != m_question)
                    return;
                if (xml.isError() || !introspectionListsHostProperty(xml.value())) {
                    setStatusNotifierHost(false);
                    return;
                }
                QDBusMessage get = QDBusMessage::createMethodCall(
                    watcherService, watcherPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                    QStringLiteral("Get"));
                get << watcherService << hostProperty;
                auto* property = new QDBusPendingCallWatcher(
                    QDBusConnection::sessionBus().asyncCall(get, callTimeoutMs), this);
                connect(property, &QDBusPendingCallWatcher::finished, this,
                        [this, question](QDBusPendingCallWatcher* answer) {
                            answer->deleteLater();
                            const QDBusPendingReply<QDBusVariant> value = *answer;
                            if (question != m_question)
                                return;
                            setStatusNotifierHost(!value.isError() && value.value().variant().toBool());
                        });
            });
}

void StatusTrayWatch::checkXEmbedTray()
{
    const bool before = isTrayAvailable();
    m_xembedTray = m_x && m_x->hasTrayManager();
    announceIfAvailable(before);
}

void StatusTrayWatch::setStatusNotifierHost(bool registered)
{
    const bool before = isTrayAvailable();
    m_statusNotifierHost = registered;
    announceIfAvailable(before);
}

void StatusTrayWatch::announceIfAvailable(bool wasAvailable)
{
    if (!isTrayAvailable())
        return;
    // Once the item exists Qt keeps the protocol it chose, so the X server need not be asked again.
    m_xembedPoll.stop();
    if (!wasAvailable)
        Q_EMIT trayAvailable();
}
