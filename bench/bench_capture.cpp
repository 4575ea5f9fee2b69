// Captures: recording a 100k datagrams/s stream over loopback, replaying a file as fast as possible
// through the receive road (log, session tables, frame analysis, wired as the window wires the
// receiver), and `tactora-cli replay --fast` to a loopback socket.
#include "benchsupport.h"
#include "capture/capturereader.h"
#include "capture/capturerecorder.h"
#include "capture/capturereplayer.h"
#include "capture/capturewriter.h"
#include "comm/communicationbase.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioframes.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

// A loopback UDP socket of the system's own API, for threads without an event loop.
int loopbackSocket(quint16 bindPort = 0)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const int buffer = 16 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(bindPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    return fd;
}

quint16 boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t size = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &size);
    return ntohs(address.sin_port);
}

// One TUIO 1.1 frame of two cursors, as trackers send them.
QByteArray frame(int fseq)
{
    const float x = float(fseq % 1000) / 1000.0f;
    return buildOscBundle(
        {buildSourceMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral("bench@127.0.0.1")),
         buildCursorAlive({1, 2}), buildCursorSet(1, x, 0.5f), buildCursorSet(2, 0.5f, x),
         buildFseqMessage(QStringLiteral("/tuio/2Dcur"), fseq)});
}

void writeFrames(const QString &path, int count, qint64 intervalNs)
{
    CaptureWriter writer;
    writer.open(path);
    for (int i = 0; i < count; ++i)
        writer.write(frame(i + 1), QHostAddress::LocalHost, 50000, QHostAddress::LocalHost, 3333,
                     i * intervalNs);
    writer.close();
}

void benchRecording(const QString &path, int rate, double seconds)
{
    TuioReceiver receiver;
    CaptureRecorder recorder;
    receiver.listen(0);
    const quint16 port = receiver.udpSocket()->localPort();
    recorder.start(path, port);
    QObject::connect(&receiver, &TuioReceiver::datagramReceived, &recorder,
                     &CaptureRecorder::record);
    const int total = int(rate * seconds);
    const long long dropsBefore = udpReceiveBufferErrors();
    const double cpuBefore = threadCpuMs();
    std::atomic<bool> done{false};
    std::thread sender([&] {
        const int fd = loopbackSocket();
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const QByteArray datagram = buildCursorSet(1, 0.5f, 0.25f);
        const auto start = std::chrono::steady_clock::now();
        // 100 datagrams per burst, each burst on its slot of the schedule.
        for (int sent = 0; sent < total; sent += 100) {
            std::this_thread::sleep_until(
                start + std::chrono::nanoseconds(qint64(sent) * 1'000'000'000 / rate));
            for (int i = 0; i < 100; ++i)
                ::sendto(fd, datagram.constData(), size_t(datagram.size()), 0,
                         reinterpret_cast<sockaddr *>(&to), sizeof to);
        }
        ::close(fd);
        done = true;
    });
    QElapsedTimer clock;
    clock.start();
    while (!done || (recorder.datagramCount() < total && clock.elapsed() < seconds * 1000 + 2000))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    sender.join();
    const double cpuMs = threadCpuMs() - cpuBefore;
    const long long drops = udpReceiveBufferErrors() - dropsBefore;
    recorder.stop();
    CaptureReader reader;
    reader.open(path);
    CapturePacket packet;
    qint64 inFile = 0;
    while (reader.next(packet))
        ++inFile;
    std::printf("record at %d datagrams/s for %.0f s: sent %d, recorded %lld, in the file %lld "
                "(%s); kernel receive-buffer drops %lld; receiving thread %.2f us CPU per "
                "datagram\n",
                rate, seconds, total, recorder.datagramCount(), inFile,
                inFile == total ? "nothing lost" : "LOST SOME", drops, cpuMs * 1e3 / total);
}

void benchReplayRoad(const QString &path, int count)
{
    writeFrames(path, count, 16'000'000);
    CommunicationBase log;
    TuioSessions sessions;
    TuioFrameAnalysis analysis;
    CaptureReplayer replayer(&log);
    QElapsedTimer loadClock;
    loadClock.start();
    replayer.load(path);
    const qint64 loadNs = loadClock.nsecsElapsed();
    QObject::connect(&replayer, &CaptureReplayer::datagram, &sessions,
                     [&](const QByteArray &datagram, const QHostAddress &sender, quint16 port,
                         qint64 arrivalNs) {
                         sessions.processDatagram(datagram);
                         analysis.analyse(datagram, sessions.lastDecoded(), sender, port,
                                          arrivalNs);
                     });
    QObject::connect(&replayer, &CaptureReplayer::batchFinished, &sessions,
                     &TuioSessions::endBatch);
    QEventLoop loop;
    QObject::connect(&replayer, &CaptureReplayer::finished, &loop, &QEventLoop::quit);
    // The event loop's turns between slices: a window would paint there.
    int turns = 0;
    QTimer turn;
    QObject::connect(&turn, &QTimer::timeout, [&turns] { ++turns; });
    turn.start(0);
    replayer.setFast(true);
    QElapsedTimer clock;
    clock.start();
    replayer.play();
    loop.exec();
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const qint64 frames = analysis.snapshot(TuioReceiver::monotonicNs()).value(0).frames;
    std::printf(
        "replay --fast through the receive road: %lld bundles (2 cursors) in %.2f s = %.0f "
        "datagrams/s; %lld frames analysed, %lld log entries kept, %d event-loop turns; load "
        "%.0f ms\n",
        replayer.playedCount(), seconds, double(replayer.playedCount()) / seconds, frames,
        qint64(log.entryCount()), turns, double(loadNs) / 1e6);
}

void benchCliReplay(const QString &path, int count)
{
    CaptureWriter writer;
    writer.open(path);
    const QByteArray datagram = buildCursorSet(1, 0.5f, 0.25f);
    for (int i = 0; i < count; ++i)
        writer.write(datagram, QHostAddress::LocalHost, 50000, QHostAddress::LocalHost, 3333,
                     qint64(i) * 1000);
    writer.close();
    const int fd = loopbackSocket();
    const quint16 port = boundPort(fd);
    std::atomic<bool> stop{false};
    std::atomic<qint64> received{0};
    std::thread reader([&] {
        timeval wait{0, 100000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        char buffer[2048];
        while (!stop)
            if (::recv(fd, buffer, sizeof buffer, 0) > 0)
                ++received;
    });
    QElapsedTimer clock;
    clock.start();
    QProcess cli;
    cli.start(QStringLiteral(TACTORA_CLI_PATH),
              {QStringLiteral("replay"), path, QStringLiteral("--to"),
               QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--fast")});
    cli.waitForFinished(120000);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    // The companion's own CPU time, which a machine shared with other work does not inflate.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    const double cpuSeconds = double(children.ru_utime.tv_sec + children.ru_stime.tv_sec) +
                              double(children.ru_utime.tv_usec + children.ru_stime.tv_usec) / 1e6;
    QThread::msleep(200);
    stop = true;
    reader.join();
    ::close(fd);
    std::printf("tactora-cli replay --fast: %d datagrams in %.2f s (process start and file load "
                "included) = %.0f datagrams/s, CPU %.2f s = %.0f datagrams per CPU second; %lld "
                "received by a loopback socket; exit %d\n",
                count, seconds, count / seconds, cpuSeconds, count / cpuSeconds, received.load(),
                cli.exitCode());
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    benchRecording(dir.filePath(QStringLiteral("recorded.pcap")), 100000, 3.0);
    benchReplayRoad(dir.filePath(QStringLiteral("frames.pcap")), 300000);
    benchCliReplay(dir.filePath(QStringLiteral("sets.pcap")), 1000000);
    return 0;
}
