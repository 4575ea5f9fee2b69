// Does the window keep answering while 8,000 live cursor sessions update at 200 frames per second?
// The real window (offscreen, themed, listening) receives from a paced sender thread on loopback:
// per frame one bundle of source and alive with every session, 800 bundles of 10 sets that move
// every session, and one bundle with fseq. Meanwhile a second thread posts an event to the GUI
// thread every 5 ms, as input arrives, and a 5 ms timer runs on it; the delays of both are printed
// as p50 / p99 / max, once per tab showing. Aim: at most 50 ms.
// Run from a Release build: ./bench_latency [seconds] [sessions] [frames per second]

#include "app/startup.h"
#include "benchsupport.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframes.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QGroupBox>
#include <QMap>
#include <QPushButton>
#include <QSpinBox>
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

using Clock = std::chrono::steady_clock;

constexpr int ProbeIntervalMs = 5;
constexpr double AimMs = 50.0;

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The datagrams of frame `frame`: source and alive, the sets in bundles of 10, then fseq.
std::vector<QByteArray> frameDatagrams(int sessions, int frame)
{
    const QString address = QStringLiteral("/tuio/2Dcur");
    QList<qint32> alive;
    for (int sid = 0; sid < sessions; ++sid)
        alive << sid;
    std::vector<QByteArray> datagrams;
    datagrams.push_back(buildOscBundle(
        {buildSourceMessage(address, QStringLiteral("bench@127.0.0.1")), buildCursorAlive(alive)}));
    const float shift = float(frame % 100) / 1000.0f;
    for (int first = 0; first < sessions; first += 10) {
        QList<QByteArray> sets;
        for (int sid = first; sid < std::min(sessions, first + 10); ++sid)
            sets << buildCursorSet(sid, float(sid % 100) / 120.0f + shift,
                                   float(sid / 100 % 100) / 120.0f + shift);
        datagrams.push_back(buildOscBundle(sets));
    }
    datagrams.push_back(buildOscBundle({buildFseqMessage(address, frame + 1)}));
    return datagrams;
}

// Sends frames at `fps` until stopped; a frame goes out in one burst. Two frames alternate, so
// that every session moves at every frame.
class FrameSender
{
public:
    FrameSender(quint16 port, int sessions, int fps)
        : frames{frameDatagrams(sessions, 0), frameDatagrams(sessions, 1)}
    {
        thread = std::thread([this, port, fps] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            int buffer = 8 * 1024 * 1024;
            ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const auto start = Clock::now();
            const auto period = std::chrono::nanoseconds(1000000000LL / fps);
            for (int frame = 0; !stop.load(); ++frame) {
                std::this_thread::sleep_until(start + frame * period);
                for (const QByteArray &d : frames[size_t(frame % 2)])
                    ::sendto(fd, d.constData(), size_t(d.size()), 0,
                             reinterpret_cast<const sockaddr *>(&to), sizeof to);
                sent.store(frame + 1);
            }
            seconds = std::chrono::duration<double>(Clock::now() - start).count();
            ::close(fd);
        });
    }
    ~FrameSender()
    {
        stop.store(true);
        thread.join();
    }

    const std::vector<QByteArray> frames[2];
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    double seconds = 0;

private:
    std::thread thread;
};

// An event posted from another thread, stamped when posted.
class ProbeEvent : public QEvent
{
public:
    static QEvent::Type type()
    {
        static const int id = QEvent::registerEventType();
        return QEvent::Type(id);
    }
    ProbeEvent() : QEvent(type()) {}
    const qint64 postedNs = nowNs();
};

// Records on the GUI thread how late posted probes and its own timer ticks are handled.
class Probe : public QObject
{
public:
    Probe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, this, [this] {
            const qint64 now = nowNs();
            const double cpu = threadCpuMs();
            if (lastTickNs > 0) {
                timerMs.push_back(double(now - lastTickNs) / 1e6 - ProbeIntervalMs);
                busiestMs = std::max(busiestMs, cpu - lastCpuMs);
            }
            lastTickNs = now;
            lastCpuMs = cpu;
        });
    }
    void start()
    {
        postedMs.clear();
        timerMs.clear();
        lastTickNs = 0;
        busiestMs = 0;
        timer.start(ProbeIntervalMs);
        posting.store(true);
        poster = std::thread([this] {
            while (posting.load()) {
                QCoreApplication::postEvent(this, new ProbeEvent);
                std::this_thread::sleep_for(std::chrono::milliseconds(ProbeIntervalMs));
            }
        });
    }
    void finish()
    {
        posting.store(false);
        poster.join();
        timer.stop();
    }

    std::vector<double> postedMs;
    std::vector<double> timerMs;
    // The most CPU time the GUI thread spent between two ticks: its own longest stretch of work.
    double busiestMs = 0;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() != ProbeEvent::type())
            return QObject::event(event);
        postedMs.push_back(double(nowNs() - static_cast<ProbeEvent *>(event)->postedNs) / 1e6);
        return true;
    }

private:
    QTimer timer;
    qint64 lastTickNs = 0;
    double lastCpuMs = 0;
    std::atomic<bool> posting{false};
    std::thread poster;
};

// Times every event delivered on the GUI thread, outermost deliveries only, and keeps the longest
// per receiver class and event type: what held the event loop.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        if (depth > 0 || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        ++depth;
        const double cpu0 = threadCpuMs();
        const bool result = QApplication::notify(receiver, event);
        const double cpuMs = threadCpuMs() - cpu0;
        --depth;
        if (cpuMs >= 5.0) {
            // A timer by the object that owns it.
            const QObject *owner = qobject_cast<QTimer *>(receiver) && receiver->parent()
                                       ? receiver->parent()
                                       : receiver;
            const QString key =
                QStringLiteral("%1 %2").arg(QString::fromLatin1(owner->metaObject()->className()),
                                            QString::number(int(event->type())));
            Longest &l = longest[key];
            l.ms = std::max(l.ms, cpuMs);
            ++l.count;
        }
        return result;
    }

    struct Longest
    {
        double ms = 0;
        int count = 0;
    };
    QMap<QString, Longest> longest;

private:
    int depth = 0;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TimedApplication app(argc, argv);
    applyTheme(app);
    const double seconds = argc > 1 ? std::max(1.0, atof(argv[1])) : 4.0;
    const int sessions = argc > 2 ? std::max(10, atoi(argv[2])) : 8000;
    const int fps = argc > 3 ? std::max(1, atoi(argv[3])) : 200;

    TuioWidget window;
    window.resize(1400, 900);
    window.show();
    quint16 port = 0;
    {
        QUdpSocket probe;
        probe.bind(QHostAddress::AnyIPv4, 0);
        port = probe.localPort();
    }
    window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    window.findChild<QGroupBox *>(QStringLiteral("serverGroup"))
        ->findChild<QPushButton *>(QStringLiteral("accentButton"))
        ->click();
    if (!window.isRunning()) {
        std::fprintf(stderr, "could not listen on port %u\n", unsigned(port));
        return 1;
    }
    auto *tabs = window.findChild<QTabWidget *>();

    std::printf("%d cursor sessions at %d frames/s for %.0f s per tab (%d datagrams per frame); "
                "delays in ms of a posted event every %d ms and of a %d ms timer on the GUI "
                "thread\n",
                sessions, fps, seconds, 2 + (sessions + 9) / 10, ProbeIntervalMs, ProbeIntervalMs);
    std::printf("%-8s %8s %8s %7s %7s | %7s %7s %7s | %7s %7s %7s  aim <= %.0f\n", "tab",
                "frames/s", "sessions", "gui cpu", "busiest", "posted", "p99", "max", "timer",
                "p99", "max", AimMs);
    bool met = true;
    Probe probe;
    for (const int tabIndex : {0, 1, 2}) {
        tabs->setCurrentIndex(tabIndex);
        QCoreApplication::processEvents();
        const double cpuBefore = threadCpuMs();
        QElapsedTimer wall;
        wall.start();
        int framesSent = 0;
        double sendSeconds = 0;
        {
            FrameSender sender(port, sessions, fps);
            // Let the sessions appear before measuring.
            QEventLoop loop;
            QTimer::singleShot(500, &loop, &QEventLoop::quit);
            loop.exec();
            probe.start();
            QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
            loop.exec();
            probe.finish();
            framesSent = sender.sent.load();
        }
        sendSeconds = double(wall.elapsed()) / 1e3;
        const double cpuShare = (threadCpuMs() - cpuBefore) / double(wall.elapsed());
        const double worst =
            std::max(percentile(probe.postedMs, 1.0), percentile(probe.timerMs, 1.0));
        met = met && worst <= AimMs;
        std::printf("%-8s %8.0f %8lld %6.0f%% %7.1f | %7.1f %7.1f %7.1f | %7.1f %7.1f %7.1f  %s\n",
                    tabIndex == 0   ? "canvas"
                    : tabIndex == 1 ? "tree"
                                    : "log",
                    framesSent / sendSeconds, qlonglong(window.sessions()->cursors().size()),
                    cpuShare * 100.0, probe.busiestMs, percentile(probe.postedMs, 0.5),
                    percentile(probe.postedMs, 0.99), percentile(probe.postedMs, 1.0),
                    percentile(probe.timerMs, 0.5), percentile(probe.timerMs, 0.99),
                    percentile(probe.timerMs, 1.0), worst <= AimMs ? "met" : "MISSED");
        for (auto it = app.longest.cbegin(); it != app.longest.cend(); ++it)
            std::printf("   held %5.1f ms CPU (%d times >= 5 ms): %s (event type)\n", it->ms,
                        it->count, qPrintable(it.key()));
        app.longest.clear();
        // Let the window catch up before the next tab.
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
    }
    std::printf("posted: handling delay of an event posted from another thread (as input is); "
                "timer: lateness of each tick;\nbusiest: the most GUI-thread CPU time between two "
                "ticks (the rest of a delay is the machine running other threads)\n");
    return met ? 0 : 1;
}
