#include "comm/communicationbase.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"

#include "support/freeport.h"

#include <QtTest>

namespace {

// A record's field by the letter the TUIO 1.1 protocol gives its argument.
float field(const TuioItemRecord &r, char letter)
{
    const QHash<char, float> fields{{'i', float(r.classId)},
                                    {'x', r.x},
                                    {'y', r.y},
                                    {'z', r.z},
                                    {'a', r.a},
                                    {'b', r.b},
                                    {'c', r.c},
                                    {'w', r.w},
                                    {'h', r.h},
                                    {'d', r.d},
                                    {'f', r.size},
                                    {'v', r.size},
                                    {'X', r.vx},
                                    {'Y', r.vy},
                                    {'Z', r.vz},
                                    {'A', r.va},
                                    {'B', r.vb},
                                    {'C', r.vc},
                                    {'m', r.motionAcceleration},
                                    {'r', r.rotationAcceleration}};
    return fields.value(letter);
}

// "set" and the arguments `letters` name, each value distinct: the session id, then 40 + its
// position for a class id, else step + position / 64. `tags` overrides the type tags.
QByteArray itemSet(const QString &address, const QByteArray &letters, int sid, int step,
                   QByteArray tags = {})
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("set"));
    QByteArray written(",s");
    for (int i = 0; i < letters.size(); ++i) {
        const char tag = letters[i] == 's' || letters[i] == 'i' ? 'i' : 'f';
        written += tag;
        if (tag == 'i')
            appendInt32(arguments, letters[i] == 's' ? sid : 40 + i);
        else
            appendFloat32(arguments, float(step) + float(i) / 64.0f);
    }
    return buildOscMessage(address, QString::fromLatin1(tags.isEmpty() ? written : tags),
                           arguments);
}

QByteArray alive(const QString &address, const QList<int> &ids)
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("alive"));
    for (int id : ids)
        appendInt32(arguments, id);
    return buildOscMessage(address, ",s" + QString(ids.size(), 'i'), arguments);
}

// What the item table holds: "sid:letter=value,..." for each argument but the session id, and
// "!" after a field that a profile does not send but is not 0.
QString dump(const TuioItemTable &table, const QByteArray &letters)
{
    QStringList rows;
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        QStringList values;
        for (char letter : QByteArray("ixyzabcwhdfvXYZABCmr"))
            if (letters.contains(letter))
                values << QStringLiteral("%1=%2").arg(letter).arg(double(field(*it, letter)));
            else if (field(*it, letter) != 0 && !(letter == 'f' && letters.contains('v')) &&
                     !(letter == 'v' && letters.contains('f')))
                values << QStringLiteral("%1!").arg(letter);
        rows << QStringLiteral("%1:%2").arg(it.key()).arg(values.join(','));
    }
    return rows.join(' ');
}

// The expected dump of one session set at `step`.
QString expected(int sid, const QByteArray &letters, int step)
{
    QStringList values;
    for (char letter : QByteArray("ixyzabcwhdfvXYZABCmr")) {
        const int i = int(letters.indexOf(letter));
        if (i >= 0)
            values << QStringLiteral("%1=%2").arg(letter).arg(
                letter == 'i' ? 40.0 + i : double(float(step) + float(i) / 64.0f));
    }
    return QStringLiteral("%1:%2").arg(sid).arg(values.join(','));
}

class Recorder : public TuioSessionSink
{
public:
    void cursorUpdated(int, float, float) override { events << "cur"; }
    void objectUpdated(int, int, float, float, float) override { events << "obj"; }
    void cursorRemoved(int) override { events << "cur-"; }
    void objectRemoved(int) override { events << "obj-"; }
    void itemUpdated(TuioProfile profile, int sid, const TuioItemRecord &) override
    {
        events << QStringLiteral("+%1 %2").arg(int(profile)).arg(sid);
    }
    void itemRemoved(TuioProfile profile, int sid) override
    {
        events << QStringLiteral("-%1 %2").arg(int(profile)).arg(sid);
    }
    QStringList events;
};

} // namespace

class TestTuioProfiles : public QObject
{
    Q_OBJECT

private slots:
    // Rows: the profile and its set's arguments after "set" as the TUIO 1.1 protocol lists them.
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

    // Set, another set, an update, a set one argument short, one with a float tagged as an int,
    // an alive pruning the second: through the tables, their sink and the frame analysis.
    void transcript()
    {
        QFETCH(int, profile);
        QFETCH(QByteArray, letters);
        const QString address = QStringLiteral("/tuio/") + QTest::currentDataTag();
        QByteArray shortTags(",s");
        for (char letter : letters.chopped(1))
            shortTags += letter == 's' || letter == 'i' ? 'i' : 'f';
        QByteArray shortSet = itemSet(address, letters.chopped(1), 3, 0, shortTags);
        QByteArray wrongTags = shortTags + 'i';

        TuioSessions sessions;
        Recorder sink;
        sessions.setSink(&sink);
        TuioFrameAnalysis analysis;
        const QList<QByteArray> stream{itemSet(address, letters, 1, 0),
                                       itemSet(address, letters, 2, 1),
                                       itemSet(address, letters, 1, 2),
                                       shortSet,
                                       itemSet(address, letters, 4, 3, wrongTags),
                                       alive(address, {1, 3})};
        for (const QByteArray &datagram : stream) {
            sessions.processDatagram(datagram);
            analysis.analyse(datagram, sessions.lastDecoded(), QHostAddress::LocalHost, 3333, 1);
        }

        QCOMPARE(dump(sessions.items(TuioProfile(profile)), letters), expected(1, letters, 2));
        const QString p = QString::number(profile);
        QCOMPARE(sink.events,
                 (QStringList{"+" + p + " 1", "+" + p + " 2", "+" + p + " 1", "-" + p + " 2"}));
        // No other table took anything.
        QVERIFY(sessions.cursors().isEmpty() && sessions.objects().isEmpty());
        for (int other = int(TuioProfile::Blob2D); other <= int(TuioProfile::Blob3D); ++other)
            QCOMPARE(sessions.items(TuioProfile(other)).isEmpty(), other != profile);

        const TuioSourceStats stats = analysis.snapshot(1).value(0);
        QCOMPARE(stats.profiles, QStringList{QTest::currentDataTag()});
        const TuioCheckHits &hits = stats.checks[size_t(TuioCheck::SetArguments)];
        QCOMPARE(hits.count, 2);
        QCOMPARE(hits.detail, QStringLiteral("%1 %2").arg(QTest::currentDataTag(),
                                                          QString::fromLatin1(wrongTags)));
        QCOMPARE(stats.checks[size_t(TuioCheck::OutOfRange)].count, 2); // steps 1 and 2
        sessions.clear();
        QVERIFY(sessions.items(TuioProfile(profile)).isEmpty());
    }

    // liblo's oscsend, an encoder independent of Tactora's, sends blobs and 2.5D cursors to a
    // receiver on 127.0.0.1.
    void independentSender()
    {
        if (QStandardPaths::findExecutable("oscsend").isEmpty())
            QSKIP("liblo's oscsend is not installed (scripts/setup-peers installs it)");
        CommunicationBase log;
        TuioReceiver receiver(&log);
        TuioSessions sessions;
        connect(&receiver, &TuioReceiver::datagramReceived, &sessions,
                [&sessions](const QByteArray &datagram) { sessions.processDatagram(datagram); });
        const quint16 udpPort = freeUdpPort();
        QVERIFY(receiver.listen(udpPort));
        const QString port = QString::number(udpPort);
        const QList<QStringList> messages{
            {"/tuio/2Dblb", "sifffffffffff", "set", "5", "0.25", "0.75", "1.5", "0.2", "0.1",
             "0.02", "0", "0", "0", "0", "0"},
            {"/tuio/2Dblb", "sifffffffffff", "set", "6", "0.5", "0.5", "0", "0.3", "0.4", "0.12",
             "0", "0", "0", "0", "0"},
            {"/tuio/2Dblb", "si", "alive", "6"},
            {"/tuio/25Dcur", "sifffffff", "set", "9", "0.125", "0.5", "0.875", "0", "0", "0", "0"},
            {"/tuio/25Dcur", "sii", "alive", "9", "10"}};
        for (const QStringList &message : messages)
            QCOMPARE(QProcess::execute("oscsend", QStringList{"127.0.0.1", port} + message), 0);
        QTRY_COMPARE(sessions.items(TuioProfile::Cursor25D).keys(), QList<int>{9});
        const TuioItemRecord blob = sessions.items(TuioProfile::Blob2D).value(6);
        QCOMPARE(sessions.items(TuioProfile::Blob2D).keys(), QList<int>{6});
        QCOMPARE((QList<float>{blob.x, blob.y, blob.w, blob.h, blob.size}),
                 (QList<float>{0.5f, 0.5f, 0.3f, 0.4f, 0.12f}));
        const TuioItemRecord cursor = sessions.items(TuioProfile::Cursor25D).value(9);
        QCOMPARE((QList<float>{cursor.x, cursor.y, cursor.z}),
                 (QList<float>{0.125f, 0.5f, 0.875f}));
    }
};

QTEST_MAIN(TestTuioProfiles)
#include "tst_tuioprofiles.moc"
