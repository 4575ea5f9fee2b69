#include "capture/capturewriter.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"

#include <QtTest>

#include <csignal>

namespace {

const QString cli = QStringLiteral(TACTORA_CLI_PATH);

// Frames 1..5 of one cursor, 20 ms apart; `alive` is the id the alive lists.
void writeFrames(const QString &path, int alive)
{
    CaptureWriter writer;
    QVERIFY(writer.open(path));
    for (int frame = 1; frame <= 5; ++frame)
        writer.write(
            tuioDatagram(
                QStringLiteral("cur alive %1, set 3 0.5 0.25, fseq %2").arg(alive).arg(frame)),
            QHostAddress::LocalHost, 5000, QHostAddress::LocalHost, 3333, frame * 20'000'000LL);
    QVERIFY(writer.close());
}

// Started, and past the line that says it listens.
void startListening(QProcess &process, const QStringList &arguments)
{
    process.setReadChannel(QProcess::StandardError);
    process.start(cli, arguments);
    QByteArray said;
    while (!said.contains("Ctrl+C") && process.waitForReadyRead(10000))
        said += process.readAllStandardError();
    QVERIFY2(said.contains("Ctrl+C"), said.constData());
}

} // namespace

class TestCaptureCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void exitCodes_data();
    void exitCodes();
    void recordInterruptedThenReplayedToListen();

private:
    QTemporaryDir dir;
};

void TestCaptureCli::initTestCase()
{
    writeFrames(dir.filePath("clean.pcap"), 3);
    writeFrames(dir.filePath("faulty.pcap"), 4);
    QFile notes(dir.filePath("notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a capture\n") > 0);
    QFile clean(dir.filePath("clean.pcap"));
    QVERIFY(clean.open(QIODevice::ReadOnly));
    QFile damaged(dir.filePath("damaged.pcap"));
    QVERIFY(damaged.open(QIODevice::WriteOnly) && damaged.write(clean.readAll().chopped(9)) > 0);
}

void TestCaptureCli::exitCodes_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("said");
    const QString to = QStringLiteral("127.0.0.1:%1").arg(freeUdpPort());
    const QString port = QString::number(freeUdpPort());
    const auto file = [this](const char *name) { return dir.filePath(name); };
    QTest::newRow("version") << QStringList{"--version"} << 0 << "";
    QTest::newRow("no command") << QStringList{} << 2 << "";
    QTest::newRow("unknown command") << QStringList{"frob"} << 2 << "unknown command 'frob'";
    QTest::newRow("check clean") << QStringList{"check", file("clean.pcap")} << 0 << "";
    QTest::newRow("check fired") << QStringList{"check", file("faulty.pcap")} << 1 << "";
    QTest::newRow("check fired, json")
        << QStringList{"check", "--json", file("faulty.pcap")} << 1 << "";
    QTest::newRow("check no capture") << QStringList{"check", file("notes.txt")} << 2
                                      << file("notes.txt") + ": unknown file format";
    QTest::newRow("check missing")
        << QStringList{"check", file("missing.pcap")} << 2 << file("missing.pcap") + ": ";
    QTest::newRow("check damaged")
        << QStringList{"check", file("damaged.pcap")} << 2 << file("damaged.pcap") + ": packet 5: ";
    QTest::newRow("check live, quiet")
        << QStringList{"check", "--port", port, "--duration", "0.2"} << 0 << "";
    QTest::newRow("check file and port")
        << QStringList{"check", file("clean.pcap"), "--port", port} << 2 << "either";
    QTest::newRow("replay") << QStringList{"replay", file("clean.pcap"), "--to", to, "--fast"} << 0
                            << "5 datagrams sent";
    QTest::newRow("replay damaged")
        << QStringList{"replay", file("damaged.pcap"), "--to", to} << 2 << "packet 5: ";
    QTest::newRow("replay too fast")
        << QStringList{"replay", file("clean.pcap"), "--to", to, "--speed", "9"} << 2 << "--speed";
    QTest::newRow("replay no port")
        << QStringList{"replay", file("clean.pcap"), "--to", "127.0.0.1"} << 2 << "not HOST:PORT";
    QTest::newRow("record, no folder")
        << QStringList{"record", "--port", port, file("no/such.pcap"), "--duration", "0.1"} << 2
        << file("no/such.pcap") + ": ";
    QTest::newRow("record a while")
        << QStringList{"record", "--port", port, file("quiet.pcap"), "--duration", "0.2"} << 0
        << "0 datagrams";
    QTest::newRow("listen, no port") << QStringList{"listen", "--port", "70000"} << 2 << "70000";
    QTest::newRow("listen a while")
        << QStringList{"listen", "-p", port, "--duration", "0.2"} << 0 << "";
}

void TestCaptureCli::exitCodes()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, said);
    QProcess process;
    process.start(cli, arguments);
    QVERIFY(process.waitForFinished(20000));
    const QString error = process.readAllStandardError();
    QCOMPARE(process.exitCode(), status);
    QVERIFY2(error.contains(said), qPrintable(error));
}

void TestCaptureCli::recordInterruptedThenReplayedToListen()
{
    const QString recorded = dir.filePath("recorded.pcap");
    const QString recordPort = QString::number(freeUdpPort());
    QProcess recorder;
    startListening(recorder, {"record", "--port", recordPort, recorded});
    QCOMPARE(QProcess::execute(
                 cli, {"replay", dir.filePath("clean.pcap"), "--to", "127.0.0.1:" + recordPort}),
             0);
    QTest::qWait(100);
    ::kill(pid_t(recorder.processId()), SIGINT);
    QVERIFY(recorder.waitForFinished(10000));
    QCOMPARE(recorder.exitCode(), 0);
    QVERIFY(recorder.readAllStandardError().contains("5 datagrams"));

    const QString listenPort = QString::number(freeUdpPort());
    QProcess listener;
    startListening(listener, {"listen", "--port", listenPort, "--json", "--count", "5"});
    QCOMPARE(
        QProcess::execute(cli, {"replay", recorded, "--to", "127.0.0.1:" + listenPort, "--fast"}),
        0);
    QVERIFY(listener.waitForFinished(10000));
    QCOMPARE(listener.exitCode(), 0);
    QStringList frames;
    for (const QByteArray &line : listener.readAllStandardOutput().split('\n')) {
        QJsonObject frame = QJsonDocument::fromJson(line).object();
        frame.remove("time");
        frame.remove("sender");
        if (!line.isEmpty())
            frames << QJsonDocument(frame).toJson(QJsonDocument::Compact);
    }
    QStringList expected;
    for (int fseq = 1; fseq <= 5; ++fseq)
        expected << QStringLiteral(
                        "{\"alive\":[3],\"fseq\":%1,\"profile\":\"2Dcur\",\"set\":[[3,0.5,"
                        "0.25,0,0,0]],\"source\":\"tactora@127.0.0.1\"}")
                        .arg(fseq);
    QCOMPARE(frames, expected);
}

QTEST_GUILESS_MAIN(TestCaptureCli)
#include "tst_capturecli.moc"
