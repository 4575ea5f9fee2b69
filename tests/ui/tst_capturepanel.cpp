#include "capture/capturepanel.h"
#include "capture/capturereader.h"
#include "capture/capturewriter.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "tuio/tuiomessages.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

#include <csignal>
#include <sys/resource.h>

// The window's side of captures: the recorder on the receiver, a replay on the road of received
// traffic, the controls each state allows, and the language of the new texts.
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
        QVERIFY(QRegularExpression(R"(^tactora-\d{8}-\d{6}\.pcap$)")
                    .match(QFileInfo(suggested).fileName())
                    .hasMatch());
        QCOMPARE(QFileInfo(suggested).absolutePath(),
                 QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
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

    // Rows: steps; then whether listen, record, replay, pause, stop are enabled.
    void controlsFollowTheState_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("enabled");
        QTest::newRow("idle") << QStringList{} << "10100";
        QTest::newRow("listening") << QStringList{"listen"} << "11000";
        QTest::newRow("replaying") << QStringList{"replayButton"} << "00011";
        QTest::newRow("paused") << QStringList{"replayButton", "replayPauseButton"} << "00011";
        QTest::newRow("stopped") << QStringList{"replayButton", "replayStopButton"} << "10100";
        QTest::newRow("client mode ends the replay")
            << QStringList{"replayButton", "client"} << "10100";
    }
    void controlsFollowTheState()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, enabled);
        chosen = writeCapture(2, 10'000);
        for (const QString &step : steps) {
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
        QCOMPARE(actual, enabled);
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

    // Rows: object name, property or a combo box's item index, Chinese, English.
    void languageCoversTheNewTexts_data()
    {
        QTest::addColumn<QStringList>("row");
        for (const char *row :
             {"capturePanel|title|抓包文件|Capture Files",
              "recordButton|text|■ 停止录制 (0)|■ Stop Recording (0)",
              "recordStatus|text|录制中: 0 个数据报, 0 B|Recording: 0 datagrams, 0 B",
              "replaySpeedCombo|6|最快|Fastest"})
            QTest::newRow(row) << QString(row).split('|');
    }
    void languageCoversTheNewTexts()
    {
        QFETCH(QStringList, row);
        chosen = dir.filePath("lang.pcap");
        listen();
        click("recordButton");
        QObject *widget = window->findChild<QObject *>(row[0]);
        auto *combo = qobject_cast<QComboBox *>(widget);
        auto text = [&] {
            return combo ? combo->itemText(row[1].toInt())
                         : widget->property(qPrintable(row[1])).toString();
        };
        QCOMPARE(text(), row[2]);
        UiLanguage::instance().setEnglish(true);
        QCOMPARE(text(), row[3]);
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(text(), row[2]);
    }
};

QTEST_MAIN(TestCapturePanel)
#include "tst_capturepanel.moc"
