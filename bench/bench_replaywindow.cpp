// A capture replayed as fast as possible through the window's own road: the capture group's
// "回放…" with speed "最快" in the real window (offscreen, themed), so every datagram reaches the
// log view, the canvas, the session tree and the frame analysis as received traffic does. Once per
// tab showing. Aim: at least 50,000 datagrams per second.
// Run from a Release build: ./bench_replaywindow [datagrams]
#include "app/startup.h"
#include "benchsupport.h"
#include "capture/capturepanel.h"
#include "capture/capturereplayer.h"
#include "capture/capturewriter.h"
#include "tuio/tuioframes.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

// A tracker's TUIO 1.1 frames of two moving cursors, 60 per second.
void writeCapture(const QString &path, int count)
{
    CaptureWriter writer;
    writer.open(path);
    for (int i = 1; i <= count; ++i) {
        const float x = float(i % 1000) / 1000.0f;
        const QByteArray frame = buildOscBundle(
            {buildSourceMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral("bench@127.0.0.1")),
             buildCursorAlive({1, 2}), buildCursorSet(1, x, 0.5f), buildCursorSet(2, 0.5f, x),
             buildFseqMessage(QStringLiteral("/tuio/2Dcur"), i)});
        writer.write(frame, QHostAddress::LocalHost, 50000, QHostAddress::LocalHost, 3333,
                     1'765'000'000'000'000'000LL + qint64(i) * 16'666'667LL);
    }
    writer.close();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    applyTheme(app);
    const int count = argc > 1 ? std::max(1000, std::atoi(argv[1])) : 200000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("frames.pcap"));
    writeCapture(path, count);

    TuioWidget window;
    window.resize(1400, 900);
    window.show();
    auto *panel = window.findChild<CapturePanel *>(QStringLiteral("capturePanel"));
    auto *replayer = window.findChild<CaptureReplayer *>(QStringLiteral("captureReplayer"));
    auto *tabs = window.findChild<QTabWidget *>();
    auto *speed = window.findChild<QComboBox *>(QStringLiteral("replaySpeedCombo"));
    panel->setFileChooser([path](bool, const QString &) { return path; });
    speed->setCurrentIndex(speed->count() - 1);

    std::printf("%d TUIO 1.1 frames (2 cursors) replayed with 最快 through the window\n"
                "tab      datagrams/s   process CPU per datagram   aim >= 50000\n",
                count);
    for (const auto &[tab, name] : {std::pair{0, "canvas"}, {2, "log"}, {1, "tree"}}) {
        tabs->setCurrentIndex(tab);
        QCoreApplication::processEvents();
        QEventLoop loop;
        const auto finished =
            QObject::connect(replayer, &CaptureReplayer::finished, &loop, &QEventLoop::quit);
        const double cpuBefore = processCpuMs();
        QElapsedTimer clock;
        clock.start();
        window.findChild<QPushButton *>(QStringLiteral("replayButton"))->click();
        loop.exec();
        const double seconds = double(clock.nsecsElapsed()) / 1e9;
        const double rate = double(replayer->playedCount()) / seconds;
        QObject::disconnect(finished);
        std::printf("%-8s %11.0f   %20.2f us        %s\n", name, rate,
                    (processCpuMs() - cpuBefore) * 1e3 / double(replayer->playedCount()),
                    rate >= 50000 ? "met" : "missed");
    }
    return 0;
}
