#pragma once

#include <QString>
#include <QStringList>

#include <array>

// The protocol checks of the frame analysis, in the order the window lists them.
enum class TuioCheck : quint8
{
    // A bundle without fseq, or an unbundled alive not followed by one before the next alive.
    FrameWithoutFseq,
    // A set for an id that its frame's alive does not list.
    SetNotAlive,
    // A set before the alive of its frame.
    SetBeforeAlive,
    // An fseq below the source's last one by at most 100, -1 aside.
    LateFrame,
    // A set whose type tags or argument count do not fit its profile.
    SetArguments,
    // A position outside 0..1 or an angle outside 0..2π.
    OutOfRange,
    // A session id alive in one profile from two sources at once.
    SharedSession,
    // Two sources whose fseq counters are more than 100 apart.
    FseqApart,
    // A session alive for more than 10 s without any set.
    StuckSession
};

constexpr int tuioCheckCount = 9;

struct TuioCheckHits
{
    qint64 count = 0;
    // Arrival time (TuioReceiver::monotonicNs clock) of the last hit.
    qint64 lastNs = 0;
    // The decoded text of the datagram of the last hit.
    QString datagramText;
    // For wrong set arguments, the profile and the type tags of the last hit, e.g. "2Dblb ,sifff".
    QString detail;
};

// One source of the received stream as the analysis saw it.
struct TuioSourceStats
{
    QString source;
    // "address:port" of the datagram seen last from this source.
    QString sender;
    // The TUIO 1.1 profiles seen, in the protocol's order ("2Dcur", "2Dobj", "2Dblb", "25Dcur",
    // ...), then any other /tuio/ names in the order they came.
    QStringList profiles;
    qint64 frames = 0;
    double framesPerSecond = 0.0;
    double meanIntervalMs = 0.0;
    double longestIntervalMs = 0.0;
    qint64 fseqGaps = 0;
    qint64 lateFrames = 0;
    qint64 restarts = 0;
    int aliveSessions = 0;
    std::array<TuioCheckHits, tuioCheckCount> checks{};
};
