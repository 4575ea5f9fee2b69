#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class QUdpSocket;

// Sends datagrams to one target, e.g. a replayed capture: send() takes the shape of
// CaptureReplayer::datagram and ignores the original sender. Datagrams are queued and written
// together (one system call for up to 64), at flush(), when 64 wait, or when the event loop next
// turns; connect flush() to the end of each batch to keep the timing exact.
class DatagramSender : public QObject
{
    Q_OBJECT

public:
    explicit DatagramSender(QObject *parent = nullptr);
    ~DatagramSender() override;

    // False with errorString() when no socket of the target's family can be opened.
    bool start(const QHostAddress &target, quint16 port);
    // Flushes, then closes the socket.
    void stop();
    bool isRunning() const { return socket != nullptr; }
    QString errorString() const { return lastError; }
    qint64 sentCount() const { return sent; }
    qint64 failedCount() const { return failures; }

public slots:
    void send(const QByteArray &datagram, const QHostAddress &sender = {}, quint16 senderPort = 0,
              qint64 arrivalNs = 0);
    void flush();

signals:
    // Once per run of failed sends, with the reason.
    void sendFailed(const QString &error);

private:
    void failed(qint64 count, const QString &error);

    QUdpSocket *socket = nullptr;
    QHostAddress target;
    quint16 targetPort = 0;
    QString lastError;
    qint64 sent = 0;
    qint64 failures = 0;
    bool failing = false;
    // The queued datagrams, end to end, and where each ends.
    QByteArray queued;
    std::vector<qsizetype> queuedEnds;
    QTimer flushTimer;
};
