#pragma once

#include "tuio/tuiodecoder.h"
#include "tuio/tuioframestats.h"

#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include <memory>
#include <vector>

// Groups the received stream into frames per source and runs the protocol checks on them. It only
// observes: nothing it does reaches the session tables. A source is the name of a `source` message
// where the sender gives one, else the sender's "address:port". A frame is one bundle, or for an
// unbundled sender the messages of a profile up to its fseq; a frame with the fseq of the frame
// before continues it. Frames and sessions are read from the 2D cursor and object profiles; the
// other TUIO 1.1 profiles are listed and their sets checked. At most 64 sources.
class TuioFrameAnalysis : public QObject
{
    Q_OBJECT

public:
    static constexpr int updateIntervalMs = 250;

    explicit TuioFrameAnalysis(QObject *parent = nullptr);
    ~TuioFrameAnalysis() override;

    // `messages` are the datagram's, as decodeTuioDatagram gives them; `arrivalNs` is on the
    // receiver's monotonic clock.
    void analyse(const QByteArray &datagram, const QList<TuioMessage> &messages,
                 const QHostAddress &sender, quint16 senderPort, qint64 arrivalNs);

    // The sources in the order they first appeared; frame rates over the second up to `nowNs`.
    QList<TuioSourceStats> snapshot(qint64 nowNs) const;

public slots:
    // Decodes, then analyses.
    void processDatagram(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                         qint64 arrivalNs);
    // Forgets every source; changed() follows at once.
    void clear();

signals:
    // At most every updateIntervalMs while datagrams arrive.
    void changed();

private:
    struct ProfileState;
    struct Source;
    struct Endpoint;

    // nullptr or -1 once the tables are full.
    Endpoint *endpointFor(const QHostAddress &sender, quint16 port);
    int sourceFor(const QString &key);
    void handleMessage(int index, const TuioMessage &message, bool bundled);
    void handleSet(Source &source, ProfileState &profile, const TuioMessage &message);
    void checkItemSet(Source &source, const TuioMessage &message);
    void hitSetArguments(Source &source, const TuioMessage &message);
    void handleAlive(int index, int profileIndex, const TuioMessage &message, bool bundled);
    // Takes an fseq into the source's sequence; true when it continues the frame before.
    bool applyFseq(Source &source, qint32 fseq);
    void compareCounters(Source &source);
    void updateAlive(int index, int profileIndex, const TuioMessage &message);
    void closeProfileFrame(Source &source, ProfileState &profile);
    void countFrame(Source &source);
    void hit(Source &source, TuioCheck check, int times = 1);

    std::vector<std::unique_ptr<Source>> sources;
    QHash<QString, int> sourceIndex;
    int lastSource = -1;
    std::vector<Endpoint> endpoints;
    qsizetype lastEndpoint = -1;
    // Per profile, the sources that list each session id as alive.
    std::array<QHash<qint32, QVarLengthArray<int, 2>>, 2> sessionOwners;
    // Which datagram is being analysed, so a hit copies it only once.
    quint64 serial = 0;
    const QByteArray *currentDatagram = nullptr;
    qint64 currentNs = 0;
    QList<TuioMessage> decoded;
    QTimer notifyTimer;
};
