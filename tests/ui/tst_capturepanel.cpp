#include "canvas/touchcanvas.h"
#include "capture/capturepanel.h"
#include "capture/capturereader.h"
#include "capture/capturewriter.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/resource.h>

namespace {

// "/tuio/2Dblb set 1 .25 0.": a whole number an int, another number a float.
QByteArray oscMessage(const QString &text)
{
    QStringList words = text.split(' ');
    const QString address = words.takeFirst();
    QString tags(",s");
    QByteArray arguments;
    appendOscString(arguments, words.takeFirst());
    for (const QString &word : std::as_const(words)) {
        bool whole = false;
        const int number = word.toInt(&whole);
        tags += whole ? 'i' : 'f';
        whole ? appendInt32(arguments, number) : appendFloat32(arguments, word.toFloat());
    }
    return buildOscMessage(address, tags, arguments);
}

} // namespace

// The window's newer parts: the capture panel (recorder, replay on the road of received traffic,
// controls per state, language) and the tree groups of the other TUIO 1.1 profiles.
class TestCapturePanel : public QObject
{
    Q_OBJECT

    TuioWidget *window = nullptr;
    QTemporaryDir dir;
    QString chosen;
    QString suggested;

    template <typename T> T *named(const char *name) const { return window->findChild<T *>(name); }
    void click(const char *name) { named<QPushButton>(name)->click(); }
    void listen() { named<QGroupBox>("serverGroup")->findChild<QPushButton *>()->click(); }
    QStringList logLines(int direction) const
    {
        QStringList lines;
        for (const LogEntry &entry : window->communication()->entries())
            if (entry.direction == direction)
                lines << entry.text;
        return lines;
    }
    // Cursor 1 at x = 0.1, 0.2, ..., one datagram every `stepMs`.
    QString writeCapture(int count, int stepMs)
    {
        const QString path = dir.filePath(QStringLiteral("c%1-%2.pcap").arg(count).arg(stepMs));
        CaptureWriter writer;
        for (int i = 0; i < count && (i > 0 || writer.open(path)); ++i)
            writer.write(buildCursorSet(1, 0.1f * float(i + 1), 0.5f), QHostAddress::LocalHost,
                         40000, QHostAddress::LocalHost, 3333,
                         1'000'000'000 + i * stepMs * 1'000'000LL);
        writer.close();
        return path;
    }

private slots:
    void init()
    {
        window = new TuioWidget;
        named<QSpinBox>("listenPortSpin")->setValue(freeUdpPort());
        named<CapturePanel>("capturePanel")->setFileChooser([this](bool, const QString &offered) {
            suggested = offered;
            return chosen;
        });
    }
    void cleanup()
    {
        delete window;
        UiLanguage::instance().setEnglish(false);
    }

    // Rows: the file; a file size limit set once it is open; the log line the recording ends with.
    void recordWhileListening_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("sizeLimit");
        QTest::addColumn<QString>("ending");
        QTest::newRow("file") << "rec.pcap" << 0 << "录制结束: %1 (3 个数据报)";
        QTest::newRow("cannot create") << "/dev/full" << 0 << "无法录制: %1: ";
        QTest::newRow("write fails") << "limit.pcap" << 4096 << "录制失败: %1: ";
    }
    void recordWhileListening()
    {
        QFETCH(QString, path);
        QFETCH(int, sizeLimit);
        QFETCH(QString, ending);
        chosen = path.startsWith('/') ? path : dir.filePath(path);
        listen();
        click("recordButton");
        const QString documents =
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        QVERIFY(QRegularExpression('^' + QRegularExpression::escape(documents) +
                                   R"(/tactora-\d{8}-\d{6}\.pcap$)")
                    .match(suggested)
                    .hasMatch());
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto restore = qScopeGuard([&saved] { setrlimit(RLIMIT_FSIZE, &saved); });
        if (sizeLimit > 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{rlim_t(sizeLimit), saved.rlim_max};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        QUdpSocket tracker;
        const quint16 port = quint16(named<QSpinBox>("listenPortSpin")->value());
        for (char i = 0; i < 3; ++i)
            tracker.writeDatagram(QByteArray(1500, 'a' + i), QHostAddress::LocalHost, port);
        QTRY_COMPARE(logLines(LogEntry::Rx).size(), 3);
        if (sizeLimit == 0)
            click("recordButton");
        QTRY_VERIFY(logLines(LogEntry::System).last().startsWith(ending.arg(chosen)));
        QVERIFY(named<QLabel>("recordStatus")->text().contains(QFileInfo(chosen).fileName()));
        QCOMPARE(named<QPushButton>("recordButton")->text(), "● 录制");
        if (sizeLimit > 0 || path.startsWith('/'))
            return;
        CaptureReader reader;
        QVERIFY2(reader.open(chosen), qPrintable(reader.errorString()));
        CapturePacket packet;
        for (char i = 0; i < 3; ++i) {
            QVERIFY(reader.next(packet));
            QCOMPARE(packet.payload, QByteArray(1500, 'a' + i));
            QCOMPARE(packet.destinationPort, port);
        }
        QVERIFY(!reader.next(packet) && !reader.hasError());
    }

    // Rows: bytes cut off the file's end; the datagrams played; the status' start.
    void replayTakesTheReceivedRoad_data()
    {
        QTest::addColumn<int>("cut");
        QTest::addColumn<int>("played");
        QTest::addColumn<QString>("status");
        QTest::newRow("whole") << 0 << 4 << "回放结束: c4-20.pcap (4 ";
        QTest::newRow("last record cut short") << 5 << 3 << "读取中断: %1: packet 4: ";
    }
    void replayTakesTheReceivedRoad()
    {
        QFETCH(int, cut);
        QFETCH(int, played);
        QFETCH(QString, status);
        chosen = writeCapture(4, 20);
        QFile file(chosen);
        QVERIFY(file.resize(file.size() - cut));
        click("replayButton");
        const QString end = QStringLiteral("回放结束: %1 (%2 个数据报)").arg(chosen).arg(played);
        QTRY_COMPARE(logLines(LogEntry::System).last(), end);
        QVERIFY(logLines(LogEntry::System).contains("回放开始: " + chosen));
        QCOMPARE(logLines(LogEntry::Rx).size(), played);
        QVERIFY(named<QLabel>("replayStatus")->text().startsWith(status.replace("%1", chosen)));
        QTreeWidgetItem *cursors = named<QTreeWidget>("objectTree")->topLevelItem(1);
        QTRY_COMPARE(cursors->childCount() == 1 ? cursors->child(0)->text(1) : QString(),
                     QStringLiteral("%1,0.500").arg(0.1 * played, 0, 'f', 3));
    }

    // Rows: steps, then whether listen, record, replay, pause, stop are enabled.
    void controlsFollowTheState_data()
    {
        QTest::addColumn<QStringList>("stepsEnabled");
        QTest::newRow("idle") << QStringList{"", "10100"};
        QTest::newRow("listening") << QStringList{"listen", "11000"};
        QTest::newRow("replaying") << QStringList{"replayButton", "00011"};
        QTest::newRow("paused") << QStringList{"replayButton replayPauseButton", "00011"};
        QTest::newRow("stopped") << QStringList{"replayButton replayStopButton", "10100"};
        QTest::newRow("client mode ends the replay") << QStringList{"replayButton client", "10100"};
    }
    void controlsFollowTheState()
    {
        QFETCH(QStringList, stepsEnabled);
        chosen = writeCapture(2, 10'000);
        for (const QString &step : stepsEnabled[0].split(' ', Qt::SkipEmptyParts)) {
            if (step == "listen")
                listen();
            else if (step == "client")
                window->findChildren<QRadioButton *>().at(1)->click();
            else
                click(qPrintable(step));
        }
        QString actual =
            named<QGroupBox>("serverGroup")->findChild<QPushButton *>()->isEnabled() ? "1" : "0";
        for (const char *name :
             {"recordButton", "replayButton", "replayPauseButton", "replayStopButton"})
            actual += named<QPushButton>(name)->isEnabled() ? '1' : '0';
        QCOMPARE(actual, stepsEnabled[1]);
    }

    void sendsToTheTarget()
    {
        QUdpSocket app;
        QVERIFY(app.bind(QHostAddress::LocalHost, 0));
        named<QSpinBox>("targetPortSpin")->setValue(app.localPort());
        window->findChildren<QRadioButton *>().at(1)->click();
        chosen = writeCapture(3, 10);
        click("sendButton");
        QTRY_VERIFY(logLines(LogEntry::System).last().startsWith("发送结束: " + chosen));
        for (int i = 0; i < 3; ++i)
            QCOMPARE(app.receiveDatagram().data(), buildCursorSet(1, 0.1f * float(i + 1), 0.5f));
    }

    void languageCoversTheNewTexts()
    {
        chosen = dir.filePath("lang.pcap");
        listen();
        click("recordButton");
        auto texts = [this] {
            return QStringList{named<QGroupBox>("capturePanel")->title(),
                               named<QPushButton>("recordButton")->text(),
                               named<QLabel>("recordStatus")->text(),
                               named<QComboBox>("replaySpeedCombo")->itemText(6)};
        };
        const QStringList chinese{"抓包文件", "■ 停止录制 (0)", "录制中: 0 个数据报, 0 B", "最快"};
        QCOMPARE(texts(), chinese);
        UiLanguage::instance().setEnglish(true);
        QCOMPARE(texts(), (QStringList{"Capture Files", "■ Stop Recording (0)",
                                       "Recording: 0 datagrams, 0 B", "Fastest"}));
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(texts(), chinese);
    }
    // Rows: messages, each followed by a tree refresh; the tree's rows as "id|position|angle"
    // after the Objects and Cursors groups, "/" between rows; the canvas's counts line.
    void profileGroups_data()
    {
        QTest::addColumn<bool>("english");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("tree");
        QTest::addColumn<QString>("counts");
        const QString blob = "/tuio/2Dblb set 1 .25 .5 1.5707964 .2 .1 .02 0. 0. 0. 0. 0.";
        QTest::newRow("in the protocol's order")
            << false
            << QStringList{"/tuio/3Dobj set 4 7 .1 .2 .3 3.1415927 0. 1. 0. 0. 0. 0. 0. 0. 0. 0.",
                           blob, "/tuio/25Dcur set 9 .5 .5 .75 0. 0. 0. 0."}
            << "斑块 (2Dblb)||/s1|0.250,0.500|1.57 (90.0°)  0.200×0.100  面积 0.0200/"
               "2.5D 光标 (25Dcur)||/s9|0.500,0.500,0.750|/3D 物体 (3Dobj)||/"
               "s4 c7|0.100,0.200,0.300|3.14,0.00,1.00 (180.0°,0.0°,57.3°)"
            << "2Dblb:1 25Dcur:1 3Dobj:1";
        QTest::newRow("an emptied group goes")
            << false
            << QStringList{blob, "/tuio/3Dcur set 3 .5 .5 .5 0. 0. 0. 0.", "/tuio/2Dblb alive",
                           "/tuio/25Dblb set 2 .5 .5 .5 0. .1 .2 .02 0. 0. 0. 0. 0. 0.",
                           "/tuio/3Dblb set 6 .5 .5 .5 0. 0. 0. .1 .2 .3 .006 0. 0. 0. 0. 0. 0. "
                           "0. 0."}
            << "2.5D 斑块 (25Dblb)||/s2|0.500,0.500,0.500|0.00 (0.0°)  0.100×0.200  面积 0.0200/"
               "3D 光标 (3Dcur)||/s3|0.500,0.500,0.500|/3D 斑块 (3Dblb)||/"
               "s6|0.500,0.500,0.500|0.00,0.00,0.00 (0.0°,0.0°,0.0°)  0.100×0.200×0.300  体积 "
               "0.0060"
            << "25Dblb:1 3Dcur:1 3Dblb:1";
        QTest::newRow("English") << true << QStringList{blob}
                                 << "Blobs (2Dblb)||/s1|0.250,0.500|1.57 (90.0°)  0.200×0.100  "
                                    "area 0.0200"
                                 << "2Dblb:1";
    }

    void profileGroups()
    {
        QFETCH(bool, english);
        QFETCH(QStringList, messages);
        QFETCH(QString, tree);
        QFETCH(QString, counts);
        UiLanguage::instance().setEnglish(english);
        auto *view = named<QTreeWidget>("objectTree");
        for (const QString &text : std::as_const(messages)) {
            window->sessions()->processDatagram(oscMessage(text));
            QVERIFY(QMetaObject::invokeMethod(window, "refreshObjectTree"));
        }
        QStringList rows;
        for (QTreeWidgetItemIterator it(view); *it; ++it)
            rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join('|');
        QCOMPARE(rows.join('/'), "Objects|Pos|Angle/Cursors|Pos|/" + tree);
        for (int group = 2; group < view->topLevelItemCount(); ++group)
            QVERIFY(view->topLevelItem(group)->isExpanded());
        QCOMPARE(window->touchCanvas()->profileStatusText(), counts);
    }
};

QTEST_MAIN(TestCapturePanel)
#include "tst_capturepanel.moc"
