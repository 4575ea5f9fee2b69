#include "comm/communicationbase.h"
#include "support/framescript.h"
#include "tuio/tuioframes.h"
#include "tuio/tuiosender.h"

#include <QtNetwork>
#include <QtTest>

Q_DECLARE_METATYPE(TuioFrameDatagram)

const QString localSource = QStringLiteral("tactora@127.0.0.1");

class TestTuioFrames : public QObject
{
    Q_OBJECT

private slots:
    void bundleBytes_data();
    void bundleBytes();
    void splitting_data();
    void splitting();
    void sender_data();
    void sender();
};

// Bytes from an independent OSC writer, following the OSC 1.0 and TUIO 1.1 documents.
void TestTuioFrames::bundleBytes_data()
{
    QTest::addColumn<TuioFrameDatagram>("built");
    QTest::addColumn<QByteArray>("expected"); // the elements after "#bundle" and time tag 1
    QTest::addColumn<QString>("summary");

    QTest::newRow("cursor: alive 3, set 3, fseq 12")
        << buildTuioFrame("/tuio/2Dcur", localSource, {3}, cursorSetMessages({{3, 0.5f, 0.25f}}),
                          12)
               .value(0)
        << QByteArray(
               "0000002c2f7475696f2f3244637572002c737300736f757263650000746163746f7261403132372e"
               "302e302e310000000000001c2f7475696f2f3244637572002c736900616c69766500000000000003"
               "000000342f7475696f2f3244637572002c736966666666660000000073657400000000033f000000"
               "3e8000000000000000000000000000000000001c2f7475696f2f3244637572002c73690066736571"
               "000000000000000c")
        << "[TX] 2Dcur alive 1 set [3] fseq 12";
    QTest::newRow("object: alive 0 1, sets 1 then 0, fseq -1")
        << buildTuioFrame(
               "/tuio/2Dobj", localSource, {0, 1},
               objectSetMessages({{1, 9, 0.75f, 0.75f, 0.2f}, {0, 3, 0.25f, 0.25f, 1.5f}}), -1)
               .value(0)
        << QByteArray(
               "0000002c2f7475696f2f32446f626a002c737300736f757263650000746163746f7261403132372e"
               "302e302e31000000000000242f7475696f2f32446f626a002c73696900000000616c697665000000"
               "0000000000000001000000482f7475696f2f32446f626a002c736969666666666666666600000000"
               "7365740000000001000000093f4000003f4000003e4ccccd00000000000000000000000000000000"
               "00000000000000482f7475696f2f32446f626a002c73696966666666666666660000000073657400"
               "00000000000000033e8000003e8000003fc000000000000000000000000000000000000000000000"
               "0000001c2f7475696f2f32446f626a002c7369006673657100000000ffffffff")
        << "[TX] 2Dobj alive 2 set [1,0] fseq -1";
}

void TestTuioFrames::bundleBytes()
{
    QFETCH(TuioFrameDatagram, built);
    QFETCH(QByteArray, expected);
    QFETCH(QString, summary);
    QCOMPARE(built.datagram.toHex(), "2362756e646c65000000000000000001" + expected);
    QCOMPARE(built.summary, summary);
}

void TestTuioFrames::splitting_data()
{
    QTest::addColumn<bool>("objects");
    QTest::addColumn<int>("alive");
    QTest::addColumn<int>("sets");
    QTest::addColumn<QList<int>>("perBundle"); // sets in each bundle

    // Sizes worked out with an independent OSC writer.
    QTest::newRow("no sets: one bundle") << false << 0 << 0 << QList<int>{0};
    QTest::newRow("10 sets fit one bundle") << true << 10 << 10 << QList<int>{10};
    QTest::newRow("the 11th set starts a bundle") << true << 11 << 11 << QList<int>{10, 1};
    QTest::newRow("25 cursors") << false << 25 << 25 << QList<int>{10, 10, 5};
    QTest::newRow("150 alive: bytes bound it to 7")
        << true << 150 << 30 << QList<int>{7, 7, 7, 7, 2};
    QTest::newRow("200 alive: 4 each") << true << 200 << 12 << QList<int>{4, 4, 4};
    // An alive list no datagram holds: a set still goes, one per bundle.
    QTest::newRow("400 alive: oversize") << true << 400 << 2 << QList<int>{1, 1};
}

void TestTuioFrames::splitting()
{
    QFETCH(bool, objects);
    QFETCH(int, alive);
    QFETCH(int, sets);
    QFETCH(QList<int>, perBundle);

    QList<qint32> ids;
    QList<TuioCursorState> cursors;
    QList<TuioObjectState> things;
    for (int i = 0; i < alive; ++i) {
        ids << i;
        if (i < sets) {
            cursors.append({i, 0.5f, 0.5f});
            things.append({i, 0, 0.5f, 0.5f, 0.0f});
        }
    }
    const QString profile = objects ? "/tuio/2Dobj" : "/tuio/2Dcur";
    const QList<TuioFrameDatagram> frame =
        buildTuioFrame(profile, localSource, ids,
                       objects ? objectSetMessages(things) : cursorSetMessages(cursors), 5);
    QList<int> counts;
    int next = 0;
    for (const TuioFrameDatagram &datagram : frame) {
        const QList<TuioMessage> m = decodeTuioDatagram(datagram.datagram);
        QVERIFY(m.size() >= 3 && m.last().command == TuioCommand::Fseq);
        QCOMPARE(m.at(0).source, localSource);
        QCOMPARE(m.at(1).words.size(), alive);
        for (qsizetype i = 2; i + 1 < m.size(); ++i)
            QCOMPARE(m.at(i).intAt(0), next++);
        counts << int(m.size() - 3);
        QVERIFY2(datagram.datagram.size() <= maxFrameDatagramSize || counts.last() == 1,
                 qPrintable(QString::number(datagram.datagram.size())));
    }
    QCOMPARE(counts, perBundle);
    QCOMPARE(next, sets);
}

void TestTuioFrames::sender_data()
{
    QTest::addColumn<bool>("frames");
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("cursor: press, drag, same place, release, stop")
        << true << QStringList{"c3@0.5,0.25", "c3@0.75,0.25", "c3@0.75,0.25", "-", "stop"}
        << QStringList{"2Dcur alive [3] c3@0.5,0.25 fseq 1", "2Dcur alive [3] c3@0.75,0.25 fseq 2",
                       "2Dcur alive [] fseq 3", "2Dcur alive [] fseq 4"};
    // Sets only for sessions that changed; a call that changes both profiles is one frame.
    QTest::newRow("objects and cursors share the frame id")
        << true
        << QStringList{"o0#3@0.25,0.25,1.5", "o0#3@0.25,0.25,1.5 o1#9@0.75,0.75,0.2",
                       "o0#3@0.5,0.25,1.5 o1#9@0.75,0.75,0.2", "c4@0.1,0.1 o1#9@0.75,0.75,0.2",
                       "stop"}
        << QStringList{"2Dobj alive [0] o0#3@0.25,0.25,1.5 fseq 1",
                       "2Dobj alive [0 1] o1#9@0.75,0.75,0.2 fseq 2",
                       "2Dobj alive [0 1] o0#3@0.5,0.25,1.5 fseq 3",
                       "2Dcur alive [4] c4@0.1,0.1 fseq 4",
                       "2Dobj alive [1] fseq 4",
                       "2Dcur alive [] fseq 5",
                       "2Dobj alive [] fseq 5"};
    QTest::newRow("resend: every live session of the profiles in use, fseq -1")
        << true
        << QStringList{"c1@0.5,0.5", "c1@0.5,0.5 c2@0.25,0.75", "resend", "c2@0.25,0.75", "resend"}
        << QStringList{"2Dcur alive [1] c1@0.5,0.5 fseq 1", "2Dcur alive [1 2] c2@0.25,0.75 fseq 2",
                       "2Dcur alive [1 2] c1@0.5,0.5 c2@0.25,0.75 fseq -1",
                       "2Dcur alive [2] fseq 3", "2Dcur alive [2] c2@0.25,0.75 fseq -1"};
    // The timer resends at 1 s and 2 s; "wait" lets 2.5 s pass.
    QTest::newRow("resend once a second while started")
        << true << QStringList{"c1@0.5,0.5", "wait"}
        << QStringList{"2Dcur alive [1] c1@0.5,0.5 fseq 1", "2Dcur alive [1] c1@0.5,0.5 fseq -1",
                       "2Dcur alive [1] c1@0.5,0.5 fseq -1"};
    QTest::newRow("a new start counts from 1 and forgets the sessions")
        << true << QStringList{"c1@0.5,0.5", "stop", "start", "c1@0.5,0.5", "resend"}
        << QStringList{"2Dcur alive [1] c1@0.5,0.5 fseq 1", "2Dcur alive [] fseq 2",
                       "2Dcur alive [1] c1@0.5,0.5 fseq 1", "2Dcur alive [1] c1@0.5,0.5 fseq -1"};
    QTest::newRow("nothing before any frame, at stop or resend")
        << true << QStringList{"resend", "-", "stop"} << QStringList{};
    QTest::newRow("single messages: no frames")
        << false << QStringList{"c1@0.5,0.5", "resend", "stop"} << QStringList{};
}

void TestTuioFrames::sender()
{
    QFETCH(bool, frames);
    QFETCH(QStringList, script);
    QFETCH(QStringList, expected);

    QUdpSocket receiver;
    QVERIFY(receiver.bind(QHostAddress::LocalHost, 0));
    CommunicationBase log;
    TuioSender sender(&log);
    const auto start = [&] {
        sender.start("127.0.0.1", receiver.localPort(), 0,
                     frames ? TuioFraming::Frames : TuioFraming::SingleMessages);
    };
    start();
    for (const QString &step : script) {
        if (step == "wait")
            QTest::qWait(2500);
        else
            step == "start" ? start() : runFrameScript(sender, {step});
    }

    QStringList received;
    QStringList sources;
    while (receiver.hasPendingDatagrams() || receiver.waitForReadyRead(100))
        received << describeFrame(receiver.receiveDatagram().data(), sources);
    QCOMPARE(received, expected);
    QCOMPARE(sources, QStringList(expected.size(), localSource));
    QStringList rows; // one per datagram; their wording is the builder's
    for (const LogEntry &entry : log.entries())
        if (entry.direction == LogEntry::Tx)
            rows << entry.text.section(' ', 0, 1);
    QStringList profiles;
    for (const QString &frame : expected)
        profiles << "[TX] " + frame.section(' ', 0, 0);
    QCOMPARE(rows, profiles);
}

QTEST_MAIN(TestTuioFrames)
#include "tst_tuioframes.moc"
