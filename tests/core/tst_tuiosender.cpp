#include "comm/communicationbase.h"
#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuiosender.h"

#include <QtNetwork>
#include <QtTest>

namespace {

// "cur set 0 0.5 0.25", "cur alive 0 1", "obj set 0 3 0.5 0.25 1.5", "obj alive": the datagram
// put together with the OSC codec, velocities and accelerations 0.
QByteArray datagramFor(const QString &description)
{
    QStringList f = description.split(' ');
    const bool set = f.at(1) == QLatin1String("set");
    // Fields before this index are integers: every id of an alive, the ids of a set.
    const qsizetype ints = set ? (f.at(0) == QLatin1String("cur") ? 3 : 4) : f.size();
    f += QStringList(set ? (ints == 3 ? 3 : 5) : 0, QStringLiteral("0"));
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

// "start HOST" to the port ("start HOST bound" from a free local port), "stop", "big" (an alive
// too large for a datagram), or a call written as its datagram: "cur alive IDS", "obj alive IDS",
// "cur COMMAND SID X Y", "obj COMMAND SID CID X Y ANGLE".
void run(TuioSender &sender, quint16 port, const QString &step)
{
    const QStringList f = step.split(' ');
    QList<int> ids;
    for (qsizetype i = 2; i < f.size(); ++i)
        ids << f.at(i).toInt();
    const auto num = [&f](int i) { return f.value(i).toFloat(); };
    if (f.at(0) == QLatin1String("start"))
        sender.start(f.at(1), port, f.size() > 2 ? freeUdpPort() : 0);
    else if (f.at(0) == QLatin1String("stop"))
        sender.stop();
    else if (f.at(0) == QLatin1String("big"))
        sender.sendCursorAlive(QList<int>(20000, 1));
    else if (f.at(1) == QLatin1String("alive"))
        f.at(0) == QLatin1String("cur") ? sender.sendCursorAlive(ids) : sender.sendObjectAlive(ids);
    else if (f.at(0) == QLatin1String("cur"))
        sender.sendCursorMessage(f.at(1), ids.value(0), num(3), num(4));
    else
        sender.sendObjectMessage(f.at(1), ids.value(0), ids.value(1), num(4), num(5), num(6));
}

} // namespace

// The sender over loopback, its datagrams caught byte for byte.
class TestTuioSender : public QObject
{
    Q_OBJECT

private slots:
    void traffic_data()
    {
        // A call expects its own datagram, "call => datagram" another one, "!call" none.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("tx");
        QTest::addColumn<QStringList>("failures"); // %1: the target port, %2: the socket's error
        const auto row = [](const char *name, const QStringList &steps, const QStringList &tx = {},
                            const QStringList &failures = {}) {
            QTest::newRow(name) << steps << tx << failures;
        };

        // The oracle itself: the bytes of a cursor set, and the sizes of every kind of datagram.
        QCOMPARE(datagramFor("cur set 7 0.5 0.25").toHex(),
                 QByteArray("2f7475696f2f3244637572002c736966666666660000000073657400000000"
                            "073f0000003e800000000000000000000000000000"));
        QList<qsizetype> sizes;
        for (const char *d : {"cur set 0 0 0", "obj set 0 0 0 0 0", "obj alive", "cur alive 1",
                              "obj alive 1 2", "cur alive 1 2 3"})
            sizes << datagramFor(d).size();
        QCOMPARE(sizes, QList<qsizetype>({52, 72, 24, 28, 36, 40}));

        const QString start = QStringLiteral("start 127.0.0.1");
        // Two decimals of the exact binary value: 0.125 and 0.875 are ties, 0.015f is below 0.015.
        row("cursor sets and their log text",
            {start, "cur set 12 0.5 0.25", "cur set 0 0.125 0.875", "cur set -3 -0.001953125 1.5",
             "cur set 2147483647 0.015 100"},
            {"[TX] cursor s12 (0.50,0.25)", "[TX] cursor s0 (0.12,0.88)",
             "[TX] cursor s-3 (-0.00,1.50)", "[TX] cursor s2147483647 (0.01,100.00)"});
        row("object sets and alives, ids in the order given",
            {start, "obj set 3 7 0.5 0.25 1.5", "obj set -1 0 1 -1 6.28", "obj alive",
             "obj alive 3", "cur alive 9 -1", "cur alive 5 3 4"});
        // A cursor command other than "set" ends every cursor; an object one sends nothing.
        row("other commands",
            {start, "cur alive", "cur remove 4 0.5 0.5 => cur alive",
             "cur Set 4 0.5 0.5 => cur alive", "!obj remove 4 1 0.5 0.5 0", "obj alive 2"});
        row("nothing before start or after stop",
            {"!cur set 1 0.5 0.5", "!obj alive 1", "stop", start, "cur set 2 0.5 0.5", "stop",
             "!cur set 3 0.5 0.5", "!obj set 1 1 0.5 0.5 0", "!cur alive 3"},
            {"[TX] cursor s2 (0.50,0.50)"});
        // One line per run of failures; a start, or a send that works, ends the run.
        row("host name, not a literal address, until the next start",
            {"start localhost", "!cur set 1 0.5 0.5", "!cur alive", "!obj set 1 2 0.5 0.5 0", start,
             "cur set 2 0.25 0.5", "stop", "start localhost", "!obj alive"},
            {"[TX] cursor s2 (0.25,0.50)"},
            QStringList(2, "发送失败 -> localhost:%1: 目标地址不是IP地址"));
        row("IPv6 target from an IPv4 socket",
            {"start ::1 bound", "!cur set 1 0.5 0.5", "!obj alive", "start 127.0.0.1 bound",
             "cur alive 1", "start ::1 bound", "!cur alive"},
            {}, QStringList(2, "发送失败 -> ::1:%1: %2"));
        row("a datagram too large, then one that fits", {start, "big", "big", "cur alive 1", "big"},
            {}, QStringList(2, "发送失败 -> 127.0.0.1:%1: %2"));
    }
    // The datagrams caught, the [TX] lines and their byte count, and the failure lines.
    void traffic()
    {
        QFETCH(QStringList, steps);
        QFETCH(QStringList, failures);
        CommunicationBase log;
        TuioSender sender(&log);
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
        QList<QByteArray> expected, received;
        for (const QString &step : steps) {
            const QString call = step.section(" => ", 0, 0).remove(QLatin1Char('!'));
            run(sender, receiver.localPort(), call);
            if (!step.startsWith('!') && (call.startsWith("cur") || call.startsWith("obj")))
                expected << datagramFor(step.section(" => ", -1));
        }
        while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(100))
            received << receiver.receiveDatagram().data();
        QCOMPARE(received, expected);
        QStringList lines[3];
        for (const LogEntry &entry : log.entries())
            lines[entry.direction] << entry.text;
        QTEST(lines[LogEntry::Tx], "tx");
        QCOMPARE(lines[LogEntry::Rx], QStringList());
        QCOMPARE(log.txBytes(), qint64(lines[LogEntry::Tx].join(QString()).toUtf8().size()));
        const QString error = sender.udpSocket() ? sender.udpSocket()->errorString() : QString();
        QVERIFY(!failures.join(QString()).contains("%2") || !error.isEmpty());
        QCOMPARE(lines[LogEntry::System],
                 failures.replaceInStrings("%1", QString::number(receiver.localPort()))
                     .replaceInStrings("%2", error));
    }
};

QTEST_GUILESS_MAIN(TestTuioSender)
#include "tst_tuiosender.moc"
