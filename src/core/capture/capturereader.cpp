#include "capture/capturereader.h"

#include <QFile>

#include <pcap/pcap.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

#ifndef DLT_LINUX_SLL2
#define DLT_LINUX_SLL2 276
#endif

constexpr quint8 udpProtocol = 17;
// Year 2116, a quarter of what nanoseconds in 64 bits reach.
constexpr qint64 maxSeconds = std::numeric_limits<qint64>::max() / 4 / 1000000000;

quint16 be16(const unsigned char *at)
{
    return quint16(at[0] << 8 | at[1]);
}

quint32 be32(const unsigned char *at)
{
    return quint32(at[0]) << 24 | quint32(at[1]) << 16 | quint32(at[2]) << 8 | at[3];
}

quint32 le32(const unsigned char *at)
{
    return quint32(at[3]) << 24 | quint32(at[2]) << 16 | quint32(at[1]) << 8 | at[0];
}

enum class Network
{
    Ip, // the version nibble tells which
    Other
};

Network fromEtherType(quint16 type)
{
    return type == 0x0800 || type == 0x86dd ? Network::Ip : Network::Other;
}

// BSD loopback headers carry the capturing system's address family in its own byte order; IPv6
// has a different number on Linux, NetBSD, FreeBSD and macOS.
Network fromFamily(quint32 family)
{
    switch (family) {
    case 2:
    case 10:
    case 24:
    case 28:
    case 30:
        return Network::Ip;
    default:
        return Network::Other;
    }
}

// Addresses repeat from packet to packet; an unchanged one is not built again.
void setAddress(QHostAddress &address, quint32 ipv4)
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol || address.toIPv4Address() != ipv4)
        address.setAddress(ipv4);
}

void setAddress(QHostAddress &address, const unsigned char *ipv6)
{
    if (address.protocol() != QAbstractSocket::IPv6Protocol ||
        std::memcmp(address.toIPv6Address().c, ipv6, 16) != 0)
        address.setAddress(ipv6);
}

bool readableLinkType(int type)
{
    switch (type) {
    case DLT_EN10MB:
    case DLT_LINUX_SLL:
    case DLT_LINUX_SLL2:
    case DLT_NULL:
    case DLT_LOOP:
    case DLT_RAW:
    case DLT_IPV4:
    case DLT_IPV6:
        return true;
    default:
        return false;
    }
}

} // namespace

CaptureReader::~CaptureReader()
{
    close();
}

bool CaptureReader::open(const QString &path)
{
    close();
    name = path;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    return opened(pcap_open_offline_with_tstamp_precision(QFile::encodeName(path).constData(),
                                                          PCAP_TSTAMP_PRECISION_NANO, errorBuffer),
                  errorBuffer);
}

bool CaptureReader::open(FILE *file, const QString &name)
{
    close();
    this->name = name;
    char errorBuffer[PCAP_ERRBUF_SIZE] = {};
    pcap *candidate =
        pcap_fopen_offline_with_tstamp_precision(file, PCAP_TSTAMP_PRECISION_NANO, errorBuffer);
    // On success libpcap closes the stream with the handle; on failure it is still ours.
    if (!candidate)
        std::fclose(file);
    return opened(candidate, errorBuffer);
}

bool CaptureReader::opened(pcap *candidate, const char *errorBuffer)
{
    lastError.clear();
    skipped = {};
    records = 0;
    if (!candidate)
        return fail(QString::fromLocal8Bit(errorBuffer));
    handle = candidate;
    linkType = pcap_datalink(handle);
    if (!readableLinkType(linkType)) {
        const char *linkName = pcap_datalink_val_to_name(linkType);
        const QString reason =
            QStringLiteral("link type %1 is not read (Ethernet, Linux cooked, loopback and raw IP "
                           "are)")
                .arg(linkName ? QString::fromLatin1(linkName) : QString::number(linkType));
        close();
        return fail(reason);
    }
    return true;
}

void CaptureReader::close()
{
    if (handle)
        pcap_close(handle);
    handle = nullptr;
}

bool CaptureReader::fail(const QString &reason)
{
    lastError = QStringLiteral("%1: %2").arg(name, reason);
    return false;
}

bool CaptureReader::next(CapturePacket &packet)
{
    while (handle) {
        pcap_pkthdr *header = nullptr;
        const u_char *data = nullptr;
        const int result = pcap_next_ex(handle, &header, &data);
        if (result == PCAP_ERROR_BREAK) {
            close();
            return false;
        }
        if (result != 1) {
            const QString reason = QString::fromLocal8Bit(pcap_geterr(handle));
            close();
            return fail(QStringLiteral("packet %1: %2").arg(records + 1).arg(reason));
        }
        ++records;
        packet.number = records;
        // pcapng allows times far outside what nanoseconds in 64 bits hold; they are clamped so
        // that differences between them cannot overflow either.
        const qint64 seconds = std::clamp<qint64>(header->ts.tv_sec, 0, maxSeconds);
        packet.timestampNs =
            seconds * 1000000000 + std::clamp<qint64>(header->ts.tv_usec, 0, 999999999);
        if (decode(data, header->caplen, packet))
            return true;
    }
    return false;
}

bool CaptureReader::decode(const unsigned char *data, quint32 captured, CapturePacket &packet)
{
    Network network = Network::Ip;
    quint32 need = 0;
    switch (linkType) {
    case DLT_EN10MB:
        need = 14;
        if (captured >= need) {
            quint16 type = be16(data + 12);
            // 802.1Q and 802.1ad tags, stacked.
            while ((type == 0x8100 || type == 0x88a8 || type == 0x9100) && captured >= need + 4) {
                type = be16(data + need + 2);
                need += 4;
            }
            network = fromEtherType(type);
        }
        break;
    case DLT_LINUX_SLL:
        need = 16;
        if (captured >= need)
            network = fromEtherType(be16(data + 14));
        break;
    case DLT_LINUX_SLL2:
        need = 20;
        if (captured >= need)
            network = fromEtherType(be16(data));
        break;
    case DLT_NULL:
    case DLT_LOOP:
        need = 4;
        if (captured >= need) {
            const Network big = fromFamily(be32(data));
            network = big == Network::Ip ? big : fromFamily(le32(data));
        }
        break;
    default:
        break;
    }
    if (captured < need) {
        // Too short for its link header: cut by the snapshot length, or broken.
        ++skipped.truncated;
        return false;
    }
    if (network != Network::Ip) {
        ++skipped.otherTraffic;
        return false;
    }
    return decodeIp(data + need, captured - need, packet);
}

bool CaptureReader::decodeIp(const unsigned char *ip, quint32 size, CapturePacket &packet)
{
    if (size < 1) {
        ++skipped.truncated;
        return false;
    }
    const int version = ip[0] >> 4;
    const unsigned char *udp = nullptr;
    quint32 available = 0;
    if (version == 4) {
        const quint32 headerSize = quint32(ip[0] & 0x0f) * 4;
        if (size < 20 || headerSize < 20 || size < headerSize) {
            ++skipped.truncated;
            return false;
        }
        if (ip[9] != udpProtocol) {
            ++skipped.otherTraffic;
            return false;
        }
        if ((be16(ip + 6) & 0x3fff) != 0) {
            ++skipped.fragmented;
            return false;
        }
        const quint32 total = be16(ip + 2);
        if (total < headerSize || total > size) {
            ++skipped.truncated;
            return false;
        }
        setAddress(packet.sender, be32(ip + 12));
        setAddress(packet.destination, be32(ip + 16));
        udp = ip + headerSize;
        available = total - headerSize;
    } else if (version == 6) {
        if (size < 40) {
            ++skipped.truncated;
            return false;
        }
        const quint32 total = 40 + quint32(be16(ip + 4));
        quint8 nextHeader = ip[6];
        quint32 at = 40;
        // Extension headers before the transport: hop-by-hop, routing, destination options,
        // authentication; a fragment header ends it.
        while (nextHeader == 0 || nextHeader == 43 || nextHeader == 60 || nextHeader == 51) {
            if (size < at + 8) {
                ++skipped.truncated;
                return false;
            }
            const quint32 extension =
                nextHeader == 51 ? (quint32(ip[at + 1]) + 2) * 4 : (quint32(ip[at + 1]) + 1) * 8;
            nextHeader = ip[at];
            at += extension;
        }
        if (nextHeader == 44) {
            ++skipped.fragmented;
            return false;
        }
        if (nextHeader != udpProtocol) {
            ++skipped.otherTraffic;
            return false;
        }
        if (total > size || at > total) {
            ++skipped.truncated;
            return false;
        }
        setAddress(packet.sender, ip + 8);
        setAddress(packet.destination, ip + 24);
        udp = ip + at;
        available = total - at;
    } else {
        ++skipped.otherTraffic;
        return false;
    }
    if (available < 8) {
        ++skipped.truncated;
        return false;
    }
    const quint32 udpLength = be16(udp + 4);
    if (udpLength < 8 || udpLength > available) {
        ++skipped.truncated;
        return false;
    }
    packet.senderPort = be16(udp);
    packet.destinationPort = be16(udp + 2);
    if (filterPort != 0 && packet.senderPort != filterPort &&
        packet.destinationPort != filterPort) {
        ++skipped.filteredOut;
        return false;
    }
    // Resized in place: the buffer of the packet before is reused unless someone kept it.
    packet.payload.resize(qsizetype(udpLength - 8));
    std::memcpy(packet.payload.data(), udp + 8, udpLength - 8);
    return true;
}
