#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuiosender.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <cstdio>

namespace {

// "cur set 0 0.5 0.25", "cur alive 0 1", "obj set 0 3 0.5 0.25 1.5", "obj alive": the datagram
// put together with the OSC codec, velocities and accelerations 0.
QByteArray datagramFor(const QString &description)
{
    QStringList f = description.split(' ');
    const bool set = f.at(1) == QLatin1String("set");
    // Fields before this index are integers: every id of an alive, the ids of a set.
    const qsizetype ints = set ? (f.at(0) == QLatin1String("cur") ? 3 : 4) : f.size();
    f += QStringList(set ? (ints == 3 ? 3 : 5) : 0,
                     QStringLiteral("0")); // velocities, accelerations
    QString tags = QStringLiteral(",s");
    QByteArray arguments;
    appendOscString(arguments, f.at(1));
    for (qsizetype i = 2; i < f.size(); ++i) {
        tags += QLatin1Char(i < ints ? 'i' : 'f');
        i < ints ? appendInt32(arguments, f.at(i).toInt())
                 : appendFloat32(arguments, f.at(i).toFloat());
    }
    return buildOscMessage(QStringLiteral("/tuio/2D") + f.at(0), tags, arguments);
}

void row(const char *name, const char *script, const QStringList &datagrams, int objects = 0,
         int anchors = 0, const QStringList &failures = {})
{
    QTest::newRow(name) << QString::fromUtf8(script) << datagrams << objects << anchors << failures;
}

} // namespace

// Client mode end to end: mouse gestures on the canvas, datagrams caught on a loopback socket.
class TestTuioSender : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete window; }
    void traffic_data();
    void traffic();

private:
    void run(const QString &script);
    QStringList lines(int direction) const;
    template <typename T> T *named(const char *name) const { return window->findChild<T *>(name); }

    TuioWidget *window = nullptr;
    QUdpSocket *receiver = nullptr;
};

void TestTuioSender::init()
{
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    receiver = new QUdpSocket(window);
    QVERIFY(receiver->bind(QHostAddress::LocalHost, 0));
    named<QSpinBox>("targetPortSpin")->setValue(receiver->localPort());
    named<QSpinBox>("listenPortSpin")->setValue(freeUdpPort());
}

// Steps: "client" (client mode, started); mouse steps at fractions of the canvas size, such as
// "L+0.5,0.25" (left press), "L~0.6,0.3" (move), "R-0.6,0.3" (right release); "C:9,0.2" (class id
// and angle fields); "H:127.0.0.1" (target host); "B:" (a free local port); a simulation mode's
// name; else the text of a button to click.
void TestTuioSender::run(const QString &script)
{
    TouchCanvas *canvas = window->touchCanvas();
    auto *combo = named<QComboBox>("simModeCombo");
    for (const QString &step : script.split(' ')) {
        const QStringList xy = step.mid(2).split(',');
        const int kind = QStringLiteral("+~-").indexOf(step.mid(1, 1));
        if (step == QLatin1String("client")) {
            run(QStringLiteral("客户端模式(模拟+发送 启动客户端"));
        } else if (step.startsWith(QLatin1String("C:"))) {
            named<QSpinBox>("classIdSpin")->setValue(xy.at(0).toInt());
            named<QDoubleSpinBox>("angleSpin")->setValue(xy.at(1).toDouble());
        } else if (step.startsWith(QLatin1String("H:"))) {
            named<QLineEdit>("targetHostEdit")->setText(step.mid(2));
        } else if (step == QLatin1String("B:")) {
            named<QSpinBox>("localPortSpin")->setValue(freeUdpPort());
        } else if (combo->findText(step) >= 0) {
            combo->setCurrentText(step);
        } else if (kind >= 0 && xy.size() == 2) {
            const Qt::MouseButton button = step.at(0) == 'L' ? Qt::LeftButton : Qt::RightButton;
            const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseMove,
                                          QEvent::MouseButtonRelease};
            const QPointF pos(xy.at(0).toDouble() * canvas->width(),
                              xy.at(1).toDouble() * canvas->height());
            QMouseEvent event(types[kind], pos, canvas->mapToGlobal(pos),
                              kind == 1 ? Qt::NoButton : button, kind == 2 ? Qt::NoButton : button,
                              Qt::NoModifier);
            QApplication::sendEvent(canvas, &event);
        } else {
            for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
                if (b->text() == step)
                    b->click();
        }
    }
}

QStringList TestTuioSender::lines(int direction) const
{
    QStringList out;
    for (const LogEntry &entry : window->communication()->entries())
        if (entry.direction == direction)
            out << entry.text;
    return out;
}

void TestTuioSender::traffic_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("datagrams");
    QTest::addColumn<int>("objects");
    QTest::addColumn<int>("anchors");
    QTest::addColumn<QStringList>("failures"); // %1: the target port, %2: the socket's error

    // The oracle itself, against the bytes of a cursor set and an object alive without ids.
    QCOMPARE(datagramFor("cur set 0 0.5 0.25").toHex(),
             QByteArray("2f7475696f2f3244637572002c7369666666666600000000736574000000000"
                        "03f0000003e800000000000000000000000000000"));
    QCOMPARE(datagramFor("obj alive").size(), qsizetype(24));

    row("cursor: press, moves, release, next touch",
        "client L+0.5,0.25 L~0.125,0.875 L~-0.001953125,1.5 L-0,0 L+0.25,0.25 L-0.25,0.25",
        {"cur set 0 0.5 0.25", "cur set 0 0.125 0.875", "cur set 0 -0.001953125 1.5", "cur alive",
         "cur set 1 0.25 0.25", "cur alive"});
    // Class id and angle come from the fields on placement and stay with the object.
    row("object: place, move, right presses remove the nearest, then the last",
        "client 物体模式 C:3,1.5 L+0.25,0.25 L-0.25,0.25 C:9,0.2 L+0.75,0.75 L-0.75,0.75 "
        "L+0.25,0.25 L~0.375,0.25 L-0.375,0.25 R+0.75,0.75 R-0.75,0.75 R+0.375,0.25 R-0.375,0.25",
        {"obj set 0 3 0.25 0.25 1.5", "obj alive 0", "obj set 1 9 0.75 0.75 0.2", "obj alive 0 1",
         "obj set 0 3 0.375 0.25 1.5", "obj alive 0 1", "obj alive 0", "obj alive"});
    row("multi-touch: anchors, then the active point",
        "client 多点模式 R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 R+0.5,0.75 R-0.5,0.75 "
        "R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 L~0.5,0.625 L-0.5,0.625",
        {"cur set 0 0.25 0.25", "cur set 1 0.75 0.25", "cur set 2 0.5 0.75", "cur alive 0 2",
         "cur set 3 0.5 0.5", "cur alive 0 2 3", "cur set 3 0.5 0.625", "cur alive 0 2 3",
         "cur alive 0 2"},
        0, 2);
    // The canvas and its counters follow the gestures all the same.
    row("nothing in server mode, before start or after stop",
        "开始监听 L+0.5,0.5 L~0.6,0.5 L-0.6,0.5 客户端模式(模拟+发送 L+0.5,0.5 L-0.5,0.5 "
        "启动客户端 停止客户端 L+0.5,0.5 L-0.5,0.5 物体模式 L+0.25,0.25 L-0.25,0.25 多点模式 "
        "R+0.25,0.25 R-0.25,0.25 L+0.5,0.5 L~0.5,0.75 L-0.5,0.75",
        {}, 1, 1);
    // One line per run of failures, again after a send has worked; failed sends are not logged.
    // The target is taken at start: a host typed while started waits for the next start.
    row("failed sends: host name, not a literal address",
        "H:localhost client L+0.5,0.5 L~0.5,0.75 L-0.5,0.75 H:127.0.0.1 L+0.25,0.25 L-0.25,0.25 "
        "停止客户端 启动客户端 L+0.25,0.25 L-0.25,0.25 H:localhost 停止客户端 启动客户端 "
        "L+0.25,0.5 L-0.25,0.75",
        {"cur set 0 0.25 0.25", "cur alive"}, 0, 0,
        QStringList(2, "发送失败 -> localhost:%1: 目标地址不是IP地址"));
    row("failed sends: IPv6 target from an IPv4 socket",
        "H:::1 B: client L+0.5,0.5 L~0.5,0.75 L-0.5,0.75 H:127.0.0.1 停止客户端 启动客户端 "
        "L+0.25,0.25 L-0.25,0.25 H:::1 停止客户端 启动客户端 L+0.25,0.5 L-0.25,0.75",
        {"cur set 0 0.25 0.25", "cur alive"}, 0, 0, QStringList(2, "发送失败 -> ::1:%1: %2"));
}

void TestTuioSender::traffic()
{
    QFETCH(QString, script);
    QFETCH(QStringList, datagrams);
    QFETCH(int, objects);
    QFETCH(int, anchors);
    QFETCH(QStringList, failures);

    run(script);
    QList<QByteArray> expected;
    QStringList tx; // cursor sets only, as printf's "%.2f" shows them
    for (const QString &datagram : datagrams) {
        expected << datagramFor(datagram);
        const QStringList f = datagram.split(' ');
        char text[96];
        std::snprintf(text, sizeof text, "[TX] cursor s%d (%.2f,%.2f)", f.value(2).toInt(),
                      f.value(3).toDouble(), f.value(4).toDouble());
        if (datagram.startsWith(QLatin1String("cur set")))
            tx << text;
    }
    QList<QByteArray> received;
    while (receiver->hasPendingDatagrams() || receiver->waitForReadyRead(100))
        received << receiver->receiveDatagram().data();
    QCOMPARE(received, expected);
    QCOMPARE(lines(LogEntry::Tx), tx);
    QCOMPARE(window->communication()->txBytes(), qint64(tx.join(QString()).toUtf8().size()));
    QCOMPARE(named<QLabel>("objectCountLabel")->text(), QStringLiteral("物体: %1").arg(objects));
    QCOMPARE(named<QLabel>("anchorCountLabel")->text(), QStringLiteral("锚点: %1").arg(anchors));
    const QString error = window->clientSender()->udpSocket()
                              ? window->clientSender()->udpSocket()->errorString()
                              : QString();
    QCOMPARE(lines(LogEntry::System).filter(QStringLiteral("发送失败")),
             failures.replaceInStrings("%1", QString::number(receiver->localPort()))
                 .replaceInStrings("%2", error));
}

QTEST_MAIN(TestTuioSender)
#include "tst_tuiosender.moc"
