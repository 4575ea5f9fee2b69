#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class CommunicationBase;
class QUdpSocket;

// The client socket, from start to stop: TUIO 1.x messages of the 2D cursor and object
// profiles, one datagram each, velocities and accelerations 0. The target is taken at start.
class TuioSender : public QObject
{
    Q_OBJECT

public:
    // `log` may be nullptr; it is not owned.
    explicit TuioSender(CommunicationBase *log = nullptr, QObject *parent = nullptr);
    ~TuioSender() override;

    // `targetHost` must be a literal IPv4 or IPv6 address (no name lookup); any other text
    // makes every send fail, reported in the log. A local port of 0 lets the system choose.
    void start(const QString &targetHost, quint16 targetPort, quint16 localPort = 0);
    void stop();
    bool isRunning() const { return socket != nullptr; }
    QUdpSocket *udpSocket() const { return socket; }

public slots:
    // "set" sends a cursor set and logs "[TX] cursor s<id> (x,y)"; any other command sends a
    // cursor alive without ids.
    void sendCursorMessage(const QString &command, int sessionId, float x, float y);
    void sendCursorAlive(const QList<int> &sessionIds);
    // "set" sends an object set; other commands send nothing.
    void sendObjectMessage(const QString &command, int sessionId, int classId, float x, float y,
                           float angle);
    void sendObjectAlive(const QList<int> &sessionIds);

private:
    // False (and reported once per run of failures) when the datagram could not be written.
    bool sendDatagram(const QByteArray &datagram);

    CommunicationBase *log = nullptr;
    QUdpSocket *socket = nullptr;
    QString targetHost;
    quint16 targetPort = 0;
    QHostAddress targetAddress;
    // True from a failed send until the next successful one.
    bool sendFailing = false;
};
