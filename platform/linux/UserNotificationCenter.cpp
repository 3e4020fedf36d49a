#include "platform/UserNotificationCenter.h"

// Placeholder until the desktop notification service lands.
namespace UserNotificationCenter {

bool isAvailable()
{
    return false;
}

bool scheduleNotification(const QString&, const QString&)
{
    return false;
}

} // namespace UserNotificationCenter
