// Renders the real window with live traffic into a PNG, for the README.
// Usage: tactora_screenshot OUTPUT.png
#include "app/startup.h"
#include "tuio/osccodec.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QUdpSocket>
#include <QtMath>

namespace {

QByteArray cursorSet(int sid, float x, float y)
{
    QByteArray args;
    appendOscString(args, QStringLiteral("set"));
    appendInt32(args, sid);
    for (float v : {x, y, 0.0f, 0.0f, 0.0f})
        appendFloat32(args, v);
    return buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(",sifffff"), args);
}

QByteArray objectSet(int sid, int cid, float x, float y, float angle)
{
    QByteArray args;
    appendOscString(args, QStringLiteral("set"));
    appendInt32(args, sid);
    appendInt32(args, cid);
    for (float v : {x, y, angle, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f})
        appendFloat32(args, v);
    return buildOscMessage(QStringLiteral("/tuio/2Dobj"), QStringLiteral(",siiffffffff"), args);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString output =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshot.png");
    applyTheme(app);

    TuioWidget window;
    window.show();

    // Listen on a free loopback port and feed the window a small tracker session.
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    const int port = probe.localPort();
    probe.close();
    window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    window.findChildren<QPushButton *>(QStringLiteral("accentButton")).first()->click();

    QUdpSocket tracker;
    int frame = 0;
    QTimer feeder;
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const float t = frame * 0.05f;
        tracker.writeDatagram(cursorSet(1, 0.30f + 0.08f * qCos(t), 0.45f + 0.08f * qSin(t)),
                              QHostAddress::LocalHost, port);
        tracker.writeDatagram(cursorSet(2, 0.62f, 0.70f - 0.01f * frame), QHostAddress::LocalHost,
                              port);
        tracker.writeDatagram(objectSet(7, 3, 0.70f, 0.35f, 0.6f + t), QHostAddress::LocalHost,
                              port);
        tracker.writeDatagram(objectSet(9, 12, 0.45f, 0.72f, 1.2f), QHostAddress::LocalHost, port);
        ++frame;
    });
    feeder.start(30);

    QTimer::singleShot(1500, [&] {
        feeder.stop();
        QTimer::singleShot(200, [&] {
            window.grab().save(output);
            app.quit();
        });
    });
    return app.exec();
}
