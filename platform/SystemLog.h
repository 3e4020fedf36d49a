#pragma once

#include <QString>

// The system log of the session (syslog), mirrored on standard error as the desktop's logs show it.
namespace SystemLog {

void write(const QString& message);

} // namespace SystemLog
