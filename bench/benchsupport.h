#pragma once

// Measuring helpers shared by the benchmarks.

#include <QByteArray>
#include <QFile>
#include <QList>

#include <algorithm>
#include <ctime>
#include <vector>

inline double cpuMs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

inline double threadCpuMs()
{
    return cpuMs(CLOCK_THREAD_CPUTIME_ID);
}

inline double processCpuMs()
{
    return cpuMs(CLOCK_PROCESS_CPUTIME_ID);
}

// The value below which a share `p` (0..1) of `values` lies; 0 for none.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

// UDP datagrams the kernel dropped for a full receive buffer, machine-wide; -1 where unknown.
inline long long udpReceiveBufferErrors()
{
    QFile snmp(QStringLiteral("/proc/net/snmp"));
    if (!snmp.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = snmp.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        if (!lines.at(i).startsWith("Udp:") || !lines.at(i + 1).startsWith("Udp:"))
            continue;
        const QList<QByteArray> names = lines.at(i).simplified().split(' ');
        const qsizetype column = names.indexOf("RcvbufErrors");
        return column < 0 ? -1 : lines.at(i + 1).simplified().split(' ').value(column).toLongLong();
    }
    return -1;
}
