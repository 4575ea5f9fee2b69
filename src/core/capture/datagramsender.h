#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>

class QUdpSocket;

// Sends datagrams to one target, e.g. a replayed capture: send() takes the shape of
// CaptureReplayer::datagram and ignores the original sender.
class DatagramSender : public QObject
{
    Q_OBJECT

public:
    explicit DatagramSender(QObject *parent = nullptr);
    ~DatagramSender() override;

    // False with errorString() when no socket of the target's family can be opened.
    bool start(const QHostAddress &target, quint16 port);
    void stop();
    bool isRunning() const { return socket != nullptr; }
    QString errorString() const { return lastError; }
    qint64 sentCount() const { return sent; }
    qint64 failedCount() const { return failures; }

public slots:
    void send(const QByteArray &datagram, const QHostAddress &sender = {}, quint16 senderPort = 0,
              qint64 arrivalNs = 0);

signals:
    // Once per run of failed sends, with the socket's reason.
    void sendFailed(const QString &error);

private:
    QUdpSocket *socket = nullptr;
    QHostAddress target;
    quint16 targetPort = 0;
    QString lastError;
    qint64 sent = 0;
    qint64 failures = 0;
    bool failing = false;
};
