#pragma once

#include "capture/capturepacket.h"

#include <QString>

#include <cstdio>

struct pcap;

// Reads the UDP datagrams of a pcap or pcapng file through libpcap: Ethernet, Linux cooked (SLL
// and SLL2), BSD loopback and raw IP link types, IPv4 and IPv6. Everything else is skipped and
// counted, as are fragments and packets cut short; nothing is guessed.
class CaptureReader
{
public:
    CaptureReader() = default;
    ~CaptureReader();
    CaptureReader(const CaptureReader &) = delete;
    CaptureReader &operator=(const CaptureReader &) = delete;

    // False with errorString() naming the file when it is no capture or of an unread link type.
    bool open(const QString &path);
    // As open(), from a stream the reader then owns; `name` stands for the file in errors.
    bool open(FILE *file, const QString &name);
    void close();

    // 0 keeps every UDP datagram; else those from or to this port.
    void setPortFilter(quint16 port) { filterPort = port; }

    // The next datagram; false at the end of the file, or on an error that ends the reading:
    // hasError() then tells them apart and errorString() names the file and the packet number.
    bool next(CapturePacket &packet);

    bool hasError() const { return !lastError.isEmpty(); }
    QString errorString() const { return lastError; }
    const CaptureSkips &skips() const { return skipped; }
    // Records read so far, skipped ones included.
    qint64 recordCount() const { return records; }

private:
    bool opened(pcap *candidate, const char *errorBuffer);
    bool fail(const QString &reason);
    // False when the record holds no wanted datagram (counted in skips). The IP lengths, not the
    // record's original length, tell a datagram cut short: trailing link padding may be cut.
    bool decode(const unsigned char *data, quint32 captured, CapturePacket &packet);
    bool decodeIp(const unsigned char *ip, quint32 size, CapturePacket &packet);

    pcap *handle = nullptr;
    QString name;
    QString lastError;
    CaptureSkips skipped;
    qint64 records = 0;
    int linkType = -1;
    quint16 filterPort = 0;
};
