#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "tuio/osccodec.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

// A TUIO 1.1 frame of cursor 1 at (x, 0.5).
QByteArray frame(float x, int fseq)
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("fseq"));
    appendInt32(arguments, fseq);
    QByteArray out("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QByteArray &message :
         {buildCursorAlive({1}), buildCursorSet(1, x, 0.5f),
          buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(",si"), arguments)}) {
        appendInt32(out, qint32(message.size()));
        out += message;
    }
    return out;
}

} // namespace

// The "帧分析" tab of the real window fed over loopback.
class TestFrameAnalysisView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete window; }
    void liveTab();
    void keptOrEmptied_data();
    void keptOrEmptied();

private:
    void click(const QString &texts);
    void sendFrames();

    TuioWidget *window = nullptr;
    QTableWidget *table = nullptr;
    QTreeWidget *checks = nullptr;
    QUdpSocket sender;
    quint16 port = 0;
};

void TestFrameAnalysisView::init()
{
    window = new TuioWidget;
    table = window->findChild<QTableWidget *>(QStringLiteral("frameSourceTable"));
    checks = window->findChild<QTreeWidget *>(QStringLiteral("frameCheckTree"));
    QVERIFY(table && checks);
    port = freeUdpPort();
    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    click(QStringLiteral("开始监听"));
    QVERIFY(window->isRunning());
}

void TestFrameAnalysisView::click(const QString &texts)
{
    for (const QString &text : texts.split(QLatin1Char(' ')))
        for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
            if (button->text() == text)
                button->click();
}

// Two frames of one cursor, the first with x outside 0..1.
void TestFrameAnalysisView::sendFrames()
{
    for (const QByteArray &datagram : {frame(1.5f, 1), frame(0.5f, 2)})
        sender.writeDatagram(datagram, QHostAddress::LocalHost, port);
    QTRY_COMPARE(table->item(0, 3) ? table->item(0, 3)->text() : QString(), QStringLiteral("2"));
}

void TestFrameAnalysisView::liveTab()
{
    auto *tabs = window->findChild<QTabWidget *>();
    QCOMPARE(tabs->count(), 4);
    QCOMPARE(tabs->tabText(3), QStringLiteral("帧分析"));
    sendFrames();

    const QString source = QStringLiteral("127.0.0.1:%1").arg(sender.localPort());
    QCOMPARE(table->rowCount(), 1);
    QStringList row;
    for (int column : {0, 1, 2, 3, 7, 8, 9, 10}) // frame rate and intervals depend on timing
        row << table->item(0, column)->text();
    QCOMPARE(row, (QStringList{source, source, "2Dcur", "2", "0", "0", "0", "1"}));
    // The tables still hold what the stream says.
    QCOMPARE(window->sessions()->cursors().value(1).x, 0.5f);

    QCOMPARE(checks->topLevelItemCount(), tuioCheckCount);
    for (int check = 0; check < tuioCheckCount; ++check) {
        const QTreeWidgetItem *item = checks->topLevelItem(check);
        QCOMPARE(item->text(1), check == 5 ? "1" : "0");
        QCOMPARE(item->childCount(), check == 5 ? 1 : 0);
    }
    const QTreeWidgetItem *hit = checks->topLevelItem(5)->child(0);
    QCOMPARE((QStringList{hit->text(0), hit->text(1), hit->text(4)}),
             (QStringList{source, "1",
                          "/tuio/2Dcur alive 1 | /tuio/2Dcur set 1 1.5 0.5 0 0 0 | "
                          "/tuio/2Dcur fseq 1"}));
    QVERIFY(QTime::fromString(hit->text(2), QStringLiteral("HH:mm:ss.zzz")).isValid());

    UiLanguage::instance().setEnglish(true);
    const QStringList english{tabs->tabText(3), table->horizontalHeaderItem(0)->text(),
                              checks->headerItem()->text(3), checks->topLevelItem(5)->text(0),
                              checks->topLevelItem(5)->text(3)};
    UiLanguage::instance().setEnglish(false);
    QCOMPARE(english, (QStringList{"Frame Analysis", "Source", "Consequence for Clients",
                                   "6. Position outside 0..1 or angle outside 0..2π",
                                   "Clients place the session off screen or turn it wrongly"}));
    QCOMPARE(tabs->tabText(3), QStringLiteral("帧分析"));
    QCOMPARE(checks->topLevelItem(5)->text(0), QStringLiteral("6. 位置超出 0..1 或角度超出 0..2π"));
}

void TestFrameAnalysisView::keptOrEmptied_data()
{
    QTest::addColumn<QString>("buttons");
    QTest::addColumn<int>("rows");
    QTest::newRow("a stop keeps it") << "停止监听" << 1;
    QTest::newRow("a switch to client mode keeps it") << "客户端模式(模拟+发送" << 1;
    QTest::newRow("clear empties it") << "清除" << 0;
    QTest::newRow("the next start empties it") << "停止监听 开始监听" << 0;
}

void TestFrameAnalysisView::keptOrEmptied()
{
    QFETCH(QString, buttons);
    QFETCH(int, rows);
    sendFrames();
    click(buttons);
    QTest::qWait(2 * TuioFrameAnalysis::updateIntervalMs);
    QCOMPARE(table->rowCount(), rows);
    QCOMPARE(checks->topLevelItem(5)->text(1), rows ? "1" : "0");
}

QTEST_MAIN(TestFrameAnalysisView)
#include "tst_frameanalysisview.moc"
