// TuioWidget's TUIO traffic: draining the server socket and sending what the canvas simulates.
// The protocol work itself lives in tuio/tuiodecoder and tuio/tuiomessages.
#include "window/tuiowidget.h"

#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuiomessages.h"

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTimer>
#include <QUdpSocket>

namespace {

// How long one ready-read call may drain before the event loop gets a turn to paint and run
// timers; the rest stays queued in the socket and raises the next notification.
constexpr qint64 drainSliceMs = 8;
constexpr int datagramsPerClockCheck = 32;
constexpr int maxDatagramSize = 65536;

// Mirrors every table change on the canvas, which repaints itself.
class CanvasSessionSink final : public TuioSessionSink
{
public:
    explicit CanvasSessionSink(TouchCanvas *canvas) : canvas(canvas) {}
    void cursorUpdated(int sid, float x, float y) override { canvas->updateTuioCursor(sid, x, y); }
    void objectUpdated(int sid, int cid, float x, float y, float angle) override
    {
        canvas->updateTuioObject(sid, cid, x, y, angle);
    }
    void cursorRemoved(int sid) override { canvas->removeTuioCursor(sid); }
    void objectRemoved(int sid) override { canvas->removeTuioObject(sid); }

private:
    TouchCanvas *canvas = nullptr;
};

QList<int> anchorIds(const TouchCanvas *canvas)
{
    QList<int> ids;
    const QList<Anchor> anchors = canvas->anchors();
    ids.reserve(anchors.size() + 1);
    for (const Anchor &anchor : anchors)
        ids.append(anchor.sid);
    return ids;
}

} // namespace

void TuioWidget::onReadyRead()
{
    if (!socket)
        return;
    holdCanvasFrame();
    QElapsedTimer slice;
    slice.start();
    int framed = 0;
    int drained = 0;
    QHostAddress sender;
    quint16 senderPort = 0;
    // One buffer for every datagram: an IPv4 UDP payload never exceeds it, so the size need not
    // be asked first.
    if (receiveBuffer.size() != maxDatagramSize)
        receiveBuffer = QByteArray(maxDatagramSize, Qt::Uninitialized);
    // Read until the socket reports nothing left (-1): asking hasPendingDatagrams() first would
    // cost a second system call per datagram.
    while (socket) {
        const qint64 size =
            socket->readDatagram(receiveBuffer.data(), receiveBuffer.size(), &sender, &senderPort);
        if (size < 0)
            break;
        if (senderPort != lastSenderPort || sender != lastSenderAddress) {
            lastSenderAddress = sender;
            lastSenderPort = senderPort;
            lastSenderPrefix = datagramSummaryPrefix(sender.toString(), senderPort);
        }
        comm->logRx(comm->encodeText(lastSenderPrefix + QString::number(size) + QLatin1Char('B')));
        framed += processTuioMessage(QByteArray::fromRawData(receiveBuffer.constData(), size));

        if (++drained % datagramsPerClockCheck == 0 && slice.elapsed() >= drainSliceMs)
            break;
    }
    // Once per drain instead of per datagram: the tree waits for the burst to pause either way.
    if (framed > 0)
        treeRefreshTimer->start();
}

void TuioWidget::holdCanvasFrame()
{
    // A canvas paint costs about a millisecond; under a stream it would otherwise run after every
    // drain. Its tables still change at once, only the paint waits for the frame to end.
    if (canvasFrameTimer->isActive()) {
        if (canvas->updatesEnabled())
            canvas->setUpdatesEnabled(false);
    } else {
        canvasFrameTimer->start();
    }
}

void TuioWidget::releaseCanvasFrame()
{
    if (canvas->updatesEnabled())
        return;
    // Re-enabling repaints the whole canvas; the next frame starts with that paint.
    canvas->setUpdatesEnabled(true);
    canvasFrameTimer->start();
}

int TuioWidget::processTuioMessage(const QByteArray &datagram)
{
    CanvasSessionSink sink(canvas);
    return decodeTuioDatagram(datagram, tuioCursors, tuioObjects, &sink);
}

bool TuioWidget::sendDatagram(const QByteArray &datagram)
{
    const QString host = targetHostEdit->text();
    const int port = targetPortSpin->value();
    const QHostAddress address = literalHostAddress(host);
    QString error;
    // Qt writes to a null address as if it were "::", which reaches this machine: never try.
    if (address.isNull())
        error = notLiteralAddressText();
    else if (socket->writeDatagram(datagram, address, quint16(port)) >= 0)
        sendFailing = false;
    else
        error = socket->errorString();
    if (error.isEmpty())
        return true;
    // One line per run of failures: a drag towards a bad target must not flood the log.
    if (!sendFailing) {
        sendFailing = true;
        comm->logSystem(sendFailureText(host, port, error));
    }
    return false;
}

void TuioWidget::sendCursorMessage(const QString &command, int sessionId, float x, float y)
{
    if (!socket)
        return;
    if (command != QLatin1String("set")) {
        sendDatagram(buildCursorAlive({}));
        return;
    }
    if (sendDatagram(buildCursorSet(sessionId, x, y)))
        comm->logTx(comm->encodeText(cursorTxText(sessionId, x, y)));
}

void TuioWidget::sendCursorAlive(const QList<int> &sessionIds)
{
    if (!socket || !running)
        return;
    sendDatagram(buildCursorAlive(sessionIds));
}

void TuioWidget::sendObjectMessage(const QString &command, int sessionId, int classId, float x,
                                   float y, float angle)
{
    if (!socket)
        return;
    if (command == QLatin1String("set")) {
        sendDatagram(buildObjectSet(sessionId, classId, x, y, angle));
    } else if (command == QLatin1String("alive")) {
        QList<int> ids;
        const QList<SimObject> objects = canvas->simObjects();
        ids.reserve(objects.size());
        for (const SimObject &object : objects)
            ids.append(object.sid);
        sendDatagram(buildObjectAlive(ids));
    }
}

void TuioWidget::onCursorDown(int id, float x, float y)
{
    if (serverMode)
        return;
    sendCursorMessage(QStringLiteral("set"), id, x, y);
}

void TuioWidget::onCursorMove(int id, float x, float y)
{
    if (serverMode)
        return;
    sendCursorMessage(QStringLiteral("set"), id, x, y);
}

void TuioWidget::onCursorUp(int id)
{
    Q_UNUSED(id)
    if (serverMode)
        return;
    switch (simMode) {
    case MultiTouchMode:
        sendCursorAlive(anchorIds(canvas));
        break;
    case ObjectMode:
        sendObjectMessage(QStringLiteral("alive"), 0, 0, 0.0f, 0.0f, 0.0f);
        objectCountLabel->setText(QStringLiteral("物体: %1").arg(canvas->simObjects().size()));
        break;
    default:
        sendCursorMessage(QStringLiteral("alive"), 0, 0.0f, 0.0f);
        break;
    }
}

void TuioWidget::onObjectPlaced(int sid, int cid, float x, float y, float angle)
{
    Q_UNUSED(cid)
    Q_UNUSED(angle)
    if (serverMode)
        return;
    const int classId = classIdSpin->value();
    const float fieldAngle = float(angleSpin->value());
    QList<SimObject> objects = canvas->simObjects();
    for (SimObject &object : objects) {
        if (object.sid == sid) {
            object.cid = classId;
            object.angle = fieldAngle;
            break;
        }
    }
    canvas->setSimObjects(objects);
    sendObjectMessage(QStringLiteral("set"), sid, classId, x, y, fieldAngle);
    sendObjectMessage(QStringLiteral("alive"), 0, 0, 0.0f, 0.0f, 0.0f);
    objectCountLabel->setText(QStringLiteral("物体: %1").arg(objects.size()));
}

void TuioWidget::onObjectMoved(int sid, int cid, float x, float y, float angle)
{
    if (serverMode)
        return;
    const QList<SimObject> objects = canvas->simObjects();
    for (const SimObject &object : objects) {
        if (object.sid == sid) {
            cid = object.cid;
            angle = object.angle;
            break;
        }
    }
    sendObjectMessage(QStringLiteral("set"), sid, cid, x, y, angle);
    sendObjectMessage(QStringLiteral("alive"), 0, 0, 0.0f, 0.0f, 0.0f);
}

void TuioWidget::onAnchorAdded(int sid, float x, float y)
{
    if (serverMode)
        return;
    sendCursorMessage(QStringLiteral("set"), sid, x, y);
    anchorCountLabel->setText(QStringLiteral("锚点: %1").arg(canvas->anchors().size()));
}

void TuioWidget::onAnchorRemoved(int sid)
{
    Q_UNUSED(sid)
    if (serverMode)
        return;
    const QList<int> remaining = anchorIds(canvas);
    sendCursorAlive(remaining);
    anchorCountLabel->setText(QStringLiteral("锚点: %1").arg(remaining.size()));
}

void TuioWidget::onMultiTouchMove(int activeSid, float x, float y)
{
    if (serverMode)
        return;
    sendCursorMessage(QStringLiteral("set"), activeSid, x, y);
    QList<int> alive = anchorIds(canvas);
    alive.append(activeSid);
    sendCursorAlive(alive);
}
