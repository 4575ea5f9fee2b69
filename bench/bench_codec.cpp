// Framing and decoding rate of TUIO datagrams through the OSC codec.
#include "tuio/osccodec.h"
#include "tuio/tuiomessages.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// What the receiver does with one datagram: frame, command, then the fields.
double decodeOnce(const QByteArray &datagram, const QString &profile, const QString &set)
{
    const OscFrame frame = frameOscMessage(datagram);
    if (!frame.isMessage || frame.address != profile)
        return 0.0;
    qint32 position = frame.argumentPosition;
    if (readOscString(datagram, position) != set)
        return 0.0;
    double sum = readInt32(datagram, position);
    while (position + 4 <= datagram.size())
        sum += readFloat32(datagram, position);
    return sum;
}

template <typename Work> double bestRate(int rounds, int perRound, Work work)
{
    std::vector<double> rates;
    for (int r = 0; r < rounds; ++r) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < perRound; ++i)
            work(i);
        rates.push_back(perRound / (double(timer.nsecsElapsed()) / 1e9));
    }
    std::sort(rates.begin(), rates.end());
    return rates[rates.size() / 2];
}

} // namespace

int main()
{
    const QByteArray datagram = buildCursorSet(7, 0.5f, 0.25f);
    const QString profile = QStringLiteral("/tuio/2Dcur");
    const QString set = QStringLiteral("set");
    std::printf("datagram size: %d bytes\n", int(datagram.size()));

    volatile double sink = 0;
    const int perRound = 2000000;
    const double decodeRate =
        bestRate(5, perRound, [&](int) { sink = sink + decodeOnce(datagram, profile, set); });
    std::printf("frame + decode 52-byte cursor set: %.2f M datagrams/s (%.1f ns each)\n",
                decodeRate / 1e6, 1e9 / decodeRate);

    // Fresh bytes per datagram, as a socket read would deliver them.
    std::vector<QByteArray> fresh;
    for (int i = 0; i < 1024; ++i)
        fresh.push_back(buildCursorSet(i, i / 1024.0f, 1.0f - i / 1024.0f));
    const double freshRate = bestRate(5, perRound, [&](int i) {
        sink = sink + decodeOnce(fresh[size_t(i & 1023)], profile, set);
    });
    std::printf("frame + decode, 1024 distinct datagrams: %.2f M datagrams/s\n", freshRate / 1e6);

    volatile qsizetype built = 0;
    const double buildRate = bestRate(
        5, perRound / 2, [&](int i) { built = built + buildCursorSet(i, 0.5f, 0.25f).size(); });
    std::printf("build 52-byte cursor set: %.2f M messages/s\n", buildRate / 1e6);
    return sink == -1.0 ? 1 : 0;
}
