#include "platform/DistributedNotificationCenter.h"

// Placeholder until the session-bus broadcasts land.
DistributedNotificationCenter& DistributedNotificationCenter::defaultCenter()
{
    static DistributedNotificationCenter center;
    return center;
}

DistributedNotificationCenter::DistributedNotificationCenter() = default;

bool DistributedNotificationCenter::isAvailable() const
{
    return false;
}

void DistributedNotificationCenter::postNotificationName(const QString&, const QVariantMap&) {}

void DistributedNotificationCenter::addObserver(const QString& name, QObject* context, Handler handler)
{
    m_observers.append({name, context, std::move(handler)});
}

void DistributedNotificationCenter::removeObserver(QObject* context)
{
    m_observers.removeIf([context](const Observer& observer) { return observer.context == context; });
}

void DistributedNotificationCenter::dispatch(const QString&, const QVariantMap&) {}
