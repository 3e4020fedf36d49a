#include "platform/SystemLog.h"

#include <cstdio>
#include <syslog.h>

namespace SystemLog {

void write(const QString& message)
{
    const QByteArray text = message.toUtf8();
    syslog(LOG_NOTICE, "%s", text.constData());
    std::fprintf(stderr, "%s\n", text.constData());
    std::fflush(stderr);
}

} // namespace SystemLog
