#include "NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter()
{
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const QString& name, const void* observer, Handler handler)
{
    m_observers.append({name, observer, std::move(handler)});
}

void NotificationCenter::removeObserver(const void* observer)
{
    m_observers.removeIf([observer](const Observer& entry) { return entry.observer == observer; });
}

void NotificationCenter::postNotificationName(const QString& name)
{
    // A handler may add or remove observers: deliver to those registered when the post began and
    // still registered when their turn comes.
    const QList<Observer> observers = m_observers;
    for (const Observer& entry : observers) {
        if (entry.name != name)
            continue;
        const bool stillRegistered =
            std::any_of(m_observers.cbegin(), m_observers.cend(), [&](const Observer& current) {
                return current.observer == entry.observer && current.name == name;
            });
        if (stillRegistered)
            entry.handler();
    }
}
