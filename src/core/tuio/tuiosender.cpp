#include "tuio/tuiosender.h"

#include "comm/communicationbase.h"
#include "tuio/tuiomessages.h"

#include <QUdpSocket>

TuioSender::TuioSender(CommunicationBase *log, QObject *parent) : QObject(parent), log(log) {}

TuioSender::~TuioSender()
{
    stop();
}

void TuioSender::start(const QString &host, quint16 port, quint16 localPort)
{
    stop();
    socket = new QUdpSocket(this);
    if (localPort > 0)
        socket->bind(QHostAddress::AnyIPv4, localPort);
    targetHost = host;
    targetPort = port;
    targetAddress = literalHostAddress(host);
    sendFailing = false;
}

void TuioSender::stop()
{
    if (!socket)
        return;
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
