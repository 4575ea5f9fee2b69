#pragma once

#include <QByteArray>
#include <QHostAddress>

// One UDP datagram of a capture file, with the addresses of its IP and UDP headers.
struct CapturePacket
{
    QByteArray payload;
    QHostAddress sender;
    quint16 senderPort = 0;
    QHostAddress destination;
    quint16 destinationPort = 0;
    // Wall clock, nanoseconds since 1970 as the file gives them.
    qint64 timestampNs = 0;
    // 1-based position among all records of the file, skipped ones included.
    qint64 number = 0;
};

// What a reader passed over. None of these is an error.
struct CaptureSkips
{
    // Not IPv4/IPv6 or not UDP.
    qint64 otherTraffic = 0;
    // IP fragments: their datagram is not reassembled.
    qint64 fragmented = 0;
    // Cut short by the capture's snapshot length, or headers whose lengths do not add up.
    qint64 truncated = 0;
    // UDP traffic on other ports than the filter's.
    qint64 filteredOut = 0;

    qint64 total() const { return otherTraffic + fragmented + truncated + filteredOut; }
};
