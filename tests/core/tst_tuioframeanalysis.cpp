#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"

#include <QtNetwork>
#include <QtTest>

namespace {

// A stream has one datagram a line, "[@ms ][b ]datagram": an arrival time, b for the second
// sender. A datagram is a message or "[message; message]", a bundle; a message is cur, obj, blb or
// an address, then arguments typed as written: a whole number an int, another number or nan a
// float, else a string.
QByteArray encode(const QString &datagram)
{
    const bool bundled = datagram.startsWith(QLatin1Char('['));
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QString &text :
         bundled ? datagram.mid(1, datagram.size() - 2).split("; ") : QStringList{datagram}) {
        const QStringList tokens = text.split(QLatin1Char(' '));
        QString tags = QStringLiteral(",");
        QByteArray arguments;
        for (const QString &token : tokens.mid(1)) {
            bool isInt = false;
            bool isFloat = token == QLatin1String("nan");
            const int i = token.toInt(&isInt);
            const float f = isFloat ? qQNaN() : token.toFloat(&isFloat);
            tags += isInt ? 'i' : isFloat ? 'f' : 's';
            isInt     ? appendInt32(arguments, i)
            : isFloat ? appendFloat32(arguments, f)
                      : appendOscString(arguments, token);
        }
        const QByteArray message =
            buildOscMessage(tokens.at(0).startsWith('/') ? tokens.at(0) : "/tuio/2D" + tokens.at(0),
                            tags, arguments);
        if (!bundled)
            return message;
        appendInt32(bundle, qint32(message.size()));
        bundle += message;
    }
    return bundle;
}

void feed(TuioFrameAnalysis &analysis, const QStringList &stream)
{
    for (QString line : stream) {
        qint64 arrivalNs = 0;
        if (line.startsWith(QLatin1Char('@'))) {
            arrivalNs = qRound64(line.section(' ', 0, 0).mid(1).toDouble() * 1e6);
            line = line.section(' ', 1);
        }
        const bool second = line.startsWith(QLatin1String("b "));
        analysis.processDatagram(encode(second ? line.mid(2) : line), QHostAddress::LocalHost,
                                 second ? 50002 : 50001, arrivalNs);
    }
}

// Per source "name frames=… gaps=… late=… restarts=… alive=… [profiles]" (counters that are 0
// left out), "#check=hits" for each check hit, and with a time the frame rate, mean and longest
// interval and the first check's last hit; sources joined by " / ", senders as their letter.
QString describe(const QList<TuioSourceStats> &stats, double nowMs)
{
    QStringList rows;
    for (const TuioSourceStats &s : stats) {
        const qsizetype letter =
            QStringList{"127.0.0.1:50001", "127.0.0.1:50002"}.indexOf(s.source);
        QString row = letter >= 0 ? QString(QChar(char('A' + letter))) : s.source;
        const qint64 counts[] = {s.frames, s.fseqGaps, s.lateFrames, s.restarts, s.aliveSessions};
        for (int i = 0; i < 5; ++i)
            if (counts[i])
                row += QStringLiteral(" %1=%2")
                           .arg(QString("frames gaps late restarts alive").section(' ', i, i))
                           .arg(counts[i]);
        row += " [" + s.profiles.join(',') + ']';
        const TuioCheckHits *first = nullptr;
        for (int check = 0; check < tuioCheckCount; ++check)
            if (const TuioCheckHits &hits = s.checks[size_t(check)]; hits.count > 0) {
                row += QStringLiteral(" #%1=%2").arg(check + 1).arg(hits.count);
                first = first ? first : &hits;
            }
        if (nowMs >= 0)
            row += QString::asprintf(" fps=%.2f mean=%.2f longest=%.2f", s.framesPerSecond,
                                     s.meanIntervalMs, s.longestIntervalMs);
        if (nowMs >= 0 && first)
            row +=
                QStringLiteral(" last@%1 %2").arg(first->lastNs / 1000000).arg(first->datagramText);
        rows << row;
    }
    return rows.join(" / ");
}

} // namespace

// The frame analysis fed crafted streams with chosen arrival times.
class TestTuioFrameAnalysis : public QObject
{
    Q_OBJECT

private slots:
    void streams_data();
    void streams();
    void updatesThrottledAndCleared();
    void sourcesCapped();
};

void TestTuioFrameAnalysis::streams_data()
{
    QTest::addColumn<QStringList>("stream");
    QTest::addColumn<double>("nowMs"); // the snapshot's time; with one, rates and last hits
    QTest::addColumn<QString>("expected");
    const auto row = [](const char *name, const QStringList &stream, const char *expected,
                        double nowMs = -1) {
        QTest::newRow(name) << stream << nowMs << QString::fromUtf8(expected);
    };
    const auto cur = [](int sid) { return QStringLiteral("cur set %1 .5 .5 0. 0. 0.").arg(sid); };

    row("clean frames of two profiles: a split frame and a -1 frame add nothing",
        {"[cur source s@h; cur alive 1 2; cur set 1 .1 .2 0. 0. 0.; cur set 2 .3 .4 0. 0. 0.; "
         "cur fseq 7]",
         "[obj source s@h; obj alive 5; obj set 5 3 .5 .5 1.5 0. 0. 0. 0. 0.; obj fseq 7]",
         "[cur source s@h; cur alive 1 2; " + cur(2) + "; cur fseq 8]",
         "[cur source s@h; cur alive 1 2; " + cur(1) + "; " + cur(2) + "; cur fseq -1]"},
        "s@h frames=3 alive=3 [2Dcur,2Dobj]");
    row("no TUIO message makes no source", {"/foo 1", "[/bar .5; /baz x]"}, "");
    row("other TUIO profiles are only listed", {"[blb alive 1; blb fseq 3]"}, "A [2Dblb]");

    row("1: a bundle without fseq",
        {"[cur alive 1; " + cur(1) + "; cur fseq 1]", "[cur alive 1; " + cur(1) + "]",
         "[cur alive 1; cur fseq 2]"},
        "A frames=3 alive=1 [2Dcur] #1=1");
    row("1: unbundled, an alive not followed by fseq before the next alive",
        {"cur alive 1", cur(1), "cur fseq 1", "cur alive 1", cur(1), "cur alive 1", "cur fseq 2"},
        "A frames=3 alive=1 [2Dcur] #1=1");
    row("1 and 3: sets then an alive, never an fseq",
        {cur(1), "cur alive 1", cur(1), "cur alive 1", "cur alive"},
        "A frames=2 [2Dcur] #1=2 #3=1");

    // The split part has no alive: the last one stands.
    row("2: a set for an id its frame's alive does not list",
        {"[cur alive 1; " + cur(1) + "; " + cur(2) + "; cur fseq 1]",
         "[" + cur(2) + "; cur fseq 1]", "cur alive 1", cur(3), "cur fseq 2"},
        "A frames=2 alive=1 [2Dcur] #2=3");
    row("3: a set before its frame's alive; a frame without alive has none",
        {"[" + cur(1) + "; " + cur(2) + "; cur alive 1 2; cur fseq 1]",
         "[" + cur(1) + "; cur fseq 2]", "obj set 4 1 .5 .5 0. 0. 0. 0. 0. 0.", "obj alive 4",
         "obj fseq 3"},
        "A frames=3 alive=3 [2Dcur,2Dobj] #3=3");

    // 11 is late and split in two; 13 is late at exactly 100 below 113, restarts at 101 below
    // 114.
    QStringList sequence;
    for (int fseq : {10, 12, 11, 11, 12, -1, 13, 113, 13, 114, 13})
        sequence << QStringLiteral("[cur alive; cur fseq %1]").arg(fseq);
    row("4: late frames, restarts and gaps; the same fseq again and -1 are fine", sequence,
        "A frames=9 gaps=100 late=2 restarts=1 [2Dcur] #4=2");

    // Missing m, ints for x y, an extra argument; missing r, an int angle; a float id.
    row("5: wrong argument count or type tags, out-of-range values in them not judged",
        {"[cur alive 1; cur set 1 .5 .5 0. 0.; cur set 1 1 0 0. 0. 0.; "
         "cur set 1 .5 .5 0. 0. 0. 0.; " +
             cur(1) + "; cur fseq 1]",
         "[obj alive 2; obj set 2 3 .5 .5 1. 0. 0. 0. 0.; obj set 2 3 .5 .5 1. 0. 0. 0. 0. 0.; "
         "obj set 2 3 .5 .5 1 0. 0. 0. 0. 0.; obj fseq 1]",
         "cur set 1. 5. .5 0. 0. 0."},
        "A frames=1 alive=2 [2Dcur,2Dobj] #5=6");
    row("6: positions outside 0..1 and angles outside 0..2π, the bounds inside",
        {"[cur alive 1; cur set 1 1.5 .5 0. 0. 0.; cur set 1 .5 -.1 0. 0. 0.; "
         "cur set 1 nan .5 0. 0. 0.; cur set 1 1. 0. 0. 0. 0.; cur fseq 1]",
         "[obj alive 2; obj set 2 3 .5 .5 6.3 0. 0. 0. 0. 0.; "
         "obj set 2 3 .5 .5 -.01 0. 0. 0. 0. 0.; obj set 2 3 1. 1. 6.2831853 0. 0. 0. 0. 0.; "
         "obj set 2 3 0. 0. 0. 0. 0. 0. 0. 0.; obj fseq 2]"},
        "A frames=2 alive=2 [2Dcur,2Dobj] #6=5");

    row("7: one id alive from two named sources, per profile, at each onset",
        {"[cur source a@h; cur alive 1 2; cur fseq 1]",
         "[cur source b@h; cur alive 2 3; cur fseq 1]",
         "[cur source a@h; cur alive 1 2; cur fseq 2]", "[cur source b@h; cur alive 3; cur fseq 2]",
         "[cur source b@h; cur alive 2 3; cur fseq 3]",
         "[obj source b@h; obj alive 1; obj fseq 3]"},
        "a@h frames=2 alive=2 [2Dcur] #7=2 / b@h frames=3 alive=3 [2Dcur,2Dobj] #7=2");
    row("7: unnamed sources told apart by sender",
        {"[cur alive 4; cur fseq 1]", "b [cur alive 4 5; cur fseq 1]",
         "b [cur alive 5; cur fseq 2]", "[cur alive; cur fseq 2]"},
        "A frames=2 [2Dcur] #7=1 / B frames=2 alive=1 [2Dcur] #7=1");
    row("an unbundled sender's source name holds; a bundle without one is the sender",
        {"cur source n@h", "cur alive 1", "cur fseq 5", "[cur alive 2; cur fseq 9]", "cur alive 1",
         "cur fseq 6"},
        "n@h frames=2 alive=1 [2Dcur] / A frames=1 alive=1 [2Dcur]");

    // a and b part at 500, meet at 450, part again at 700; c at 600 is exactly 100 from b.
    row("8: two sources' counters more than 100 apart, at each onset",
        {"[cur source a@h; cur alive; cur fseq 1]", "[cur source a@h; cur alive; cur fseq 2]",
         "[cur source b@h; cur alive; cur fseq 500]", "[cur source a@h; cur alive; cur fseq 3]",
         "[cur source b@h; cur alive; cur fseq 501]", "[cur source a@h; cur alive; cur fseq 450]",
         "[cur source b@h; cur alive; cur fseq 700]", "[cur source c@h; cur alive; cur fseq 600]"},
        "a@h frames=4 gaps=446 [2Dcur] #8=3 / b@h frames=3 gaps=198 [2Dcur] #8=2 / "
        "c@h frames=1 [2Dcur] #8=1");

    // 1 moves after exactly 10 s (no hit), stalls from 10 s to 20.5 s; 2 stalls from 6 s to
    // 16.5 s, moves at 17 s and stalls again past 27 s.
    row("9: a session alive over 10 s without a set, once per stall",
        {"@0 [cur alive 1 2; " + cur(1) + "; " + cur(2) + "; cur fseq 1]",
         "@6000 [cur alive 1 2; " + cur(2) + "; cur fseq 2]",
         "@10000 [cur alive 1 2; " + cur(1) + "; cur fseq 3]", "@16500 [cur alive 1 2; cur fseq 4]",
         "@17000 [cur alive 1 2; " + cur(2) + "; cur fseq 5]", "@20500 [cur alive 1 2; cur fseq 6]",
         "@27001 [cur alive 1 2; cur fseq 7]"},
        "A frames=7 alive=2 [2Dcur] #9=3 fps=1.00 mean=4500.17 "
        "longest=6501.00 last@27001 /tuio/2Dcur alive 1 2 | /tuio/2Dcur fseq 7",
        27001);

    // The last hit rendered by its type tags, other messages by address.
    row("last hit with a source, a string argument and an object set",
        {"@3 [cur source app@10.0.0.2; cur alive 1; cur set 1 .5 .5 0. 0. x; cur fseq 7]",
         "@4 [/foo 1; obj alive 3; obj set 3 -2 .5 .5 7. 0. 0. 0. 0. .5; obj fseq 7]"},
        "app@10.0.0.2 frames=1 alive=1 [2Dcur] #5=1 fps=1.00 mean=0.00 "
        "longest=0.00 last@3 /tuio/2Dcur source app@10.0.0.2 | /tuio/2Dcur alive 1 | "
        "/tuio/2Dcur set 1 0.5 0.5 0 0 s:0x78000000 | /tuio/2Dcur fseq 7 / "
        "A frames=1 alive=1 [2Dobj] #6=1 fps=1.00 mean=0.00 "
        "longest=0.00 last@4 /foo | /tuio/2Dobj alive 3 | "
        "/tuio/2Dobj set 3 -2 0.5 0.5 7 0 0 0 0 0.5 | /tuio/2Dobj fseq 7",
        4);

    // Frame rates over the second up to now; frame 59 of 60 a second is exactly a second back.
    QStringList sixty;
    for (int i = 0; i < 120; ++i)
        sixty << QStringLiteral("@%1 [cur alive; cur fseq %2]")
                     .arg(i * 1000.0 / 60, 0, 'f', 6)
                     .arg(i);
    row("60 frames a second", sixty, "A frames=120 [2Dcur] fps=60.00 mean=16.67 longest=16.67",
        119 * 1000.0 / 60);
    const QStringList paused{"@0 [cur alive; cur fseq 1]", "@100 [cur alive; cur fseq 2]",
                             "@150 [obj alive; obj fseq 2]", "@400 [cur alive; cur fseq 3]"};
    row("a continuing bundle is no frame; a pause", paused,
        "A frames=3 [2Dcur,2Dobj] fps=1.00 mean=200.00 longest=300.00", 1200);
    row("a second after the stream stopped", paused,
        "A frames=3 [2Dcur,2Dobj] fps=0.00 mean=200.00 longest=300.00", 1400);
    QStringList fast;
    for (int i = 0; i < 3000; ++i)
        fast << QStringLiteral("@%1 [cur alive; cur fseq %2]").arg(i * 0.25, 0, 'f', 2).arg(i);
    // The last 1024 frames span 255.75 ms.
    row("faster than the kept frame times: from their span", fast,
        "A frames=3000 [2Dcur] fps=4003.91 mean=0.25 longest=0.25", 2999 * 0.25);
}

void TestTuioFrameAnalysis::streams()
{
    QFETCH(QStringList, stream);
    QFETCH(double, nowMs);
    TuioFrameAnalysis analysis;
    feed(analysis, stream);
    QTEST(describe(analysis.snapshot(qRound64(nowMs * 1e6)), nowMs), "expected");
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

// Ever new names, then ever new senders: the first 64 sources are kept.
void TestTuioFrameAnalysis::sourcesCapped()
{
    for (const QString last : {"s63@h", "127.0.0.1:40063"}) {
        const bool named = last.endsWith("@h");
        TuioFrameAnalysis analysis;
        for (int n = 0; n < 70; ++n)
            analysis.processDatagram(
                encode(named ? QStringLiteral("[cur source s%1@h; cur alive; cur fseq 1]").arg(n)
                             : QStringLiteral("[cur alive; cur fseq 1]")),
                QHostAddress::LocalHost, quint16(named ? 50001 : 40000 + n), 0);
        const QList<TuioSourceStats> stats = analysis.snapshot(0);
        QCOMPARE(stats.size(), 64);
        QCOMPARE(stats.last().source, last);
    }
}

QTEST_GUILESS_MAIN(TestTuioFrameAnalysis)
#include "tst_tuioframeanalysis.moc"
