#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "tuio/osccodec.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QUdpSocket>
#include <QtEndian>
#include <QtTest>

namespace {

QByteArray curSet(int sid, float x, float y)
{
    return buildCursorSet(sid, x, y);
}

QByteArray curAlive(const QList<int> &sids)
{
    return buildCursorAlive(sids);
}

QByteArray objSet(int sid, int cid, float x, float y, float angle)
{
    return buildObjectSet(sid, cid, x, y, angle);
}

QByteArray objAlive(const QList<int> &sids)
{
    return buildObjectAlive(sids);
}

QByteArray fseq(int frame)
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("fseq"));
    appendInt32(arguments, frame);
    return buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(",si"), arguments);
}

QByteArray withAddress(const QString &address, const QByteArray &message)
{
    qint32 position = frameOscMessage(message).argumentPosition;
    QByteArray rest = message.mid(position);
    QByteArray tags;
    appendOscString(tags, QStringLiteral(",sifffff"));
    QByteArray out;
    appendOscString(out, address);
    return out + tags + rest;
}

QByteArray int32Bytes(qint32 value)
{
    QByteArray bytes;
    appendInt32(bytes, value);
    return bytes;
}

// An element with a declared size that need not match its bytes.
QByteArray rawElement(qint32 declaredSize, const QByteArray &bytes)
{
    return int32Bytes(declaredSize) + bytes;
}

QByteArray element(const QByteArray &content)
{
    return rawElement(qint32(content.size()), content);
}

QByteArray bundleOf(const QList<QByteArray> &encodedElements)
{
    QByteArray out("#bundle", 8);
    out += int32Bytes(0) + int32Bytes(1); // time tag "immediately"
    for (const QByteArray &e : encodedElements)
        out += e;
    return out;
}

QByteArray bundle(const QList<QByteArray> &contents)
{
    QList<QByteArray> encoded;
    for (const QByteArray &c : contents)
        encoded.append(element(c));
    return bundleOf(encoded);
}

// -1 while the tree has not been built yet.
int childCount(const QTreeWidget *tree, int group)
{
    const QTreeWidgetItem *item = tree->topLevelItem(group);
    return item ? item->childCount() : -1;
}

QString num(float v)
{
    return QString::number(double(v), 'g', 6);
}

QString describe(const TuioCursorTable &table)
{
    QStringList parts;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        parts << QStringLiteral("%1:(%2,%3)").arg(it.key()).arg(num(it->x), num(it->y));
    return parts.join(QLatin1Char(' '));
}

QString describe(const TuioObjectTable &table)
{
    QStringList parts;
    for (auto it = table.cbegin(); it != table.cend(); ++it)
        parts << QStringLiteral("%1:c%2(%3,%4)@%5")
                     .arg(it.key())
                     .arg(it->classId)
                     .arg(num(it->x), num(it->y), num(it->angle));
    return parts.join(QLatin1Char(' '));
}

QString describe(const QMap<int, ReceivedCursor> &map)
{
    TuioCursorTable table;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        table.insert(it.key(), TuioCursorRecord{it->x, it->y});
    return describe(table);
}

QString describe(const QMap<int, ReceivedObject> &map)
{
    TuioObjectTable table;
    for (auto it = map.cbegin(); it != map.cend(); ++it)
        table.insert(it.key(), TuioObjectRecord{it->cid, it->x, it->y, it->angle});
    return describe(table);
}

// Records every table change as a line, to check order and content.
class RecordingSink : public TuioSessionSink
{
public:
    void cursorUpdated(int sid, float x, float y) override
    {
        events << QStringLiteral("cur %1 %2 %3").arg(sid).arg(num(x), num(y));
    }
    void objectUpdated(int sid, int cid, float x, float y, float angle) override
    {
        events << QStringLiteral("obj %1 c%2 %3 %4 %5")
                      .arg(sid)
                      .arg(cid)
                      .arg(num(x), num(y), num(angle));
    }
    void cursorRemoved(int sid) override { events << QStringLiteral("-cur %1").arg(sid); }
    void objectRemoved(int sid) override { events << QStringLiteral("-obj %1").arg(sid); }

    QStringList events;
};

// What the canvas showed at each of its paints.
class PaintProbe : public QObject
{
public:
    explicit PaintProbe(TouchCanvas *canvas) : canvas(canvas) { canvas->installEventFilter(this); }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == canvas && event->type() == QEvent::Paint)
            painted << describe(canvas->receivedCursors());
        return false;
    }

    QStringList painted;

private:
    TouchCanvas *canvas = nullptr;
};

} // namespace

// Server mode end to end over real UDP on 127.0.0.1, and the datagram decoder on its own.
class TestTuioReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void sessions_data();
    void sessions();
    void bundles_data();
    void bundles();
    void summaryAndTimer_data();
    void summaryAndTimer();
    void treeRowsAfterBurst();
    void treeRebuiltOncePerBurst();
    void canvasPaintsTheLastState();
    void emptiedOnStopAndModeSwitch_data();
    void emptiedOnStopAndModeSwitch();
    void independentPeer_data();
    void independentPeer();

    void sinkSeesRemovalsInAscendingOrder();
    void truncatedBundleYieldsPrefixOfEvents();
    void deeplyNestedBundle();

private:
    void startServer();
    void sendAll(const QList<QByteArray> &datagrams);
    QList<LogEntry> rxEntries() const;
    QPushButton *groupButton(const QString &title) const;

    TuioWidget *window = nullptr;
    QUdpSocket *sender = nullptr;
    quint16 port = 0;
};

void TestTuioReceiver::init()
{
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    sender = new QUdpSocket;
    QVERIFY(sender->bind(QHostAddress::LocalHost, 0));
    startServer();
}

void TestTuioReceiver::cleanup()
{
    delete sender;
    sender = nullptr;
    delete window;
    window = nullptr;
}

QPushButton *TestTuioReceiver::groupButton(const QString &title) const
{
    const auto groups = window->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups)
        if (group->title() == title)
            return group->findChild<QPushButton *>();
    return nullptr;
}

void TestTuioReceiver::startServer()
{
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        port = probe.localPort();
    }
    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    QPushButton *start = groupButton(QStringLiteral("服务器设置"));
    QVERIFY(start);
    start->click();
    QVERIFY(window->isRunning());
}

QList<LogEntry> TestTuioReceiver::rxEntries() const
{
    QList<LogEntry> rx;
    const QList<LogEntry> all = window->communication()->entries();
    for (const LogEntry &entry : all)
        if (entry.direction == LogEntry::Rx)
            rx.append(entry);
    return rx;
}

void TestTuioReceiver::sendAll(const QList<QByteArray> &datagrams)
{
    const qsizetype before = rxEntries().size();
    for (const QByteArray &datagram : datagrams)
        QCOMPARE(sender->writeDatagram(datagram, QHostAddress::LocalHost, port),
                 qint64(datagram.size()));
    QTRY_COMPARE(rxEntries().size(), before + datagrams.size());
}

void TestTuioReceiver::sessions_data()
{
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("objects");

    QTest::newRow("set then alive listing it keeps")
        << QList<QByteArray>{curSet(3, 0.5f, 0.25f), curAlive({3})} << "3:(0.5,0.25)"
        << "";
    QTest::newRow("alive without ids removes")
        << QList<QByteArray>{curSet(3, 0.5f, 0.25f), curAlive({})} << ""
        << "";
    QTest::newRow("alive of another id removes, never creates")
        << QList<QByteArray>{curSet(3, 0.5f, 0.25f), curAlive({4})} << ""
        << "";
    QTest::newRow("alive of unknown ids creates nothing")
        << QList<QByteArray>{curAlive({1, 2}), objAlive({1})} << ""
        << "";
    QTest::newRow("object alive leaves cursors")
        << QList<QByteArray>{curSet(1, 0.1f, 0.2f), objSet(5, 2, 0.3f, 0.4f, 1.0f), objAlive({})}
        << "1:(0.1,0.2)"
        << "";
    QTest::newRow("cursor alive leaves objects")
        << QList<QByteArray>{curSet(1, 0.1f, 0.2f), objSet(5, 2, 0.3f, 0.4f, 1.0f), curAlive({})}
        << ""
        << "5:c2(0.3,0.4)@1";
    QTest::newRow("profiles have separate ids")
        << QList<QByteArray>{curSet(5, 0.1f, 0.2f), objSet(5, 9, 0.3f, 0.4f, 2.0f)} << "5:(0.1,0.2)"
        << "5:c9(0.3,0.4)@2";
    QTest::newRow("alive prunes only the missing")
        << QList<QByteArray>{curSet(1, 0.1f, 0.1f), curSet(2, 0.2f, 0.2f), curSet(3, 0.3f, 0.3f),
                             curAlive({3, 1, 1})}
        << "1:(0.1,0.1) 3:(0.3,0.3)"
        << "";
    QTest::newRow("upper-case letter in address ignored")
        << QList<QByteArray>{withAddress(QStringLiteral("/tuio/2DCur"), curSet(3, 0.5f, 0.5f))}
        << ""
        << "";
    QTest::newRow("trailing slash in address ignored")
        << QList<QByteArray>{withAddress(QStringLiteral("/tuio/2Dcur/"), curSet(3, 0.5f, 0.5f))}
        << ""
        << "";
    QTest::newRow("second cursor set overwrites")
        << QList<QByteArray>{curSet(3, 0.1f, 0.2f), curSet(3, 0.7f, 0.8f)} << "3:(0.7,0.8)"
        << "";
    QTest::newRow("second object set overwrites class and angle")
        << QList<QByteArray>{objSet(3, 1, 0.1f, 0.2f, 0.5f), objSet(3, 9, 0.7f, 0.8f, 2.5f)} << ""
        << "3:c9(0.7,0.8)@2.5";
    QTest::newRow("cursor set cut after the session id stored at 0,0")
        << QList<QByteArray>{curSet(3, 0.5f, 0.5f).left(32)} << "3:(0,0)"
        << "";
    QTest::newRow("cursor set cut inside y keeps x")
        << QList<QByteArray>{curSet(3, 0.5f, 0.5f).left(38)} << "3:(0.5,0)"
        << "";
    QTest::newRow("object set cut after the class id")
        << QList<QByteArray>{objSet(4, 6, 0.5f, 0.5f, 1.0f).left(40)} << ""
        << "4:c6(0,0)@0";
    QTest::newRow("set without session id stores session 0")
        << QList<QByteArray>{curSet(3, 0.5f, 0.5f).left(28)} << "0:(0,0)"
        << "";
    QTest::newRow("alive with two stray bytes")
        << QList<QByteArray>{curSet(3, 0.1f, 0.1f), curSet(4, 0.2f, 0.2f), curSet(5, 0.3f, 0.3f),
                             curAlive({3, 5}) + QByteArray("\x00\x04", 2)}
        << "3:(0.1,0.1) 5:(0.3,0.3)"
        << "";
    QTest::newRow("alive with stray bytes that would complete id 4")
        << QList<QByteArray>{curSet(4, 0.2f, 0.2f), curAlive({}) + QByteArray("\x00\x00\x00", 3)}
        << ""
        << "";
    QTest::newRow("unknown command changes nothing")
        << QList<QByteArray>{curSet(3, 0.5f, 0.5f), fseq(3),
                             buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(","),
                                             QByteArray())}
        << "3:(0.5,0.5)"
        << "";
    QTest::newRow("not messages change nothing")
        << QList<QByteArray>{QByteArray("abc"), QByteArray("/tuio/2Dcur"), QByteArray()} << ""
        << "";
}

void TestTuioReceiver::sessions()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QString, cursors);
    QFETCH(QString, objects);

    sendAll(datagrams);
    QCOMPARE(describe(window->receivedCursors()), cursors);
    QCOMPARE(describe(window->receivedObjects()), objects);
    QCOMPARE(describe(window->touchCanvas()->receivedCursors()), cursors);
    QCOMPARE(describe(window->touchCanvas()->receivedObjects()), objects);
}

void TestTuioReceiver::bundles_data()
{
    QTest::addColumn<QList<QByteArray>>("datagrams");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("objects");

    QTest::newRow("TUIO 1.1 cursor frame")
        << QList<QByteArray>{bundle(
               {curAlive({1, 2}), curSet(1, 0.1f, 0.2f), curSet(2, 0.3f, 0.4f), fseq(10)})}
        << "1:(0.1,0.2) 2:(0.3,0.4)"
        << "";
    QTest::newRow("next frame's alive ends a session")
        << QList<QByteArray>{bundle({curAlive({1, 2}), curSet(1, 0.1f, 0.2f), curSet(2, 0.3f, 0.4f),
                                     fseq(10)}),
                             bundle({curAlive({2}), curSet(2, 0.5f, 0.6f), fseq(11)})}
        << "2:(0.5,0.6)"
        << "";
    QTest::newRow("object frame") << QList<QByteArray>{bundle(
                                         {objAlive({7}), objSet(7, 3, 0.5f, 0.25f, 1.5f), fseq(1)})}
                                  << ""
                                  << "7:c3(0.5,0.25)@1.5";
    QTest::newRow("elements apply in order")
        << QList<QByteArray>{bundle({curSet(1, 0.1f, 0.1f), curSet(2, 0.2f, 0.2f), curAlive({2}),
                                     curSet(3, 0.3f, 0.3f)})}
        << "2:(0.2,0.2) 3:(0.3,0.3)"
        << "";
    QTest::newRow("negative element size ends the bundle")
        << QList<QByteArray>{bundleOf({element(curSet(1, 0.1f, 0.1f)),
                                       rawElement(-52, curSet(2, 0.2f, 0.2f)),
                                       element(curSet(3, 0.3f, 0.3f))})}
        << "1:(0.1,0.1)"
        << "";
    QTest::newRow("element size not a multiple of 4 ends the bundle")
        << QList<QByteArray>{bundleOf({element(curSet(1, 0.1f, 0.1f)),
                                       rawElement(50, curSet(2, 0.2f, 0.2f)),
                                       element(curSet(3, 0.3f, 0.3f))})}
        << "1:(0.1,0.1)"
        << "";
    QTest::newRow("element size past the datagram ends the bundle")
        << QList<QByteArray>{bundleOf(
               {element(curSet(1, 0.1f, 0.1f)), rawElement(1000, curSet(2, 0.2f, 0.2f))})}
        << "1:(0.1,0.1)"
        << "";
    QTest::newRow("size field cut short ends the bundle")
        << QList<QByteArray>{bundleOf({element(curSet(1, 0.1f, 0.1f)), QByteArray(2, '\0')})}
        << "1:(0.1,0.1)"
        << "";
    QTest::newRow("empty element skipped")
        << QList<QByteArray>{bundleOf({rawElement(0, {}), element(curSet(1, 0.1f, 0.1f))})}
        << "1:(0.1,0.1)"
        << "";
    QTest::newRow("nested bundles depth first")
        << QList<QByteArray>{bundle(
               {curSet(1, 0.1f, 0.1f),
                bundle({curSet(2, 0.2f, 0.2f), bundle({curSet(3, 0.3f, 0.3f)}), curAlive({2, 3})}),
                curSet(4, 0.4f, 0.4f)})}
        << "2:(0.2,0.2) 3:(0.3,0.3) 4:(0.4,0.4)"
        << "";
    QTest::newRow("broken inner bundle ends only itself")
        << QList<QByteArray>{bundle(
               {bundleOf({element(curSet(1, 0.1f, 0.1f)), rawElement(-4, QByteArray(4, 'x')),
                          element(curSet(9, 0.9f, 0.9f))}),
                curSet(2, 0.2f, 0.2f)})}
        << "1:(0.1,0.1) 2:(0.2,0.2)"
        << "";
    QTest::newRow("bundle without a whole time tag is empty")
        << QList<QByteArray>{QByteArray("#bundle\0\0\0\0\0", 12)} << ""
        << "";
    QTest::newRow("marker-only element is skipped")
        << QList<QByteArray>{bundle({QByteArray("#bundle", 8), curSet(1, 0.1f, 0.1f)})}
        << "1:(0.1,0.1)"
        << "";
}

void TestTuioReceiver::bundles()
{
    QFETCH(QList<QByteArray>, datagrams);
    QFETCH(QString, cursors);
    QFETCH(QString, objects);

    sendAll(datagrams);
    QCOMPARE(describe(window->receivedCursors()), cursors);
    QCOMPARE(describe(window->receivedObjects()), objects);
    QCOMPARE(describe(window->touchCanvas()->receivedCursors()), cursors);
    QCOMPARE(describe(window->touchCanvas()->receivedObjects()), objects);
    // One summary per datagram, never per element.
    const QList<LogEntry> rx = rxEntries();
    QCOMPARE(rx.size(), datagrams.size());
    for (qsizetype i = 0; i < rx.size(); ++i)
        QCOMPARE(rx.at(i).text, QStringLiteral("[127.0.0.1:%1] %2B")
                                    .arg(sender->localPort())
                                    .arg(datagrams.at(i).size()));
}

void TestTuioReceiver::summaryAndTimer_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("restartsTimer");

    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("three bytes") << QByteArray("abc") << false;
    QTest::newRow("no NUL") << QByteArray("/tuio/2Dcur/set") << false;
    QTest::newRow("cursor set") << curSet(1, 0.5f, 0.5f) << true;
    QTest::newRow("letter case differs")
        << withAddress(QStringLiteral("/TUIO/2Dcur"), curSet(1, 0.5f, 0.5f)) << true;
    QTest::newRow("trailing slash")
        << withAddress(QStringLiteral("/tuio/2Dobj/"), curSet(1, 0.5f, 0.5f)) << true;
    QTest::newRow("unknown command") << fseq(4) << true;
    QTest::newRow("bundle with a message") << bundle({fseq(4)}) << true;
    QTest::newRow("bundle without messages") << bundle({}) << false;
    QTest::newRow("bundle of non-messages") << bundle({QByteArray("abcd")}) << false;
}

void TestTuioReceiver::summaryAndTimer()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, restartsTimer);

    // A long interval makes "was it started" observable after the datagram is handled.
    QTimer *timer = window->treeTimer();
    timer->stop();
    timer->setInterval(3600 * 1000);
    const qint64 rxBefore = window->communication()->rxBytes();
    sendAll({datagram});

    const QString summary =
        QStringLiteral("[127.0.0.1:%1] %2B").arg(sender->localPort()).arg(datagram.size());
    const QList<LogEntry> rx = rxEntries();
    QCOMPARE(rx.size(), 1);
    QCOMPARE(rx.first().text, summary);
    QCOMPARE(rx.first().data, summary.toUtf8());
    QCOMPARE(window->communication()->rxBytes() - rxBefore, qint64(summary.toUtf8().size()));
    QCOMPARE(timer->isActive(), restartsTimer);
}

void TestTuioReceiver::treeRowsAfterBurst()
{
    sendAll({objSet(3, 7, 0.5f, 0.25f, 1.5708f), curSet(2, 0.1f, 0.9f),
             objSet(-1, 0, -0.5f, 1.25f, 6.0f), curSet(11, 0.0126f, 0.9996f)});
    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("objectTree"));
    QTRY_COMPARE(childCount(tree, 1), 2);

    const QTreeWidgetItem *objects = tree->topLevelItem(0);
    const QTreeWidgetItem *cursors = tree->topLevelItem(1);
    QCOMPARE(objects->text(0), QStringLiteral("Objects"));
    QCOMPARE(objects->text(1), QStringLiteral("Pos"));
    QCOMPARE(objects->text(2), QStringLiteral("Angle"));
    QCOMPARE(objects->foreground(0).color(), QColor(QStringLiteral("#00D4FF")));
    QCOMPARE(cursors->text(0), QStringLiteral("Cursors"));
    QCOMPARE(cursors->foreground(0).color(), QColor(QStringLiteral("#F59E0B")));
    QVERIFY(objects->isExpanded());
    QVERIFY(cursors->isExpanded());

    const QStringList expected = {
        "s-1 c0|-0.500,1.250|6.00", "s3 c7|0.500,0.250|1.57", // objects, ascending ids
        "s2|0.100,0.900|", "s11|0.013,1.000|",                // cursors, ascending ids
    };
    QStringList actual;
    for (const QTreeWidgetItem *group : {objects, cursors})
        for (int i = 0; i < group->childCount(); ++i)
            actual << QStringList{group->child(i)->text(0), group->child(i)->text(1),
                                  group->child(i)->text(2)}
                          .join(QLatin1Char('|'));
    QCOMPARE(actual, expected);
}

void TestTuioReceiver::treeRebuiltOncePerBurst()
{
    QSignalSpy rebuilds(window->treeTimer(), &QTimer::timeout);
    QList<QByteArray> burst;
    for (int i = 0; i < 40; ++i)
        burst << curSet(i % 5, float(i) / 40.0f, 0.5f);
    sendAll(burst);
    QTest::qWait(250);
    QCOMPARE(rebuilds.size(), 1);
    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("objectTree"));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 5);
    QCOMPARE(tree->topLevelItem(1)->child(4)->text(1), QStringLiteral("0.975,0.500"));

    sendAll({curAlive({4})});
    QTRY_COMPARE(rebuilds.size(), 2);
    QCOMPARE(tree->topLevelItem(1)->childCount(), 1);
    QTest::qWait(150);
    QCOMPARE(rebuilds.size(), 2);
}

// Paints may be fewer than datagrams, but the canvas always ends up showing what came last.
void TestTuioReceiver::canvasPaintsTheLastState()
{
    PaintProbe probe(window->touchCanvas());
    for (int round = 0; round < 3; ++round) {
        QList<QByteArray> burst;
        for (int i = 0; i < 300; ++i)
            burst << curSet(i % 3, float(round * 300 + i) / 1000.0f, 0.5f);
        sendAll(burst);
        const QString last = describe(window->receivedCursors());
        QCOMPARE(last, QStringLiteral("0:(%1,0.5) 1:(%2,0.5) 2:(%3,0.5)")
                           .arg(num(float(round * 300 + 297) / 1000.0f),
                                num(float(round * 300 + 298) / 1000.0f),
                                num(float(round * 300 + 299) / 1000.0f)));
        QTRY_COMPARE(probe.painted.value(probe.painted.size() - 1), last);
    }
    // Stopping right after traffic clears the picture too.
    sendAll({curSet(7, 0.5f, 0.5f)});
    groupButton(QStringLiteral("服务器设置"))->click();
    QTRY_COMPARE(probe.painted.value(probe.painted.size() - 1), QString());
    QVERIFY(window->touchCanvas()->updatesEnabled());
}

void TestTuioReceiver::emptiedOnStopAndModeSwitch_data()
{
    QTest::addColumn<bool>("switchMode");
    QTest::newRow("stop") << false;
    QTest::newRow("mode switch") << true;
}

void TestTuioReceiver::emptiedOnStopAndModeSwitch()
{
    QFETCH(bool, switchMode);
    sendAll({curSet(1, 0.1f, 0.1f), objSet(2, 3, 0.2f, 0.2f, 0.0f)});
    auto *tree = window->findChild<QTreeWidget *>(QStringLiteral("objectTree"));
    QTRY_COMPARE(childCount(tree, 0), 1);

    if (switchMode) {
        const auto radios = window->findChildren<QRadioButton *>();
        for (QRadioButton *radio : radios)
            if (radio->text() == QStringLiteral("客户端模式(模拟+发送"))
                radio->click();
    } else
        groupButton(QStringLiteral("服务器设置"))->click();

    QCOMPARE(window->isRunning(), false);
    QCOMPARE(window->isServerMode(), !switchMode);
    QVERIFY(window->receivedCursors().isEmpty());
    QVERIFY(window->receivedObjects().isEmpty());
    QVERIFY(window->touchCanvas()->receivedCursors().isEmpty());
    QVERIFY(window->touchCanvas()->receivedObjects().isEmpty());
    // Emptied at once, not when the refresh timer fires.
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("Objects"));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 0);
    QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("Cursors"));
    QCOMPARE(tree->topLevelItem(1)->childCount(), 0);

    // The old port is closed: nothing more arrives.
    const qsizetype logged = rxEntries().size();
    sender->writeDatagram(curSet(5, 0.5f, 0.5f), QHostAddress::LocalHost, port);
    QTest::qWait(100);
    QCOMPARE(rxEntries().size(), logged);
    QVERIFY(window->receivedCursors().isEmpty());
}

void TestTuioReceiver::independentPeer_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("fileContent");
    QTest::addColumn<QList<int>>("datagramSizes");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("objects");

    QTest::newRow("oscsend cursor set")
        << "oscsend"
        << QStringList{"/tuio/2Dcur", "sifffff", "set", "3", "0.5", "0.25", "0", "0", "0"}
        << QString() << QList<int>{52} << "3:(0.5,0.25)"
        << "";
    QTest::newRow("oscsend object set")
        << "oscsend" << QStringList{"/tuio/2Dobj", "siiffffffff", "set", "7", "3", "0.5", "0.25",
                                    "1.5",         "0",           "0",   "0", "0", "0"}
        << QString() << QList<int>{72} << ""
        << "7:c3(0.5,0.25)@1.5";
    QTest::newRow("oscsend alive without ids")
        << "oscsend" << QStringList{"/tuio/2Dcur", "s", "alive"} << QString() << QList<int>{24}
        << ""
        << "";
    // Lines with the same time tag travel as one bundle.
    QTest::newRow("oscsendfile cursor frames")
        << "oscsendfile" << QStringList{}
        << "00000000.00000001 /tuio/2Dcur sii alive 1 2\n"
           "00000000.00000001 /tuio/2Dcur sifffff set 1 0.1 0.2 0 0 0\n"
           "00000000.00000001 /tuio/2Dcur sifffff set 2 0.3 0.4 0 0 0\n"
           "00000000.00000001 /tuio/2Dcur si fseq 1\n"
           "00000000.00000002 /tuio/2Dcur si alive 2\n"
           "00000000.00000002 /tuio/2Dcur sifffff set 2 0.5 0.6 0 0 0\n"
           "00000000.00000002 /tuio/2Dcur si fseq 2\n"
        << QList<int>{200, 136} << "2:(0.5,0.6)"
        << "";
    QTest::newRow("oscsendfile object frame")
        << "oscsendfile" << QStringList{}
        << "00000000.00000001 /tuio/2Dobj si alive 5\n"
           "00000000.00000001 /tuio/2Dobj siiffffffff set 5 2 0.75 0.5 3 0 0 0 0 0\n"
           "00000000.00000001 /tuio/2Dobj si fseq 9\n"
        << QList<int>{156} << ""
        << "5:c2(0.75,0.5)@3";
}

void TestTuioReceiver::independentPeer()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, fileContent);
    QFETCH(QList<int>, datagramSizes);
    QFETCH(QString, cursors);
    QFETCH(QString, objects);

    const QString program = QStandardPaths::findExecutable(tool);
    if (program.isEmpty())
        QSKIP("liblo's tools are not installed");

    QTemporaryDir dir;
    QStringList args{QStringLiteral("127.0.0.1"), QString::number(port)};
    if (!fileContent.isEmpty()) {
        QFile file(dir.filePath(QStringLiteral("frames.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileContent.toUtf8());
        file.close();
        args << file.fileName();
    }
    args << arguments;

    QProcess process;
    process.start(program, args);
    QVERIFY(process.waitForStarted());
    // The receiving window runs on this thread: keep its event loop turning while the tool runs.
    QTRY_VERIFY_WITH_TIMEOUT(process.state() == QProcess::NotRunning, 10000);
    QCOMPARE(process.exitCode(), 0);

    QTRY_COMPARE(rxEntries().size(), datagramSizes.size());
    const QList<LogEntry> rx = rxEntries();
    const QRegularExpression summary(QStringLiteral("^\\[127\\.0\\.0\\.1:(\\d+)\\] (\\d+)B$"));
    for (qsizetype i = 0; i < rx.size(); ++i) {
        const QRegularExpressionMatch match = summary.match(rx.at(i).text);
        QVERIFY2(match.hasMatch(), qPrintable(rx.at(i).text));
        QCOMPARE(match.captured(2).toInt(), datagramSizes.at(i));
    }
    QCOMPARE(describe(window->receivedCursors()), cursors);
    QCOMPARE(describe(window->receivedObjects()), objects);
    QCOMPARE(describe(window->touchCanvas()->receivedCursors()), cursors);
}

void TestTuioReceiver::sinkSeesRemovalsInAscendingOrder()
{
    TuioCursorTable cursors;
    TuioObjectTable objects;
    RecordingSink sink;
    for (int sid : {9, -2, 4, 0})
        decodeTuioDatagram(curSet(sid, 0.5f, 0.5f), cursors, objects, &sink);
    objects.insert(4, TuioObjectRecord{1, 0, 0, 0});
    sink.events.clear();
    QCOMPARE(decodeTuioDatagram(curAlive({4}), cursors, objects, &sink), 1);
    QCOMPARE(sink.events, (QStringList{"-cur -2", "-cur 0", "-cur 9"}));
    QCOMPARE(describe(cursors), QStringLiteral("4:(0.5,0.5)"));
    QCOMPARE(describe(objects), QStringLiteral("4:c1(0,0)@0"));
}

// A cut-off bundle loses whole elements at its end and never decodes anything differently.
void TestTuioReceiver::truncatedBundleYieldsPrefixOfEvents()
{
    const QByteArray full = bundle(
        {curAlive({}), curSet(1, 0.1f, 0.2f),
         bundle({objSet(2, 5, 0.3f, 0.4f, 1.0f), bundle({curSet(3, 0.5f, 0.6f)}), objAlive({2})}),
         curSet(4, 0.7f, 0.8f), fseq(1), curAlive({4})});
    TuioCursorTable cursors;
    TuioObjectTable objects;
    RecordingSink whole;
    QCOMPARE(decodeTuioDatagram(full, cursors, objects, &whole), 8);
    QCOMPARE(whole.events.size(), 6);

    for (qsizetype length = 0; length <= full.size(); ++length) {
        TuioCursorTable c;
        TuioObjectTable o;
        RecordingSink part;
        const QByteArray prefix = full.left(length);
        const int framed = decodeTuioDatagram(prefix, c, o, &part);
        QVERIFY2(whole.events.mid(0, part.events.size()) == part.events,
                 qPrintable(QStringLiteral("length %1").arg(length)));
        QVERIFY(framed <= 8);
    }
}

void TestTuioReceiver::deeplyNestedBundle()
{
    // As deep as one UDP datagram allows: every level costs a size word and a bundle header.
    QByteArray nested = curSet(77, 0.25f, 0.75f);
    int depth = 0;
    while (nested.size() + 20 <= 65000) {
        nested = bundle({nested});
        ++depth;
    }
    QVERIFY(depth > 3000);
    sendAll({nested});
    QCOMPARE(describe(window->receivedCursors()), QStringLiteral("77:(0.25,0.75)"));
}

QTEST_MAIN(TestTuioReceiver)
#include "tst_tuioreceiver.moc"
