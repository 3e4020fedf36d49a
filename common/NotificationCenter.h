#pragma once

#include <QList>
#include <QString>

#include <functional>

// Notifications that never leave the process. Delivery is synchronous: every observer of the name
// has run when postNotificationName returns.
class NotificationCenter
{
public:
    using Handler = std::function<void()>;

    static NotificationCenter& defaultCenter();

    // `observer` only identifies the registration for removeObserver.
    void addObserver(const QString& name, const void* observer, Handler handler);
    void removeObserver(const void* observer);

    void postNotificationName(const QString& name);

private:
    NotificationCenter() = default;

    struct Observer
    {
        QString name;
        const void* observer;
        Handler handler;
    };
    QList<Observer> m_observers;
};
