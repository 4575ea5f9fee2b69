#include "capture/datagramsender.h"

#include <QUdpSocket>
#include <QVariant>

DatagramSender::DatagramSender(QObject *parent) : QObject(parent) {}

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
    delete socket;
    socket = nullptr;
}

void DatagramSender::send(const QByteArray &datagram, const QHostAddress &, quint16, qint64)
{
    if (!socket)
        return;
    if (socket->writeDatagram(datagram, target, targetPort) == datagram.size()) {
        ++sent;
        failing = false;
        return;
    }
    ++failures;
    lastError = socket->errorString();
    if (!failing)
        emit sendFailed(lastError);
    failing = true;
}
