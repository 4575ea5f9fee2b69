#pragma once

#include "capture/capturepacket.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <vector>

class CommunicationBase;

// Plays a capture file back as received traffic: its datagrams come out of datagram() in the
// shape of TuioReceiver::datagramReceived, grouped in batches like the receiver's drains, and are
// logged as the receiver logs them. With the original timing at a speed, or as fast as possible in
// time slices that leave the event loop running.
class CaptureReplayer : public QObject
{
    Q_OBJECT

public:
    enum class State
    {
        Stopped,
        Playing,
        Paused
    };
    Q_ENUM(State)

    static constexpr double minimumSpeed = 0.25;
    static constexpr double maximumSpeed = 8.0;
    static constexpr int progressIntervalMs = 100;

    // `log` may be nullptr; it is not owned.
    explicit CaptureReplayer(CommunicationBase *log = nullptr, QObject *parent = nullptr);
    ~CaptureReplayer() override;

    // Stops, then reads the whole file into memory. On a damaged file what was read before the
    // damage stays loaded and playable, and false comes with errorString() naming the file and
    // the packet number. A port filter of 0 keeps every UDP datagram.
    bool load(const QString &path, quint16 portFilter = 0);
    QString fileName() const { return path; }
    QString errorString() const { return lastError; }
    const CaptureSkips &skips() const { return skipped; }
    qint64 datagramCount() const { return qint64(entries.size()); }
    // From the first datagram to the last.
    qint64 durationNs() const { return entries.empty() ? 0 : entries.back().offsetNs; }

    // Clamped to minimumSpeed..maximumSpeed; takes effect at once, also while playing.
    void setSpeed(double speed);
    double speed() const { return playSpeed; }
    // As fast as possible, ignoring the timing.
    void setFast(bool fast);
    bool isFast() const { return fastMode; }
    void setLoop(bool loop) { looping = loop; }
    bool loops() const { return looping; }

    State state() const { return playState; }
    // Time into the capture, 0..durationNs().
    qint64 positionNs() const;
    // Datagrams handed on since play() from the start.
    qint64 playedCount() const { return played; }

public slots:
    // From the start when stopped, else from where it paused.
    void play();
    void pause();
    // Back to the start.
    void stop();

signals:
    void stateChanged(CaptureReplayer::State state);
    void batchStarted();
    // As TuioReceiver::datagramReceived: the bytes are valid only during the call; `arrivalNs` is
    // the TuioReceiver::monotonicNs time it is handed on.
    void datagram(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                  qint64 arrivalNs);
    void batchFinished();
    // At most every progressIntervalMs while playing, and at each change of state.
    void progress(qint64 positionNs, qint64 durationNs);
    // The last datagram went out without looping; the state is Stopped again.
    void finished();

private slots:
    void onTick();
    void onProgressTimer();

private:
    struct Entry
    {
        qint64 offsetNs = 0;
        qint64 payloadOffset = 0;
        qint32 size = 0;
        qint32 endpoint = 0;
    };
    struct Endpoint
    {
        QHostAddress address;
        quint16 port = 0;
        QString logPrefix;
    };

    void setState(State state);
    void emitDatagram(const Entry &entry);
    // Restarts the clock at `position`.
    void rebase(qint64 position);
    qint64 clockPositionNs() const;

    CommunicationBase *log = nullptr;
    QString path;
    QString lastError;
    CaptureSkips skipped;
    std::vector<Entry> entries;
    QByteArray payloads;
    QList<Endpoint> endpoints;

    double playSpeed = 1.0;
    bool fastMode = false;
    bool looping = false;
    State playState = State::Stopped;
    size_t nextIndex = 0;
    qint64 played = 0;
    // The capture time at which the clock was last started, and the clock.
    qint64 basePositionNs = 0;
    QElapsedTimer clock;
    // Where a pause or fast play stands.
    qint64 heldPositionNs = 0;
    QTimer tickTimer;
    QTimer progressTimer;
};
