#include "capture/capturereader.h"
#include "capture/capturerecorder.h"
#include "capture/capturereplayer.h"
#include "capture/capturewriter.h"
#include "capture/datagramsender.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"
#include "tuio/tuioreceiver.h"

#include <QtNetwork>
#include <QtTest>

#include <csignal>
#include <pcap/pcap.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// A packet built apart from the writer: UDP from 10.0.0.1:5000 (fd00::1) to 10.0.0.2 (fd00::2).
// A fragment is the first of several; its UDP header is all there.
QByteArray ipPacket(bool v6, const QByteArray &payload, quint16 port = 3333, char protocol = 17,
                    bool fragment = false)
{
    QByteArray udp = QByteArray::fromHex("1388000000000000") + payload, ip;
    qToBigEndian<quint16>(port, udp.data() + 2);
    qToBigEndian<quint16>(quint16(udp.size()), udp.data() + 4);
    if (v6) {
        const QByteArray body = fragment ? QByteArray("\x11\0\0\1\0\0\0\0", 8) + udp : udp;
        const QByteArray fd00 = QByteArray::fromHex("fd") + QByteArray(14, 0);
        ip = QByteArray::fromHex("6000000000000000") + fd00 + '\1' + fd00 + '\2';
        qToBigEndian<quint16>(quint16(body.size()), ip.data() + 4);
        ip[6] = fragment ? char(44) : protocol;
        return ip + body;
    }
    ip = QByteArray::fromHex("4500000000000000000000000a0000010a000002");
    qToBigEndian<quint16>(quint16(20 + udp.size()), ip.data() + 2);
    ip[6] = fragment ? 0x20 : 0;
    ip[9] = protocol;
    return ip + udp;
}

// Records at i s + 250 µs; `cut` bytes of the last one stay out of the file as with a short
// snapshot length.
void writeRecords(const QString &path, int linkType, const QList<QByteArray> &packets, int cut = 0)
{
    pcap_t *dead = pcap_open_dead(linkType, 65535);
    pcap_dumper_t *dumper = pcap_dump_open(dead, qPrintable(path));
    for (qsizetype i = 0; i < packets.size(); ++i) {
        pcap_pkthdr header{};
        header.ts = {time_t(i), 250};
        header.len = bpf_u_int32(packets[i].size());
        header.caplen = header.len - (i == packets.size() - 1 ? cut : 0);
        pcap_dump(reinterpret_cast<u_char *>(dumper), &header,
                  reinterpret_cast<const u_char *>(packets[i].constData()));
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

// Each datagram of a loaded replayer, as fast as it goes.
QList<QByteArray> replayAll(CaptureReplayer &replayer)
{
    QList<QByteArray> seen;
    QObject::connect(
        &replayer, &CaptureReplayer::datagram, &replayer,
        [&seen](const QByteArray &bytes) { seen << QByteArray(bytes.data(), bytes.size()); });
    QSignalSpy finished(&replayer, &CaptureReplayer::finished);
    replayer.setFast(true);
    replayer.play();
    finished.wait(10000);
    return seen;
}

} // namespace

class TestCapture : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void readsLinkTypes_data()
    {
        QTest::addColumn<int>("linkType");
        QTest::addColumn<QByteArray>("link4");
        QTest::addColumn<QByteArray>("link6");
        const QByteArray mac(12, 0), v4("\x08\0", 2), v6("\x86\xdd", 2), vlan("\x81\0\0\5", 4),
            sll(14, 0), sll2(18, 0), null4("\2\0\0\0", 4), null6("\x1e\0\0\0", 4),
            loop4("\0\0\0\2", 4), loop6("\0\0\0\x18", 4);
        QTest::newRow("ethernet") << DLT_EN10MB << mac + v4 << mac + v6;
        QTest::newRow("ethernet, 802.1Q") << DLT_EN10MB << mac + vlan + v4 << mac + vlan + v6;
        QTest::newRow("linux cooked") << DLT_LINUX_SLL << sll + v4 << sll + v6;
        QTest::newRow("linux cooked v2") << 276 << v4 + sll2 << v6 + sll2;
        QTest::newRow("null, little-endian, macOS") << DLT_NULL << null4 << null6;
        QTest::newRow("loop, big-endian, NetBSD") << DLT_LOOP << loop4 << loop6;
        QTest::newRow("raw ip") << DLT_RAW << QByteArray() << QByteArray();
    }

    void readsLinkTypes()
    {
        QFETCH(int, linkType);
        QFETCH(QByteArray, link4);
        QFETCH(QByteArray, link6);
        const QString path = dir.filePath("links.pcap");
        writeRecords(path, linkType,
                     {link4 + ipPacket(false, "four"), link6 + ipPacket(true, "six"),
                      link4 + ipPacket(false, "tcp", 3333, 6),
                      link6 + ipPacket(true, "frag", 3333, 17, true),
                      link4 + ipPacket(false, "frag", 3333, 17, true),
                      link4 + ipPacket(false, "other", 4444), link4 + ipPacket(false, "cut short")},
                     4);
        CaptureReader reader;
        reader.setPortFilter(3333);
        QVERIFY2(reader.open(path), qPrintable(reader.errorString()));
        QStringList seen;
        CapturePacket packet;
        while (reader.next(packet))
            seen << QString::asprintf("%s %s:%u>%u #%lld %lldns", packet.payload.constData(),
                                      qPrintable(packet.sender.toString()), packet.senderPort,
                                      packet.destinationPort, packet.number, packet.timestampNs);
        QVERIFY2(!reader.hasError(), qPrintable(reader.errorString()));
        QCOMPARE(seen, QStringList({"four 10.0.0.1:5000>3333 #1 250000ns",
                                    "six fd00::1:5000>3333 #2 1000250000ns"}));
        const CaptureSkips &skips = reader.skips();
        QCOMPARE(QList<qint64>(
                     {skips.otherTraffic, skips.fragmented, skips.truncated, skips.filteredOut}),
                 QList<qint64>({1, 2, 1, 1}));
    }

    void badFiles_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("readBefore");
        // Records of 47, 47 and 49 bytes after the 24-byte file header.
        const QString good = dir.filePath("good.pcap");
        CaptureWriter writer;
        QVERIFY(writer.open(good));
        for (const char *text : {"one", "two", "three"})
            writer.write(text, QHostAddress::LocalHost, 5000, QHostAddress::LocalHost, 3333, 0);
        QVERIFY(writer.close());
        const QByteArray bytes = fileBytes(good);
        QCOMPARE(bytes.size(), 24 + 47 + 47 + 49);
        QByteArray corrupt = bytes;
        qToLittleEndian<quint32>(0x7fffffff, corrupt.data() + 71 + 8);
        const QString wifi = dir.filePath("wifi.pcap");
        writeRecords(wifi, DLT_IEEE802_11, {});

        QTest::newRow("empty") << QByteArray() << "" << 0;
        QTest::newRow("no capture")
            << QByteArray("GET / HTTP/1.1\r\n\r\nnot a capture file") << "unknown file format" << 0;
        QTest::newRow("file header cut") << bytes.left(12) << "truncated" << 0;
        QTest::newRow("record header cut") << bytes.left(71 + 8) << "packet 2: truncated" << 1;
        QTest::newRow("record data cut") << bytes.chopped(3) << "packet 3: truncated" << 2;
        QTest::newRow("record length corrupt") << corrupt << "packet 2: invalid" << 1;
        QTest::newRow("link type not read") << fileBytes(wifi) << "link type IEEE802_11" << 0;
    }

    void badFiles()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, error);
        const QString path = dir.filePath("bad.pcap");
        writeBytes(path, bytes);
        CaptureReplayer replayer;
        QVERIFY(!replayer.load(path));
        QVERIFY2(replayer.errorString().startsWith(path + ": ") &&
                     replayer.errorString().contains(error),
                 qPrintable(replayer.errorString()));
        QTEST(int(replayer.datagramCount()), "readBefore");
        QTEST(int(replayAll(replayer).size()), "readBefore");
    }

    void roundTrip_data()
    {
        QTest::addColumn<double>("speed");
        QTest::addColumn<bool>("fast");
        QTest::newRow("1x") << 1.0 << false;
        QTest::newRow("4x") << 4.0 << false;
        QTest::newRow("as fast as possible") << 1.0 << true;
    }

    void roundTrip()
    {
        QFETCH(double, speed);
        QFETCH(bool, fast);
        const QString path = dir.filePath("round.pcap");
        TuioReceiver receiver;
        CaptureRecorder recorder;
        const quint16 port = freeUdpPort();
        QVERIFY(receiver.listen(port) && recorder.start(path, port));
        connect(&receiver, &TuioReceiver::datagramReceived, &recorder, &CaptureRecorder::record);
        QSignalSpy arrived(&receiver, &TuioReceiver::datagramReceived);
        QUdpSocket peer;
        QList<QByteArray> sent;
        for (int i = 0; i < 24; ++i) {
            sent << QByteArray(1 + i * 397 % 9000, char('a' + i));
            peer.writeDatagram(sent.last(), QHostAddress::LocalHost, port);
            QTest::qWait(i * 7 % 23);
        }
        QTRY_COMPARE(arrived.size(), sent.size());
        QVERIFY(recorder.stop());
        QCOMPARE(recorder.datagramCount(), sent.size());

        CaptureReplayer replayer;
        QVERIFY2(replayer.load(path), qPrintable(replayer.errorString()));
        QUdpSocket target;
        DatagramSender sender;
        QVERIFY(target.bind(QHostAddress::LocalHost, 0) &&
                sender.start(QHostAddress::LocalHost, target.localPort()));
        connect(&replayer, &CaptureReplayer::datagram, &sender, &DatagramSender::send);
        QSignalSpy replayed(&replayer, &CaptureReplayer::datagram);
        QList<QByteArray> received;
        connect(&target, &QUdpSocket::readyRead, this, [&] {
            while (target.hasPendingDatagrams())
                received << target.receiveDatagram().data();
        });
        replayer.setSpeed(speed);
        replayer.setFast(fast);
        QSignalSpy finished(&replayer, &CaptureReplayer::finished);
        const auto since = [](const QSignalSpy &spy, int i) {
            return spy.at(i).at(3).toLongLong() - spy.at(0).at(3).toLongLong();
        };
        // The best of up to three replays: a machine shared with other work may hold the process
        // back for milliseconds now and then, which no replay can help.
        QString late;
        for (int attempt = 0; attempt < 3 && (attempt == 0 || !late.isEmpty()); ++attempt) {
            replayed.clear();
            received.clear();
            late.clear();
            replayer.play();
            // A real event loop: QTRY_ polling sleeps between turns, which would delay the timers.
            QVERIFY(finished.wait(10000));
            QTRY_COMPARE(received.size(), sent.size());
            QCOMPARE(received, sent);
            QCOMPARE(replayed.at(5).at(1).value<QHostAddress>(),
                     QHostAddress(QHostAddress::LocalHost));
            QCOMPARE(replayed.at(5).at(2).value<quint16>(), peer.localPort());
            for (int i = 1; i < sent.size() && !fast && late.isEmpty(); ++i)
                if (qAbs(since(replayed, i) - qint64(double(since(arrived, i)) / speed)) >=
                    5'000'000)
                    late = QString::asprintf("datagram %d: %lld ns after the first, recorded %lld",
                                             i, since(replayed, i), since(arrived, i));
        }
        QVERIFY2(late.isEmpty(), qPrintable(late));
    }

    void replayPausesAndLoops()
    {
        const QString path = dir.filePath("loop.pcap");
        writeRecords(path, DLT_RAW,
                     {ipPacket(false, "a"), ipPacket(false, "b"), ipPacket(false, "c")});
        CaptureReplayer replayer;
        QVERIFY(replayer.load(path));
        QCOMPARE(replayer.durationNs(), 2'000'000'000);
        QSignalSpy finished(&replayer, &CaptureReplayer::finished);
        replayer.setLoop(true);
        replayer.setFast(true);
        replayer.play();
        QTRY_VERIFY(replayer.playedCount() > 30);
        replayer.pause();
        const qint64 paused = replayer.playedCount();
        QTest::qWait(50);
        QCOMPARE(replayer.playedCount(), paused);
        QCOMPARE(replayer.state(), CaptureReplayer::State::Paused);
        replayer.play();
        QTRY_VERIFY(replayer.playedCount() > paused + 30);
        replayer.stop();
        QCOMPARE(replayer.positionNs(), 0);
        QVERIFY(finished.isEmpty());
        replayer.setLoop(false);
        replayer.setFast(false);
        replayer.setSpeed(8);
        replayer.play();
        QVERIFY(finished.wait(2000));
        QCOMPARE(replayer.playedCount(), 3);
        QCOMPARE(replayer.state(), CaptureReplayer::State::Stopped);
    }

    void recordingFailureStops()
    {
        // A file size limit makes the writes fail as a full disk would.
        const QString path = dir.filePath("limited.pcap");
        CaptureRecorder recorder;
        QSignalSpy failed(&recorder, &CaptureRecorder::failed);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{4096, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limited);
        QVERIFY(recorder.start(path, 3333));
        for (int i = 0; i < 200 && recorder.isRecording(); ++i)
            recorder.record(QByteArray(100, 'x'), QHostAddress::LocalHost, 5000, i);
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), path);
        QCOMPARE(failed.at(0).at(1).toString(), QString::fromLocal8Bit(strerror(EFBIG)));
        QVERIFY(!recorder.isRecording());
        CaptureReplayer replayer;
        replayer.load(path);
        QVERIFY(replayer.datagramCount() > 10 && replayer.datagramCount() < 40);
    }

    void tsharkReadsOurFiles()
    {
        const QString tshark = QStandardPaths::findExecutable("tshark");
        if (tshark.isEmpty())
            QSKIP("tshark is not installed (scripts/setup test installs it)");
        const QString path = dir.filePath("ours.pcap");
        CaptureWriter writer;
        QVERIFY(writer.open(path));
        writer.write(tuioDatagram("cur alive 3, set 3 0.5 0.25, fseq 1"), QHostAddress::LocalHost,
                     5000, QHostAddress::LocalHost, 3333, 1);
        writer.write(tuioDatagram("obj set 2 7 0.5 0.5 1"), QHostAddress::LocalHostIPv6, 5001,
                     QHostAddress::AnyIPv4, 3333, 2);
        QVERIFY(writer.close());
        QProcess process;
        process.start(tshark,
                      {"-r", path, "--enable-heuristic", "osc_udp", "-o", "udp.check_checksum:TRUE",
                       "-o", "ip.check_checksum:TRUE", "-T", "fields", "-e",
                       "osc.message.header.path", "-e", "udp.checksum.status", "-e",
                       "ip.checksum.status", "-e", "ipv6.dst"});
        QVERIFY(process.waitForFinished(60000));
        // Checksum status 1 is "good".
        QCOMPARE(QString(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts),
                 QStringList({"/tuio/2Dcur,/tuio/2Dcur,/tuio/2Dcur,/tuio/2Dcur\t1\t1\t",
                              "/tuio/2Dobj\t1\t\t::"}));
    }

    // The "any" interface: Linux cooked v2 in pcapng, from an independent capture tool.
    void replaysDumpcapCapture()
    {
        const QString dumpcap = QStandardPaths::findExecutable("dumpcap");
        const QString oscsend = QStandardPaths::findExecutable("oscsend");
        if (geteuid() != 0 || dumpcap.isEmpty() || oscsend.isEmpty())
            QSKIP("needs root, dumpcap and liblo's oscsend");
        const QString path = dir.filePath("any.pcapng");
        const quint16 port = freeUdpPort();
        QProcess capture;
        capture.start(dumpcap, {"-i", "any", "-f", QStringLiteral("udp port %1").arg(port), "-c",
                                "3", "-w", path});
        capture.setReadChannel(QProcess::StandardError);
        QByteArray said;
        while (!said.contains("Capturing on") && capture.waitForReadyRead(10000))
            said += capture.readAllStandardError();
        QVERIFY2(said.contains("Capturing on"), said.constData());
        // It says so a moment before its filter is in place.
        QTest::qWait(500);
        // liblo's encoder, not ours, so the capture holds another sender's bytes.
        for (const char *message : {"/tuio/2Dcur sifffff set 3 0.5 0.25 0 0 0",
                                    "/tuio/2Dcur si alive 3", "/tuio/2Dcur si fseq 9"})
            QCOMPARE(QProcess::execute(oscsend, QStringList{"127.0.0.1", QString::number(port)} +
                                                    QString(message).split(' ')),
                     0);
        QVERIFY(capture.waitForFinished(10000));
        CaptureReplayer replayer;
        QVERIFY2(replayer.load(path, port), qPrintable(replayer.errorString()));
        QList<QByteArray> sent;
        for (const char *description : {"cur set 3 0.5 0.25", "cur alive 3", "cur fseq 9"})
            sent << tuioDatagram(description);
        QCOMPARE(replayAll(replayer), sent);
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
