#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QUdpSocket>
#include <QtTest>

#include <cstdio>

namespace {

// "cur set 0 0.5 0.25", "cur alive 0 1", "obj set 0 3 0.5 0.25 1.5", "obj alive 0"
QByteArray datagramFor(const QString &description)
{
    const QStringList f = description.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QList<qint32> ids;
    for (qsizetype i = 2; i < f.size(); ++i)
        ids.append(f.at(i).toInt());
    if (f.value(0) == QLatin1String("cur") && f.value(1) == QLatin1String("set"))
        return buildCursorSet(f.at(2).toInt(), f.at(3).toFloat(), f.at(4).toFloat());
    if (f.value(0) == QLatin1String("cur"))
        return buildCursorAlive(ids);
    if (f.value(1) == QLatin1String("set"))
        return buildObjectSet(f.at(2).toInt(), f.at(3).toInt(), f.at(4).toFloat(),
                              f.at(5).toFloat(), f.at(6).toFloat());
    return buildObjectAlive(ids);
}

} // namespace

// Client mode end to end: mouse gestures on the canvas, datagrams caught on a loopback socket.
class TestTuioSender : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void messageBytes_data();
    void messageBytes();
    void txLogText_data();
    void txLogText();

    void gestureTraffic_data();
    void gestureTraffic();
    void classIdAndAngleFromFieldsAreKept();
    void targetFieldsReadAtEverySend();
    void silentWhenNotSending_data();
    void silentWhenNotSending();
    void failedSends_data();
    void failedSends();

private:
    void switchToClient();
    void startClient();
    void gesture(const QString &script);
    QList<QByteArray> receive(int expected);
    QList<LogEntry> entries(int direction) const;
    QPushButton *groupButton(const QString &title) const;
    template <typename T> T *named(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }

    TuioWidget *window = nullptr;
    QUdpSocket *receiver = nullptr;
    Qt::MouseButtons heldButtons;
};

void TestTuioSender::init()
{
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    receiver = new QUdpSocket;
    QVERIFY(receiver->bind(QHostAddress::LocalHost, 0));
    named<QSpinBox>("targetPortSpin")->setValue(receiver->localPort());
}

void TestTuioSender::cleanup()
{
    heldButtons = Qt::NoButton;
    delete window;
    window = nullptr;
    delete receiver;
    receiver = nullptr;
}

QPushButton *TestTuioSender::groupButton(const QString &title) const
{
    const auto groups = window->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups)
        if (group->title() == title)
            return group->findChild<QPushButton *>(QStringLiteral("accentButton"));
    return nullptr;
}

void TestTuioSender::switchToClient()
{
    const auto radios = window->findChildren<QRadioButton *>();
    for (QRadioButton *radio : radios)
        if (radio->text() == QStringLiteral("客户端模式(模拟+发送"))
            radio->click();
    QVERIFY(!window->isServerMode());
}

void TestTuioSender::startClient()
{
    switchToClient();
    groupButton(QStringLiteral("客户端设置"))->click();
    QVERIFY(window->isRunning());
}

// Steps like "L+0.5,0.25" (left press), "L~0.6,0.3" (move, left held), "L-0.6,0.3" (release);
// "R" for the right button. Positions are fractions of the canvas size.
void TestTuioSender::gesture(const QString &script)
{
    TouchCanvas *canvas = window->touchCanvas();
    Qt::MouseButtons &held = heldButtons;
    const QStringList steps = script.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &step : steps) {
        const Qt::MouseButton button =
            step.at(0) == QLatin1Char('L') ? Qt::LeftButton : Qt::RightButton;
        const QStringList xy = step.mid(2).split(QLatin1Char(','));
        const QPointF pos(xy.at(0).toDouble() * canvas->width(),
                          xy.at(1).toDouble() * canvas->height());
        QEvent::Type type = QEvent::MouseMove;
        Qt::MouseButton changed = Qt::NoButton;
        if (step.at(1) == QLatin1Char('+')) {
            type = QEvent::MouseButtonPress;
            held |= button;
            changed = button;
        } else if (step.at(1) == QLatin1Char('-')) {
            type = QEvent::MouseButtonRelease;
            held &= ~Qt::MouseButtons(button);
            changed = button;
        }
        QMouseEvent event(type, pos, canvas->mapToGlobal(pos), changed, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    }
}

QList<QByteArray> TestTuioSender::receive(int expected)
{
    QList<QByteArray> got;
    QElapsedTimer clock;
    clock.start();
    // Wait for the expected count, then a little longer to catch anything extra.
    while (clock.elapsed() < 3000 && got.size() < expected) {
        receiver->waitForReadyRead(50);
        while (receiver->hasPendingDatagrams()) {
            QByteArray datagram(qMax<qint64>(receiver->pendingDatagramSize(), 0), '\0');
            datagram.truncate(receiver->readDatagram(datagram.data(), datagram.size()));
            got.append(datagram);
        }
    }
    QTest::qWait(60);
    while (receiver->hasPendingDatagrams()) {
        QByteArray datagram(qMax<qint64>(receiver->pendingDatagramSize(), 0), '\0');
        datagram.truncate(receiver->readDatagram(datagram.data(), datagram.size()));
        got.append(datagram);
    }
    return got;
}

QList<LogEntry> TestTuioSender::entries(int direction) const
{
    QList<LogEntry> out;
    const QList<LogEntry> all = window->communication()->entries();
    for (const LogEntry &entry : all)
        if (entry.direction == direction)
            out.append(entry);
    return out;
}

void TestTuioSender::messageBytes_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray cursorAddress = QByteArray::fromHex("2f7475696f2f324463757200");
    const QByteArray objectAddress = QByteArray::fromHex("2f7475696f2f3244") + "obj" + '\0';
    const QByteArray alive = QByteArray::fromHex("616c697665000000");
    QTest::newRow("cursor set s0 (0.5,0.25)")
        << buildCursorSet(0, 0.5f, 0.25f)
        << cursorAddress +
               QByteArray::fromHex("2c73696666666666000000007365740000000000"
                                   "3f0000003e800000") +
               QByteArray(12, '\0');
    QTest::newRow("cursor set negative id and x")
        << buildCursorSet(-2, -1.0f, 2.0f)
        << cursorAddress +
               QByteArray::fromHex("2c7369666666666600000000736574"
                                   "00fffffffe"
                                   "bf80000040000000") +
               QByteArray(12, '\0');
    QTest::newRow("cursor alive without ids")
        << buildCursorAlive({}) << cursorAddress + QByteArray::fromHex("2c730000") + alive;
    QTest::newRow("cursor alive one id") << buildCursorAlive({5})
                                         << cursorAddress + QByteArray::fromHex("2c736900") +
                                                alive + QByteArray::fromHex("00000005");
    QTest::newRow("cursor alive two ids")
        << buildCursorAlive({5, 258})
        << cursorAddress + QByteArray::fromHex("2c73696900000000") + alive +
               QByteArray::fromHex("0000000500000102");
    QTest::newRow("cursor alive three ids, order kept")
        << buildCursorAlive({4, 7, 9})
        << cursorAddress + QByteArray::fromHex("2c73696969000000") + alive +
               QByteArray::fromHex("000000040000000700000009");
    QTest::newRow("object set") << buildObjectSet(1, 3, 0.5f, 0.25f, 1.5f)
                                << objectAddress +
                                       QByteArray::fromHex(
                                           "2c7369696666666666666666000000007365740000000001"
                                           "000000033f0000003e8000003fc00000") +
                                       QByteArray(20, '\0');
    QTest::newRow("object alive two ids")
        << buildObjectAlive({2, 0})
        << objectAddress + QByteArray::fromHex("2c73696900000000") + alive +
               QByteArray::fromHex("0000000200000000");
}

void TestTuioSender::messageBytes()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);
    QCOMPARE(built.toHex(' '), expected.toHex(' '));
}

void TestTuioSender::txLogText_data()
{
    QTest::addColumn<int>("sid");
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<QString>("text");

    QTest::newRow("two decimals") << 12 << 0.5f << 0.25f << "[TX] cursor s12 (0.50,0.25)";
    QTest::newRow("exact halves round to even")
        << 0 << 0.125f << 0.875f << "[TX] cursor s0 (0.12,0.88)";
    QTest::newRow("off the canvas") << 3 << -0.001f << 1.5f << "[TX] cursor s3 (-0.00,1.50)";
    QTest::newRow("wide values") << 2147483647 << 123.456f << -7.0f
                                 << "[TX] cursor s2147483647 (123.46,-7.00)";
}

void TestTuioSender::txLogText()
{
    QFETCH(int, sid);
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(QString, text);
    QCOMPARE(cursorTxText(sid, x, y), text);
}

void TestTuioSender::gestureTraffic_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("datagrams");
    QTest::addColumn<QString>("objectCount");
    QTest::addColumn<QString>("anchorCount");

    QTest::newRow("cursor: left press")
        << 0 << "L+0.5,0.25" << QStringList{"cur set 0 0.5 0.25"} << "物体: 0"
        << "锚点: 0";
    QTest::newRow("cursor: moves with the button held, release")
        << 0 << "L+0.5,0.25 L~0.625,0.375 L~0.75,0.5 L-0.75,0.5"
        << QStringList{"cur set 0 0.5 0.25", "cur set 0 0.625 0.375", "cur set 0 0.75 0.5",
                       "cur alive"}
        << "物体: 0"
        << "锚点: 0";
    QTest::newRow("cursor: each touch a new session")
        << 0 << "L+0.5,0.5 L-0.5,0.5 L+0.25,0.25 L-0.25,0.25"
        << QStringList{"cur set 0 0.5 0.5", "cur alive", "cur set 1 0.25 0.25", "cur alive"}
        << "物体: 0"
        << "锚点: 0";
    QTest::newRow("object: left press on empty space")
        << 1 << "L+0.5,0.25 L-0.5,0.25" << QStringList{"obj set 0 3 0.5 0.25 1.5", "obj alive 0"}
        << "物体: 1"
        << "锚点: 0";
    QTest::newRow("object: moves of a grabbed object")
        << 1 << "L+0.5,0.5 L-0.5,0.5 L+0.5,0.5 L~0.625,0.5 L~0.75,0.5 L-0.75,0.5"
        << QStringList{"obj set 0 3 0.5 0.5 1.5",   "obj alive 0",
                       "obj set 0 3 0.625 0.5 1.5", "obj alive 0",
                       "obj set 0 3 0.75 0.5 1.5",  "obj alive 0"}
        << "物体: 1"
        << "锚点: 0";
    QTest::newRow("object: right press removes the nearest")
        << 1 << "L+0.25,0.25 L-0.25,0.25 L+0.75,0.75 L-0.75,0.75 R+0.25,0.25 R-0.25,0.25"
        << QStringList{"obj set 0 3 0.25 0.25 1.5", "obj alive 0", "obj set 1 3 0.75 0.75 1.5",
                       "obj alive 0 1", "obj alive 1"}
        << "物体: 1"
        << "锚点: 0";
    QTest::newRow("object: removing the last one")
        << 1 << "L+0.5,0.5 L-0.5,0.5 R+0.5,0.5 R-0.5,0.5"
        << QStringList{"obj set 0 3 0.5 0.5 1.5", "obj alive 0", "obj alive"} << "物体: 0"
        << "锚点: 0";
    QTest::newRow("multi-touch: right press on empty space")
        << 2 << "R+0.25,0.25 R-0.25,0.25" << QStringList{"cur set 0 0.25 0.25"} << "物体: 0"
        << "锚点: 1";
    QTest::newRow("multi-touch: right press on an anchor")
        << 2 << "R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 R+0.25,0.25 R-0.25,0.25"
        << QStringList{"cur set 0 0.25 0.25", "cur set 1 0.75 0.25", "cur alive 1"} << "物体: 0"
        << "锚点: 1";
    QTest::newRow("multi-touch: active point after the anchors")
        << 2 << "R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 L~0.5,0.625 L-0.5,0.625"
        << QStringList{"cur set 0 0.25 0.25", "cur set 1 0.75 0.25", "cur set 2 0.5 0.5",
                       "cur alive 0 1 2",     "cur set 2 0.5 0.625", "cur alive 0 1 2",
                       "cur alive 0 1"}
        << "物体: 0"
        << "锚点: 2";
}

void TestTuioSender::gestureTraffic()
{
    QFETCH(int, mode);
    QFETCH(QString, script);
    QFETCH(QStringList, datagrams);
    QFETCH(QString, objectCount);
    QFETCH(QString, anchorCount);

    startClient();
    named<QComboBox>("simModeCombo")->setCurrentIndex(mode);
    named<QSpinBox>("classIdSpin")->setValue(3);
    named<QDoubleSpinBox>("angleSpin")->setValue(1.5);
    const qsizetype txBefore = entries(LogEntry::Tx).size();
    const qint64 txBytesBefore = window->communication()->txBytes();
    gesture(script);

    QList<QByteArray> expected;
    QStringList expectedTx;
    for (const QString &d : std::as_const(datagrams)) {
        expected.append(datagramFor(d));
        const QStringList f = d.split(QLatin1Char(' '));
        if (f.at(0) == QLatin1String("cur") && f.at(1) == QLatin1String("set")) {
            char text[96];
            std::snprintf(text, sizeof text, "[TX] cursor s%d (%.2f,%.2f)", f.at(2).toInt(),
                          f.at(3).toDouble(), f.at(4).toDouble());
            expectedTx << QString::fromLatin1(text);
        }
    }
    const QList<QByteArray> got = receive(int(expected.size()));
    QCOMPARE(got.size(), expected.size());
    for (qsizetype i = 0; i < got.size(); ++i)
        QVERIFY2(got.at(i) == expected.at(i),
                 qPrintable(QStringLiteral("datagram %1 (%2): %3")
                                .arg(i)
                                .arg(datagrams.at(i), got.at(i).toHex(' '))));

    // Only cursor sets are logged, as their text; the counter counts that text.
    QStringList tx;
    qint64 txBytes = 0;
    const QList<LogEntry> logged = entries(LogEntry::Tx).mid(txBefore);
    for (const LogEntry &entry : logged) {
        tx << entry.text;
        QCOMPARE(entry.data, entry.text.toUtf8());
        txBytes += entry.data.size();
    }
    QCOMPARE(tx, expectedTx);
    QCOMPARE(window->communication()->txBytes() - txBytesBefore, txBytes);
    QCOMPARE(named<QLabel>("objectCountLabel")->text(), objectCount);
    QCOMPARE(named<QLabel>("anchorCountLabel")->text(), anchorCount);
}

void TestTuioSender::classIdAndAngleFromFieldsAreKept()
{
    startClient();
    named<QComboBox>("simModeCombo")->setCurrentIndex(1);
    auto *classId = named<QSpinBox>("classIdSpin");
    auto *angle = named<QDoubleSpinBox>("angleSpin");
    classId->setValue(3);
    angle->setValue(1.5);
    gesture("L+0.25,0.5 L-0.25,0.5");
    classId->setValue(9);
    angle->setValue(0.2);
    gesture("L+0.25,0.5 L~0.375,0.5 L-0.375,0.5 L+0.75,0.5 L-0.75,0.5");

    const QList<QByteArray> got = receive(6);
    const QList<QByteArray> expected{
        buildObjectSet(0, 3, 0.25f, 0.5f, 1.5f),  buildObjectAlive({0}),
        buildObjectSet(0, 3, 0.375f, 0.5f, 1.5f), buildObjectAlive({0}),
        buildObjectSet(1, 9, 0.75f, 0.5f, 0.2f),  buildObjectAlive({0, 1})};
    QCOMPARE(got, expected);
    const QList<SimObject> objects = window->touchCanvas()->simObjects();
    QCOMPARE(objects.size(), 2);
    QCOMPARE(objects.at(0).cid, 3);
    QCOMPARE(objects.at(0).angle, 1.5f);
    QCOMPARE(objects.at(1).cid, 9);
    QCOMPARE(objects.at(1).angle, 0.2f);
}

void TestTuioSender::targetFieldsReadAtEverySend()
{
    QUdpSocket second;
    QVERIFY(second.bind(QHostAddress::LocalHost, 0));
    startClient();
    gesture("L+0.5,0.5");
    named<QSpinBox>("targetPortSpin")->setValue(second.localPort());
    gesture("L-0.5,0.5");
    QCOMPARE(receive(1), QList<QByteArray>{buildCursorSet(0, 0.5f, 0.5f)});
    QTRY_VERIFY(second.hasPendingDatagrams());
    QByteArray datagram(int(second.pendingDatagramSize()), '\0');
    second.readDatagram(datagram.data(), datagram.size());
    QCOMPARE(datagram, buildCursorAlive({}));
}

void TestTuioSender::silentWhenNotSending_data()
{
    QTest::addColumn<QString>("state");
    QTest::newRow("server mode, listening") << "server";
    QTest::newRow("client mode, before start") << "idle";
    QTest::newRow("client mode, after stop") << "stopped";
}

void TestTuioSender::silentWhenNotSending()
{
    QFETCH(QString, state);
    if (state == QLatin1String("server")) {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        named<QSpinBox>("listenPortSpin")->setValue(probe.localPort());
        probe.close();
        groupButton(QStringLiteral("服务器设置"))->click();
        QVERIFY(window->isRunning());
        gesture("L+0.5,0.5 L~0.625,0.5 L-0.625,0.5");
    } else {
        if (state == QLatin1String("stopped"))
            startClient();
        else
            switchToClient();
        if (state == QLatin1String("stopped")) {
            groupButton(QStringLiteral("客户端设置"))->click();
            QVERIFY(!window->isRunning());
        }
        gesture("L+0.5,0.5 L~0.625,0.5 L-0.625,0.5");
        named<QComboBox>("simModeCombo")->setCurrentIndex(1);
        gesture("L+0.25,0.25 L-0.25,0.25 L+0.75,0.75 L-0.75,0.75 R+0.75,0.75");
        named<QComboBox>("simModeCombo")->setCurrentIndex(2);
        gesture("R+0.25,0.25 R-0.25,0.25 L+0.5,0.5 L~0.5,0.75 L-0.5,0.75");
        // The canvas and the counters follow the gestures all the same.
        QCOMPARE(named<QLabel>("objectCountLabel")->text(), QStringLiteral("物体: 1"));
        QCOMPARE(named<QLabel>("anchorCountLabel")->text(), QStringLiteral("锚点: 1"));
    }
    QCOMPARE(receive(0), QList<QByteArray>{});
    QCOMPARE(entries(LogEntry::Tx).size(), 0);
    QCOMPARE(window->communication()->txBytes(), qint64(0));
}

void TestTuioSender::failedSends_data()
{
    QTest::addColumn<QString>("badHost");
    QTest::addColumn<bool>("bindLocalPort");
    QTest::addColumn<QString>("error");

    QTest::newRow("host name, not a literal address")
        << "localhost" << false << QStringLiteral("目标地址不是IP地址");
    QTest::newRow("not an address at all")
        << "tuio table" << false << QStringLiteral("目标地址不是IP地址");
    // Empty: the socket's own error text.
    QTest::newRow("IPv6 target from an IPv4 socket") << "::1" << true << QString();
}

void TestTuioSender::failedSends()
{
    QFETCH(QString, badHost);
    QFETCH(bool, bindLocalPort);
    QFETCH(QString, error);

    if (bindLocalPort) {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        named<QSpinBox>("localPortSpin")->setValue(probe.localPort());
    }
    auto *host = named<QLineEdit>("targetHostEdit");
    host->setText(badHost);
    startClient();
    const int port = receiver->localPort();
    const qsizetype systemBefore = entries(LogEntry::System).size();

    // A whole drag towards the bad target: one line, no TX entries.
    gesture("L+0.5,0.5 L~0.5,0.625 L~0.5,0.75 L-0.5,0.75");
    QList<LogEntry> system = entries(LogEntry::System).mid(systemBefore);
    QCOMPARE(system.size(), 1);
    if (error.isEmpty())
        error = window->udpSocket()->errorString();
    QVERIFY(!error.isEmpty());
    QCOMPARE(system.at(0).text,
             QStringLiteral("发送失败 -> %1:%2: %3").arg(badHost).arg(port).arg(error));
    QCOMPARE(entries(LogEntry::Tx).size(), 0);
    QCOMPARE(window->communication()->txBytes(), qint64(0));

    // A good target sends and is logged, and ends the run of failures.
    host->setText(QStringLiteral("127.0.0.1"));
    gesture("L+0.25,0.25");
    QCOMPARE(receive(1), QList<QByteArray>{buildCursorSet(1, 0.25f, 0.25f)});
    QCOMPARE(entries(LogEntry::Tx).size(), 1);
    QCOMPARE(entries(LogEntry::System).size(), systemBefore + 1);

    // The next run of failures is reported again, once.
    host->setText(badHost);
    gesture("L~0.25,0.5 L~0.25,0.75 L-0.25,0.75");
    system = entries(LogEntry::System).mid(systemBefore);
    QCOMPARE(system.size(), 2);
    QVERIFY(
        system.at(1).text.startsWith(QStringLiteral("发送失败 -> %1:%2: ").arg(badHost).arg(port)));
    QCOMPARE(entries(LogEntry::Tx).size(), 1);
}

QTEST_MAIN(TestTuioSender)
#include "tst_tuiosender.moc"
