#pragma once

#include <QString>

// Notifications shown to the user by the desktop.
namespace UserNotificationCenter {

// False when the desktop offers no notification service.
[[nodiscard]] bool isAvailable();

// Hands one notification (no actions, no sound) to the desktop and waits, briefly, until it was
// taken, so that a process that quits right after does not lose it.
bool scheduleNotification(const QString& title, const QString& subtitle);

} // namespace UserNotificationCenter
