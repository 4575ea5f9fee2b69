#include "capture/datagramsender.h"

#include <QUdpSocket>
#include <QVariant>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr size_t batchSize = 64;
// How long a full socket buffer may hold a batch up before its rest counts as failed.
constexpr int fullBufferWaitMs = 100;

} // namespace

DatagramSender::DatagramSender(QObject *parent) : QObject(parent)
{
    flushTimer.setSingleShot(true);
    connect(&flushTimer, &QTimer::timeout, this, &DatagramSender::flush);
    queuedEnds.reserve(batchSize);
}

DatagramSender::~DatagramSender()
{
    stop();
}

bool DatagramSender::start(const QHostAddress &target, quint16 port)
{
    stop();
    sent = 0;
    failures = 0;
    failing = false;
    auto *candidate = new QUdpSocket(this);
    const bool v6 = target.protocol() == QAbstractSocket::IPv6Protocol;
    if (!candidate->bind(v6 ? QHostAddress::AnyIPv6 : QHostAddress::AnyIPv4, 0)) {
        lastError = candidate->errorString();
        delete candidate;
        return false;
    }
    // A fast replay must not outrun the socket's buffer.
    candidate->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption,
                               QVariant(4 * 1024 * 1024));
    lastError.clear();
    socket = candidate;
    this->target = target;
    targetPort = port;
    return true;
}

void DatagramSender::stop()
{
    flush();
    delete socket;
    socket = nullptr;
}

void DatagramSender::send(const QByteArray &datagram, const QHostAddress &, quint16, qint64)
{
    if (!socket)
        return;
    queued += datagram;
    queuedEnds.push_back(queued.size());
    if (queuedEnds.size() >= batchSize)
        flush();
    else if (!flushTimer.isActive())
        flushTimer.start(0);
}

void DatagramSender::flush()
{
    flushTimer.stop();
    if (queuedEnds.empty() || !socket)
        return;
    // Many datagrams per system call: a fast replay is bound by the calls, not the bytes.
    sockaddr_storage address{};
    socklen_t addressSize = 0;
    if (target.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&address);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(targetPort);
        const Q_IPV6ADDR bytes = target.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, 16);
        addressSize = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&address);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(targetPort);
        in4->sin_addr.s_addr = htonl(target.toIPv4Address());
        addressSize = sizeof(sockaddr_in);
    }
    const size_t count = queuedEnds.size();
    iovec parts[batchSize];
    mmsghdr messages[batchSize];
    std::memset(messages, 0, sizeof messages);
    qsizetype begin = 0;
    for (size_t i = 0; i < count; ++i) {
        parts[i].iov_base = queued.data() + begin;
        parts[i].iov_len = size_t(queuedEnds[i] - begin);
        messages[i].msg_hdr.msg_name = &address;
        messages[i].msg_hdr.msg_namelen = addressSize;
        messages[i].msg_hdr.msg_iov = &parts[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        begin = queuedEnds[i];
    }
    const int fd = int(socket->socketDescriptor());
    size_t done = 0;
    while (done < count) {
        const int result = ::sendmmsg(fd, messages + done, unsigned(count - done), 0);
        if (result > 0) {
            done += size_t(result);
            sent += result;
            failing = false;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == ENOBUFS) {
            pollfd writable{fd, POLLOUT, 0};
            if (::poll(&writable, 1, fullBufferWaitMs) > 0)
                continue;
        }
        if (errno == EAGAIN || errno == ENOBUFS || errno == EMSGSIZE || errno == ECONNREFUSED) {
            // This one datagram is lost; the rest may still go.
            failed(1, QString::fromLocal8Bit(std::strerror(errno)));
            ++done;
            continue;
        }
        failed(qint64(count - done), QString::fromLocal8Bit(std::strerror(errno)));
        break;
    }
    // Keeps the capacity for the next batch.
    queued.resize(0);
    queuedEnds.clear();
}

void DatagramSender::failed(qint64 count, const QString &error)
{
    failures += count;
    lastError = error;
    if (!failing)
        emit sendFailed(error);
    failing = true;
}
