// Server mode under a steady stream: the real window on the offscreen platform (canvas shown,
// log view live) listens on loopback while a paced sender thread sends cursor "set" datagrams
// at fixed rates. Prints per rate what was sent, logged and decoded, the frames the frame analysis
// counted, the kernel's receive-buffer drops, the GUI thread's CPU share and the longest stall of
// its event loop; then the cost of each step of the receive path on its own.
// --bundles sends TUIO 1.1 frames instead: a bundle of source, alive, 10 sets and fseq each;
// --blobs the same frames of the 2D blob profile.
// Run from a Release build:
//   ./bench_traffic [--quick] [--spin] [--bundles | --blobs] [--rates 10000,20000]

#include "benchsupport.h"
#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "log/logviewwidget.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QPushButton>
#include <QSpinBox>
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

constexpr int sessions = 10;
bool bundled = false;
bool blobs = false;

// Datagram `seq` carries its own number in its position: x = (seq % 1000) / 1000,
// y = (seq / 1000) / 1000, so the receiving tables tell which set came in last.
QByteArray datagramFor(int seq)
{
    const float x = float(seq % 1000) / 1000.0f;
    const float y = float(seq / 1000) / 1000.0f;
    if (!bundled)
        return buildCursorSet(seq % sessions, x, y);
    // A frame as a TUIO 1.1 tracker sends it: every session moves, fseq counts the frames.
    const QString address = blobs ? QStringLiteral("/tuio/2Dblb") : QStringLiteral("/tuio/2Dcur");
    QList<QByteArray> messages;
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("source"));
    appendOscString(arguments, QStringLiteral("bench@127.0.0.1"));
    messages << buildOscMessage(address, QStringLiteral(",ss"), arguments);
    arguments.clear();
    appendOscString(arguments, QStringLiteral("alive"));
    for (int sid = 0; sid < sessions; ++sid)
        appendInt32(arguments, sid);
    messages << buildOscMessage(address, QStringLiteral(",s") + QString(sessions, 'i'), arguments);
    for (int sid = 0; sid < sessions; ++sid) {
        if (!blobs) {
            messages << buildCursorSet(sid, x, y);
            continue;
        }
        // x y a w h f X Y A m r
        arguments.clear();
        appendOscString(arguments, QStringLiteral("set"));
        appendInt32(arguments, sid);
        for (float value : {x, y, 0.5f, 0.05f, 0.04f, 0.002f, 0.f, 0.f, 0.f, 0.f, 0.f})
            appendFloat32(arguments, value);
        messages << buildOscMessage(address, QStringLiteral(",sifffffffffff"), arguments);
    }
    arguments.clear();
    appendOscString(arguments, QStringLiteral("fseq"));
    appendInt32(arguments, seq + 1);
    messages << buildOscMessage(address, QStringLiteral(",si"), arguments);
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &message : std::as_const(messages)) {
        appendInt32(bundle, qint32(message.size()));
        bundle += message;
    }
    return bundle;
}

int seqOf(float x, float y)
{
    return int(x * 1000.0f + 0.5f) + 1000 * int(y * 1000.0f + 0.5f);
}

// Sends `count` datagrams at `rate` per second to 127.0.0.1:port from its own thread: datagram i
// is due at start + i / rate. Pacing either spins on the steady clock (one datagram at a time,
// but the thread takes a whole core) or sleeps until the next one is due and then sends all that
// are due (short bursts, leaving the core free as a tracker on another machine would).
class PacedSender
{
public:
    PacedSender(quint16 port, int rate, int count, bool spin,
                const std::vector<QByteArray> &datagrams)
    {
        thread = std::thread([=, &datagrams] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            using clock = std::chrono::steady_clock;
            const auto start = clock::now();
            const double period = 1e9 / rate;
            auto due = [&](int i) { return start + std::chrono::nanoseconds(qint64(period * i)); };
            int i = 0;
            while (i < count) {
                if (spin) {
                    while (clock::now() < due(i)) {
                    }
                } else {
                    std::this_thread::sleep_until(due(i));
                }
                const auto now = clock::now();
                int burst = 0;
                while (i < count && due(i) <= now) {
                    const QByteArray &d = datagrams[size_t(i++)];
                    ++burst;
                    if (::sendto(fd, d.constData(), size_t(d.size()), 0,
                                 reinterpret_cast<const sockaddr *>(&to), sizeof to) == d.size())
                        sent.fetch_add(1, std::memory_order_relaxed);
                }
                longestBurst = std::max(longestBurst, burst);
            }
            seconds = std::chrono::duration<double>(clock::now() - start).count();
            ::close(fd);
            done.store(true);
        });
    }
    ~PacedSender() { thread.join(); }

    std::atomic<int> sent{0};
    std::atomic<bool> done{false};
    double seconds = 0;
    int longestBurst = 0;

private:
    std::thread thread;
};

// Longest gap between ticks of a 1 ms timer on the GUI thread, and how much of it the thread
// itself spent on the CPU: a gap with little CPU is the machine running something else.
class StallWatch : public QObject
{
public:
    StallWatch()
    {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = clock.nsecsElapsed();
            const double cpu = threadCpuMs();
            if (now - last > longest) {
                longest = now - last;
                longestCpuMs = cpu - lastCpu;
            }
            longestBusyMs = std::max(longestBusyMs, cpu - lastCpu);
            last = now;
            lastCpu = cpu;
        });
    }
    void restart()
    {
        clock.start();
        last = 0;
        lastCpu = threadCpuMs();
        longest = 0;
        longestCpuMs = 0;
        longestBusyMs = 0;
        timer.start(1);
    }
    double longestMs() const { return double(longest) / 1e6; }
    double cpuInLongestMs() const { return longestCpuMs; }
    double longestBusyStretchMs() const { return longestBusyMs; }

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    double lastCpu = 0;
    qint64 longest = 0;
    double longestCpuMs = 0;
    double longestBusyMs = 0;
};

struct PhaseResult
{
    int rate = 0;
    int sent = 0;
    int logged = 0;
    int decoded = 0;
    qint64 frames = 0;
    long long kernelDrops = 0;
    double sendSeconds = 0;
    double guiCpuShare = 0;
    double stallMs = 0;
    double stallCpuMs = 0;
    double busyMs = 0;
    double drainMs = 0;
    int burst = 0;
};

// Per step of the receive path, the GUI thread's cost for one datagram, in microseconds.
void printStepCosts(TuioWidget &window, int count)
{
    CommunicationBase *comm = window.communication();
    TouchCanvas *canvas = window.touchCanvas();
    const QString sender = QHostAddress(QHostAddress::LocalHost).toString();
    std::vector<QByteArray> datagrams;
    for (int i = 0; i < count; ++i)
        datagrams.push_back(datagramFor(i));

    // Thread CPU time: on a shared machine the wall clock also counts other processes.
    auto measure = [count](const char *what, auto &&step) {
        const double before = threadCpuMs();
        for (int i = 0; i < count; ++i)
            step(i);
        std::printf("  %-44s %7.2f us\n", what, (threadCpuMs() - before) * 1e3 / count);
    };
    std::printf("\nReceive path, GUI-thread cost per datagram (%d datagrams, no socket):\n", count);
    measure("summary text + encodeText", [&](int i) {
        volatile qsizetype n =
            comm->encodeText(datagramSummaryText(sender, 50000, 52 + i % 3)).size();
        (void)n;
    });
    measure("logRx (store, log view queue, counters)", [&](int i) {
        comm->logRx(comm->encodeText(datagramSummaryText(sender, 50000, 52 + i % 3)));
    });
    if (auto *logView = window.findChild<LogViewWidget *>()) {
        // What the entries just logged cost later, when the view turns them into rows.
        QElapsedTimer clock;
        clock.start();
        const int rows = logView->pendingCount();
        while (logView->pendingCount() > 0)
            logView->flushPendingItems();
        std::printf("  %-44s %7.2f us\n", "log view: queued entry to row (flush)",
                    double(clock.nsecsElapsed()) / 1e3 / std::max(rows, 1));
    }
    TuioSessions tables;
    measure("decode into tables only",
            [&](int i) { tables.processDatagram(datagrams[size_t(i)]); });
    // On the decoded messages, as the window shares them.
    TuioFrameAnalysis analysis;
    const QHostAddress local(QHostAddress::LocalHost);
    std::vector<QList<TuioMessage>> decoded;
    for (const QByteArray &datagram : datagrams)
        decoded.push_back(decodeTuioDatagram(datagram));
    measure("frame analysis alone (decoded messages)", [&](int i) {
        analysis.analyse(datagrams[size_t(i)], decoded[size_t(i)], local, 50000, i * 50000LL);
    });
    measure("canvas updateTuioCursor (repaint request)",
            [&](int i) { canvas->updateTuioCursor(i % sessions, 0.5f, 0.5f); });
    {
        QElapsedTimer clock;
        clock.start();
        const int paints = std::max(count / 50, 100);
        for (int i = 0; i < paints; ++i)
            canvas->repaint();
        std::printf("  %-44s %7.2f us\n", "one canvas paint (10 cursors), for scale",
                    double(clock.nsecsElapsed()) / 1e3 / paints);
    }
    QTimer *tree = window.treeTimer();
    measure("tree refresh timer restart", [&](int) { tree->start(); });
    tree->stop();
    QCoreApplication::processEvents();
}

// The whole receive path without painting: a batch queued in the kernel, then drained by the
// receiver's ready-read slot called directly.
void printDrainCost(TuioWidget &window, quint16 port, int batch, int rounds)
{
    CommunicationBase *comm = window.communication();
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    qint64 nanos = 0;
    int drained = 0;
    for (int round = 0; round < rounds; ++round) {
        QCoreApplication::processEvents();
        for (int i = 0; i < batch; ++i) {
            const QByteArray d = datagramFor(i);
            ::sendto(fd, d.constData(), size_t(d.size()), 0,
                     reinterpret_cast<const sockaddr *>(&to), sizeof to);
        }
        const qint64 before = comm->rxBytes();
        // Thread CPU time: on a shared machine the wall clock also counts other processes.
        const double cpuBefore = threadCpuMs();
        while (window.receiver()->udpSocket()->hasPendingDatagrams())
            QMetaObject::invokeMethod(window.receiver(), "onReadyRead", Qt::DirectConnection);
        nanos += qint64((threadCpuMs() - cpuBefore) * 1e6);
        drained += comm->rxBytes() > before ? batch : 0;
    }
    ::close(fd);
    std::printf("\nWhole receive path without painting (onReadyRead on %d queued datagrams, %d "
                "rounds): %.2f us GUI-thread CPU per datagram\n",
                batch, rounds, double(nanos) / 1e3 / std::max(drained, 1));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    const double phaseSeconds = quick ? 1.0 : 4.0;
    const bool spin = app.arguments().contains(QStringLiteral("--spin"));
    blobs = app.arguments().contains(QStringLiteral("--blobs"));
    bundled = blobs || app.arguments().contains(QStringLiteral("--bundles"));

    TuioWidget window;
    window.show();
    QCoreApplication::processEvents();

    quint16 port = 0;
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::AnyIPv4, 0);
        port = probe.localPort();
    }
    window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    QPushButton *listenButton = window.findChild<QGroupBox *>(QStringLiteral("serverGroup"))
                                    ->findChild<QPushButton *>(QStringLiteral("accentButton"));
    listenButton->click();
    if (!window.isRunning()) {
        std::fprintf(stderr, "could not listen on port %u\n", unsigned(port));
        return 1;
    }
    const qint64 buffer = window.receiver()
                              ->udpSocket()
                              ->socketOption(QAbstractSocket::ReceiveBufferSizeSocketOption)
                              .toLongLong();
    QFile rmemMax(QStringLiteral("/proc/sys/net/core/rmem_max"));
    const QByteArray rmem = rmemMax.open(QIODevice::ReadOnly) ? rmemMax.readAll().trimmed() : "?";
    std::printf("Receive buffer: asked 8388608 B, socket reports %lld B (net.core.rmem_max %s; "
                "Linux reports twice the granted size)\n",
                buffer, rmem.constData());

    CommunicationBase *comm = window.communication();
    auto *logView = window.findChild<LogViewWidget *>();
    int logged = 0;
    int decoded = 0;
    int lastSeq = -1;
    // Each Rx entry is logged just before its datagram is decoded, so at every entry the tables
    // show whether the previous datagram's set came through.
    auto noteDecoded = [&] {
        int latest = -1;
        for (const TuioCursorRecord &record : window.sessions()->cursors())
            latest = std::max(latest, seqOf(record.x, record.y));
        for (const TuioItemRecord &record : window.sessions()->items(TuioProfile::Blob2D))
            latest = std::max(latest, seqOf(record.x, record.y));
        if (latest > lastSeq) {
            ++decoded;
            lastSeq = latest;
        }
    };
    QObject::connect(comm, &CommunicationBase::logEntryAdded, &window, [&](const LogEntry &entry) {
        if (entry.direction != LogEntry::Rx)
            return;
        ++logged;
        noteDecoded();
    });

    StallWatch stalls;
    std::vector<PhaseResult> results;
    QList<int> rates{10000, 20000, 50000};
    const qsizetype ratesAt = app.arguments().indexOf(QStringLiteral("--rates"));
    if (ratesAt >= 0) {
        rates.clear();
        for (const QString &r : app.arguments().value(ratesAt + 1).split(QLatin1Char(',')))
            if (r.toInt() > 0)
                rates << r.toInt();
    }
    for (int rate : std::as_const(rates)) {
        const int count = int(rate * phaseSeconds);
        std::vector<QByteArray> datagrams;
        datagrams.reserve(size_t(count));
        for (int i = 0; i < count; ++i)
            datagrams.push_back(datagramFor(i));
        // The tables keep the previous phase's highest numbers; start them afresh.
        listenButton->click();
        listenButton->click();
        while (logView && logView->pendingCount() > 0)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        logged = 0;
        decoded = 0;
        lastSeq = -1;

        PhaseResult r;
        r.rate = rate;
        const long long dropsBefore = udpReceiveBufferErrors();
        const double cpuBefore = threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        stalls.restart();
        {
            PacedSender sender(port, rate, count, spin, datagrams);
            // A real event loop, so the GUI thread sleeps whenever it has nothing to do; a
            // 10 ms check ends it once everything arrived, or nothing new came for 500 ms.
            QEventLoop loop;
            QTimer check;
            qint64 sentAt = -1;
            int seen = -1;
            QElapsedTimer quiet;
            quiet.start();
            QObject::connect(&check, &QTimer::timeout, &loop, [&] {
                if (logged != seen) {
                    seen = logged;
                    quiet.restart();
                }
                if (!sender.done.load())
                    return;
                if (sentAt < 0)
                    sentAt = wall.elapsed();
                if (logged >= sender.sent.load() || quiet.elapsed() >= 500)
                    loop.quit();
            });
            check.start(10);
            loop.exec();
            r.drainMs = double(wall.elapsed() - sentAt);
            r.sent = sender.sent.load();
            r.sendSeconds = sender.seconds;
            r.burst = sender.longestBurst;
        }
        noteDecoded();
        r.guiCpuShare = (threadCpuMs() - cpuBefore) / double(wall.elapsed());
        r.stallMs = stalls.longestMs();
        r.stallCpuMs = stalls.cpuInLongestMs();
        r.busyMs = stalls.longestBusyStretchMs();
        r.logged = logged;
        r.decoded = decoded;
        r.frames = window.frameAnalysis()->snapshot(TuioReceiver::monotonicNs()).value(0).frames;
        r.kernelDrops = udpReceiveBufferErrors() - dropsBefore;
        results.push_back(r);
    }

    std::printf("\nSender pacing: %s\n", spin ? "busy-wait, one datagram at a time"
                                              : "sleep until due, then send all that are due");
    std::printf("Datagrams: %s\n", blobs     ? "2Dblb bundles of source, alive, 10 sets, fseq"
                                   : bundled ? "bundles of source, alive, 10 sets, fseq"
                                             : "one cursor set each");
    std::printf("%7s %8s %8s %8s %8s %6s %6s %7s %9s %12s %9s %8s %6s\n", "rate/s", "sent",
                "logged", "decoded", "frames", "lost", "kdrop", "gui cpu", "stall ms",
                "(its cpu ms)", "busy ms", "drain ms", "burst");
    for (const PhaseResult &r : results)
        std::printf("%7d %8d %8d %8d %8lld %6d %6lld %6.0f%% %9.1f %12.1f %9.1f %8.0f %6d\n",
                    r.rate, r.sent, r.logged, r.decoded, r.frames, r.sent - r.logged, r.kernelDrops,
                    r.guiCpuShare * 100.0, r.stallMs, r.stallCpuMs, r.busyMs, r.drainMs, r.burst);
    std::printf(
        "stall: longest gap between 1 ms timer ticks; its cpu: GUI-thread CPU time within "
        "that gap;\nbusy: longest GUI-thread CPU time between two ticks; kdrop: "
        "machine-wide UDP receive-buffer drops;\nburst: most datagrams the sender sent at one "
        "wake-up; frames: frames the frame analysis counted (bundles only)\n");
    for (const PhaseResult &r : results)
        if (r.sendSeconds > phaseSeconds * 1.05)
            std::printf("note: the sender needed %.2f s for %d/s (pacing fell behind)\n",
                        r.sendSeconds, r.rate);

    printDrainCost(window, port, 4000, quick ? 3 : 10);
    // Let a held canvas frame end, so the step costs below include real repaint requests.
    while (!window.touchCanvas()->updatesEnabled())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    printStepCosts(window, quick ? 20000 : 100000);
    return 0;
}
