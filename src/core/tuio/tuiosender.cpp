#include "tuio/tuiosender.h"

#include "comm/communicationbase.h"
#include "tuio/tuiomessages.h"

#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <climits>

namespace {

const QString cursorProfile = QStringLiteral("/tuio/2Dcur");
const QString objectProfile = QStringLiteral("/tuio/2Dobj");

// TUIO 1.1 names a sender "name@address". The client socket is never bound to one particular
// address, so the address is the one the system would send from towards the target: the local
// end of a connected throwaway UDP socket (connecting sends nothing), 127.0.0.1 for a loopback
// target. Without a usable target it is 0.0.0.0.
QString sourceNameTowards(const QHostAddress &target, quint16 port)
{
    QHostAddress local;
    if (!target.isNull()) {
        QUdpSocket probe;
        probe.connectToHost(target, port);
        if (probe.waitForConnected(100))
            local = probe.localAddress();
    }
    return QStringLiteral("tactora@") +
           (local.isNull() ? QStringLiteral("0.0.0.0") : local.toString());
}

bool sameState(const TuioCursorState &a, const TuioCursorState &b)
{
    return a.x == b.x && a.y == b.y;
}

bool sameState(const TuioObjectState &a, const TuioObjectState &b)
{
    return a.classId == b.classId && a.x == b.x && a.y == b.y && a.angle == b.angle;
}

template <typename State> QList<qint32> sessionIds(const QList<State> &sessions)
{
    QList<qint32> ids;
    ids.reserve(sessions.size());
    for (const State &session : sessions)
        ids << session.sid;
    return ids;
}

// The sessions of `now` that `before` lacks or shows elsewhere.
template <typename State>
QList<State> changedSessions(const QList<State> &now, const QList<State> &before)
{
    QList<State> changed;
    for (const State &session : now) {
        const auto same = [&session](const State &old) {
            return old.sid == session.sid && sameState(old, session);
        };
        if (std::none_of(before.cbegin(), before.cend(), same))
            changed << session;
    }
    return changed;
}

} // namespace

TuioSender::TuioSender(CommunicationBase *log, QObject *parent) : QObject(parent), log(log)
{
    fullStateTimer = new QTimer(this);
    fullStateTimer->setInterval(1000);
    connect(fullStateTimer, &QTimer::timeout, this, &TuioSender::sendFullState);
}

TuioSender::~TuioSender()
{
    stop();
}

void TuioSender::start(const QString &host, quint16 port, quint16 localPort, TuioFraming framing)
{
    stop();
    socket = new QUdpSocket(this);
    if (localPort > 0)
        socket->bind(QHostAddress::AnyIPv4, localPort);
    targetHost = host;
    targetPort = port;
    targetAddress = literalHostAddress(host);
    sendFailing = false;
    runFraming = framing;
    frameId = 1;
    if (framing == TuioFraming::Frames) {
        source = sourceNameTowards(targetAddress, port);
        fullStateTimer->start();
    }
}

void TuioSender::stop()
{
    if (!socket)
        return;
    if (runFraming == TuioFraming::Frames) {
        fullStateTimer->stop();
        const qint32 id = frameId;
        if (cursorsSent)
            sendFrameDatagrams(buildTuioFrame(cursorProfile, source, {}, {}, id));
        if (objectsSent)
            sendFrameDatagrams(buildTuioFrame(objectProfile, source, {}, {}, id));
        cursors.clear();
        objects.clear();
        cursorsSent = false;
        objectsSent = false;
    }
    socket->close();
    delete socket;
    socket = nullptr;
}

bool TuioSender::sendDatagram(const QByteArray &datagram)
{
    QString error;
    // Qt writes to a null address as if it were "::", which reaches this machine: never try.
    if (targetAddress.isNull())
        error = notLiteralAddressText();
    else if (socket->writeDatagram(datagram, targetAddress, targetPort) >= 0)
        sendFailing = false;
    else
        error = socket->errorString();
    if (error.isEmpty())
        return true;
    // One line per run of failures: a drag towards a bad target must not flood the log.
    if (!sendFailing) {
        sendFailing = true;
        if (log)
            log->logSystem(sendFailureText(targetHost, targetPort, error));
    }
    return false;
}

void TuioSender::sendCursorMessage(const QString &command, int sessionId, float x, float y)
{
    if (!socket)
        return;
    if (command != QLatin1String("set")) {
        sendDatagram(buildCursorAlive({}));
        return;
    }
    if (sendDatagram(buildCursorSet(sessionId, x, y)) && log)
        log->logTx(log->encodeText(cursorTxText(sessionId, x, y)));
}

void TuioSender::sendCursorAlive(const QList<int> &sessionIds)
{
    if (socket)
        sendDatagram(buildCursorAlive(sessionIds));
}

void TuioSender::sendObjectMessage(const QString &command, int sessionId, int classId, float x,
                                   float y, float angle)
{
    if (socket && command == QLatin1String("set"))
        sendDatagram(buildObjectSet(sessionId, classId, x, y, angle));
}

void TuioSender::sendObjectAlive(const QList<int> &sessionIds)
{
    if (socket)
        sendDatagram(buildObjectAlive(sessionIds));
}

void TuioSender::setLiveSessions(const QList<TuioCursorState> &liveCursors,
                                 const QList<TuioObjectState> &liveObjects)
{
    if (!socket || runFraming != TuioFraming::Frames)
        return;
    const QList<TuioCursorState> cursorSets = changedSessions(liveCursors, cursors);
    const QList<TuioObjectState> objectSets = changedSessions(liveObjects, objects);
    const bool cursorFrame =
        !cursorSets.isEmpty() || sessionIds(liveCursors) != sessionIds(cursors);
    const bool objectFrame =
        !objectSets.isEmpty() || sessionIds(liveObjects) != sessionIds(objects);
    cursors = liveCursors;
    objects = liveObjects;
    if (!cursorFrame && !objectFrame)
        return;
    const qint32 id = frameId;
    frameId = (frameId == INT_MAX) ? 1 : frameId + 1;
    if (cursorFrame) {
        cursorsSent = true;
        sendFrameDatagrams(buildTuioFrame(cursorProfile, source, sessionIds(cursors),
                                          cursorSetMessages(cursorSets), id));
    }
    if (objectFrame) {
        objectsSent = true;
        sendFrameDatagrams(buildTuioFrame(objectProfile, source, sessionIds(objects),
                                          objectSetMessages(objectSets), id));
    }
}

void TuioSender::sendFullState()
{
    if (!socket || runFraming != TuioFraming::Frames)
        return;
    if (cursorsSent)
        sendFrameDatagrams(buildTuioFrame(cursorProfile, source, sessionIds(cursors),
                                          cursorSetMessages(cursors), redundantFrameId));
    if (objectsSent)
        sendFrameDatagrams(buildTuioFrame(objectProfile, source, sessionIds(objects),
                                          objectSetMessages(objects), redundantFrameId));
}

void TuioSender::sendFrameDatagrams(const QList<TuioFrameDatagram> &datagrams)
{
    for (const TuioFrameDatagram &frame : datagrams)
        if (sendDatagram(frame.datagram) && log)
            log->logTx(log->encodeText(frame.summary));
}
