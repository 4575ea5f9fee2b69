// CPU per received datagram of the whole window (offscreen, themed, listening) side by side with
// liblo's oscdump printing to /dev/null: a paced sender thread sends every datagram to both on
// loopback, at 20,000 datagrams per second, once with the canvas tab showing and once with the
// log tab showing, for 52-byte cursor sets and for bundles of 10 cursor sets.
// Run from a Release build: ./bench_oscdump [seconds]

#include "app/startup.h"
#include "benchsupport.h"
#include "tuio/osccodec.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

namespace {

constexpr int Rate = 20000;
// Without oscdump: its cost per datagram measured once on an idle machine.
constexpr double OscdumpFallbackUs = 5.5;

// User plus system CPU of another process, from /proc (clock-tick resolution).
double processCpuMs(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks * 1e3 / double(sysconf(_SC_CLK_TCK));
}

// Datagrams the kernel dropped for a full receive buffer on the IPv4 UDP socket bound to port.
long long socketDrops(quint16 port)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    long long drops = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 13 || !fields.at(1).contains(':'))
            continue;
        if (fields.at(1).split(':').value(1).toUInt(nullptr, 16) == port)
            drops += fields.last().toLongLong();
    }
    return drops;
}

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

QByteArray bundleOfSets(int first)
{
    QByteArray bundle("#bundle\0", 8);
    appendInt32(bundle, 0);
    appendInt32(bundle, 1);
    for (int i = 0; i < 10; ++i) {
        const QByteArray set = buildCursorSet(first + i, float(i) / 10.0f, 0.5f);
        appendInt32(bundle, qint32(set.size()));
        bundle += set;
    }
    return bundle;
}

// Sends `count` datagrams to each port at Rate per second; records its own thread CPU time.
class Sender
{
public:
    Sender(const std::vector<quint16> &ports, const std::vector<QByteArray> &datagrams)
    {
        thread = std::thread([this, ports, &datagrams] {
            const double cpuStart = cpuMs(CLOCK_THREAD_CPUTIME_ID);
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            std::vector<sockaddr_in> targets;
            for (quint16 port : ports) {
                sockaddr_in to{};
                to.sin_family = AF_INET;
                to.sin_port = htons(port);
                to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                targets.push_back(to);
            }
            using clock = std::chrono::steady_clock;
            const auto start = clock::now();
            const double period = 1e9 / Rate;
            size_t i = 0;
            while (i < datagrams.size()) {
                std::this_thread::sleep_until(start +
                                              std::chrono::nanoseconds(qint64(period * double(i))));
                const auto now = clock::now();
                while (i < datagrams.size() &&
                       start + std::chrono::nanoseconds(qint64(period * double(i))) <= now) {
                    const QByteArray &d = datagrams[i++];
                    for (const sockaddr_in &to : targets)
                        ::sendto(fd, d.constData(), size_t(d.size()), 0,
                                 reinterpret_cast<const sockaddr *>(&to), sizeof to);
                }
            }
            ::close(fd);
            ownCpuMs = cpuMs(CLOCK_THREAD_CPUTIME_ID) - cpuStart;
            done.store(true);
        });
    }
    ~Sender() { thread.join(); }

    std::atomic<bool> done{false};
    double ownCpuMs = 0;

private:
    std::thread thread;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyTheme(app);
    const double seconds = argc > 1 ? std::max(1.0, atof(argv[1])) : 4.0;

    TuioWidget window;
    window.resize(1400, 900);
    window.show();
    const quint16 port = freePort();
    window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    window.findChild<QGroupBox *>(QStringLiteral("serverGroup"))
        ->findChild<QPushButton *>(QStringLiteral("accentButton"))
        ->click();
    if (!window.isRunning()) {
        std::fprintf(stderr, "could not listen on port %u\n", unsigned(port));
        return 1;
    }
    auto *tabs = window.findChild<QTabWidget *>();

    QProcess oscdump;
    const quint16 dumpPort = freePort();
    const QString oscdumpPath = QStandardPaths::findExecutable(QStringLiteral("oscdump"));
    if (!oscdumpPath.isEmpty()) {
        oscdump.setStandardOutputFile(QProcess::nullDevice());
        oscdump.setStandardErrorFile(QProcess::nullDevice());
        oscdump.start(oscdumpPath, {QString::number(dumpPort)});
        oscdump.waitForStarted();
        QThread::msleep(300);
    }
    const bool withPeer = oscdump.state() == QProcess::Running;

    std::printf("%d datagrams/s for %.0f s; share of datagrams received (not dropped by the "
                "kernel), then CPU per received datagram in us (Tactora: whole process without "
                "the sender thread)\n",
                Rate, seconds);
    std::printf("%-8s %-14s %9s %9s %10s %10s %8s %s\n", "tab", "datagrams", "Tactora", "oscdump",
                "Tactora", "oscdump", "ratio", "aim <= 2.5");
    const int count = int(Rate * seconds);
    bool allMet = true;
    for (const int tabIndex : {0, 2}) {
        for (const bool bundles : {false, true}) {
            std::vector<QByteArray> datagrams;
            datagrams.reserve(size_t(count));
            for (int i = 0; i < count; ++i)
                datagrams.push_back(bundles
                                        ? bundleOfSets(i % 100 * 10)
                                        : buildCursorSet(i % 10, float(i % 1000) / 1000.0f, 0.5f));
            tabs->setCurrentIndex(tabIndex);
            QCoreApplication::processEvents();
            const long long ownDropsBefore = socketDrops(port);
            const long long peerDropsBefore = socketDrops(dumpPort);
            const double ownBefore = cpuMs(CLOCK_PROCESS_CPUTIME_ID);
            const double peerBefore = withPeer ? processCpuMs(oscdump.processId()) : 0;
            double senderMs = 0;
            {
                Sender sender({port, dumpPort}, datagrams);
                QEventLoop loop;
                QTimer check;
                QObject::connect(&check, &QTimer::timeout, &loop, [&] {
                    if (sender.done.load())
                        loop.quit();
                });
                check.start(10);
                loop.exec();
                // Let both drain and the window finish its frame.
                QTimer::singleShot(300, &loop, &QEventLoop::quit);
                loop.exec();
                senderMs = sender.ownCpuMs;
            }
            const double ownMs = cpuMs(CLOCK_PROCESS_CPUTIME_ID) - ownBefore - senderMs;
            const double peerMs = withPeer ? processCpuMs(oscdump.processId()) - peerBefore : 0;
            const long long ownGot = count - (socketDrops(port) - ownDropsBefore);
            const long long peerGot = count - (socketDrops(dumpPort) - peerDropsBefore);
            const double tactoraUs = ownMs * 1e3 / double(std::max(ownGot, 1LL));
            const double peerUs =
                withPeer ? peerMs * 1e3 / double(std::max(peerGot, 1LL)) : OscdumpFallbackUs;
            const double ratio = tactoraUs / peerUs;
            const bool met = ratio <= 2.5;
            allMet = allMet && met;
            std::printf("%-8s %-14s %8.1f%% %8.1f%% %10.2f %10.2f %8.2f %s\n",
                        tabIndex == 0 ? "canvas" : "log", bundles ? "10-set bundle" : "cursor set",
                        100.0 * double(ownGot) / count, 100.0 * double(peerGot) / count, tactoraUs,
                        peerUs, ratio, met ? "met" : "MISSED");
        }
    }
    if (!withPeer)
        std::printf("(oscdump not found: compared against %.1f us per datagram)\n",
                    OscdumpFallbackUs);
    if (withPeer) {
        oscdump.kill();
        oscdump.waitForFinished();
    }
    return allMet ? 0 : 1;
}
