#include "comm/communicationbase.h"
#include "log/logviewwidget.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

namespace {

struct LimitedCore : CommunicationBase
{
    int limit = 100000;
    int maxLogEntries() const override { return limit; }
};

// Answers the export dialog with `answer`, keeps the name it proposed and, in `seen`, the texts
// of a popup or message box it showed.
struct ScriptedExportView : LogViewWidget
{
    using LogViewWidget::LogViewWidget;
    QString answer, proposed, seen;
    QString chooseExportFileName(const QString &name) override { return proposed = name, answer; }
};

// An entry whose hex form is always "48 69".
LogEntry entry(int direction, const QString &text)
{
    return {QDateTime(QDate(2024, 5, 6), QTime(14, 3, 27, 815)), direction, {}, text, "48 69"};
}

constexpr int Reset = 0, Clear = 1, Export = 2; // the buttons, in the order the bar makes them

} // namespace

class TestLogViewWidget : public QObject
{
    Q_OBJECT

    std::unique_ptr<LimitedCore> core;
    std::unique_ptr<ScriptedExportView> view;
    QListWidget *list = nullptr;

    void press(int button) const
    {
        view->findChildren<QPushButton *>("smallButton").at(button)->click();
    }
    QLabel *label(const char *name) const { return view->findChild<QLabel *>(name); }
    QString counters() const { return label("txLabel")->text() + ", " + label("rxLabel")->text(); }
    QStringList rows() const
    {
        QStringList texts;
        for (int row = 0; row < list->count(); ++row)
            texts.append(list->item(row)->text());
        return texts;
    }
    // Logs the numbers from..from+count-1 and returns the rows they make.
    QStringList log(int count, int from = 0) const
    {
        QStringList texts;
        for (int i = from; i < from + count; ++i)
            core->logSystem(QString::number(i)), texts.append("[SYS]  " + QString::number(i));
        return texts;
    }
    // Presses `keys` in the next popup or modal window; looks again until one shows, so that
    // a blocking exec() cannot hang.
    void answerNextWindow(const QKeySequence &keys)
    {
        QTimer::singleShot(10, view.get(), [=] {
            QWidget *popup = qApp->activePopupWidget();
            QWidget *window = popup ? popup : qApp->activeModalWidget();
            if (!window)
                return answerNextWindow(keys);
            view->seen = window->windowTitle() + ": " + window->property("text").toString();
            for (QAction *action : window->actions())
                view->seen += action->text() + ' ';
            QTest::keySequence(window, keys);
        });
    }

private slots:
    void init()
    {
        core = std::make_unique<LimitedCore>();
        core->setShowTimestamp(false);
        view = std::make_unique<ScriptedExportView>(core.get());
        list = view->findChild<QListWidget *>("logOutput");
        view->resize(500, 300);
        view->show();
    }
    // Under the application theme, which pins the list's own font and styles its frames.
    void initTestCase() { qApp->setStyleSheet("file:///:/styles/DarkTheme.qss"); }

    void batchesWithinTheLimit()
    {
        core->limit = 2500;
        QStringList logged = log(2500);
        QTRY_COMPARE(rows(), logged); // more than one flush takes, with no new arrival
        logged += log(7, 2500);       // the oldest rows make way
        QTRY_COMPARE(rows(), logged.mid(7));
        logged = log(3000, 2507); // queued at once: the queue keeps only what could be shown
        QCOMPARE(view->pendingCount(), 2500);
        QTRY_COMPARE(rows(), logged.mid(500));
    }

    // Rows: the row's text; with the time stamp if it starts with it, hex if it shows "48 69".
    void rowTextAndColour_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("[RX]  Hi") << 1 << QColor(0, 255, 200);
        QTest::newRow("14:03:27.815  [TX]  48 69") << 0 << QColor(255, 215, 0);
        QTest::newRow("[SYS]  48 69") << 2 << QColor(136, 146, 160);
    }
    void rowTextAndColour()
    {
        QFETCH(int, direction);
        QFETCH(QColor, colour);
        const QString text = QTest::currentDataTag();
        core->setShowTimestamp(text.startsWith("14:"));
        core->setHexDisplay(text.endsWith("48 69"));
        core->addLogEntry(entry(direction, "Hi"));
        view->flushPendingItems();
        QCOMPARE(rows(), QStringList{text});
        QCOMPARE(list->item(0)->foreground().color(), colour);
    }

    // The core keeps 103 entries, so 5 more after 100 rows also drop the 2 oldest.
    void autoScroll_data()
    {
        QTest::addColumn<int>("offset"); // from the bottom; -1: at the bottom, auto-scroll off
        QTest::addColumn<bool>("follows");
        QTest::newRow("10 px up") << 10 << true;
        QTest::newRow("11 px up") << 11 << false;
        QTest::newRow("off, at the bottom") << -1 << false;
    }
    void autoScroll()
    {
        QFETCH(int, offset);
        QFETCH(bool, follows);
        core->limit = 103;
        QScrollBar *bar = list->verticalScrollBar();
        log(100);
        QTRY_VERIFY(list->count() == 100 && bar->maximum() > 500);
        core->setAutoScroll(offset >= 0);
        bar->setValue(bar->maximum() - qMax(offset, 0));
        const int oldMaximum = bar->maximum();
        const QString topRow = list->itemAt(5, 1)->text();
        log(5, 100);
        QTRY_VERIFY(list->count() == 103 && bar->maximum() > oldMaximum);
        if (follows)
            QCOMPARE(bar->value(), bar->maximum());
        else // the rows being read stay put
            QCOMPARE(list->itemAt(5, 1)->text(), topRow);
    }

    // The counters follow at once, in a place that does not move. Clearing, by the button or by
    // the core, drops made and queued rows but no counter.
    void countersStayPut()
    {
        QLabel *rx = label("rxLabel");
        const QRect place = rx->geometry();
        core->logRx("hello");
        QCOMPARE(counters(), "TX: 0 bytes, RX: 5 bytes");
        QTRY_COMPARE(list->count(), 1);
        QCOMPARE(rx->geometry(), place);
        core->addTxBytes(1234567);
        core->addRxBytes(9876543210);
        for (bool viaButton : {true, false}) {
            log(3);
            view->flushPendingItems();
            log(1, 3); // still queued
            viaButton ? press(Clear) : core->clearLog();
            QCOMPARE(list->count() + core->entryCount() + view->pendingCount(), 0);
        }
        QCOMPARE(counters(), "TX: 1234567 bytes, RX: 9876543215 bytes");
        QVERIFY(rx->width() >= rx->sizeHint().width()); // grown to fit
        log(2);
        press(Reset); // the counters go, the entries stay
        QCOMPARE(counters() + ", " + QString::number(core->entryCount()),
                 "TX: 0 bytes, RX: 0 bytes, 2");
    }

    // Escape alone: asked below the last row, where no menu may open.
    void contextMenu_data()
    {
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("clipboard");
        const QKeySequence copy("Down, Return"), copyAll("Down, Down, Return");
        QTest::newRow("copy") << copy << QList{0, 2} << "[SYS]  0\n[SYS]  2";
        QTest::newRow("copy, nothing selected") << copy << QList<int>{} << "before";
        QTest::newRow("copy all") << copyAll << QList{1} << "[SYS]  0\n[SYS]  1\n[SYS]  2";
        QTest::newRow("empty area") << QKeySequence("Esc") << QList{0, 1, 2} << "before";
    }
    void contextMenu()
    {
        QFETCH(QKeySequence, keys);
        QFETCH(QList<int>, selected);
        QFETCH(QString, clipboard);
        log(3);
        view->flushPendingItems();
        for (int row : selected)
            list->item(row)->setSelected(true);
        QGuiApplication::clipboard()->setText("before");
        answerNextWindow(keys);
        emit list->customContextMenuRequested(QPoint(20, keys == QKeySequence("Esc") ? 200 : 5));
        QCOMPARE(view->seen, keys == QKeySequence("Esc") ? "" : ": 复制 复制全部 ");
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    void exportFlow_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("outcome"); // the file's content, or the failure box
        const QString text = "14:03:27.815 [RX] hi\n", failed = "导出失败: 无法写入文件: ";
        QTest::newRow("CSV") << "a.CSV"
                             << "Timestamp,Direction,Data\n\"14:03:27.815\",\"[RX]\",\"hi\"\n";
        QTest::newRow(".txt") << "a.txt" << text;
        QTest::newRow("no extension") << "a" << text;
        QTest::newRow("missing folder") << "missing/a.txt" << failed;
        QTest::newRow("full device") << "/dev/full" << failed;
    }
    void exportFlow()
    {
        QFETCH(QString, name);
        QFETCH(QString, outcome);
        QTemporaryDir dir;
        view->answer = name.startsWith('/') ? name : dir.filePath(name);
        core->addLogEntry(entry(LogEntry::Rx, "hi"));
        answerNextWindow(QKeySequence("Esc"));
        press(Export);
        QVERIFY(view->proposed.startsWith(
            QDate::currentDate().toString("'Communication_Log_'yyyyMMdd_")));
        QFile file(view->answer);
        const bool ok = view->seen.isEmpty() && file.open(QIODevice::ReadOnly);
        QCOMPARE(ok ? QString(file.readAll()) : view->seen.remove(view->answer), outcome);
        QCOMPARE(core->entries().last().text, ok ? "日志已导出: " + view->answer : "hi");
    }

    void oneCentredLineFollowingTheSettings()
    {
        core->addLogEntry(entry(LogEntry::Rx, "short"));
        core->addLogEntry(entry(LogEntry::Tx, QString("Wide words ").repeated(40)));
        view->flushPendingItems();
        auto rect = [&](int r) { return list->visualItemRect(list->item(r)); };
        const QRect row = rect(1);
        const QImage text = list->viewport()->grab(row).toImage().createMaskFromColor(
            qRgb(255, 215, 0), Qt::MaskOutColor);
        const QRect ink = QRegion(QBitmap::fromImage(text)).boundingRect();
        QCOMPARE(row.height(), rect(0).height());
        QVERIFY(ink.height() > 4 && ink.height() <= QFontMetrics(QFont("Consolas", 11)).height());
        QVERIFY2(qAbs(2 * ink.center().y() - row.height()) <= 4, "not vertically centred");
        view->setFontSize(20);
        QVERIFY(rect(1).height() > row.height() + 4);
        view->setLineSpacing(-15);
        const int tight = rect(1).height();
        view->setLineSpacing(10);
        QCOMPARE(rect(1).height() - tight, 40); // padding -8 px to 12 px, above and below
    }
};

QTEST_MAIN(TestLogViewWidget)
#include "tst_logviewwidget.moc"
