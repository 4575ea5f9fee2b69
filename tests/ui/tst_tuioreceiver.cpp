#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <climits>

namespace {

using Datagrams = QList<QByteArray>;

const auto cur = &buildCursorSet;
const auto obj = &buildObjectSet;
const auto curAlive = &buildCursorAlive;

// A cursor set that shows as "sid:(sid/10,0.5)".
const auto at = [](int sid) { return buildCursorSet(sid, float(sid) / 10.0f, 0.5f); };

// A frame sequence message: a cursor alive of one id with "fseq" for "alive".
const auto fseq = [](int frame) { return buildCursorAlive({frame}).replace(16, 5, "fseq", 5); };

// A bundle element: its declared size, the true one unless given, then its bytes.
QByteArray el(const QByteArray &bytes, qint32 size = INT_MIN)
{
    QByteArray out;
    appendInt32(out, size == INT_MIN ? qint32(bytes.size()) : size);
    return out + bytes;
}

// A bundle with the time tag "immediately"; elements are sized here unless already sized.
QByteArray bundle(const Datagrams &elements, bool sized = false)
{
    QByteArray out("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &element : elements)
        out += sized ? element : el(element);
    return out;
}

// A session table as text: "3:(0.5,0.25)" per cursor, "7:(0.5,0.25)c3@1.5" per object.
template <typename Map> QString sessions(const Map &map)
{
    QStringList parts;
    for (auto it = map.cbegin(); it != map.cend(); ++it) {
        parts << QStringLiteral("%1:(%2,%3)").arg(it.key()).arg(it->x).arg(it->y);
        if constexpr (std::is_same_v<Map, TuioObjectTable>)
            parts.last() += QStringLiteral("c%1@%2").arg(it->classId).arg(it->angle);
        if constexpr (std::is_same_v<Map, QMap<int, ReceivedObject>>)
            parts.last() += QStringLiteral("c%1@%2").arg(it->cid).arg(it->angle);
    }
    return parts.join(QLatin1Char(' '));
}

// Every row of the tree: "text0|text1|text2", each group row before its children.
QStringList treeRows(const QTreeWidget *tree)
{
    QStringList rows;
    for (QTreeWidgetItemIterator it(const_cast<QTreeWidget *>(tree)); *it; ++it)
        rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join(QLatin1Char('|'));
    return rows;
}

void row(const char *name, const Datagrams &datagrams, const char *cursors, const char *objects,
         bool framed = true)
{
    QTest::newRow(name) << datagrams << QString(cursors) << QString(objects) << framed;
}

} // namespace

// Server mode over real UDP on 127.0.0.1: decoding, log lines, tree and canvas.
class TestTuioReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete window; }
    void traffic_data();
    void traffic();
    void treeRefreshedOncePerBurst_data();
    void treeRefreshedOncePerBurst();
    void independentPeers();

private:
    void sendAll(const Datagrams &datagrams);
    QStringList rxLines() const;
    void click(const QString &text);

    TuioWidget *window = nullptr;
    QUdpSocket sender;
    quint16 port = 0;
};

void TestTuioReceiver::init()
{
    window = new TuioWidget;
    port = freeUdpPort();
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
    click(QStringLiteral("开始监听"));
}

void TestTuioReceiver::click(const QString &text)
{
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (button->text() == text)
            button->click();
}

QStringList TestTuioReceiver::rxLines() const
{
    QStringList lines;
    for (const LogEntry &entry : window->communication()->entries())
        if (entry.direction == LogEntry::Rx)
            lines << entry.text;
    return lines;
}

void TestTuioReceiver::sendAll(const Datagrams &datagrams)
{
    const qsizetype before = rxLines().size();
    for (const QByteArray &datagram : datagrams)
        QCOMPARE(sender.writeDatagram(datagram, QHostAddress::LocalHost, port),
                 qint64(datagram.size()));
    QTRY_COMPARE(rxLines().size(), before + datagrams.size());
}

void TestTuioReceiver::traffic_data()
{
    QTest::addColumn<Datagrams>("datagrams");
    QTest::addColumn<QString>("cursors");
    QTest::addColumn<QString>("objects");
    QTest::addColumn<bool>("framed"); // restarts the tree timer

    // An alive without ids ends every session of its own profile only.
    row("alive keeps the listed, removes the rest, creates none, leaves the other profile",
        {at(1), at(2), at(3), obj(5, 9, .3f, .4f, 2), buildObjectAlive({}), obj(6, 1, .5f, .5f, 1),
         curAlive({3, 1, 1, 4})},
        "1:(0.1,0.5) 3:(0.3,0.5)", "6:(0.5,0.5)c1@1");
    row("letter case or trailing slash",
        {at(3).replace("2Dcur", "2DCur"),
         at(4).replace(QByteArrayView("cur\0", 4), QByteArrayView("cur/\0\0\0\0", 8))},
        "", "");
    // Then sets cut after the session id, before it, and after the class id.
    row("second set overwrites, truncated sets stored with zeros",
        {cur(3, .1f, .2f), cur(3, .7f, .8f), obj(3, 1, .1f, .2f, .5f), obj(3, 9, .7f, .8f, 2.5f),
         at(5).left(32), at(7).left(28), obj(4, 6, 1, 1, 1).left(40)},
        "0:(0,0) 3:(0.7,0.8) 5:(0,0)", "3:(0.7,0.8)c9@2.5 4:(0,0)c6@0");
    row("alive with two stray bytes", {at(0), at(3), at(4), curAlive({3}) + QByteArray(2, '\0')},
        "3:(0.3,0.5)", "");
    row("empty datagram and no message", {QByteArray(), QByteArray("/tuio/2Dcur")}, "", "", false);

    row("TUIO 1.1 frames",
        {bundle({curAlive({1, 2}), at(1), at(2), fseq(1)}),
         bundle({curAlive({2}), cur(2, .5f, .6f), fseq(2)}),
         bundle({buildObjectAlive({7}), obj(7, 3, .5f, .25f, 1.5f), fseq(3)})},
        "2:(0.5,0.6)", "7:(0.5,0.25)c3@1.5");
    // Sizes not a multiple of 4, past the end, a cut size field, a cut time tag.
    row("broken element sizes keep what came before",
        {bundle({el(at(1)), el(at(2), 50), el(at(3))}, true),
         bundle({el(at(4)), el(at(5), 1000)}, true), bundle({el(at(6)), QByteArray(2, '\0')}, true),
         QByteArray("#bundle\0\0\0\0", 12)},
        "1:(0.1,0.5) 4:(0.4,0.5) 6:(0.6,0.5)", "");
    row("nested bundles",
        {bundle({at(1), bundle({at(2), bundle({at(3)}), curAlive({2, 3})}), at(4)})},
        "2:(0.2,0.5) 3:(0.3,0.5) 4:(0.4,0.5)", "");
    row("negative size ends only its own bundle",
        {bundle({bundle({el(at(1)), el(at(9), -4), el(at(8))}, true), at(2)})},
        "1:(0.1,0.5) 2:(0.2,0.5)", "");
    row("bundles without messages", {bundle({}), bundle({"abcd"})}, "", "", false);
}

// Each row goes through the socket: tables, canvas, one summary line per datagram and the timer.
void TestTuioReceiver::traffic()
{
    QFETCH(Datagrams, datagrams);
    QFETCH(QString, cursors);
    QFETCH(QString, objects);
    QFETCH(bool, framed);

    // A long interval makes "was it started" observable after the traffic.
    window->treeTimer()->setInterval(3600 * 1000);
    sendAll(datagrams);
    QCOMPARE(sessions(window->sessions()->cursors()), cursors);
    QCOMPARE(sessions(window->sessions()->objects()), objects);
    QCOMPARE(sessions(window->touchCanvas()->receivedCursors()), cursors);
    QCOMPARE(sessions(window->touchCanvas()->receivedObjects()), objects);
    QCOMPARE(window->treeTimer()->isActive(), framed);
    QStringList rx;
    for (const QByteArray &datagram : datagrams)
        rx << QStringLiteral("[127.0.0.1:%1] %2B").arg(sender.localPort()).arg(datagram.size());
    QCOMPARE(rxLines(), rx);
    QCOMPARE(window->communication()->rxBytes(), qint64(rx.join(QString()).toUtf8().size()));
}

void TestTuioReceiver::treeRefreshedOncePerBurst_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("then stop") << "停止监听";
    QTest::newRow("then mode switch") << "客户端模式(模拟+发送";
}

void TestTuioReceiver::treeRefreshedOncePerBurst()
{
    QFETCH(QString, button);
    auto *tree = window->findChild<QTreeWidget *>("objectTree");
    // The one refresh makes the two groups and adds the rows of each in one insert.
    QSignalSpy inserts(tree->model(), &QAbstractItemModel::rowsInserted);
    Datagrams burst{obj(3, 7, .5f, .25f, 1.5708f), obj(-1, 0, -.5f, 1.25f, 6),
                    cur(11, .0126f, .9996f)};
    for (int i = 1; i <= 40; ++i)
        burst << cur(2, float(i) / 400.0f, .9f);
    sendAll(burst);
    QTRY_COMPARE(inserts.size(), 4);
    QTest::qWait(150);
    QCOMPARE(inserts.size(), 4);
    QCOMPARE(treeRows(tree),
             (QStringList{"Objects|Pos|Angle", "s-1 c0|-0.500,1.250|6.00", "s3 c7|0.500,0.250|1.57",
                          "Cursors|Pos|", "s2|0.100,0.900|", "s11|0.013,1.000|"}));
    QCOMPARE(tree->topLevelItem(0)->foreground(0).color(), QColor(0x00D4FF));
    QCOMPARE(tree->topLevelItem(1)->foreground(0).color(), QColor(0xF59E0B));
    QVERIFY(tree->topLevelItem(0)->isExpanded() && tree->topLevelItem(1)->isExpanded());

    // Emptied at once, not when the refresh timer fires.
    click(button);
    QVERIFY(!window->isRunning());
    QCOMPARE(sessions(window->sessions()->cursors()) + sessions(window->sessions()->objects()),
             QString());
    QVERIFY(window->touchCanvas()->receivedCursors().isEmpty() &&
            window->touchCanvas()->receivedObjects().isEmpty());
    QCOMPARE(treeRows(tree), (QStringList{"Objects|Pos|Angle", "Cursors|Pos|"}));
    // Painting may lag behind traffic, but the canvas is never left frozen.
    QTRY_VERIFY(window->touchCanvas()->updatesEnabled());
}

void TestTuioReceiver::independentPeers()
{
    const QString oscsend = QStandardPaths::findExecutable(QStringLiteral("oscsend"));
    const QString oscsendfile = QStandardPaths::findExecutable(QStringLiteral("oscsendfile"));
    if (oscsend.isEmpty() || oscsendfile.isEmpty())
        QSKIP("liblo's tools are not installed");
    const QStringList target{"127.0.0.1", QString::number(port)};
    QCOMPARE(QProcess::execute(oscsend, target + QStringList{"/tuio/2Dcur", "sifffff", "set", "3",
                                                             "0.5", "0.25", "0", "0", "0"}),
             0);
    QTRY_COMPARE(sessions(window->sessions()->cursors()), QStringLiteral("3:(0.5,0.25)"));

    // Lines with the same time tag travel as one bundle.
    QTemporaryFile frames;
    QVERIFY(frames.open());
    frames.write("00000000.00000001 /tuio/2Dcur sii alive 1 2\n"
                 "00000000.00000001 /tuio/2Dcur sifffff set 1 0.1 0.2 0 0 0\n"
                 "00000000.00000001 /tuio/2Dcur sifffff set 2 0.3 0.4 0 0 0\n"
                 "00000000.00000001 /tuio/2Dcur si fseq 1\n"
                 "00000000.00000002 /tuio/2Dobj si alive 5\n"
                 "00000000.00000002 /tuio/2Dobj siiffffffff set 5 2 0.75 0.5 3 0 0 0 0 0\n"
                 "00000000.00000002 /tuio/2Dobj si fseq 9\n");
    frames.close();
    QCOMPARE(QProcess::execute(oscsendfile, target + QStringList{frames.fileName()}), 0);
    QTRY_COMPARE(rxLines().size(), 3);
    QCOMPARE(sessions(window->sessions()->cursors()), QStringLiteral("1:(0.1,0.2) 2:(0.3,0.4)"));
    QCOMPARE(sessions(window->sessions()->objects()), QStringLiteral("5:(0.75,0.5)c2@3"));
}

QTEST_MAIN(TestTuioReceiver)
#include "tst_tuioreceiver.moc"
