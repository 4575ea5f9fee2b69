#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class CommunicationBase;
class QUdpSocket;

// The server socket, from listen to stop. Every datagram read is logged as
// "[address:port] sizeB" and handed on with its sender and a monotonic arrival time.
class TuioReceiver : public QObject
{
    Q_OBJECT

public:
    // `log` may be nullptr; it is not owned.
    explicit TuioReceiver(CommunicationBase *log = nullptr, QObject *parent = nullptr);
    ~TuioReceiver() override;

    // Binds the port on every IPv4 interface, shared with other instances. On failure the
    // socket is gone again and errorString() says why.
    bool listen(quint16 port);
    void stop();
    bool isListening() const { return socket != nullptr; }
    QString errorString() const { return lastError; }
    QUdpSocket *udpSocket() const { return socket; }

    // Steady-clock nanoseconds, the clock of arrival times.
    static qint64 monotonicNs();

signals:
    // A drain of the socket begins; datagramReceived follows for each datagram read.
    void drainStarted();
    // The bytes are valid only during the call: copy them to keep them.
    void datagramReceived(const QByteArray &datagram, const QHostAddress &sender,
                          quint16 senderPort, qint64 arrivalNs);
    // The drain ended, with the socket empty or the time slice used up.
    void drainFinished();

private slots:
    void onReadyRead();

private:
    CommunicationBase *log = nullptr;
    QUdpSocket *socket = nullptr;
    QString lastError;
    QByteArray receiveBuffer;
    // The summary prefix of the last sender, so a steady stream is not formatted anew per
    // datagram.
    QHostAddress lastSenderAddress;
    quint16 lastSenderPort = 0;
    QString lastSenderPrefix;
};
