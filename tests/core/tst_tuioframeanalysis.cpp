#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"

#include <QtNetwork>
#include <QtTest>

namespace {

// A stream is one line per datagram: "[@ms] [b] datagram", b for the second sender. A datagram is
// a message or "[message; message]", a bundle. A message is "cur", "obj", "blb" or an address, then
// its arguments typed as written: a whole number an int, another number or nan a float, else a
// string.
struct Line
{
    double ms = 0;
    int sender = 0;
    QString datagram;
};

Line parse(QString text)
{
    Line line;
    if (text.startsWith(QLatin1Char('@'))) {
        const qsizetype space = text.indexOf(QLatin1Char(' '));
        line.ms = text.mid(1, space - 1).toDouble();
        text = text.mid(space + 1);
    }
    if (text.startsWith(QLatin1String("b "))) {
        line.sender = 1;
        text = text.mid(2);
    }
    line.datagram = text;
    return line;
}

QStringList messagesOf(const QString &datagram)
{
    if (!datagram.startsWith(QLatin1Char('[')))
        return {datagram};
    QStringList parts = datagram.mid(1, datagram.size() - 2).split(QLatin1Char(';'));
    for (QString &part : parts)
        part = part.trimmed();
    return parts;
}

QString addressOf(const QString &word)
{
    static const QHash<QString, QString> profiles{
        {"cur", "/tuio/2Dcur"}, {"obj", "/tuio/2Dobj"}, {"blb", "/tuio/2Dblb"}};
    return profiles.value(word, word);
}

char tagOf(const QString &token)
{
    bool whole = false;
    token.toInt(&whole);
    if (whole)
        return 'i';
    bool number = false;
    token.toFloat(&number);
    return number || token == QLatin1String("nan") ? 'f' : 's';
}

QByteArray encode(const QString &datagram)
{
    QList<QByteArray> messages;
    for (const QString &text : messagesOf(datagram)) {
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QString tags;
        QByteArray arguments;
        for (const QString &token : tokens.mid(1)) {
            tags += QLatin1Char(tagOf(token));
            if (tags.back() == QLatin1Char('i'))
                appendInt32(arguments, token.toInt());
            else if (tags.back() == QLatin1Char('f'))
                appendFloat32(arguments, token == QLatin1String("nan") ? qQNaN() : token.toFloat());
            else
                appendOscString(arguments, token);
        }
        messages << buildOscMessage(addressOf(tokens.at(0)), QLatin1Char(',') + tags, arguments);
    }
    if (!datagram.startsWith(QLatin1Char('[')))
        return messages.at(0);
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &message : std::as_const(messages)) {
        appendInt32(bundle, qint32(message.size()));
        bundle += message;
    }
    return bundle;
}

// The same datagram for the npm osc peer.
QJsonObject packetJson(const QString &datagram)
{
    QJsonArray packets;
    for (const QString &text : messagesOf(datagram)) {
        const QStringList tokens = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        QJsonArray args;
        for (const QString &token : tokens.mid(1)) {
            const char tag = tagOf(token);
            const QJsonValue value = tag == 'i'                      ? QJsonValue(token.toInt())
                                     : tag == 's'                    ? QJsonValue(token)
                                     : token == QLatin1String("nan") ? QJsonValue("NaN")
                                                                     : QJsonValue(token.toDouble());
            args << QJsonObject{{"type", QString(QLatin1Char(tag))}, {"value", value}};
        }
        packets << QJsonObject{{"address", addressOf(tokens.at(0))}, {"args", args}};
    }
    if (!datagram.startsWith(QLatin1Char('[')))
        return packets.at(0).toObject();
    return QJsonObject{{"timeTag", QJsonObject{{"raw", QJsonArray{0, 1}}}}, {"packets", packets}};
}

// The same bundles as lines of an oscsendfile file: one time tag per bundle.
QByteArray oscsendfileText(const QStringList &stream)
{
    QByteArray file;
    int tag = 0;
    for (const QString &text : stream) {
        ++tag;
        for (const QString &message : messagesOf(parse(text).datagram)) {
            QStringList tokens = message.split(QLatin1Char(' '), Qt::SkipEmptyParts);
            QString tags;
            for (const QString &token : tokens.mid(1))
                tags += QLatin1Char(tagOf(token));
            tokens[0] = addressOf(tokens.at(0)) + QLatin1Char(' ') + tags;
            file += QStringLiteral("00000000.%1 ").arg(tag, 8, 16, QLatin1Char('0')).toUtf8() +
                    tokens.join(QLatin1Char(' ')).toUtf8() + '\n';
        }
    }
    return file;
}

// Per source: "name frames=… gaps=… late=… restarts=… alive=… [profiles]", then "#check=hits"
// for each check hit; sources joined by " / ". Sender endpoints show as their letter.
QString describe(const QList<TuioSourceStats> &stats, const QStringList &endpoints)
{
    QStringList rows;
    for (const TuioSourceStats &s : stats) {
        const qsizetype letter = endpoints.indexOf(s.source);
        QString row = QStringLiteral("%1 frames=%2 gaps=%3 late=%4 restarts=%5 alive=%6 [%7]")
                          .arg(letter >= 0 ? QString(QLatin1Char(char('A' + letter))) : s.source)
                          .arg(s.frames)
                          .arg(s.fseqGaps)
                          .arg(s.lateFrames)
                          .arg(s.restarts)
                          .arg(s.aliveSessions)
                          .arg(s.profiles.join(QLatin1Char(',')));
        for (int check = 0; check < tuioCheckCount; ++check)
            if (s.checks[size_t(check)].count > 0)
                row += QStringLiteral(" #%1=%2").arg(check + 1).arg(s.checks[size_t(check)].count);
        rows << row;
    }
    return rows.join(QStringLiteral(" / "));
}

const QStringList directEndpoints{"127.0.0.1:50001", "127.0.0.1:50002"};
const QString peersDir = QStringLiteral(TACTORA_SOURCE_DIR "/tests/peers");

// Why `tool` cannot run here, or nothing.
QString missing(const QString &tool)
{
    if (tool == QLatin1String("oscsendfile"))
        return QStandardPaths::findExecutable(tool).isEmpty()
                   ? QStringLiteral("liblo's oscsendfile is not installed")
                   : QString();
    if (QStandardPaths::findExecutable(QStringLiteral("node")).isEmpty() ||
        !QFile::exists(peersDir + QStringLiteral("/node_modules/osc")))
        return QStringLiteral("node or the npm package osc is missing: run scripts/setup-peers");
    return QString();
}

void feed(TuioFrameAnalysis &analysis, const QStringList &stream)
{
    for (const QString &text : stream) {
        const Line line = parse(text);
        analysis.processDatagram(encode(line.datagram), QHostAddress::LocalHost,
                                 quint16(50001 + line.sender), qRound64(line.ms * 1e6));
    }
}

// A tracker's stream in TUIO 1.1 frames: per frame a bundle of source, alive, at most 10 sets
// and fseq for each 10 cursors, one for the objects; every tenth frame is sent again with fseq -1.
QStringList trackerStream(int frames, const QList<int> &dropped = {}, int swapped = 0)
{
    QList<QStringList> byFrame;
    const auto frame = [](int f, int fseq) {
        QStringList bundles;
        QStringList ids;
        for (int c = 1; c <= 12; ++c)
            ids << QString::number(c);
        for (int first = 1; first <= 12; first += 10) {
            QString bundle = QStringLiteral("[cur source sim@127.0.0.1; cur alive %1")
                                 .arg(ids.join(QLatin1Char(' ')));
            for (int c = first; c < first + 10 && c <= 12; ++c)
                bundle += QStringLiteral("; cur set %1 %2 %3 0. 0. 0.")
                              .arg(c)
                              .arg(0.05 + 0.07 * c, 0, 'f', 3)
                              .arg(0.1 + 0.02 * f, 0, 'f', 3);
            bundles << bundle + QStringLiteral("; cur fseq %1]").arg(fseq);
        }
        QString objects = QStringLiteral("[obj source sim@127.0.0.1; obj alive 20 21 22");
        for (int o = 20; o <= 22; ++o)
            objects += QStringLiteral("; obj set %1 %2 .5 .5 %3 0. 0. 0. 0. 0.")
                           .arg(o)
                           .arg(o - 19)
                           .arg(0.2 * f, 0, 'f', 2);
        bundles << objects + QStringLiteral("; obj fseq %1]").arg(fseq);
        return bundles;
    };
    for (int f = 1; f <= frames; ++f) {
        byFrame << (dropped.contains(f) ? QStringList() : frame(f, f));
        if (f % 10 == 0)
            byFrame << frame(f, -1);
    }
    // Frame numbers below 10 are their index.
    if (swapped > 0)
        byFrame.swapItemsAt(swapped - 1, swapped);
    QStringList stream;
    for (const QStringList &bundles : std::as_const(byFrame))
        stream += bundles;
    return stream;
}

} // namespace

// The frame analysis: crafted streams fed directly with chosen arrival times, and the same streams
// and a tracker's framing sent over loopback by independent OSC encoders (npm osc, liblo's
// oscsendfile) into a real receiver.
class TestTuioFrameAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void checks_data();
    void checks();
    void checksFromOscPeer_data() { checks_data(); }
    void checksFromOscPeer();
    void timing_data();
    void timing();
    void lastHit_data();
    void lastHit();
    void trackerFraming_data();
    void trackerFraming();
    void updatesThrottledAndCleared();
    void sourcesCapped_data();
    void sourcesCapped();

private:
    // Sends the stream through `tool` to a receiver feeding `analysis`; the endpoint of sender
    // A, B in `endpoints`.
    void sendOverLoopback(const QString &tool, const QStringList &stream,
                          TuioFrameAnalysis &analysis, QStringList &endpoints);
};

void TestTuioFrameAnalysis::checks_data()
{
    QTest::addColumn<QStringList>("stream");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("timed");
    const auto row = [](const char *name, const QStringList &stream, const char *expected,
                        bool timed = false) {
        QTest::newRow(name) << stream << QString::fromUtf8(expected) << timed;
    };
    const QString move = QStringLiteral("%1 set %2 .5 .5 0. 0. 0.");
    const auto cur = [&](int sid) { return move.arg("cur").arg(sid); };

    row("clean frames of two profiles: a split frame and a -1 frame add nothing",
        {"[cur source s@h; cur alive 1 2; cur set 1 .1 .2 0. 0. 0.; cur set 2 .3 .4 0. 0. 0.; "
         "cur fseq 7]",
         "[obj source s@h; obj alive 5; obj set 5 3 .5 .5 1.5 0. 0. 0. 0. 0.; obj fseq 7]",
         "[cur source s@h; cur alive 1 2; " + cur(2) + "; cur fseq 8]",
         "[cur source s@h; cur alive 1 2; " + cur(1) + "; " + cur(2) + "; cur fseq -1]"},
        "s@h frames=3 gaps=0 late=0 restarts=0 alive=3 [2Dcur,2Dobj]");
    row("no TUIO message makes no source", {"/foo 1", "[/bar .5; /baz x]"}, "");
    row("other TUIO profiles are only listed", {"[blb alive 1; blb fseq 3]"},
        "A frames=0 gaps=0 late=0 restarts=0 alive=0 [2Dblb]");

    row("1: a bundle without fseq",
        {"[cur alive 1; " + cur(1) + "; cur fseq 1]", "[cur alive 1; " + cur(1) + "]",
         "[cur alive 1; cur fseq 2]"},
        "A frames=3 gaps=0 late=0 restarts=0 alive=1 [2Dcur] #1=1");
    row("1: unbundled, an alive not followed by fseq before the next alive",
        {"cur alive 1", cur(1), "cur fseq 1", "cur alive 1", cur(1), "cur alive 1", "cur fseq 2"},
        "A frames=3 gaps=0 late=0 restarts=0 alive=1 [2Dcur] #1=1");
    row("1 and 3: sets then an alive, never an fseq",
        {cur(1), "cur alive 1", cur(1), "cur alive 1", "cur alive"},
        "A frames=2 gaps=0 late=0 restarts=0 alive=0 [2Dcur] #1=2 #3=1");

    // The split part has no alive: the last one stands.
    row("2: a set for an id its frame's alive does not list",
        {"[cur alive 1; " + cur(1) + "; " + cur(2) + "; cur fseq 1]",
         "[" + cur(2) + "; cur fseq 1]", "cur alive 1", cur(3), "cur fseq 2"},
        "A frames=2 gaps=0 late=0 restarts=0 alive=1 [2Dcur] #2=3");
    row("3: a set before its frame's alive; a frame without alive has none",
        {"[" + cur(1) + "; " + cur(2) + "; cur alive 1 2; cur fseq 1]",
         "[" + cur(1) + "; cur fseq 2]", "obj set 4 1 .5 .5 0. 0. 0. 0. 0. 0.", "obj alive 4",
         "obj fseq 3"},
        "A frames=3 gaps=0 late=0 restarts=0 alive=3 [2Dcur,2Dobj] #3=3");

    // 11 is late and split in two; 13 is late at exactly 100 below 113, restarts at 101 below 114.
    QStringList sequence;
    for (int fseq : {10, 12, 11, 11, 12, -1, 13, 113, 13, 114, 13})
        sequence << QStringLiteral("[cur alive; cur fseq %1]").arg(fseq);
    row("4: late frames, restarts and gaps; the same fseq again and -1 are fine", sequence,
        "A frames=9 gaps=100 late=2 restarts=1 alive=0 [2Dcur] #4=2");

    // Missing m, ints for x y, an extra argument; missing r, an int angle; a float id.
    row("5: wrong argument count or type tags, out-of-range values in them not judged",
        {"[cur alive 1; cur set 1 .5 .5 0. 0.; cur set 1 1 0 0. 0. 0.; cur set 1 .5 .5 0. 0. 0. "
         "0.; " +
             cur(1) + "; cur fseq 1]",
         "[obj alive 2; obj set 2 3 .5 .5 1. 0. 0. 0. 0.; obj set 2 3 .5 .5 1. 0. 0. 0. 0. 0.; "
         "obj set 2 3 .5 .5 1 0. 0. 0. 0. 0.; obj fseq 1]",
         "cur set 1. 5. .5 0. 0. 0."},
        "A frames=1 gaps=0 late=0 restarts=0 alive=2 [2Dcur,2Dobj] #5=6");
    row("6: positions outside 0..1 and angles outside 0..2π, the bounds inside",
        {"[cur alive 1; cur set 1 1.5 .5 0. 0. 0.; cur set 1 .5 -.1 0. 0. 0.; "
         "cur set 1 nan .5 0. 0. 0.; cur set 1 1. 0. 0. 0. 0.; cur fseq 1]",
         "[obj alive 2; obj set 2 3 .5 .5 6.3 0. 0. 0. 0. 0.; obj set 2 3 .5 .5 -.01 0. 0. 0. 0. "
         "0.; "
         "obj set 2 3 1. 1. 6.2831853 0. 0. 0. 0. 0.; obj set 2 3 0. 0. 0. 0. 0. 0. 0. 0.; "
         "obj fseq 2]"},
        "A frames=2 gaps=0 late=0 restarts=0 alive=2 [2Dcur,2Dobj] #6=5");

    row("7: one id alive from two named sources, per profile, at each onset",
        {"[cur source a@h; cur alive 1 2; cur fseq 1]",
         "[cur source b@h; cur alive 2 3; cur fseq 1]",
         "[cur source a@h; cur alive 1 2; cur fseq 2]", "[cur source b@h; cur alive 3; cur fseq 2]",
         "[cur source b@h; cur alive 2 3; cur fseq 3]",
         "[obj source b@h; obj alive 1; obj fseq 3]"},
        "a@h frames=2 gaps=0 late=0 restarts=0 alive=2 [2Dcur] #7=2 / "
        "b@h frames=3 gaps=0 late=0 restarts=0 alive=3 [2Dcur,2Dobj] #7=2");
    row("7: unnamed sources told apart by sender",
        {"[cur alive 4; cur fseq 1]", "b [cur alive 4 5; cur fseq 1]",
         "b [cur alive 5; cur fseq 2]", "[cur alive; cur fseq 2]"},
        "A frames=2 gaps=0 late=0 restarts=0 alive=0 [2Dcur] #7=1 / "
        "B frames=2 gaps=0 late=0 restarts=0 alive=1 [2Dcur] #7=1");
    row("an unbundled sender's source name holds; a bundle without one is the sender",
        {"cur source n@h", "cur alive 1", "cur fseq 5", "[cur alive 2; cur fseq 9]", "cur alive 1",
         "cur fseq 6"},
        "n@h frames=2 gaps=0 late=0 restarts=0 alive=1 [2Dcur] / "
        "A frames=1 gaps=0 late=0 restarts=0 alive=1 [2Dcur]");

    // a and b part at 500, meet at 450, part again at 700; c at 600 is exactly 100 from b.
    row("8: two sources' counters more than 100 apart, at each onset",
        {"[cur source a@h; cur alive; cur fseq 1]", "[cur source a@h; cur alive; cur fseq 2]",
         "[cur source b@h; cur alive; cur fseq 500]", "[cur source a@h; cur alive; cur fseq 3]",
         "[cur source b@h; cur alive; cur fseq 501]", "[cur source a@h; cur alive; cur fseq 450]",
         "[cur source b@h; cur alive; cur fseq 700]", "[cur source c@h; cur alive; cur fseq 600]"},
        "a@h frames=4 gaps=446 late=0 restarts=0 alive=0 [2Dcur] #8=3 / "
        "b@h frames=3 gaps=198 late=0 restarts=0 alive=0 [2Dcur] #8=2 / "
        "c@h frames=1 gaps=0 late=0 restarts=0 alive=0 [2Dcur] #8=1");

    // 1 moves after exactly 10 s (no hit), stalls from 10 s to 20.5 s; 2 stalls from 6 s to
    // 16.5 s, moves at 17 s and stalls again past 27 s.
    row("9: a session alive over 10 s without a set, once per stall",
        {"@0 [cur alive 1 2; " + cur(1) + "; " + cur(2) + "; cur fseq 1]",
         "@6000 [cur alive 1 2; " + cur(2) + "; cur fseq 2]",
         "@10000 [cur alive 1 2; " + cur(1) + "; cur fseq 3]", "@16500 [cur alive 1 2; cur fseq 4]",
         "@17000 [cur alive 1 2; " + cur(2) + "; cur fseq 5]", "@20500 [cur alive 1 2; cur fseq 6]",
         "@27001 [cur alive 1 2; cur fseq 7]"},
        "A frames=7 gaps=0 late=0 restarts=0 alive=2 [2Dcur] #9=3", true);
}

void TestTuioFrameAnalysis::checks()
{
    QFETCH(QStringList, stream);
    QFETCH(QString, expected);
    TuioFrameAnalysis analysis;
    feed(analysis, stream);
    QCOMPARE(describe(analysis.snapshot(0), directEndpoints), expected);
}

void TestTuioFrameAnalysis::checksFromOscPeer()
{
    QFETCH(QStringList, stream);
    QFETCH(QString, expected);
    QFETCH(bool, timed);
    if (timed)
        QSKIP("needs arrival times 10 s apart; covered by the direct feed");
    if (!missing(QStringLiteral("osc")).isEmpty())
        QSKIP(qPrintable(missing(QStringLiteral("osc"))));
    TuioFrameAnalysis analysis;
    QStringList endpoints;
    sendOverLoopback(QStringLiteral("osc"), stream, analysis, endpoints);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(describe(analysis.snapshot(0), endpoints), expected);
}

void TestTuioFrameAnalysis::sendOverLoopback(const QString &tool, const QStringList &stream,
                                             TuioFrameAnalysis &analysis, QStringList &endpoints)
{
    TuioReceiver receiver;
    const quint16 port = freeUdpPort();
    QVERIFY(receiver.listen(port));
    int received = 0;
    connect(&receiver, &TuioReceiver::datagramReceived, &analysis,
            [&](const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                qint64 arrivalNs) {
                ++received;
                analysis.processDatagram(datagram, sender, senderPort, arrivalNs);
            });

    QProcess peer;
    QTemporaryFile input;
    QVERIFY(input.open());
    if (tool == QLatin1String("osc")) {
        QJsonArray items;
        for (const QString &text : stream) {
            const Line line = parse(text);
            items << QJsonObject{{"from", line.sender}, {"packet", packetJson(line.datagram)}};
        }
        input.write(QJsonDocument(items).toJson(QJsonDocument::Compact));
        input.close();
        peer.setStandardInputFile(input.fileName());
        peer.start(QStandardPaths::findExecutable(QStringLiteral("node")),
                   {peersDir + QStringLiteral("/send-osc.js"), QString::number(port)});
    } else {
        input.write(oscsendfileText(stream));
        input.close();
        peer.start(QStandardPaths::findExecutable(tool),
                   {"127.0.0.1", QString::number(port), input.fileName()});
    }
    // The datagrams wait in the socket's buffer until the event loop turns.
    QVERIFY(peer.waitForFinished(30000));
    QCOMPARE(peer.exitCode(), 0);
    QTRY_COMPARE(received, stream.size());
    const QList<QByteArray> ports = peer.readAllStandardOutput().trimmed().split(' ');
    endpoints.clear();
    for (const QByteArray &p : ports.mid(1))
        endpoints << QStringLiteral("127.0.0.1:") + QString::fromLatin1(p);
}

void TestTuioFrameAnalysis::timing_data()
{
    QTest::addColumn<QStringList>("stream");
    QTest::addColumn<double>("nowMs");
    QTest::addColumn<QString>("expected"); // frames, frame rate, mean and longest interval (ms)

    QStringList sixty;
    for (int i = 0; i < 120; ++i)
        sixty << QStringLiteral("@%1 [cur alive; cur fseq %2]")
                     .arg(i * 1000.0 / 60, 0, 'f', 6)
                     .arg(i);
    // Frame 59 is exactly one second before the last: outside.
    QTest::newRow("60 frames a second") << sixty << 119 * 1000.0 / 60 << "120 60.00 16.67 16.67";
    const QStringList paused{"@0 [cur alive; cur fseq 1]", "@100 [cur alive; cur fseq 2]",
                             "@150 [obj alive; obj fseq 2]", "@400 [cur alive; cur fseq 3]"};
    QTest::newRow("a continuing bundle is no frame; a pause")
        << paused << 1200.0 << "3 1.00 200.00 300.00";
    QTest::newRow("a second after the stream stopped")
        << paused << 1400.0 << "3 0.00 200.00 300.00";
    QStringList fast;
    for (int i = 0; i < 3000; ++i)
        fast << QStringLiteral("@%1 [cur alive; cur fseq %2]").arg(i * 0.25, 0, 'f', 2).arg(i);
    // The last 1024 frames span 255.75 ms.
    QTest::newRow("faster than the kept frame times: from their span")
        << fast << 2999 * 0.25 << "3000 4003.91 0.25 0.25";
}

void TestTuioFrameAnalysis::timing()
{
    QFETCH(QStringList, stream);
    QFETCH(double, nowMs);
    QFETCH(QString, expected);
    TuioFrameAnalysis analysis;
    feed(analysis, stream);
    const TuioSourceStats s = analysis.snapshot(qRound64(nowMs * 1e6)).value(0);
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(s.frames)
                 .arg(s.framesPerSecond, 0, 'f', 2)
                 .arg(s.meanIntervalMs, 0, 'f', 2)
                 .arg(s.longestIntervalMs, 0, 'f', 2),
             expected);
}

void TestTuioFrameAnalysis::lastHit_data()
{
    QTest::addColumn<QStringList>("stream");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("expected"); // arrival ms, then the decoded text

    QTest::newRow("the later of two hits, every message")
        << QStringList{"@5 [cur alive 1; cur set 1 2. .5 0. 0. 0.; cur fseq 7]",
                       "@9 [cur alive 1; cur set 1 1.5 .25 0. 0. 0.; cur fseq 8]", "@12 cur fseq 9"}
        << 6 << "9 /tuio/2Dcur alive 1 | /tuio/2Dcur set 1 1.5 0.25 0 0 0 | /tuio/2Dcur fseq 8";
    QTest::newRow("source message and a string where a float belongs")
        << QStringList{"@3 [cur source app@10.0.0.2; cur alive 1; cur set 1 .5 .5 0. 0. x; "
                       "cur fseq 7]"}
        << 5
        << "3 /tuio/2Dcur source app@10.0.0.2 | /tuio/2Dcur alive 1 | "
           "/tuio/2Dcur set 1 0.5 0.5 0 0 s:0x78000000 | /tuio/2Dcur fseq 7";
    QTest::newRow("other messages by address, an object set in full")
        << QStringList{"@1 [/foo 1; obj alive 3; obj set 3 -2 .5 .5 7. 0. 0. 0. 0. .5; obj fseq 1]"}
        << 6
        << "1 /foo | /tuio/2Dobj alive 3 | /tuio/2Dobj set 3 -2 0.5 0.5 7 0 0 0 0 0.5 | "
           "/tuio/2Dobj fseq 1";
}

void TestTuioFrameAnalysis::lastHit()
{
    QFETCH(QStringList, stream);
    QFETCH(int, check);
    QFETCH(QString, expected);
    TuioFrameAnalysis analysis;
    feed(analysis, stream);
    const TuioCheckHits hits = analysis.snapshot(0).value(0).checks[size_t(check - 1)];
    QCOMPARE(QString::number(hits.lastNs / 1000000) + QLatin1Char(' ') + hits.datagramText,
             expected);
}

void TestTuioFrameAnalysis::trackerFraming_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("stream");
    QTest::addColumn<QString>("expected");

    // 30 frames of 3 bundles each count once; each of the 3 refreshes' -1 bundles counts alone.
    const char *clean = "sim@127.0.0.1 frames=39 gaps=0 late=0 restarts=0 alive=15 [2Dcur,2Dobj]";
    // Frame 5 lost, frames 7 and 8 swapped: 4 to 6 and 6 to 8 skip one each, 7 comes late once.
    const char *faulty =
        "sim@127.0.0.1 frames=38 gaps=2 late=1 restarts=0 alive=15 [2Dcur,2Dobj] #4=1";
    for (const char *tool : {"oscsendfile", "osc"}) {
        QTest::addRow("%s, clean", tool) << tool << trackerStream(30) << clean;
        QTest::addRow("%s, lost and late", tool) << tool << trackerStream(30, {5}, 7) << faulty;
    }
}

void TestTuioFrameAnalysis::trackerFraming()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, stream);
    QFETCH(QString, expected);
    if (!missing(tool).isEmpty())
        QSKIP(qPrintable(missing(tool)));
    TuioFrameAnalysis analysis;
    QStringList endpoints;
    sendOverLoopback(tool, stream, analysis, endpoints);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(describe(analysis.snapshot(0), endpoints), expected);
}

void TestTuioFrameAnalysis::updatesThrottledAndCleared()
{
    TuioFrameAnalysis analysis;
    QSignalSpy changed(&analysis, &TuioFrameAnalysis::changed);
    QElapsedTimer clock;
    clock.start();
    int fseq = 0;
    while (clock.elapsed() < 1000) {
        feed(analysis, {QStringLiteral("[cur alive; cur fseq %1]").arg(++fseq)});
        QTest::qWait(2);
    }
    QTest::qWait(2 * TuioFrameAnalysis::updateIntervalMs);
    // A second and a half of updates at most every 250 ms.
    QVERIFY2(changed.size() >= 1 && changed.size() <= 5, QByteArray::number(changed.size()));
    QCOMPARE(analysis.snapshot(0).value(0).frames, qint64(fseq));

    changed.clear();
    analysis.clear();
    QCOMPARE(changed.size(), 1);
    QVERIFY(analysis.snapshot(0).isEmpty());
}

void TestTuioFrameAnalysis::sourcesCapped_data()
{
    QTest::addColumn<QString>("datagram"); // %1: the datagram's number
    QTest::addColumn<bool>("newSender");
    QTest::addColumn<QString>("last");
    QTest::newRow("ever new names")
        << "[cur source s%1@h; cur alive; cur fseq 1]" << false << "s63@h";
    QTest::newRow("ever new senders") << "[cur alive; cur fseq 1]" << true << "127.0.0.1:40063";
}

void TestTuioFrameAnalysis::sourcesCapped()
{
    QFETCH(QString, datagram);
    QFETCH(bool, newSender);
    QFETCH(QString, last);
    TuioFrameAnalysis analysis;
    for (int n = 0; n < 70; ++n)
        analysis.processDatagram(encode(datagram.arg(n)), QHostAddress::LocalHost,
                                 quint16(newSender ? 40000 + n : 50001), 0);
    const QList<TuioSourceStats> stats = analysis.snapshot(0);
    QCOMPARE(stats.size(), 64);
    QCOMPARE(stats.last().source, last);
}

QTEST_GUILESS_MAIN(TestTuioFrameAnalysis)
#include "tst_tuioframeanalysis.moc"
