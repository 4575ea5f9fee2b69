// Renders the real window with live traffic into a PNG, for the README.
// Usage: tactora_screenshot OUTPUT.png [TAB-INDEX [profiles] | replay]
// Tab 3, the frame analysis, is fed TUIO 1.1 frames by a tracker and, beside it, a faulty sender.
// "profiles" feeds a camera tracker's blobs beside 2.5D cursors and a 3D object instead.
// "replay" plays the tracker session back from a capture file instead of listening.
#include "app/startup.h"
#include "capture/capturepanel.h"
#include "capture/capturewriter.h"
#include "site/siteurl.h"
#include "tuio/osccodec.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QUdpSocket>
#include <QtMath>

#include <cmath>

namespace {

constexpr int analysisTab = 3;

QByteArray tuioMessage(const char *profile, const char *command, const QByteArray &tags,
                       const QByteArray &arguments)
{
    QByteArray all;
    appendOscString(all, QLatin1String(command));
    return buildOscMessage(QLatin1String(profile), QLatin1String(",s" + tags), all + arguments);
}

QByteArray fseq(const char *profile, int frame)
{
    QByteArray argument;
    appendInt32(argument, frame);
    return tuioMessage(profile, "fseq", "i", argument);
}

QByteArray source(const char *profile)
{
    QByteArray name;
    appendOscString(name, QStringLiteral("tracker@127.0.0.1"));
    return tuioMessage(profile, "source", "s", name);
}

// A set of the session `sid` (and class id `cid` where >= 0) with the given floats.
QByteArray itemSet(const char *profile, int sid, int cid, const QList<float> &values)
{
    QByteArray tags("i");
    QByteArray arguments;
    appendInt32(arguments, sid);
    if (cid >= 0) {
        tags += 'i';
        appendInt32(arguments, cid);
    }
    for (float value : values) {
        tags += 'f';
        appendFloat32(arguments, value);
    }
    return tuioMessage(profile, "set", tags, arguments);
}

QByteArray itemAlive(const char *profile, const QList<int> &ids)
{
    QByteArray arguments;
    for (int id : ids)
        appendInt32(arguments, id);
    return tuioMessage(profile, "alive", QByteArray(ids.size(), 'i'), arguments);
}

QByteArray bundle(const QList<QByteArray> &messages)
{
    QByteArray out("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &message : messages) {
        appendInt32(out, qint32(message.size()));
        out += message;
    }
    return out;
}

// A pinch of two fingers, a third finger sliding, and three tagged objects.
QList<QByteArray> trackerFrame(int frame)
{
    const float t = frame * 0.05f;
    return {buildCursorSet(1, 0.30f + 0.10f * qCos(t), 0.40f + 0.10f * qSin(t)),
            buildCursorSet(2, 0.30f - 0.10f * qCos(t), 0.40f - 0.10f * qSin(t)),
            buildCursorSet(5, 0.20f + 0.006f * frame, 0.80f),
            buildObjectSet(7, 3, 0.70f, 0.30f, 0.6f + t),
            buildObjectSet(9, 12, 0.55f, 0.65f, 1.2f),
            buildObjectSet(12, 40, 0.82f, 0.72f, 0.3f)};
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString output =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshot.png");
    const bool replay = argc > 2 && QString::fromLocal8Bit(argv[2]) == QLatin1String("replay");
    const int tab = argc > 2 && !replay ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    const bool profiles = argc > 3 && QByteArray(argv[3]) == "profiles";
    applyTheme(app);
    // The announcement strip shows its built-in items; nothing leaves this machine.
    setSiteBaseUrl(QStringLiteral("http://127.0.0.1:9"));

    TuioWidget window;
    // Room for the analysis' datagram column.
    if (tab == analysisTab)
        window.resize(1400, 860);
    window.show();

    QTemporaryDir dir;
    if (replay) {
        // Seven seconds of the tracker session at 30 ms a frame, caught 2.5 s into its replay.
        const QString path = dir.filePath(QStringLiteral("tracker-session.pcap"));
        CaptureWriter writer;
        writer.open(path);
        for (int frame = 0; frame < 234; ++frame)
            for (const QByteArray &datagram : trackerFrame(frame))
                writer.write(datagram, QHostAddress::LocalHost, 50123, QHostAddress::LocalHost,
                             3333, 1'765'000'000'000'000'000LL + frame * 30'000'000LL);
        writer.close();
        auto *panel = window.findChild<CapturePanel *>(QStringLiteral("capturePanel"));
        panel->setFileChooser([path](bool, const QString &) { return path; });
        window.findChild<QPushButton *>(QStringLiteral("replayButton"))->click();
        QTimer::singleShot(2500, [&] {
            window.grab().save(output);
            app.quit();
        });
        return app.exec();
    }

    // Listen on a free loopback port and feed the window a small tracker session.
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const int port = probe.localPort();
    probe.close();
    window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    window.findChildren<QPushButton *>(QStringLiteral("accentButton")).first()->click();

    QUdpSocket tracker;
    QUdpSocket faulty;
    int frame = 0;
    QTimer feeder;
    const auto send = [&](const QByteArray &datagram) {
        tracker.writeDatagram(datagram, QHostAddress::LocalHost, quint16(port));
    };
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const float t = frame * 0.05f;
        if (tab == analysisTab) {
            // Two fingers and an object per frame; every 20th frame lost, the 31st late, every
            // 10th sent again with fseq -1.
            const auto frameBundles = [&](int id) {
                send(bundle({source("/tuio/2Dcur"), buildCursorAlive({1, 2}),
                             buildCursorSet(1, 0.3f + 0.1f * qCos(t), 0.4f),
                             buildCursorSet(2, 0.6f, 0.4f + 0.1f * qSin(t)),
                             fseq("/tuio/2Dcur", id)}));
                send(bundle({source("/tuio/2Dobj"), buildObjectAlive({7}),
                             buildObjectSet(7, 3, 0.7f, 0.3f, std::fmod(0.6f + t, 6.28f)),
                             fseq("/tuio/2Dobj", id)}));
            };
            if (frame % 20 != 19)
                frameBundles(frame == 31 ? 29 : frame + 1);
            if (frame % 10 == 9)
                frameBundles(-1);
            // The other sender sends as a TUIO 1.0 client without frames, with an id the tracker
            // uses too and a finger that slides off the surface.
            const auto other = [&](const QByteArray &datagram) {
                faulty.writeDatagram(datagram, QHostAddress::LocalHost, quint16(port));
            };
            other(buildCursorSet(2, 0.2f + 0.03f * float(frame % 40), 0.8f));
            other(buildCursorAlive({2}));
            ++frame;
            return;
        }
        if (profiles) {
            // Blobs of two hands and a mug (x y a w h f X Y A m r), a finger in front of a depth
            // camera at two heights (x y z X Y Z m), a tagged cube (x y z a b c, then motion).
            const float turn = std::fmod(0.4f + t, 6.28f);
            send(bundle({source("/tuio/2Dblb"), itemAlive("/tuio/2Dblb", {1, 2, 3}),
                         itemSet("/tuio/2Dblb", 1, -1,
                                 {0.28f, 0.55f, turn, 0.16f, 0.09f, 0.014f, 0, 0, 0, 0, 0}),
                         itemSet("/tuio/2Dblb", 2, -1,
                                 {0.50f, 0.70f, 2.4f, 0.12f, 0.10f, 0.012f, 0, 0, 0, 0, 0}),
                         itemSet("/tuio/2Dblb", 3, -1,
                                 {0.74f, 0.40f, 0.0f, 0.07f, 0.10f, 0.007f, 0, 0, 0, 0, 0}),
                         fseq("/tuio/2Dblb", frame + 1)}));
            send(bundle({source("/tuio/25Dcur"), itemAlive("/tuio/25Dcur", {11, 12}),
                         itemSet("/tuio/25Dcur", 11, -1,
                                 {0.30f + 0.05f * qCos(t), 0.30f, 0.2f, 0, 0, 0, 0}),
                         itemSet("/tuio/25Dcur", 12, -1, {0.45f, 0.25f, 0.85f, 0, 0, 0, 0}),
                         fseq("/tuio/25Dcur", frame + 1)}));
            send(bundle({source("/tuio/3Dobj"), itemAlive("/tuio/3Dobj", {21}),
                         itemSet("/tuio/3Dobj", 21, 5,
                                 {0.80f, 0.75f, 0.5f, turn, 0.3f, 0.1f, 0, 0, 0, 0, 0, 0, 0, 0}),
                         fseq("/tuio/3Dobj", frame + 1)}));
            send(buildCursorSet(1, 0.62f, 0.30f + 0.004f * frame));
            ++frame;
            return;
        }
        for (const QByteArray &datagram : trackerFrame(frame))
            send(datagram);
        ++frame;
    });
    feeder.start(30);

    QTimer::singleShot(1500, [&] {
        feeder.stop();
        // The analysis tab shows what it saw at most 250 ms ago.
        QTimer::singleShot(tab == analysisTab ? 400 : 200, [&] {
            window.findChild<QTabWidget *>()->setCurrentIndex(tab);
            QApplication::processEvents();
            window.grab().save(output);
            app.quit();
        });
    });
    return app.exec();
}
