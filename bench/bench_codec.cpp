// Decoding rate of received datagrams on the receiver's own path: decodeTuioDatagram alone, then
// TuioSessions::processDatagram (decode and apply to the session tables).
#include "tuio/osccodec.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// The median of five rounds, in calls per second.
template <typename Work> double medianRate(int perRound, Work work)
{
    std::vector<double> rates;
    for (int round = 0; round < 5; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < perRound; ++i)
            work();
        rates.push_back(perRound / (double(timer.nsecsElapsed()) / 1e9));
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

void report(const char *what, double rate)
{
    std::printf("  %-30s %8.1f ns per datagram %11.0f datagrams/s\n", what, 1e9 / rate, rate);
}

// A bundle of cursor sets, as a tracker sends one frame.
QByteArray bundleOfSets(int count)
{
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (int i = 0; i < count; ++i) {
        const QByteArray set = buildCursorSet(i, float(i) / float(count), 0.5f);
        appendInt32(bundle, qint32(set.size()));
        bundle += set;
    }
    return bundle;
}

} // namespace

int main()
{
    struct Case
    {
        const char *name;
        QByteArray datagram;
        int perRound;
    };
    const Case cases[] = {{"cursor set", buildCursorSet(7, 0.5f, 0.25f), 2000000},
                          {"bundle of 10 cursor sets", bundleOfSets(10), 300000}};
    QList<TuioMessage> messages;
    TuioSessions sessions;
    volatile qsizetype sink = 0;
    for (const Case &c : cases) {
        std::printf("%s, %d bytes:\n", c.name, int(c.datagram.size()));
        report("decodeTuioDatagram", medianRate(c.perRound, [&] {
                   decodeTuioDatagram(c.datagram, messages);
                   sink = sink + messages.size();
               }));
        report("TuioSessions::processDatagram",
               medianRate(c.perRound, [&] { sessions.processDatagram(c.datagram); }));
        sink = sink + sessions.cursors().size();
    }
    return sink == -1 ? 1 : 0;
}
