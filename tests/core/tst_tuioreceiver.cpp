#include "comm/communicationbase.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"

#include <QtNetwork>
#include <QtTest>

#include <climits>

namespace {

using Datagrams = QList<QByteArray>;

const auto cur = &buildCursorSet;
const auto obj = &buildObjectSet;
const auto curAlive = &buildCursorAlive;
const auto objAlive = &buildObjectAlive;

// Not datagrams: "pause" waits until the receiver has read everything sent so far, so the rest
// comes in a later drain; "other" sends the next datagram from a second socket.
const QByteArray pause("<pause>"), other("<other>");

// A cursor set that shows as "sid:(sid/10,0.5)".
const auto at = [](int sid) { return buildCursorSet(sid, float(sid) / 10.0f, 0.5f); };

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

// Session tables as text: "3:(0.5,0.25)" per cursor, then "7:(0.5,0.25)c3@1.5" per object.
QString tables(const TuioCursorTable &cursors, const TuioObjectTable &objects)
{
    QStringList parts;
    for (auto it = cursors.cbegin(); it != cursors.cend(); ++it)
        parts << QString::asprintf("%d:(%g,%g)", it.key(), it->x, it->y);
    for (auto it = objects.cbegin(); it != objects.cend(); ++it)
        parts << QString::asprintf("%d:(%g,%g)c%d@%g", it.key(), it->x, it->y, it->classId,
                                   it->angle);
    return parts.join(QLatin1Char(' '));
}

// The receiver, the session tables and a log, wired as the window wires them. As the tables'
// sink it keeps its own copy of them from what it is told.
struct Rig : TuioSessionSink
{
    CommunicationBase log;
    TuioReceiver receiver{&log};
    TuioSessions sessions;
    TuioCursorTable cursors;
    TuioObjectTable objects;
    QString events; // per drain "[...]", with a B where batchApplied came
    QSignalSpy received{&receiver, &TuioReceiver::datagramReceived};
    QUdpSocket peers[2];
    const quint16 port = freeUdpPort();

    Rig()
    {
        sessions.setSink(this);
        QObject::connect(&receiver, &TuioReceiver::drainStarted, &log, [this] { events += '['; });
        QObject::connect(&receiver, &TuioReceiver::datagramReceived, &sessions,
                         &TuioSessions::processDatagram);
        QObject::connect(&receiver, &TuioReceiver::drainFinished, &sessions,
                         &TuioSessions::endBatch);
        QObject::connect(&receiver, &TuioReceiver::drainFinished, &log, [this] { events += ']'; });
        QObject::connect(&sessions, &TuioSessions::batchApplied, &log, [this] { events += 'B'; });
    }
    void cursorUpdated(int sid, float x, float y) override { cursors[sid] = {x, y}; }
    void objectUpdated(int s, int c, float x, float y, float a) override
    {
        objects[s] = {c, x, y, a};
    }
    void cursorRemoved(int sid) override { cursors.remove(sid); }
    void objectRemoved(int sid) override { objects.remove(sid); }

    QString table() const { return tables(sessions.cursors(), sessions.objects()); }
    QStringList logLines() const
    {
        QStringList lines;
        for (const LogEntry &entry : log.entries())
            lines << (entry.direction == LogEntry::Rx ? entry.text : "not RX: " + entry.text);
        return lines;
    }
    // Sends the datagrams, adds the log lines they should give and waits for them.
    void send(const Datagrams &datagrams, QStringList &lines)
    {
        for (qsizetype i = 0; i < datagrams.size(); ++i) {
            const QByteArray &datagram = datagrams.at(i);
            if (datagram == pause)
                QTRY_COMPARE(logLines().size(), lines.size());
            if (datagram == pause || datagram == other)
                continue;
            QUdpSocket &peer = peers[i > 0 && datagrams.at(i - 1) == other];
            QCOMPARE(peer.writeDatagram(datagram, QHostAddress::LocalHost, port),
                     qint64(datagram.size()));
            lines
                << QStringLiteral("[127.0.0.1:%1] %2B").arg(peer.localPort()).arg(datagram.size());
        }
        QTRY_COMPARE(logLines().size(), lines.size());
    }
};

} // namespace

// Over UDP on 127.0.0.1.
class TestTuioReceiver : public QObject
{
    Q_OBJECT

private slots:
    void transcript_data()
    {
        QTest::addColumn<Datagrams>("datagrams");
        QTest::addColumn<QString>("tables"); // cursors, then objects
        QTest::addColumn<QString>("events");
        const auto row = [](const char *name, const Datagrams &datagrams, const char *tables,
                            const char *events = "[B]") {
            QTest::newRow(name) << datagrams << QString(tables) << QString(events);
        };
        // An alive without ids ends every session of its own profile only.
        row("alive keeps the listed, removes the rest, creates none, leaves the other profile",
            {at(1), at(2), at(3), obj(5, 9, .3f, .4f, 2), objAlive({}), obj(6, 1, .5f, .5f, 1),
             curAlive({3, 1, 1, 4})},
            "1:(0.1,0.5) 3:(0.3,0.5) 6:(0.5,0.5)c1@1");
        row("letter case, trailing slash, other profiles and commands",
            {at(1), at(3).replace("2Dcur", "2DCur"),
             at(4).replace(QByteArrayView("cur\0", 4), QByteArrayView("cur/\0\0\0\0", 8)),
             at(5).replace("2Dcur", "2Dblb"), at(6).replace("set", "put"),
             curAlive({}).replace("2Dcur", "2Dblb"), curAlive({}).replace("alive", "ALIVE")},
            "1:(0.1,0.5)");
        // Then sets cut after the session id, before it, and after the class id.
        row("second set overwrites, short sets stored with zeros",
            {cur(3, .1f, .2f), cur(3, .7f, .8f), obj(3, 1, .1f, .2f, .5f),
             obj(3, 9, .7f, .8f, 2.5f), at(5).left(32), at(7).left(28),
             obj(4, 6, 1, 1, 1).left(40)},
            "0:(0,0) 3:(0.7,0.8) 5:(0,0) 3:(0.7,0.8)c9@2.5 4:(0,0)c6@0");
        row("alive with two stray bytes",
            {at(0), at(3), at(4), curAlive({3}) + QByteArray(2, '\0')}, "3:(0.3,0.5)");
        row("empty datagram and no message", {QByteArray(), QByteArray("/tuio/2Dcur")}, "", "[]");
        row("TUIO 1.1 frames: fseq and source change nothing",
            {tuioDatagram("cur alive 1 2, set 1 0.1 0.5, set 2 0.2 0.5, fseq 1"),
             bundle({curAlive({2}), cur(2, .5f, .6f), tuioDatagram("cur fseq 2")}),
             tuioDatagram("obj alive 7, set 7 3 0.5 0.25 1.5, fseq 9")},
            "2:(0.5,0.6) 7:(0.5,0.25)c3@1.5");
        // Sizes not a multiple of 4, past the end, a cut size field, a cut time tag.
        row("broken element sizes keep what came before",
            {bundle({el(at(1)), el(at(2), 50), el(at(3))}, true),
             bundle({el(at(4)), el(at(5), 1000)}, true),
             bundle({el(at(6)), QByteArray(2, '\0')}, true), QByteArray("#bundle\0\0\0\0", 12)},
            "1:(0.1,0.5) 4:(0.4,0.5) 6:(0.6,0.5)");
        row("nested bundles",
            {bundle({at(1), bundle({at(2), bundle({at(3)}), curAlive({2, 3})}), at(4)})},
            "2:(0.2,0.5) 3:(0.3,0.5) 4:(0.4,0.5)");
        row("negative size ends only its own bundle",
            {bundle({bundle({el(at(1)), el(at(9), -4), el(at(8))}, true), at(2)})},
            "1:(0.1,0.5) 2:(0.2,0.5)");
        row("bundles without messages", {bundle({}), bundle({"abcd"})}, "", "[]");
        row("one batch per drain that framed something",
            {at(1), at(2), pause, "abc", bundle({}), pause, at(3), pause, QByteArray()},
            "1:(0.1,0.5) 2:(0.2,0.5) 3:(0.3,0.5)", "[B][][B][]");
        // Session ids are global: one sender's alive ends another's sessions.
        row("two senders", {at(1), other, at(2), at(3), pause, other, curAlive({2, 3})},
            "2:(0.2,0.5) 3:(0.3,0.5)", "[B][B]");
    }
    // Tables, the sink's view of them, one log line per datagram, drains and arrival times.
    void transcript()
    {
        QFETCH(Datagrams, datagrams);
        QList<qint64> arrivals{TuioReceiver::monotonicNs()};
        Rig rig;
        QVERIFY(rig.receiver.listen(rig.port));
        QStringList lines;
        rig.send(datagrams, lines);
        QCOMPARE(rig.logLines(), lines);
        QCOMPARE(rig.log.rxBytes(), qint64(lines.join(QString()).toUtf8().size()));
        QTEST(rig.table(), "tables");
        QCOMPARE(tables(rig.cursors, rig.objects), rig.table());
        QTEST(rig.events, "events");
        for (const QList<QVariant> &signal : std::as_const(rig.received))
            arrivals << signal.at(3).toLongLong();
        QCOMPARE(arrivals.size(), lines.size() + 1);
        QVERIFY(std::is_sorted(arrivals.cbegin(), arrivals.cend()) &&
                arrivals.last() <= TuioReceiver::monotonicNs());
    }
};

QTEST_GUILESS_MAIN(TestTuioReceiver)
#include "tst_tuioreceiver.moc"
