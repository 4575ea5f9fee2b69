#include "comm/logentry.h"

#include <QTime>

QString formatTime(const LogEntry &entry)
{
    if (!entry.timestamp.isValid())
        return QString();
    const QTime time = entry.timestamp.time();
    // Hand-built: the pattern parser of QTime::toString dominates large exports.
    const int fields[4] = {time.hour(), time.minute(), time.second(), time.msec()};
    QString out(12, Qt::Uninitialized);
    QChar *p = out.data();
    for (int i = 0; i < 3; ++i) {
        *p++ = QLatin1Char(char('0' + fields[i] / 10));
        *p++ = QLatin1Char(char('0' + fields[i] % 10));
        *p++ = QLatin1Char(i < 2 ? ':' : '.');
    }
    *p++ = QLatin1Char(char('0' + fields[3] / 100));
    *p++ = QLatin1Char(char('0' + fields[3] / 10 % 10));
    *p = QLatin1Char(char('0' + fields[3] % 10));
    return out;
}

QString directionTag(const LogEntry &entry)
{
    switch (entry.direction) {
    case LogEntry::Tx:
        return QStringLiteral("[TX]");
    case LogEntry::Rx:
        return QStringLiteral("[RX]");
    case LogEntry::System:
        return QStringLiteral("[SYS]");
    default:
        return QString();
    }
}
