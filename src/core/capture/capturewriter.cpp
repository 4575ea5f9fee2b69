#include "capture/capturewriter.h"

#include <QFile>

#include <pcap/pcap.h>

#include <cerrno>
#include <cstring>

namespace {

// The largest packet libpcap reads back: an IPv6 header, UDP header and a full 16-bit payload.
constexpr int snapshotLength = 262144;
constexpr int ipv4HeaderSize = 20;
constexpr int ipv6HeaderSize = 40;
constexpr int udpHeaderSize = 8;
constexpr quint8 udpProtocol = 17;

void put16(char *at, quint16 value)
{
    at[0] = char(value >> 8);
    at[1] = char(value & 0xff);
}

// The one's-complement sum of the Internet checksum, not yet folded.
quint64 sum16(const char *data, qsizetype size, quint64 sum = 0)
{
    const auto *bytes = reinterpret_cast<const quint8 *>(data);
    qsizetype i = 0;
    for (; i + 1 < size; i += 2)
        sum += quint64(bytes[i]) << 8 | bytes[i + 1];
    if (i < size)
        sum += quint64(bytes[i]) << 8;
    return sum;
}

quint16 fold(quint64 sum)
{
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return quint16(~sum & 0xffff);
}

QString errnoText()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

CaptureWriter::~CaptureWriter()
{
    close();
}

bool CaptureWriter::open(const QString &path)
{
    close();
    this->path = path;
    lastError.clear();
    handle =
        pcap_open_dead_with_tstamp_precision(DLT_RAW, snapshotLength, PCAP_TSTAMP_PRECISION_NANO);
    if (!handle)
        return fail(QStringLiteral("libpcap could not start a file"));
    dumper = pcap_dump_open(handle, QFile::encodeName(path).constData());
    if (!dumper) {
        const QString reason = QString::fromLocal8Bit(pcap_geterr(handle));
        pcap_close(handle);
        handle = nullptr;
        return fail(reason);
    }
    // The header is only buffered so far: a full disk shows here, not at the first datagram.
    return flush();
}

bool CaptureWriter::write(const QByteArray &payload, const QHostAddress &sender, quint16 senderPort,
                          const QHostAddress &destination, quint16 destinationPort, qint64 wallNs)
{
    if (!dumper)
        return false;
    bool mapped = false;
    const quint32 sender4 = sender.toIPv4Address(&mapped);
    const bool v4 = mapped;
    const int ipSize = v4 ? ipv4HeaderSize : ipv6HeaderSize;
    const qsizetype udpSize = udpHeaderSize + payload.size();
    if (udpSize > 0xffff || (v4 && ipSize + udpSize > 0xffff))
        return fail(
            QStringLiteral("a datagram of %1 bytes does not fit a UDP packet").arg(payload.size()));
    packet.resize(ipSize + udpSize);
    char *p = packet.data();
    std::memset(p, 0, size_t(ipSize + udpHeaderSize));
    quint64 pseudo = 0;
    if (v4) {
        bool destinationMapped = false;
        const quint32 destination4 = destination.toIPv4Address(&destinationMapped);
        const quint32 to = destinationMapped ? destination4 : 0;
        p[0] = 0x45;
        put16(p + 2, quint16(ipSize + udpSize));
        p[8] = 64;
        p[9] = char(udpProtocol);
        put16(p + 12, quint16(sender4 >> 16));
        put16(p + 14, quint16(sender4));
        put16(p + 16, quint16(to >> 16));
        put16(p + 18, quint16(to));
        put16(p + 10, fold(sum16(p, ipv4HeaderSize)));
        pseudo = sum16(p + 12, 8) + udpProtocol + quint64(udpSize);
    } else {
        const Q_IPV6ADDR from = sender.toIPv6Address();
        const bool destinationV6 = destination.protocol() == QAbstractSocket::IPv6Protocol;
        const Q_IPV6ADDR to = destinationV6 ? destination.toIPv6Address() : Q_IPV6ADDR{};
        p[0] = 0x60;
        put16(p + 4, quint16(udpSize));
        p[6] = char(udpProtocol);
        p[7] = 64;
        std::memcpy(p + 8, from.c, 16);
        std::memcpy(p + 24, to.c, 16);
        pseudo = sum16(p + 8, 32) + udpProtocol + quint64(udpSize);
    }
    char *udp = p + ipSize;
    put16(udp, senderPort);
    put16(udp + 2, destinationPort);
    put16(udp + 4, quint16(udpSize));
    std::memcpy(udp + udpHeaderSize, payload.constData(), size_t(payload.size()));
    quint16 checksum = fold(sum16(udp, udpSize, pseudo));
    // 0 would mean "no checksum"; its one's-complement twin says the same sum.
    put16(udp + 6, checksum == 0 ? 0xffff : checksum);

    pcap_pkthdr header{};
    header.ts.tv_sec = time_t(wallNs / 1000000000);
    header.ts.tv_usec = suseconds_t(wallNs % 1000000000);
    header.caplen = bpf_u_int32(packet.size());
    header.len = header.caplen;
    pcap_dump(reinterpret_cast<u_char *>(dumper), &header,
              reinterpret_cast<const u_char *>(packet.constData()));
    if (std::ferror(pcap_dump_file(dumper)))
        return fail(errnoText());
    return true;
}

bool CaptureWriter::flush()
{
    if (!dumper)
        return false;
    if (pcap_dump_flush(dumper) != 0 || std::ferror(pcap_dump_file(dumper)))
        return fail(errnoText());
    return true;
}

bool CaptureWriter::close()
{
    if (!dumper)
        return lastError.isEmpty();
    FILE *file = pcap_dump_file(dumper);
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    const QString reason = ok ? QString() : errnoText();
    pcap_dump_close(dumper);
    pcap_close(handle);
    dumper = nullptr;
    handle = nullptr;
    if (!ok && lastError.isEmpty())
        lastError = QStringLiteral("%1: %2").arg(path, reason);
    return ok && lastError.isEmpty();
}

bool CaptureWriter::fail(const QString &reason)
{
    lastError = QStringLiteral("%1: %2").arg(path, reason);
    return false;
}
