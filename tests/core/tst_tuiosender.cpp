#include "comm/communicationbase.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuioframes.h"

#include <QtNetwork>
#include <QtTest>

namespace {

// "start HOST" to the port ("start HOST bound": from a free local port), "frames" (start with
// TUIO 1.1 frames to 127.0.0.1), "tick" (the resend timer fires), "big" (an alive too large for a
// datagram), a call written as its datagram ("cur alive IDS", "obj alive IDS", "cur COMMAND SID
// X Y", "obj COMMAND SID CID X Y ANGLE"), else a frame step.
void run(TuioSender &sender, quint16 port, const QString &step)
{
    const QStringList f = step.split(' ');
    QList<int> ids;
    for (qsizetype i = 2; i < f.size(); ++i)
        ids << f.at(i).toInt();
    const auto num = [&f](int i) { return f.value(i).toFloat(); };
    if (f.at(0) == "start")
        sender.start(f.at(1), port, f.size() > 2 ? freeUdpPort() : 0);
    else if (f.at(0) == "frames")
        sender.start("127.0.0.1", port, 0, TuioFraming::Frames);
    else if (f.at(0) == "tick")
        QMetaObject::invokeMethod(sender.resendTimer(), "timeout");
    else if (f.at(0) == "big")
        sender.sendCursorAlive(QList<int>(20000, 1));
    else if (f.at(0) != "cur" && f.at(0) != "obj")
        frameStep(sender, step);
    else if (f.at(1) == "alive")
        f.at(0) == "cur" ? sender.sendCursorAlive(ids) : sender.sendObjectAlive(ids);
    else if (f.at(0) == "cur")
        sender.sendCursorMessage(f.at(1), ids.value(0), num(3), num(4));
    else
        sender.sendObjectMessage(f.at(1), ids.value(0), ids.value(1), num(4), num(5), num(6));
}

// The log row of a frame bundle as tuioDatagram describes it.
QString frameRow(const QString &description)
{
    const QStringList parts = description.split(", ");
    QStringList sets;
    for (const QString &part : parts.mid(1, parts.size() - 2))
        sets << part.section(' ', 1, 1);
    return QStringLiteral("[TX] 2D%1 alive %2 set [%3] %4")
        .arg(parts.at(0).section(' ', 0, 0))
        .arg(parts.at(0).count(' ') - 1)
        .arg(sets.join(','), parts.last());
}

} // namespace

// The sender over loopback, its datagrams caught byte for byte.
class TestTuioSender : public QObject
{
    Q_OBJECT

private slots:
    void traffic_data()
    {
        // A call expects its own datagram, "step => d1 | d2" the datagrams listed, "!call" none.
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("tx"); // the cursor lines; frame rows follow the datagrams
        QTest::addColumn<QStringList>("failures"); // %1: the target port, %2: the socket's error
        const auto row = [](const char *name, const QStringList &steps, const QStringList &tx = {},
                            const QStringList &failures = {}) {
            QTest::newRow(name) << steps << tx << failures;
        };

        // The oracle itself, built on the codec under test: the bytes of a cursor set.
        QCOMPARE(tuioDatagram("cur set 7 0.5 0.25").toHex(),
                 QByteArray("2f7475696f2f3244637572002c736966666666660000000073657400000000"
                            "073f0000003e800000000000000000000000000000"));

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
        row("nothing before start or after stop, no frames from single messages",
            {"!cur set 1 0.5 0.5", "!obj alive 1", "stop", start, "cur set 2 0.5 0.5", "c1@0.5,0.5",
             "resend", "tick", "stop", "!cur set 3 0.5 0.5", "!obj set 1 1 0.5 0.5 0",
             "!cur alive 3"},
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

        // Frames for what changed; stop releases every profile sent; a new start counts from 1.
        row("frames: press, drag, same place, release, stop, start again",
            {"frames", "c3@0.5,0.25 => cur alive 3, set 3 0.5 0.25, fseq 1",
             "c3@0.75,0.25 => cur alive 3, set 3 0.75 0.25, fseq 2", "c3@0.75,0.25",
             "- => cur alive, fseq 3", "stop => cur alive, fseq 4", "frames",
             "c3@0.75,0.25 => cur alive 3, set 3 0.75 0.25, fseq 1"});
        // Sets only for sessions that changed; a call that changes both profiles is one frame.
        row("frames: objects and cursors share the frame id",
            {"frames", "o1#9@0.75,0.75,0.2 => obj alive 1, set 1 9 0.75 0.75 0.2, fseq 1",
             "o1#9@0.75,0.75,0.2 o0#3@0.25,0.25,1.5 => obj alive 1 0, set 0 3 0.25 0.25 1.5, fseq "
             "2",
             "resend => obj alive 1 0, set 1 9 0.75 0.75 0.2, set 0 3 0.25 0.25 1.5, fseq -1",
             "c4@0.1,0.1 o0#3@0.25,0.25,1.5 => cur alive 4, set 4 0.1 0.1, fseq 3 | obj alive 0, "
             "fseq 3",
             "stop => cur alive, fseq 4 | obj alive, fseq 4"});
        row("frames: the full state of the profiles in use at each resend, fseq -1",
            {"frames", "resend", "tick", "c1@0.5,0.5 => cur alive 1, set 1 0.5 0.5, fseq 1",
             "c1@0.5,0.5 c2@0.25,0.75 => cur alive 1 2, set 2 0.25 0.75, fseq 2",
             "tick => cur alive 1 2, set 1 0.5 0.5, set 2 0.25 0.75, fseq -1",
             "c2@0.25,0.75 => cur alive 2, fseq 3",
             "resend => cur alive 2, set 2 0.25 0.75, fseq -1"});
        row("frames: none before a frame, not even at stop", {"frames", "resend", "-", "stop"});
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
        QStringList expected, frameRows;
        for (const QString &step : steps) {
            const QString call = step.section(" => ", 0, 0).remove('!');
            run(sender, receiver.localPort(), call);
            if (call == "frames") { // the resend goes by "tick" alone
                QVERIFY(sender.resendTimer()->isActive());
                QCOMPARE(sender.resendTimer()->interval(), 1000);
                sender.resendTimer()->stop();
            }
            if (step.contains(" => "))
                expected += step.section(" => ", 1).split(" | ");
            else if (!step.startsWith('!') && (call.startsWith("cur") || call.startsWith("obj")))
                expected << call;
        }
        QList<QByteArray> datagrams, received;
        for (const QString &description : std::as_const(expected)) {
            datagrams << tuioDatagram(description);
            if (description.contains(", "))
                frameRows << frameRow(description);
        }
        while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(100))
            received << receiver.receiveDatagram().data();
        QCOMPARE(received, datagrams);
        QStringList lines[3], frameLines;
        for (const LogEntry &entry : log.entries())
            (entry.text.startsWith("[TX] 2D") ? frameLines : lines[entry.direction]) << entry.text;
        QTEST(lines[LogEntry::Tx], "tx");
        QCOMPARE(frameLines, frameRows);
        QCOMPARE(lines[LogEntry::Rx], QStringList());
        QCOMPARE(log.txBytes(),
                 qint64((lines[LogEntry::Tx] + frameLines).join("").toUtf8().size()));
        const QString error = sender.udpSocket() ? sender.udpSocket()->errorString() : QString();
        QVERIFY(!failures.join(QString()).contains("%2") || !error.isEmpty());
        QCOMPARE(lines[LogEntry::System],
                 failures.replaceInStrings("%1", QString::number(receiver.localPort()))
                     .replaceInStrings("%2", error));
    }

    // Bundle sizes worked out by hand from the OSC layout; the bytes from the oracle.
    void splitting_data()
    {
        QTest::addColumn<QString>("profile");
        QTest::addColumn<int>("alive");
        QTest::addColumn<QList<int>>("perBundle"); // sets in each bundle
        QTest::newRow("no sets: one bundle") << "cur" << 0 << QList<int>{0};
        QTest::newRow("the 11th set starts a bundle") << "obj" << 11 << QList<int>{10, 1};
        QTest::newRow("25 cursors") << "cur" << 25 << QList<int>{10, 10, 5};
        QTest::newRow("150 alive: 1472 bytes bound it to 7")
            << "obj" << 150 << QList<int>{7, 7, 7, 7, 2};
        // An alive list no datagram holds: a set still goes, one per bundle.
        QTest::newRow("400 alive: oversize") << "obj" << 400 << QList<int>{1, 1};
    }
    void splitting()
    {
        QFETCH(QString, profile);
        QFETCH(int, alive);
        QFETCH(QList<int>, perBundle);
        const bool cur = profile == "cur";
        QList<qint32> ids;
        QList<TuioCursorState> cursors;
        QList<TuioObjectState> objects;
        QString aliveText = profile + " alive";
        for (int i = 0; i < alive; ++i) {
            ids << i;
            aliveText += ' ' + QString::number(i);
            cursors.append({i, 0.5f, 0.5f});
            objects.append({i, 0, 0.5f, 0.5f, 0.0f});
        }
        QList<QByteArray> built, expected;
        int next = 0;
        for (int sets : perBundle) {
            QString description = aliveText;
            for (int end = next + sets; next < end; ++next)
                description +=
                    ", set " + QString::number(next) + (cur ? " 0.5 0.5" : " 0 0.5 0.5 0");
            expected << tuioDatagram(description + ", fseq 5");
        }
        for (const TuioFrameDatagram &d :
             buildTuioFrame("/tuio/2D" + profile, "tactora@127.0.0.1", ids,
                            cur ? cursorSetMessages(cursors.first(next))
                                : objectSetMessages(objects.first(next)),
                            5))
            built << d.datagram;
        QCOMPARE(built, expected);
    }
};

QTEST_GUILESS_MAIN(TestTuioSender)
#include "tst_tuiosender.moc"
