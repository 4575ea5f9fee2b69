// Renders the real window with live traffic into a PNG, for the README.
// Usage: tactora_screenshot OUTPUT.png [TAB-INDEX]
#include "app/startup.h"
#include "site/siteurl.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QUdpSocket>
#include <QtMath>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QString output =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshot.png");
    const int tab = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 0;
    applyTheme(app);
    // The announcement strip shows its built-in items; nothing leaves this machine.
    setSiteBaseUrl(QStringLiteral("http://127.0.0.1:9"));

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
    const auto send = [&](const QByteArray &datagram) {
        tracker.writeDatagram(datagram, QHostAddress::LocalHost, quint16(port));
    };
    QObject::connect(&feeder, &QTimer::timeout, [&] {
        const float t = frame * 0.05f;
        // A pinch of two fingers, a third finger sliding, and three tagged objects.
        send(buildCursorSet(1, 0.30f + 0.10f * qCos(t), 0.40f + 0.10f * qSin(t)));
        send(buildCursorSet(2, 0.30f - 0.10f * qCos(t), 0.40f - 0.10f * qSin(t)));
        send(buildCursorSet(5, 0.20f + 0.006f * frame, 0.80f));
        send(buildObjectSet(7, 3, 0.70f, 0.30f, 0.6f + t));
        send(buildObjectSet(9, 12, 0.55f, 0.65f, 1.2f));
        send(buildObjectSet(12, 40, 0.82f, 0.72f, 0.3f));
        ++frame;
    });
    feeder.start(30);

    QTimer::singleShot(1500, [&] {
        feeder.stop();
        QTimer::singleShot(200, [&] {
            window.findChild<QTabWidget *>()->setCurrentIndex(tab);
            QApplication::processEvents();
            window.grab().save(output);
            app.quit();
        });
    });
    return app.exec();
}
