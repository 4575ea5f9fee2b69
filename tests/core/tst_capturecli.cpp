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

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        writeFrames(dir.filePath("clean.pcap"), 3);
        writeFrames(dir.filePath("faulty.pcap"), 4);
        QFile clean(dir.filePath("clean.pcap")), notes(dir.filePath("notes.txt")),
            damaged(dir.filePath("damaged.pcap"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("not a capture\n") > 0);
        QVERIFY(clean.open(QIODevice::ReadOnly) && damaged.open(QIODevice::WriteOnly) &&
                damaged.write(clean.readAll().chopped(9)) > 0);
    }

    void exitCodes_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("said");
        // "@name" is a file in the test folder, "TO" a free loopback target, "PORT" a free port.
        const QString to = QStringLiteral("127.0.0.1:%1").arg(freeUdpPort());
        const QString port = QString::number(freeUdpPort());
        const auto row = [&](const char *name, QString arguments, int status, QString said = {}) {
            arguments.replace("TO", to).replace("PORT", port).replace('@', dir.path() + '/');
            QTest::newRow(name) << arguments.split(' ', Qt::SkipEmptyParts) << status
                                << said.replace('@', dir.path() + '/');
        };
        row("version", "--version", 0);
        row("no command", "", 2);
        row("unknown command", "frob", 2, "unknown command 'frob'");
        row("check clean", "check @clean.pcap", 0);
        row("check fired", "check @faulty.pcap", 1);
        row("check fired, json", "check --json @faulty.pcap", 1);
        row("check no capture", "check @notes.txt", 2, "@notes.txt: unknown file format");
        row("check missing", "check @missing.pcap", 2, "@missing.pcap: ");
        row("check damaged", "check @damaged.pcap", 2, "@damaged.pcap: packet 5: ");
        row("check live, quiet", "check --port PORT --duration 0.2", 0);
        row("check file and port", "check @clean.pcap --port PORT", 2, "either");
        row("replay", "replay @clean.pcap --to TO --fast", 0, "5 datagrams sent");
        row("replay damaged", "replay @damaged.pcap --to TO", 2, "packet 5: ");
        row("replay too fast", "replay @clean.pcap --to TO --speed 9", 2, "--speed");
        row("replay no port", "replay @clean.pcap --to 127.0.0.1", 2, "not HOST:PORT");
        row("record, no folder", "record --port PORT @no/such.pcap --duration 0.1", 2,
            "@no/such.pcap: ");
        row("record a while", "record --port PORT @quiet.pcap --duration 0.2", 0, "0 datagrams");
        row("listen, no port", "listen --port 70000", 2, "70000");
        row("listen a while", "listen -p PORT --duration 0.2", 0);
    }

    void exitCodes()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, said);
        QProcess process;
        process.start(cli, arguments);
        QVERIFY(process.waitForFinished(20000));
        const QString error = process.readAllStandardError();
        QTEST(process.exitCode(), "status");
        QVERIFY2(error.contains(said), qPrintable(error));
    }

    void recordInterruptedThenReplayedToListen()
    {
        const QString recorded = dir.filePath("recorded.pcap");
        const QString recordPort = QString::number(freeUdpPort());
        QProcess recorder;
        startListening(recorder, {"record", "--port", recordPort, recorded});
        QCOMPARE(QProcess::execute(cli, {"replay", dir.filePath("clean.pcap"), "--to",
                                         "127.0.0.1:" + recordPort}),
                 0);
        QTest::qWait(100);
        ::kill(pid_t(recorder.processId()), SIGINT);
        QVERIFY(recorder.waitForFinished(10000));
        QCOMPARE(recorder.exitCode(), 0);
        QVERIFY(recorder.readAllStandardError().contains("5 datagrams"));

        const QString listenPort = QString::number(freeUdpPort());
        QProcess listener;
        startListening(listener, {"listen", "--port", listenPort, "--json", "--count", "5"});
        QCOMPARE(QProcess::execute(
                     cli, {"replay", recorded, "--to", "127.0.0.1:" + listenPort, "--fast"}),
                 0);
        QVERIFY(listener.waitForFinished(10000));
        QCOMPARE(listener.exitCode(), 0);
        // The time and the sender's port differ from run to run.
        QString frames = listener.readAllStandardOutput(), expected;
        frames.remove(QRegularExpression("\"sender\":\"[^\"]*\",|,\"time\":[^}]*"));
        for (int fseq = 1; fseq <= 5; ++fseq)
            expected += QStringLiteral(R"({"alive":[3],"fseq":%1,"profile":"2Dcur","set":[[3,0.5,)"
                                       R"(0.25,0,0,0]],"source":"tactora@127.0.0.1"})"
                                       "\n")
                            .arg(fseq);
        QCOMPARE(frames, expected);
    }
};

QTEST_GUILESS_MAIN(TestCaptureCli)
#include "tst_capturecli.moc"
