#include "tuio/tuioframeanalysis.h"

#include "tuio/tuioprofiles.h"

#include <algorithm>
#include <cstring>

namespace {

// Reference clients take an fseq this far below the last one as a late frame, further as a
// restart of the sender.
constexpr qint64 lateWindow = 100;
constexpr qint64 stuckNs = 10'000'000'000;
constexpr qint64 secondNs = 1'000'000'000;
// Frame times kept for the frame rate; faster streams are estimated from the ring's span.
constexpr int frameRing = 1024;
// An unbundled sender that never ends its frames must not grow them without bound.
constexpr int maxFrameSets = 256;
// A stream of ever new source names or ports must not grow the tables, nor the per-fseq
// comparison of every source pair, without bound.
constexpr size_t maxSources = 64;
// 2π rounded up to a float, the largest angle a sender can mean.
constexpr float twoPi = 6.2831855f;

constexpr int profileCount = 2;

int profileIndexOf(TuioProfile profile)
{
    return profile == TuioProfile::Cursor2D ? 0 : 1;
}

bool inUnitRange(float value)
{
    return value >= 0.0f && value <= 1.0f;
}

bool inAngleRange(float value)
{
    return value >= 0.0f && value <= twoPi;
}

bool isFramedProfile(TuioProfile profile)
{
    return profile == TuioProfile::Cursor2D || profile == TuioProfile::Object2D;
}

// Every TUIO 1.1 profile, Other aside.
constexpr int knownProfiles = 2 + tuioItemProfileCount;

} // namespace

struct TuioFrameAnalysis::ProfileState
{
    // The last alive's ids, sorted, with when each last had a set and whether it was reported as
    // stuck since.
    QVarLengthArray<qint32, 16> alive;
    QVarLengthArray<qint64, 16> lastSetNs;
    QVarLengthArray<bool, 16> stuckReported;
    // The session ids of the open frame's sets, judged against its alive when it ends.
    QVarLengthArray<qint32, 16> frameSets;
    int setsBeforeAlive = 0;
    bool frameHasAlive = false;
    bool aliveAwaitsFseq = false;
};

struct TuioFrameAnalysis::Source
{
    struct Hits
    {
        qint64 count = 0;
        qint64 lastNs = 0;
        QByteArray datagram;
        quint64 serial = 0;
        QString detail;
    };

    int index = 0;
    QString key;
    QString sender;
    // By TuioProfile, less one.
    bool seen[knownProfiles] = {};
    QStringList otherProfiles;
    ProfileState profiles[profileCount];
    qint64 frames = 0;
    qint64 firstFrameNs = 0;
    qint64 lastFrameNs = 0;
    qint64 longestIntervalNs = 0;
    std::array<qint64, frameRing> frameTimes{};
    bool hasFseq = false;
    qint32 lastFseq = 0;
    // The fseq of the frame before, late or not: its further bundles continue it.
    qint32 frameFseq = -1;
    qint64 gaps = 0;
    qint64 late = 0;
    qint64 restarts = 0;
    // The sources whose counters are more than lateWindow away from this one's.
    QVarLengthArray<int, 4> apartFrom;
    std::array<Hits, tuioCheckCount> hits;
};

struct TuioFrameAnalysis::Endpoint
{
    QHostAddress address;
    quint16 port = 0;
    QString text;
    // The source an unbundled sender named last; -1 for none.
    int namedSource = -1;
};

TuioFrameAnalysis::TuioFrameAnalysis(QObject *parent) : QObject(parent)
{
    notifyTimer.setSingleShot(true);
    notifyTimer.setInterval(updateIntervalMs);
    connect(&notifyTimer, &QTimer::timeout, this, &TuioFrameAnalysis::changed);
}

TuioFrameAnalysis::~TuioFrameAnalysis() = default;

void TuioFrameAnalysis::processDatagram(const QByteArray &datagram, const QHostAddress &sender,
                                        quint16 senderPort, qint64 arrivalNs)
{
    decodeTuioDatagram(datagram, decoded);
    analyse(datagram, decoded, sender, senderPort, arrivalNs);
}

void TuioFrameAnalysis::clear()
{
    sources.clear();
    sourceIndex.clear();
    endpoints.clear();
    lastEndpoint = -1;
    lastSource = -1;
    for (auto &owners : sessionOwners)
        owners.clear();
    notifyTimer.stop();
    emit changed();
}

TuioFrameAnalysis::Endpoint *TuioFrameAnalysis::endpointFor(const QHostAddress &sender,
                                                            quint16 port)
{
    const auto matches = [&](const Endpoint &e) { return e.port == port && e.address == sender; };
    if (lastEndpoint >= 0 && matches(endpoints[size_t(lastEndpoint)]))
        return &endpoints[size_t(lastEndpoint)];
    const auto it = std::find_if(endpoints.begin(), endpoints.end(), matches);
    if (it != endpoints.end()) {
        lastEndpoint = it - endpoints.begin();
        return &*it;
    }
    if (endpoints.size() >= maxSources)
        return nullptr;
    lastEndpoint = qsizetype(endpoints.size());
    Endpoint endpoint;
    endpoint.address = sender;
    endpoint.port = port;
    const QString address = sender.protocol() == QAbstractSocket::IPv6Protocol
                                ? QStringLiteral("[%1]").arg(sender.toString())
                                : sender.toString();
    endpoint.text = QStringLiteral("%1:%2").arg(address).arg(port);
    endpoints.push_back(std::move(endpoint));
    return &endpoints.back();
}

int TuioFrameAnalysis::sourceFor(const QString &key)
{
    // A stream mostly comes from the source before; comparing is cheaper than hashing.
    if (lastSource >= 0 && sources[size_t(lastSource)]->key == key)
        return lastSource;
    const auto it = sourceIndex.constFind(key);
    if (it != sourceIndex.constEnd())
        return lastSource = it.value();
    if (sources.size() >= maxSources)
        return -1;
    const int index = int(sources.size());
    auto source = std::make_unique<Source>();
    source->index = index;
    source->key = key;
    sources.push_back(std::move(source));
    sourceIndex.insert(key, index);
    return lastSource = index;
}

void TuioFrameAnalysis::analyse(const QByteArray &datagram, const QList<TuioMessage> &messages,
                                const QHostAddress &sender, quint16 senderPort, qint64 arrivalNs)
{
    bool framed = false;
    bool otherTuio = false;
    const QString *name = nullptr;
    for (const TuioMessage &message : messages) {
        if (message.profile != TuioProfile::Other) {
            if (isFramedProfile(message.profile))
                framed = true;
            else
                otherTuio = true;
            if (!name && message.command == TuioCommand::Source && !message.source.isEmpty())
                name = &message.source;
        } else if (message.address.startsWith(QLatin1String("/tuio/"))) {
            otherTuio = true;
        }
    }
    if (!framed && !otherTuio)
        return;

    Endpoint *endpoint = endpointFor(sender, senderPort);
    if (!endpoint)
        return;
    const bool bundled = isOscBundle(datagram);
    int index = 0;
    if (name) {
        index = sourceFor(*name);
        if (!bundled)
            endpoint->namedSource = index;
    } else if (!bundled && endpoint->namedSource >= 0) {
        index = endpoint->namedSource;
    } else {
        index = sourceFor(endpoint->text);
    }
    if (index < 0)
        return;
    Source &source = *sources[size_t(index)];
    if (source.sender != endpoint->text)
        source.sender = endpoint->text;
    ++serial;
    currentDatagram = &datagram;
    currentNs = arrivalNs;

    if (bundled && framed) {
        // A sender that also sends unbundled leaves its open frames to this bundle's start.
        for (ProfileState &profile : source.profiles) {
            closeProfileFrame(source, profile);
            profile.aliveAwaitsFseq = false;
        }
    }
    bool hasFseq = false;
    bool continues = false;
    for (const TuioMessage &message : messages) {
        if (message.profile == TuioProfile::Other) {
            if (!message.address.startsWith(QLatin1String("/tuio/")))
                continue;
            const QString profile = message.address.mid(6);
            if (!source.otherProfiles.contains(profile))
                source.otherProfiles << profile;
            continue;
        }
        source.seen[int(message.profile) - 1] = true;
        if (!isFramedProfile(message.profile)) {
            if (message.command == TuioCommand::Set)
                checkItemSet(source, message);
            continue;
        }
        if (message.command == TuioCommand::Fseq && bundled) {
            const bool same = applyFseq(source, message.intAt(0));
            if (!hasFseq)
                continues = same;
            hasFseq = true;
        } else {
            handleMessage(index, message, bundled);
        }
    }
    if (bundled && framed) {
        if (!hasFseq)
            hit(source, TuioCheck::FrameWithoutFseq);
        for (ProfileState &profile : source.profiles)
            closeProfileFrame(source, profile);
        if (!continues)
            countFrame(source);
    }
    currentDatagram = nullptr;
    if (!notifyTimer.isActive())
        notifyTimer.start();
}

void TuioFrameAnalysis::handleMessage(int index, const TuioMessage &message, bool bundled)
{
    Source &source = *sources[size_t(index)];
    const int profileIndex = profileIndexOf(message.profile);
    ProfileState &profile = source.profiles[profileIndex];
    switch (message.command) {
    case TuioCommand::Set:
        handleSet(source, profile, message);
        break;
    case TuioCommand::Alive:
        handleAlive(index, profileIndex, message, bundled);
        break;
    case TuioCommand::Fseq: {
        // Unbundled: the fseq ends this profile's frame.
        profile.aliveAwaitsFseq = false;
        closeProfileFrame(source, profile);
        if (!applyFseq(source, message.intAt(0)))
            countFrame(source);
        break;
    }
    default:
        break;
    }
}

void TuioFrameAnalysis::handleSet(Source &source, ProfileState &profile, const TuioMessage &message)
{
    const bool cursor = message.profile == TuioProfile::Cursor2D;
    const QByteArrayView expected =
        cursor ? QByteArrayView(",sifffff") : QByteArrayView(",siiffffffff");
    if (message.tags() != expected || message.words.size() != expected.size() - 2) {
        hitSetArguments(source, message);
    } else {
        const int at = cursor ? 1 : 2;
        const bool inside = inUnitRange(message.floatAt(at)) &&
                            inUnitRange(message.floatAt(at + 1)) &&
                            (cursor || (message.floatAt(4) >= 0.0f && message.floatAt(4) <= twoPi));
        if (!inside)
            hit(source, TuioCheck::OutOfRange);
    }

    const qint32 sid = message.intAt(0);
    if (!profile.frameHasAlive)
        ++profile.setsBeforeAlive;
    if (profile.frameSets.size() >= maxFrameSets)
        closeProfileFrame(source, profile);
    profile.frameSets.append(sid);
    const auto it = std::lower_bound(profile.alive.begin(), profile.alive.end(), sid);
    if (it != profile.alive.end() && *it == sid) {
        const qsizetype at = it - profile.alive.begin();
        profile.lastSetNs[at] = currentNs;
        profile.stuckReported[at] = false;
    }
}

void TuioFrameAnalysis::checkItemSet(Source &source, const TuioMessage &message)
{
    int sid = 0;
    TuioItemRecord item;
    if (!readTuioItemSet(message, sid, item))
        hitSetArguments(source, message);
    else if (!inUnitRange(item.x) || !inUnitRange(item.y) || !inAngleRange(item.a) ||
             !inAngleRange(item.b) || !inAngleRange(item.c))
        hit(source, TuioCheck::OutOfRange);
}

void TuioFrameAnalysis::hitSetArguments(Source &source, const TuioMessage &message)
{
    hit(source, TuioCheck::SetArguments);
    source.hits[size_t(TuioCheck::SetArguments)].detail = QStringLiteral("%1 %2").arg(
        tuioProfileName(message.profile), QString::fromLatin1(message.tags()));
}

void TuioFrameAnalysis::handleAlive(int index, int profileIndex, const TuioMessage &message,
                                    bool bundled)
{
    Source &source = *sources[size_t(index)];
    ProfileState &profile = source.profiles[profileIndex];
    if (profile.aliveAwaitsFseq) {
        // The previous alive's frame never got its fseq; it ends here.
        hit(source, TuioCheck::FrameWithoutFseq);
        closeProfileFrame(source, profile);
        countFrame(source);
    }
    if (profile.setsBeforeAlive > 0)
        hit(source, TuioCheck::SetBeforeAlive, profile.setsBeforeAlive);
    profile.setsBeforeAlive = 0;
    profile.frameHasAlive = true;
    profile.aliveAwaitsFseq = !bundled;
    updateAlive(index, profileIndex, message);
}

bool TuioFrameAnalysis::applyFseq(Source &source, qint32 fseq)
{
    // -1 marks a frame outside the sequence.
    if (fseq == -1)
        return false;
    if (!source.hasFseq) {
        source.hasFseq = true;
        source.lastFseq = source.frameFseq = fseq;
        compareCounters(source);
        return false;
    }
    if (fseq == source.lastFseq || fseq == source.frameFseq)
        return true;
    source.frameFseq = fseq;
    const qint64 step = qint64(fseq) - source.lastFseq;
    if (step > 0) {
        source.gaps += step - 1;
        source.lastFseq = fseq;
    } else if (-step <= lateWindow) {
        ++source.late;
        hit(source, TuioCheck::LateFrame);
        return false;
    } else {
        ++source.restarts;
        source.lastFseq = fseq;
    }
    compareCounters(source);
    return false;
}

void TuioFrameAnalysis::compareCounters(Source &source)
{
    // A pair counts once each time it moves apart.
    for (const auto &other : sources) {
        if (other.get() == &source || !other->hasFseq)
            continue;
        const bool apart = qAbs(qint64(other->lastFseq) - source.lastFseq) > lateWindow;
        const bool wasApart = source.apartFrom.contains(other->index);
        if (apart == wasApart)
            continue;
        if (apart) {
            source.apartFrom.append(other->index);
            other->apartFrom.append(source.index);
            hit(source, TuioCheck::FseqApart);
            hit(*other, TuioCheck::FseqApart);
        } else {
            source.apartFrom.removeOne(other->index);
            other->apartFrom.removeOne(source.index);
        }
    }
}

void TuioFrameAnalysis::updateAlive(int index, int profileIndex, const TuioMessage &message)
{
    Source &source = *sources[size_t(index)];
    ProfileState &profile = source.profiles[profileIndex];
    QVarLengthArray<qint32, 16> ids;
    ids.reserve(message.words.size());
    for (quint32 word : message.words)
        ids.append(qint32(word));
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    const auto checkStuck = [&](qsizetype at) {
        if (!profile.stuckReported[at] && currentNs - profile.lastSetNs[at] > stuckNs) {
            profile.stuckReported[at] = true;
            hit(source, TuioCheck::StuckSession);
        }
    };
    if (ids == profile.alive) {
        for (qsizetype i = 0; i < ids.size(); ++i)
            checkStuck(i);
        return;
    }

    auto &owners = sessionOwners[size_t(profileIndex)];
    QVarLengthArray<qint64, 16> lastSet;
    QVarLengthArray<bool, 16> stuck;
    qsizetype old = 0;
    for (qint32 id : std::as_const(ids)) {
        for (; old < profile.alive.size() && profile.alive[old] < id; ++old) {
            auto it = owners.find(profile.alive[old]);
            if (it != owners.end() && it->removeAll(index) > 0 && it->isEmpty())
                owners.erase(it);
        }
        if (old < profile.alive.size() && profile.alive[old] == id) {
            checkStuck(old);
            lastSet.append(profile.lastSetNs[old]);
            stuck.append(profile.stuckReported[old]);
            ++old;
            continue;
        }
        lastSet.append(currentNs);
        stuck.append(false);
        auto &holders = owners[id];
        for (int other : std::as_const(holders)) {
            hit(*sources[size_t(other)], TuioCheck::SharedSession);
            hit(source, TuioCheck::SharedSession);
        }
        holders.append(index);
    }
    for (; old < profile.alive.size(); ++old) {
        auto it = owners.find(profile.alive[old]);
        if (it != owners.end() && it->removeAll(index) > 0 && it->isEmpty())
            owners.erase(it);
    }
    profile.alive = ids;
    profile.lastSetNs = lastSet;
    profile.stuckReported = stuck;
}

void TuioFrameAnalysis::closeProfileFrame(Source &source, ProfileState &profile)
{
    for (qint32 sid : std::as_const(profile.frameSets))
        if (!std::binary_search(profile.alive.begin(), profile.alive.end(), sid))
            hit(source, TuioCheck::SetNotAlive);
    profile.frameSets.clear();
    profile.setsBeforeAlive = 0;
    profile.frameHasAlive = false;
}

void TuioFrameAnalysis::countFrame(Source &source)
{
    if (source.frames == 0) {
        source.firstFrameNs = currentNs;
    } else {
        source.longestIntervalNs =
            std::max(source.longestIntervalNs, currentNs - source.lastFrameNs);
    }
    source.frameTimes[size_t(source.frames % frameRing)] = currentNs;
    source.lastFrameNs = currentNs;
    ++source.frames;
}

void TuioFrameAnalysis::hit(Source &source, TuioCheck check, int times)
{
    Source::Hits &hits = source.hits[size_t(check)];
    hits.count += times;
    hits.lastNs = currentNs;
    if (hits.serial == serial || !currentDatagram)
        return;
    // Kept as bytes and rendered only when a snapshot asks; the buffer is reused.
    hits.serial = serial;
    hits.datagram.resize(currentDatagram->size());
    std::memcpy(hits.datagram.data(), currentDatagram->constData(),
                size_t(currentDatagram->size()));
}

QList<TuioSourceStats> TuioFrameAnalysis::snapshot(qint64 nowNs) const
{
    QList<TuioSourceStats> stats;
    stats.reserve(qsizetype(sources.size()));
    for (const auto &source : sources) {
        TuioSourceStats row;
        row.source = source->key;
        row.sender = source->sender;
        for (int profile = 0; profile < knownProfiles; ++profile)
            if (source->seen[profile])
                row.profiles << tuioProfileName(TuioProfile(profile + 1));
        row.profiles += source->otherProfiles;
        row.frames = source->frames;
        const qint64 kept = std::min<qint64>(source->frames, frameRing);
        qint64 recent = 0;
        while (recent < kept &&
               source->frameTimes[size_t((source->frames - 1 - recent) % frameRing)] >
                   nowNs - secondNs)
            ++recent;
        const qint64 oldest = source->frameTimes[size_t((source->frames - kept) % frameRing)];
        if (recent == frameRing && nowNs > oldest)
            row.framesPerSecond = double(frameRing) * 1e9 / double(nowNs - oldest);
        else
            row.framesPerSecond = double(recent);
        if (source->frames > 1)
            row.meanIntervalMs = double(source->lastFrameNs - source->firstFrameNs) / 1e6 /
                                 double(source->frames - 1);
        row.longestIntervalMs = double(source->longestIntervalNs) / 1e6;
        row.fseqGaps = source->gaps;
        row.lateFrames = source->late;
        row.restarts = source->restarts;
        for (const ProfileState &profile : source->profiles)
            row.aliveSessions += int(profile.alive.size());
        for (int check = 0; check < tuioCheckCount; ++check) {
            const Source::Hits &hits = source->hits[size_t(check)];
            TuioCheckHits &out = row.checks[size_t(check)];
            out.count = hits.count;
            out.lastNs = hits.lastNs;
            out.detail = hits.detail;
            if (hits.count > 0)
                out.datagramText = tuioDatagramText(decodeTuioDatagram(hits.datagram));
        }
        stats << row;
    }
    return stats;
}
