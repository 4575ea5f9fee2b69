#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>

// One record of the communication log; a plain value copied freely.
struct LogEntry
{
    enum Direction
    {
        Tx = 0,
        Rx = 1,
        System = 2
    };

    QDateTime timestamp;
    int direction = Tx;
    QByteArray data;
    QString text;
    QString hexText;
};

// Every member is itself relocatable, so the store can move entries with memmove.
Q_DECLARE_TYPEINFO(LogEntry, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(LogEntry)

// "HH:mm:ss.zzz" in local time.
QString formatTime(const LogEntry &entry);
// "[TX]", "[RX]", "[SYS]", or empty for an unknown direction.
QString directionTag(const LogEntry &entry);
