#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

// The "帧分析" tab of the real window fed over loopback.
class TestFrameAnalysisView : public QObject
{
    Q_OBJECT

    TuioWidget *window = nullptr;
    QTableWidget *table = nullptr;
    QTreeWidget *checks = nullptr;
    QUdpSocket peer;
    quint16 port = 0;

    void click(const QString &texts)
    {
        for (const QString &text : texts.split(' '))
            for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
                if (button->text() == text)
                    button->click();
    }
    // Two frames of one cursor, the first with x outside 0..1.
    void sendFrames()
    {
        for (const char *frame :
             {"cur alive 1, set 1 1.5 0.5, fseq 1", "cur alive 1, set 1 0.5 0.5, fseq 2"})
            peer.writeDatagram(tuioDatagram(frame), QHostAddress::LocalHost, port);
        QTRY_COMPARE(table->item(0, 3) ? table->item(0, 3)->text() : QString(), "2");
    }

private slots:
    void init()
    {
        window = new TuioWidget;
        table = window->findChild<QTableWidget *>("frameSourceTable");
        checks = window->findChild<QTreeWidget *>("frameCheckTree");
        QVERIFY(table && checks);
        port = freeUdpPort();
        window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
        click("开始监听");
        QVERIFY(window->isRunning());
    }
    void cleanup() { delete window; }

    void liveTab()
    {
        auto *tabs = window->findChild<QTabWidget *>();
        QCOMPARE(tabs->count(), 4);
        QCOMPARE(tabs->tabText(3), "帧分析");
        sendFrames();
        QCOMPARE(table->rowCount(), 1);
        QStringList row;
        for (int column : {0, 1, 2, 3, 7, 8, 9, 10}) // frame rate and intervals depend on timing
            row << table->item(0, column)->text();
        const QString sender = "127.0.0.1:" + QString::number(peer.localPort());
        QCOMPARE(row, (QStringList{"tactora@127.0.0.1", sender, "2Dcur", "2", "0", "0", "0", "1"}));
        // The tables still hold what the stream says.
        QCOMPARE(window->sessions()->cursors().value(1).x, 0.5f);

        QCOMPARE(checks->topLevelItemCount(), tuioCheckCount);
        for (int check = 0; check < tuioCheckCount; ++check) {
            QCOMPARE(checks->topLevelItem(check)->text(1), check == 5 ? "1" : "0");
            QCOMPARE(checks->topLevelItem(check)->childCount(), check == 5 ? 1 : 0);
        }
        const QTreeWidgetItem *hit = checks->topLevelItem(5)->child(0);
        QCOMPARE((QStringList{hit->text(0), hit->text(1), hit->text(4)}),
                 (QStringList{"tactora@127.0.0.1", "1",
                              "/tuio/2Dcur source tactora@127.0.0.1 | /tuio/2Dcur alive 1 | "
                              "/tuio/2Dcur set 1 1.5 0.5 0 0 0 | /tuio/2Dcur fseq 1"}));
        QVERIFY(QTime::fromString(hit->text(2), "HH:mm:ss.zzz").isValid());

        UiLanguage::instance().setEnglish(true);
        const QStringList english{tabs->tabText(3), table->horizontalHeaderItem(0)->text(),
                                  checks->headerItem()->text(3), checks->topLevelItem(5)->text(0),
                                  checks->topLevelItem(5)->text(3)};
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(english, (QStringList{"Frame Analysis", "Source", "Consequence for Clients",
                                       "6. Position outside 0..1 or angle outside 0..2π",
                                       "Clients place the session off screen or turn it wrongly"}));
        QCOMPARE(tabs->tabText(3), "帧分析");
        QCOMPARE(checks->topLevelItem(5)->text(0), "6. 位置超出 0..1 或角度超出 0..2π");
    }

    void keptOrEmptied_data()
    {
        QTest::addColumn<QString>("buttons");
        QTest::addColumn<int>("rows");
        QTest::newRow("a stop keeps it") << "停止监听" << 1;
        QTest::newRow("a switch to client mode keeps it") << "客户端模式(模拟+发送" << 1;
        QTest::newRow("clear empties it") << "清除" << 0;
        QTest::newRow("the next start empties it") << "停止监听 开始监听" << 0;
    }
    void keptOrEmptied()
    {
        QFETCH(QString, buttons);
        QFETCH(int, rows);
        sendFrames();
        click(buttons);
        QTest::qWait(2 * TuioFrameAnalysis::updateIntervalMs);
        QCOMPARE(table->rowCount(), rows);
        QCOMPARE(checks->topLevelItem(5)->text(1), rows ? "1" : "0");
    }
};

QTEST_MAIN(TestFrameAnalysisView)
#include "tst_frameanalysisview.moc"
