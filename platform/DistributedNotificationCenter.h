#pragma once

#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include <functional>

// Per-user broadcasts between processes. Fire and forget: a broadcast reaches only processes that
// are running and observing when it is posted. Without a session bus, posting and observing do nothing.
class DistributedNotificationCenter : public QObject
{
    Q_OBJECT

public:
    using Handler = std::function<void(const QVariantMap& userInfo)>;

    static DistributedNotificationCenter& defaultCenter();

    // False when no session bus can be reached.
    [[nodiscard]] bool isAvailable() const;

    // Returns once the bus has routed the broadcast, so a process may quit right after posting.
    void postNotificationName(const QString& name, const QVariantMap& userInfo = {});

    // Calls `handler` on the main thread for every broadcast of `name`, until `context` is destroyed
    // or removeObserver is called with it.
    void addObserver(const QString& name, QObject* context, Handler handler);
    void removeObserver(QObject* context);

private Q_SLOTS:
    void dispatch(const QDBusMessage& message);

private:
    DistributedNotificationCenter();
    struct Observer
    {
        QString name;
        QObject* context;
        Handler handler;
    };
    QList<Observer> m_observers;
    QStringList m_subscribedNames;
};
