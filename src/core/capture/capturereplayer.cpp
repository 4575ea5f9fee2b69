#include "capture/capturereplayer.h"

#include "capture/capturereader.h"
#include "comm/communicationbase.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuioreceiver.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace {

// As the receiver's drains: the event loop gets a turn at least this often.
constexpr qint64 sliceNs = 8'000'000;
constexpr int datagramsPerClockCheck = 32;
// A datagram due sooner than this goes out now rather than after a timer.
constexpr qint64 earlyNs = 500'000;
constexpr qint64 maxWaitMs = 1000;

} // namespace

CaptureReplayer::CaptureReplayer(CommunicationBase *log, QObject *parent)
    : QObject(parent), log(log)
{
    tickTimer.setSingleShot(true);
    tickTimer.setTimerType(Qt::PreciseTimer);
    connect(&tickTimer, &QTimer::timeout, this, &CaptureReplayer::onTick);
    progressTimer.setInterval(progressIntervalMs);
    connect(&progressTimer, &QTimer::timeout, this, &CaptureReplayer::onProgressTimer);
}

CaptureReplayer::~CaptureReplayer() = default;

bool CaptureReplayer::load(const QString &path, quint16 portFilter)
{
    stop();
    this->path = path;
    entries.clear();
    payloads.clear();
    endpoints.clear();
    // The payloads are at most the file's size; one allocation spares copying them as they grow.
    payloads.reserve(qsizetype(std::min<qint64>(QFileInfo(path).size(), 1LL << 30)));
    CaptureReader reader;
    reader.setPortFilter(portFilter);
    bool ok = reader.open(path);
    QHash<QPair<QHostAddress, quint16>, qint32> endpointIndex;
    CapturePacket packet;
    qint64 firstNs = 0;
    qint32 endpoint = -1;
    while (ok && reader.next(packet)) {
        if (entries.empty())
            firstNs = packet.timestampNs;
        // Most captures come from a few senders in long runs: the one before is checked first.
        if (endpoint < 0 || endpoints[endpoint].port != packet.senderPort ||
            endpoints[endpoint].address != packet.sender) {
            const auto key = qMakePair(packet.sender, packet.senderPort);
            auto it = endpointIndex.find(key);
            if (it == endpointIndex.end()) {
                it = endpointIndex.insert(key, qint32(endpoints.size()));
                endpoints.append(
                    {packet.sender, packet.senderPort,
                     datagramSummaryPrefix(packet.sender.toString(), packet.senderPort)});
            }
            endpoint = *it;
        }
        // Captures by others may step back in time; the replay never waits for the past.
        const qint64 offset =
            std::max(packet.timestampNs - firstNs, entries.empty() ? 0 : entries.back().offsetNs);
        entries.push_back({offset, payloads.size(), qint32(packet.payload.size()), endpoint});
        payloads += packet.payload;
    }
    payloads.squeeze();
    skipped = reader.skips();
    lastError = reader.errorString();
    emit progress(0, durationNs());
    return lastError.isEmpty();
}

void CaptureReplayer::setSpeed(double speed)
{
    const qint64 position = positionNs();
    playSpeed = std::clamp(speed, minimumSpeed, maximumSpeed);
    if (playState == State::Playing && !fastMode)
        rebase(position);
}

void CaptureReplayer::setFast(bool fast)
{
    const qint64 position = positionNs();
    fastMode = fast;
    heldPositionNs = position;
    if (playState == State::Playing) {
        rebase(position);
        tickTimer.start(0);
    }
}

qint64 CaptureReplayer::positionNs() const
{
    if (playState != State::Playing || fastMode)
        return heldPositionNs;
    return std::min(clockPositionNs(), durationNs());
}

qint64 CaptureReplayer::clockPositionNs() const
{
    return basePositionNs + qint64(double(clock.nsecsElapsed()) * playSpeed);
}

void CaptureReplayer::rebase(qint64 position)
{
    basePositionNs = position;
    clock.start();
}

void CaptureReplayer::play()
{
    if (playState == State::Playing)
        return;
    if (playState == State::Stopped) {
        nextIndex = 0;
        played = 0;
        heldPositionNs = 0;
    }
    rebase(heldPositionNs);
    setState(State::Playing);
    progressTimer.start();
    tickTimer.start(0);
}

void CaptureReplayer::pause()
{
    if (playState != State::Playing)
        return;
    heldPositionNs = positionNs();
    tickTimer.stop();
    progressTimer.stop();
    setState(State::Paused);
}

void CaptureReplayer::stop()
{
    tickTimer.stop();
    progressTimer.stop();
    nextIndex = 0;
    heldPositionNs = 0;
    if (playState != State::Stopped)
        setState(State::Stopped);
}

void CaptureReplayer::setState(State state)
{
    playState = state;
    emit stateChanged(state);
    emit progress(positionNs(), durationNs());
}

void CaptureReplayer::emitDatagram(const Entry &entry)
{
    const Endpoint &from = endpoints[entry.endpoint];
    if (log)
        log->logRx(
            log->encodeText(from.logPrefix + QString::number(entry.size) + QLatin1Char('B')));
    ++played;
    emit datagram(QByteArray::fromRawData(payloads.constData() + entry.payloadOffset, entry.size),
                  from.address, from.port, TuioReceiver::monotonicNs());
}

void CaptureReplayer::onTick()
{
    if (playState != State::Playing)
        return;
    QElapsedTimer slice;
    slice.start();
    emit batchStarted();
    int sent = 0;
    qint64 waitNs = 0;
    // A handler may pause or stop the replay meanwhile.
    while (playState == State::Playing) {
        if (nextIndex >= entries.size()) {
            if (!looping || entries.empty())
                break;
            nextIndex = 0;
            heldPositionNs = 0;
            rebase(0);
        }
        const Entry &entry = entries[nextIndex];
        if (!fastMode) {
            const qint64 aheadNs = qint64(double(entry.offsetNs - clockPositionNs()) / playSpeed);
            if (aheadNs > earlyNs) {
                waitNs = aheadNs;
                break;
            }
        }
        ++nextIndex;
        if (fastMode)
            heldPositionNs = entry.offsetNs;
        emitDatagram(entry);
        if (++sent % datagramsPerClockCheck == 0 && slice.nsecsElapsed() >= sliceNs)
            break;
    }
    emit batchFinished();
    if (playState != State::Playing)
        return;
    if (nextIndex >= entries.size() && !looping) {
        tickTimer.stop();
        progressTimer.stop();
        heldPositionNs = durationNs();
        emit progress(heldPositionNs, durationNs());
        nextIndex = 0;
        heldPositionNs = 0;
        playState = State::Stopped;
        emit stateChanged(playState);
        emit finished();
        return;
    }
    // Long silences are waited out in steps, so no interval overflows.
    tickTimer.start(int(std::min<qint64>(std::llround(double(waitNs) / 1e6), maxWaitMs)));
}

void CaptureReplayer::onProgressTimer()
{
    emit progress(positionNs(), durationNs());
}
