#include "support/framescript.h"
#include "support/freeport.h"
#include "support/tuiopeer.h"
#include "tuio/osccodec.h"
#include "tuio/tuiosender.h"

#include <QtNetwork>
#include <QtTest>

namespace {

QString fixed(float value)
{
    return QString::number(double(value), 'f', 2);
}

} // namespace

// The sender's frames as independent TUIO 1.1 and OSC implementations read them.
class TestFramePeers : public QObject
{
    Q_OBJECT

private slots:
    void tuioClient_data();
    void tuioClient();
    void oscdump();
};

void TestFramePeers::tuioClient_data()
{
    QTest::addColumn<QStringList>("script"); // "peer": the client starts listening only now
    QTest::addColumn<QStringList>("events");

    // 25 objects in one frame take three bundles of one fseq; stop releases them all.
    QString objects;
    QStringList added;
    QStringList removed;
    for (int i = 0; i < 25; ++i) {
        const float x = float(i + 1) / 32.0f;
        const float angle = float(i) * 0.25f;
        objects += QStringLiteral("o%1#%2@%3,0.5,%4 ").arg(i).arg(i % 5).arg(x).arg(angle);
        const QString object = QStringLiteral("2Dobj s%1 c%2 (%3,0.50) a%4")
                                   .arg(i)
                                   .arg(i % 5)
                                   .arg(fixed(x), fixed(angle));
        added << "add " + object;
        removed << "remove " + object;
    }
    QTest::newRow("split frame, then stop")
        << QStringList{"peer", objects.trimmed(), "stop"} << added + removed;
    QTest::newRow("a client that missed the frames catches up on the resend")
        << QStringList{"c1@0.5,0.5 o2#4@0.25,0.75,1", "c1@0.5,0.5 o2#4@0.4,0.75,1", "peer",
                       "resend", "stop"}
        << QStringList{"add 2Dcur s1 (0.50,0.50)", "add 2Dobj s2 c4 (0.40,0.75) a1.00",
                       "remove 2Dcur s1 (0.50,0.50)", "remove 2Dobj s2 c4 (0.40,0.75) a1.00"};
}

void TestFramePeers::tuioClient()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, events);
    if (const QString missing = TuioPeer::unavailable(); !missing.isEmpty())
        QSKIP(qPrintable(missing));

    TuioPeer peer;
    const quint16 port = freeUdpPort();
    TuioSender sender;
    sender.start("127.0.0.1", port, 0, TuioFraming::Frames);
    sender.resendTimer()->stop(); // each resend would add an update per session
    for (const QString &step : script) {
        if (step == "peer")
            QVERIFY2(peer.start(port), "tuio-listen.mjs did not start");
        else
            runFrameScript(sender, {step});
    }
    QTRY_COMPARE_WITH_TIMEOUT(peer.events().size(), events.size(), 10000);
    QCOMPARE(peer.events(), events);
}

// liblo's oscdump prints a bundle's messages, each behind the bundle's time, once the next
// datagram arrives: small OSC messages keep coming until the frame shows.
void TestFramePeers::oscdump()
{
    const QString program = QStandardPaths::findExecutable("oscdump");
    if (program.isEmpty())
        QSKIP("liblo's oscdump is not installed (apt-get install liblo-tools)");
    const quint16 port = freeUdpPort();
    QProcess dump;
    dump.start(program, {"-L", QString::number(port)});
    QVERIFY(dump.waitForStarted());
    QUdpSocket nudger;
    QByteArray printed;
    const auto nudge = [&] {
        nudger.writeDatagram(buildOscMessage("/tactora/nudge", ",", {}), QHostAddress::LocalHost,
                             port);
        printed += dump.readAllStandardOutput();
        return printed;
    };
    QTRY_VERIFY_WITH_TIMEOUT(nudge().contains("/tactora/nudge"), 10000);

    TuioSender sender;
    sender.start("127.0.0.1", port, 0, TuioFraming::Frames);
    sender.resendTimer()->stop();
    runFrameScript(sender, {"o5#3@0.25,0.75,1.5"});
    const QStringList expected{
        "/tuio/2Dobj ss \"source\" \"tactora@127.0.0.1\"", "/tuio/2Dobj si \"alive\" 5",
        "/tuio/2Dobj siiffffffff \"set\" 5 3 0.250000 0.750000 1.500000 0.000000 0.000000 "
        "0.000000 0.000000 0.000000",
        "/tuio/2Dobj si \"fseq\" 1"};
    QTRY_VERIFY_WITH_TIMEOUT(nudge().contains("\"fseq\""), 10000);
    dump.kill();
    dump.waitForFinished();

    QStringList frame;
    QSet<QString> times;
    for (const QString &line : QString::fromUtf8(printed).split('\n'))
        if (line.contains("/tuio/")) {
            times << line.section(' ', 0, 0);
            frame << line.section(' ', 1);
        }
    QCOMPARE(frame, expected);
    QCOMPARE(times.size(), 1); // one bundle
}

QTEST_MAIN(TestFramePeers)
#include "tst_framepeers.moc"
