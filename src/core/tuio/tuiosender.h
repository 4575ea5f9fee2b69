#pragma once

#include "tuio/tuioframes.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class CommunicationBase;
class QTimer;
class QUdpSocket;

enum class TuioFraming
{
    // One TUIO message per datagram, sent as the canvas reports each step.
    SingleMessages,
    // TUIO 1.1 frames: the live sessions per profile as bundles, resent in full every second.
    Frames
};

// The client socket, from start to stop: TUIO 1.x messages of the 2D cursor and object
// profiles, velocities and accelerations 0. The target and the framing are taken at start.
class TuioSender : public QObject
{
    Q_OBJECT

public:
    // `log` may be nullptr; it is not owned.
    explicit TuioSender(CommunicationBase *log = nullptr, QObject *parent = nullptr);
    ~TuioSender() override;

    // `targetHost` must be a literal IPv4 or IPv6 address (no name lookup); any other text
    // makes every send fail, reported in the log. A local port of 0 lets the system choose.
    void start(const QString &targetHost, quint16 targetPort, quint16 localPort = 0,
               TuioFraming framing = TuioFraming::SingleMessages);
    // With frames, first a frame of empty alive lists for each profile sent since start, so
    // clients release everything.
    void stop();
    bool isRunning() const { return socket != nullptr; }
    TuioFraming framing() const { return runFraming; }
    QUdpSocket *udpSocket() const { return socket; }
    // Fires the full-state resend while started with frames.
    QTimer *resendTimer() const { return fullStateTimer; }

public slots:
    // "set" sends a cursor set and logs "[TX] cursor s<id> (x,y)"; any other command sends a
    // cursor alive without ids.
    void sendCursorMessage(const QString &command, int sessionId, float x, float y);
    void sendCursorAlive(const QList<int> &sessionIds);
    // "set" sends an object set; other commands send nothing.
    void sendObjectMessage(const QString &command, int sessionId, int classId, float x, float y,
                           float angle);
    void sendObjectAlive(const QList<int> &sessionIds);

    // Frames only: the sessions now live, in alive order. A profile whose alive list or sessions
    // differ from the last call gets a frame with sets for the new and changed sessions; both
    // profiles of one call share the frame id.
    void setLiveSessions(const QList<TuioCursorState> &cursors,
                         const QList<TuioObjectState> &objects);
    // Frames only: alive and every set of each profile sent since start, fseq -1.
    void sendFullState();

private:
    // False (and reported once per run of failures) when the datagram could not be written.
    bool sendDatagram(const QByteArray &datagram);
    void sendFrameDatagrams(const QList<TuioFrameDatagram> &datagrams);

    QList<TuioCursorState> cursors;
    QList<TuioObjectState> objects;
    // Profiles that have had a frame since start: the resend and the last frame cover these.
    bool cursorsSent = false;
    bool objectsSent = false;
    // The fseq of the next frame: 1 at each start.
    qint32 frameId = 1;
    TuioFraming runFraming = TuioFraming::SingleMessages;
    // "tactora@<address>", the TUIO 1.1 source name of the frames.
    QString source;
    QTimer *fullStateTimer = nullptr;

    CommunicationBase *log = nullptr;
    QUdpSocket *socket = nullptr;
    QString targetHost;
    quint16 targetPort = 0;
    QHostAddress targetAddress;
    // True from a failed send until the next successful one.
    bool sendFailing = false;
};
