#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

struct pcap;
struct pcap_dumper;

// Writes UDP datagrams to a pcap file through libpcap, as raw IP packets (one file holds IPv4 and
// IPv6) with nanosecond wall-clock timestamps, so tshark and Wireshark decode them as sent.
class CaptureWriter
{
public:
    CaptureWriter() = default;
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter &) = delete;
    CaptureWriter &operator=(const CaptureWriter &) = delete;

    // Creates or truncates `path`; false with errorString() naming the file and the reason.
    bool open(const QString &path);
    // An IPv4-mapped sender is written as IPv4; the destination takes the sender's family, its
    // unspecified address when `destination` is of the other one. False on a write error.
    bool write(const QByteArray &payload, const QHostAddress &sender, quint16 senderPort,
               const QHostAddress &destination, quint16 destinationPort, qint64 wallNs);
    bool flush();
    // Flushes and closes; false when the last bytes could not be written.
    bool close();

    bool isOpen() const { return dumper != nullptr; }
    QString fileName() const { return path; }
    QString errorString() const { return lastError; }

private:
    bool fail(const QString &reason);

    pcap *handle = nullptr;
    pcap_dumper *dumper = nullptr;
    QString path;
    QString lastError;
    QByteArray packet;
};
