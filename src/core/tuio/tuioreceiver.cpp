#include "tuio/tuioreceiver.h"

#include "comm/communicationbase.h"
#include "tuio/tuiomessages.h"

#include <QElapsedTimer>
#include <QUdpSocket>

#include <chrono>

namespace {

// How long one ready-read call may drain before the event loop gets a turn to paint and run
// timers; the rest stays queued in the socket and raises the next notification.
constexpr qint64 drainSliceMs = 8;
constexpr int datagramsPerClockCheck = 32;
constexpr int maxDatagramSize = 65536;

} // namespace

TuioReceiver::TuioReceiver(CommunicationBase *log, QObject *parent) : QObject(parent), log(log) {}

TuioReceiver::~TuioReceiver()
{
    stop();
}

qint64 TuioReceiver::monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool TuioReceiver::listen(quint16 port)
{
    stop();
    auto *candidate = new QUdpSocket(this);
    candidate->bind(QHostAddress::AnyIPv4, port,
                    QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint);
    if (candidate->state() != QAbstractSocket::BoundState) {
        lastError = candidate->errorString();
        delete candidate;
        return false;
    }
    lastError.clear();
    // A burst from a tracker must queue in the kernel while the GUI thread paints.
    candidate->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 * 1024 * 1024);
    connect(candidate, &QUdpSocket::readyRead, this, &TuioReceiver::onReadyRead);
    socket = candidate;
    return true;
}

void TuioReceiver::stop()
{
    if (!socket)
        return;
    // Closing frees the port at once; the object goes later, as this may run inside its own
    // ready-read notification.
    QUdpSocket *closing = socket;
    socket = nullptr;
    closing->disconnect(this);
    closing->close();
    closing->deleteLater();
}

void TuioReceiver::onReadyRead()
{
    if (!socket)
        return;
    emit drainStarted();
    QElapsedTimer slice;
    slice.start();
    int drained = 0;
    QHostAddress sender;
    quint16 senderPort = 0;
    // One buffer for every datagram: an IPv4 UDP payload never exceeds it, so the size need not
    // be asked first.
    if (receiveBuffer.size() != maxDatagramSize)
        receiveBuffer = QByteArray(maxDatagramSize, Qt::Uninitialized);
    // Read until the socket reports nothing left (-1): asking hasPendingDatagrams() first would
    // cost a second system call per datagram. A handler may stop the receiver meanwhile.
    while (socket) {
        const qint64 size =
            socket->readDatagram(receiveBuffer.data(), receiveBuffer.size(), &sender, &senderPort);
        if (size < 0)
            break;
        const qint64 arrival = monotonicNs();
        if (log) {
            if (senderPort != lastSenderPort || sender != lastSenderAddress) {
                lastSenderAddress = sender;
                lastSenderPort = senderPort;
                lastSenderPrefix = datagramSummaryPrefix(sender.toString(), senderPort);
            }
            log->logRx(
                log->encodeText(lastSenderPrefix + QString::number(size) + QLatin1Char('B')));
        }
        emit datagramReceived(QByteArray::fromRawData(receiveBuffer.constData(), size), sender,
                              senderPort, arrival);

        if (++drained % datagramsPerClockCheck == 0 && slice.elapsed() >= drainSliceMs)
            break;
    }
    emit drainFinished();
}
