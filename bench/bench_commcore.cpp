// Log store throughput, memory per entry and export time at the 100000-entry limit.
#include "comm/communicationbase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * sysconf(_SC_PAGESIZE) : -1;
}

const QByteArray kSummary("[127.0.0.1:50000] 52B");

double logRxRate(CommunicationBase &core, int count)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < count; ++i)
        core.logRx(kSummary);
    return count / (double(timer.nsecsElapsed()) / 1e9);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int limit = 100000;

    // Memory first, on a fresh heap. Each entry gets its own time stamp so that
    // nothing is shared between entries beyond what logRx would share.
    {
        const qint64 before = residentBytes();
        CommunicationBase core;
        const qint64 base = QDateTime::currentMSecsSinceEpoch();
        for (int i = 0; i < limit; ++i) {
            LogEntry entry;
            entry.timestamp = QDateTime::fromMSecsSinceEpoch(base + i, Qt::LocalTime);
            entry.direction = LogEntry::Rx;
            entry.data = QByteArray(kSummary.constData(), kSummary.size());
            entry.text = core.decodeBytes(entry.data);
            entry.hexText = CommunicationBase::toHexString(entry.data);
            core.addLogEntry(entry);
        }
        const qint64 filled = residentBytes();
        for (int i = 0; i < limit * 3; ++i)
            core.logRx(kSummary);
        const qint64 afterChurn = residentBytes();
        const QList<LogEntry> view = core.entries();
        std::printf("memory at %d entries: %.0f bytes/entry (RSS +%.1f MB); after 300000 "
                    "more adds: %.0f bytes/entry; list capacity %lld slots of %d bytes\n",
                    limit, double(filled - before) / limit, (filled - before) / 1e6,
                    double(afterChurn - before) / limit, (long long)view.capacity(),
                    int(sizeof(LogEntry)));
    }

    // The store trims with QList::remove(0, n); with Qt 6 that only advances the
    // list's begin pointer instead of moving the remaining entries.
    {
        QList<LogEntry> list(limit);
        const LogEntry *first = list.constData();
        list.remove(0, 1);
        std::printf("QList front removal of 1 of %d: %s\n", limit,
                    list.constData() == first + 1 ? "begin pointer advanced, nothing moved"
                                                  : "entries moved");
    }

    CommunicationBase core;
    std::printf("logRx while the store fills (entries/s per 25000):");
    for (int part = 0; part < 4; ++part)
        std::printf(" %.0fk", logRxRate(core, limit / 4) / 1e3);
    std::printf("\nlogRx into a full store, trimming on every add (entries/s per 100000):");
    std::vector<double> rates;
    for (int round = 0; round < 6; ++round) {
        rates.push_back(logRxRate(core, limit));
        std::printf(" %.0fk", rates.back() / 1e3);
    }
    std::sort(rates.begin(), rates.end());
    const double median = rates[rates.size() / 2];
    std::printf("\n  median %.0fk/s, store holds %d\n", median / 1e3, core.entryCount());

    // Entries within one millisecond share the local-time conversion, so it runs
    // at most 1000 times a second whatever the traffic.
    const int conversions = 200000;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    qint64 check = 0;
    QElapsedTimer conversionTimer;
    conversionTimer.start();
    for (int i = 0; i < conversions; ++i)
        check += QDateTime::fromMSecsSinceEpoch(now + i, Qt::LocalTime).time().msec();
    const double conversionNs = double(conversionTimer.nsecsElapsed()) / conversions;
    std::printf("local-time conversion: %.0f ns each, at most %.2f ms per second of logging "
                "(check %lld)\n",
                conversionNs, conversionNs * 1000 / 1e6, (long long)(check % 10));

    int delivered = 0;
    QObject::connect(&core, &CommunicationBase::logEntryAdded,
                     [&delivered](const LogEntry &entry) { delivered += int(entry.data.size()); });
    QObject::connect(&core, &CommunicationBase::countersUpdated, [&delivered] { ++delivered; });
    std::printf("logRx into a full store with two connected receivers: %.0fk/s\n",
                logRxRate(core, limit) / 1e3);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("export"));
    for (const bool asCsv : {false, true}) {
        for (const bool useHex : {false, true}) {
            std::vector<double> ms;
            for (int run = 0; run < 5; ++run) {
                QElapsedTimer timer;
                timer.start();
                if (!core.exportToFile(path, useHex, asCsv))
                    return 1;
                ms.push_back(timer.nsecsElapsed() / 1e6);
            }
            std::sort(ms.begin(), ms.end());
            std::printf("%s export%s of %d entries: median %.1f ms (min %.1f), %.1f MB\n",
                        asCsv ? "CSV " : "text", useHex ? " (hex)" : "      ", core.entryCount(),
                        ms[ms.size() / 2], ms.front(), QFile(path).size() / 1e6);
        }
    }
    return delivered > 0 ? 0 : 1;
}
