#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"

#include <QtTest>

namespace {

// A record's field by the letter of its argument in the TUIO 1.1 protocol (v, a volume, is f).
float field(const TuioItemRecord &r, char letter)
{
    using R = TuioItemRecord;
    // clang-format off
    static const float R::*const members[] = {&R::x, &R::y, &R::z, &R::a, &R::b, &R::c, &R::w,
        &R::h, &R::d, &R::size, &R::vx, &R::vy, &R::vz, &R::va, &R::vb, &R::vc,
        &R::motionAcceleration, &R::rotationAcceleration};
    // clang-format on
    return letter == 'i' ? float(r.classId)
                         : r.*members[QByteArray("xyzabcwhdfXYZABCmr").indexOf(letter)];
}

// The value a set of `step` gives the argument at `index`: 40 + index for a class id, else
// step + index / 64, so that every argument differs.
double valueAt(const QByteArray &letters, qsizetype index, int step)
{
    return letters[index] == 'i' ? 40.0 + double(index) : double(float(step) + float(index) / 64);
}

// A message "set" (or "alive") with the arguments `letters` names; `tags` overrides the tags.
QByteArray message(const QString &address, const QByteArray &letters, int sid, int step,
                   QByteArray tags = {})
{
    QByteArray arguments, written(",s");
    appendOscString(arguments, letters.startsWith('s') ? "set" : "alive");
    for (qsizetype i = 0; i < letters.size(); ++i) {
        const bool whole = letters[i] == 's' || letters[i] == 'i' || letters[i] == '#';
        written += whole ? 'i' : 'f';
        whole ? appendInt32(arguments, letters[i] == 'i' ? 40 + int(i) : sid + 2 * int(i))
              : appendFloat32(arguments, float(valueAt(letters, i, step)));
    }
    return buildOscMessage(address, QString::fromLatin1(tags.isEmpty() ? written : tags),
                           arguments);
}

// Records the item calls as "<profile>+<sid>" and "<profile>-<sid>".
struct Recorder : TuioSessionSink
{
    void cursorUpdated(int, float, float) override {}
    void objectUpdated(int, int, float, float, float) override {}
    void cursorRemoved(int) override {}
    void objectRemoved(int) override {}
    void itemUpdated(TuioProfile p, int sid, const TuioItemRecord &) override { note(p, '+', sid); }
    void itemRemoved(TuioProfile p, int sid) override { note(p, '-', sid); }
    void note(TuioProfile p, char what, int sid)
    {
        events << QString::number(int(p)) + what + QString::number(sid);
    }
    QStringList events;
};

} // namespace

class TestTuioProfiles : public QObject
{
    Q_OBJECT

private slots:
    // Rows: a profile and its set's arguments after "set" as the TUIO 1.1 protocol lists them.
    void transcript_data()
    {
        QTest::addColumn<int>("profile");
        QTest::addColumn<QByteArray>("letters");
        QTest::newRow("2Dblb") << int(TuioProfile::Blob2D) << QByteArray("sxyawhfXYAmr");
        QTest::newRow("25Dcur") << int(TuioProfile::Cursor25D) << QByteArray("sxyzXYZm");
        QTest::newRow("25Dobj") << int(TuioProfile::Object25D) << QByteArray("sixyzaXYZAmr");
        QTest::newRow("25Dblb") << int(TuioProfile::Blob25D) << QByteArray("sxyzawhfXYZAmr");
        QTest::newRow("3Dcur") << int(TuioProfile::Cursor3D) << QByteArray("sxyzXYZm");
        QTest::newRow("3Dobj") << int(TuioProfile::Object3D) << QByteArray("sixyzabcXYZABCmr");
        QTest::newRow("3Dblb") << int(TuioProfile::Blob3D) << QByteArray("sxyzabcwhdvXYZABCmr");
    }

    // Sets of sessions 1 and 2, an update of 1, a set one argument short, one with its last
    // float tagged as an int, an alive of 1 and 3: through the tables, their sink and the frame
    // analysis.
    void transcript()
    {
        QFETCH(int, profile);
        QFETCH(QByteArray, letters);
        const QString address = QStringLiteral("/tuio/") + QTest::currentDataTag();
        const QByteArray shortSet = message(address, letters.chopped(1), 3, 3);
        const QByteArray wrongTags =
            decodeTuioDatagram(shortSet).value(0).tags().toByteArray() + 'i';
        TuioSessions sessions;
        Recorder sink;
        sessions.setSink(&sink);
        TuioFrameAnalysis analysis;
        for (const QByteArray &datagram :
             {message(address, letters, 1, 0), message(address, letters, 2, 1),
              message(address, letters, 1, 2), shortSet, message(address, letters, 4, 3, wrongTags),
              message(address, "##", 1, 0)}) {
            sessions.processDatagram(datagram);
            analysis.analyse(datagram, sessions.lastDecoded(), QHostAddress::LocalHost, 3333, 1);
        }

        const TuioItemTable &table = sessions.items(TuioProfile(profile));
        QCOMPARE(table.keys(), QList<int>{1});
        QString actual, wanted;
        const QByteArray wire = QByteArray(letters).replace('v', 'f');
        for (char letter : QByteArray("ixyzabcwhdfXYZABCmr")) {
            const qsizetype i = wire.indexOf(letter);
            actual +=
                QStringLiteral("%1=%2 ").arg(letter).arg(double(field(table.first(), letter)));
            wanted += QStringLiteral("%1=%2 ").arg(letter).arg(i < 0 ? 0 : valueAt(wire, i, 2));
        }
        QCOMPARE(actual, wanted);
        const QString p = QString::number(profile);
        QCOMPARE(sink.events, (QStringList{p + "+1", p + "+2", p + "+1", p + "-2"}));
        QVERIFY(sessions.cursors().isEmpty() && sessions.objects().isEmpty());
        for (int other = int(TuioProfile::Blob2D); other <= int(TuioProfile::Blob3D); ++other)
            QCOMPARE(sessions.items(TuioProfile(other)).isEmpty(), other != profile);

        const TuioSourceStats stats = analysis.snapshot(1).value(0);
        QCOMPARE(stats.profiles, QStringList{QTest::currentDataTag()});
        const TuioCheckHits &hits = stats.checks[size_t(TuioCheck::SetArguments)];
        QCOMPARE(hits.count, 2);
        QCOMPARE(hits.detail, QTest::currentDataTag() + (' ' + QString::fromLatin1(wrongTags)));
        // The sets of steps 1 and 2 are beyond 0..1.
        QCOMPARE(stats.checks[size_t(TuioCheck::OutOfRange)].count, 2);
        sessions.clear();
        QVERIFY(table.isEmpty());
    }

    // liblo's oscsend, an encoder independent of ours, sends blobs and 2.5D cursors over loopback.
    void independentSender()
    {
        if (QStandardPaths::findExecutable("oscsend").isEmpty())
            QSKIP("liblo's oscsend is not installed (scripts/setup installs it)");
        TuioReceiver receiver;
        TuioSessions sessions;
        connect(&receiver, &TuioReceiver::datagramReceived, &sessions,
                [&sessions](const QByteArray &datagram) { sessions.processDatagram(datagram); });
        const QString port = QString::number(freeUdpPort());
        QVERIFY(receiver.listen(port.toUShort()));
        for (const char *message :
             {"/tuio/2Dblb sifffffffffff set 5 .25 .75 1.5 .2 .1 .02 0 0 0 0 0",
              "/tuio/2Dblb sifffffffffff set 6 .5 .5 0 .3 .4 .12 0 0 0 0 0",
              "/tuio/2Dblb si alive 6", "/tuio/25Dcur sifffffff set 9 .125 .5 .875 0 0 0 0",
              "/tuio/25Dcur sii alive 9 10"})
            QCOMPARE(QProcess::execute("oscsend", QStringList{"127.0.0.1", port} +
                                                      QString(message).split(' ')),
                     0);
        // Each table as "sid:x,y,z w,h area"; blob 5 pruned.
        const auto tables = [&sessions] {
            QStringList rows;
            for (TuioProfile profile : {TuioProfile::Blob2D, TuioProfile::Cursor25D})
                for (auto it = sessions.items(profile).cbegin();
                     it != sessions.items(profile).cend(); ++it)
                    rows << QString::asprintf("%d:%g,%g,%g %g,%g %g", it.key(), it->x, it->y, it->z,
                                              it->w, it->h, it->size);
            return rows.join(' ');
        };
        QTRY_COMPARE(tables(), QStringLiteral("6:0.5,0.5,0 0.3,0.4 0.12 9:0.125,0.5,0.875 0,0 0"));
    }
};

QTEST_MAIN(TestTuioProfiles)
#include "tst_tuioprofiles.moc"
