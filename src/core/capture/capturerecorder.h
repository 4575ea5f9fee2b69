#pragma once

#include "capture/capturewriter.h"

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>

// Records received datagrams to a pcap file. Fed by TuioReceiver::datagramReceived; arrival
// times on the receiver's monotonic clock become wall-clock timestamps in the file.
class CaptureRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int progressIntervalMs = 200;

    explicit CaptureRecorder(QObject *parent = nullptr);
    ~CaptureRecorder() override;

    // `listeningPort` and `listeningAddress` become each packet's destination. False with
    // errorString() when the file cannot be created.
    bool start(const QString &path, quint16 listeningPort,
               const QHostAddress &listeningAddress = QHostAddress(QHostAddress::AnyIPv4));
    // Closes the file; progress() follows with the final counts. False (with failed()) when the
    // last bytes could not be written.
    bool stop();

    bool isRecording() const { return writer.isOpen(); }
    QString fileName() const { return writer.fileName(); }
    QString errorString() const { return lastError; }
    qint64 datagramCount() const { return datagrams; }
    qint64 byteCount() const { return bytes; }

public slots:
    void record(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                qint64 arrivalNs);

signals:
    // At most every progressIntervalMs while datagrams arrive, and once at stop. `bytes` counts
    // UDP payloads.
    void progress(qint64 datagrams, qint64 bytes);
    // Writing failed; the recording has stopped and the file holds what was written before.
    void failed(const QString &fileName, const QString &error);

private slots:
    void onProgressTimer();

private:
    void fail();

    CaptureWriter writer;
    QHostAddress destination;
    quint16 destinationPort = 0;
    // Wall clock minus the monotonic clock, taken at start.
    qint64 wallOffsetNs = 0;
    qint64 datagrams = 0;
    qint64 bytes = 0;
    bool changed = false;
    QString lastError;
    QTimer progressTimer;
};
