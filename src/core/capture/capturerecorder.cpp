#include "capture/capturerecorder.h"

#include "tuio/tuioreceiver.h"

#include <chrono>

CaptureRecorder::CaptureRecorder(QObject *parent) : QObject(parent)
{
    progressTimer.setInterval(progressIntervalMs);
    connect(&progressTimer, &QTimer::timeout, this, &CaptureRecorder::onProgressTimer);
}

CaptureRecorder::~CaptureRecorder()
{
    writer.close();
}

bool CaptureRecorder::start(const QString &path, quint16 listeningPort,
                            const QHostAddress &listeningAddress)
{
    stop();
    datagrams = 0;
    bytes = 0;
    changed = false;
    if (!writer.open(path)) {
        lastError = writer.errorString();
        writer.close();
        return false;
    }
    lastError.clear();
    destination = listeningAddress;
    destinationPort = listeningPort;
    const qint64 wallNs = std::chrono::duration_cast<std::chrono::nanoseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    wallOffsetNs = wallNs - TuioReceiver::monotonicNs();
    progressTimer.start();
    return true;
}

bool CaptureRecorder::stop()
{
    if (!writer.isOpen())
        return true;
    progressTimer.stop();
    const bool ok = writer.close();
    emit progress(datagrams, bytes);
    if (!ok)
        fail();
    return ok;
}

void CaptureRecorder::record(const QByteArray &datagram, const QHostAddress &sender,
                             quint16 senderPort, qint64 arrivalNs)
{
    if (!writer.isOpen())
        return;
    if (!writer.write(datagram, sender, senderPort, destination, destinationPort,
                      arrivalNs + wallOffsetNs)) {
        progressTimer.stop();
        writer.close();
        fail();
        return;
    }
    ++datagrams;
    bytes += datagram.size();
    changed = true;
}

void CaptureRecorder::onProgressTimer()
{
    // Flushed here, so a crash loses at most one interval of the recording.
    if (!writer.flush()) {
        progressTimer.stop();
        writer.close();
        fail();
        return;
    }
    if (changed)
        emit progress(datagrams, bytes);
    changed = false;
}

void CaptureRecorder::fail()
{
    lastError = writer.errorString();
    // The writer's errors start with the file name; the signal carries the two apart.
    const QString prefix = writer.fileName() + QStringLiteral(": ");
    emit failed(writer.fileName(),
                lastError.startsWith(prefix) ? lastError.mid(prefix.size()) : lastError);
}
