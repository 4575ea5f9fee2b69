#include "comm/communicationbase.h"
#include "comm/logviewwidget.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

class LimitedCore : public CommunicationBase
{
public:
    explicit LimitedCore(int limit) : limit(limit) {}
    int maxLogEntries() const override { return limit; }

private:
    int limit;
};

// Answers the export dialog with a preset name and remembers what it was offered.
class ScriptedExportView : public LogViewWidget
{
public:
    using LogViewWidget::LogViewWidget;
    QString answer;
    QStringList proposals;

protected:
    QString chooseExportFileName(const QString &proposedName) override
    {
        proposals.append(proposedName);
        return answer;
    }
};

QListWidget *listOf(const LogViewWidget &view)
{
    return view.findChild<QListWidget *>(QStringLiteral("logOutput"));
}

QPushButton *buttonOf(const LogViewWidget &view, const QString &text)
{
    for (QPushButton *button : view.findChildren<QPushButton *>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

QString labelText(const LogViewWidget &view, const char *name)
{
    const QLabel *label = view.findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

QStringList rowTexts(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts.append(list->item(row)->text());
    return texts;
}

LogEntry makeEntry(int direction, const QString &text, const QString &hexText = QString())
{
    LogEntry entry;
    entry.timestamp = QDateTime(QDate(2024, 5, 6), QTime(14, 3, 27, 815));
    entry.direction = direction;
    entry.text = text;
    entry.hexText = hexText.isNull() ? text : hexText;
    return entry;
}

// Logs "m<from>".."m<from+count-1>"; rows then read "[SYS]  m<i>" (no time stamp).
void logNumbered(CommunicationBase &core, int count, int from = 0)
{
    core.setShowTimestamp(false);
    for (int i = from; i < from + count; ++i)
        core.logSystem(QStringLiteral("m%1").arg(i));
}

QStringList numbered(int from, int count)
{
    QStringList texts;
    for (int i = from; i < from + count; ++i)
        texts.append(QStringLiteral("[SYS]  m%1").arg(i));
    return texts;
}

bool isColour(QRgb pixel, const QColor &colour)
{
    return qAbs(qRed(pixel) - colour.red()) + qAbs(qGreen(pixel) - colour.green()) +
               qAbs(qBlue(pixel) - colour.blue()) <
           40;
}

QImage viewportImage(QListWidget *list)
{
    return list->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Bounding box, in viewport coordinates, of the pixels of `colour` inside `rect`.
QRect inkBox(const QImage &image, const QRect &rect, const QColor &colour)
{
    const qreal dpr = image.devicePixelRatio();
    QRect box;
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            if (isColour(image.pixel(int(x * dpr), int(y * dpr)), colour))
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

class TestLogViewWidget : public QObject
{
    Q_OBJECT

private:
    // Polls for a popup or modal window, hands it to `handle` once, and keeps
    // polling so that a blocking exec() in the code under test cannot hang.
    void watchFor(bool popup, std::function<void(QWidget *)> handle)
    {
        auto *timer = new QTimer(this);
        timer->setInterval(10);
        connect(timer, &QTimer::timeout, this, [timer, popup, handle] {
            QWidget *w =
                popup ? QApplication::activePopupWidget() : QApplication::activeModalWidget();
            if (!w)
                return;
            timer->stop();
            timer->deleteLater();
            handle(w);
        });
        timer->start();
        watchers.append(timer);
    }

    QList<QPointer<QTimer>> watchers;

private slots:
    void cleanup()
    {
        for (const QPointer<QTimer> &timer : std::as_const(watchers)) {
            if (timer)
                timer->deleteLater();
        }
        watchers.clear();
        qApp->setStyleSheet(QString());
    }

    void layoutAndNames()
    {
        CommunicationBase core;
        LogViewWidget view(&core);
        QListWidget *list = listOf(view);
        QVERIFY(list);
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(list->wordWrap());
        QCOMPARE(list->verticalScrollMode(), QAbstractItemView::ScrollPerPixel);
        QCOMPARE(list->contextMenuPolicy(), Qt::CustomContextMenu);
        QVERIFY(!list->alternatingRowColors());
        QCOMPARE(labelText(view, "txLabel"), QStringLiteral("TX: 0 bytes"));
        QCOMPARE(labelText(view, "rxLabel"), QStringLiteral("RX: 0 bytes"));
        QVERIFY(view.findChild<QFrame *>(QStringLiteral("statusBar")));
        for (const QString &text :
             {QStringLiteral("重置计数"), QStringLiteral("清除日志"), QStringLiteral("导出")}) {
            QPushButton *button = buttonOf(view, text);
            QVERIFY2(button, qPrintable(text));
            QCOMPARE(button->objectName(), QStringLiteral("smallButton"));
            QCOMPARE(button->height(), 24);
        }
    }

    void batchesOfTwoHundredInOrder()
    {
        CommunicationBase core;
        LogViewWidget view(&core);
        QListWidget *list = listOf(view);
        logNumbered(core, 500);
        // Nothing is shown until the flush runs.
        QCOMPARE(list->count(), 0);
        QCOMPARE(view.pendingCount(), 500);

        view.flushPendingItems();
        QCOMPARE(rowTexts(list), numbered(0, 200));
        QCOMPARE(view.pendingCount(), 300);

        // The rest follows without any new arrival.
        QTRY_COMPARE(list->count(), 500);
        QCOMPARE(rowTexts(list), numbered(0, 500));
        QCOMPARE(view.pendingCount(), 0);
    }

    void arrivalsWhileArmedJoinOneBatch()
    {
        CommunicationBase core;
        LogViewWidget view(&core);
        QListWidget *list = listOf(view);
        logNumbered(core, 3);
        QTRY_COMPARE(list->count(), 3);
        logNumbered(core, 2, 3);
        QCOMPARE(list->count(), 3);
        QTRY_COMPARE(list->count(), 5);
        QCOMPARE(rowTexts(list), numbered(0, 5));
        // An empty flush changes nothing.
        view.flushPendingItems();
        QCOMPARE(list->count(), 5);
    }

    void rowColours_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("tx") << int(LogEntry::Tx) << QColor(255, 215, 0);
        QTest::newRow("rx") << int(LogEntry::Rx) << QColor(0, 255, 200);
        QTest::newRow("system") << int(LogEntry::System) << QColor(136, 146, 160);
        QTest::newRow("unknown") << 7 << QColor(224, 224, 224);
    }

    void rowColours()
    {
        QFETCH(int, direction);
        QFETCH(QColor, colour);
        CommunicationBase core;
        LogViewWidget view(&core);
        core.addLogEntry(makeEntry(direction, QStringLiteral("x")));
        view.flushPendingItems();
        QListWidget *list = listOf(view);
        QCOMPARE(list->count(), 1);
        const QBrush brush = list->item(0)->foreground();
        QCOMPARE(brush.style(), Qt::SolidPattern);
        QCOMPARE(brush.color(), colour);
    }

    void rowText_data()
    {
        QTest::addColumn<int>("direction");
        QTest::addColumn<bool>("showTime");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("hexText");
        QTest::addColumn<QString>("expected");
        const QString hello = QStringLiteral("Hello");
        const QString helloHex = QStringLiteral("48 65 6C 6C 6F");
        QTest::newRow("rx, time") << int(LogEntry::Rx) << true << false << hello << helloHex
                                  << "14:03:27.815  [RX]  Hello";
        QTest::newRow("rx, no time")
            << int(LogEntry::Rx) << false << false << hello << helloHex << "[RX]  Hello";
        QTest::newRow("tx, hex") << int(LogEntry::Tx) << true << true << hello << helloHex
                                 << "14:03:27.815  [TX]  48 65 6C 6C 6F";
        QTest::newRow("tx, hex, no time")
            << int(LogEntry::Tx) << false << true << hello << helloHex << "[TX]  48 65 6C 6C 6F";
        QTest::newRow("system, hex")
            << int(LogEntry::System) << false << true << QStringLiteral("服务器模式")
            << QStringLiteral("服务器模式") << QStringLiteral("[SYS]  服务器模式");
        QTest::newRow("unknown direction")
            << 9 << false << false << QStringLiteral("odd") << QString() << "  odd";
    }

    void rowText()
    {
        QFETCH(int, direction);
        QFETCH(bool, showTime);
        QFETCH(bool, hex);
        QFETCH(QString, text);
        QFETCH(QString, hexText);
        QFETCH(QString, expected);
        CommunicationBase core;
        core.setShowTimestamp(showTime);
        core.setHexDisplay(hex);
        LogViewWidget view(&core);
        core.addLogEntry(makeEntry(direction, text, hexText));
        view.flushPendingItems();
        QCOMPARE(rowTexts(listOf(view)), QStringList{expected});
    }

    void settingsApplyToNewRowsOnly()
    {
        CommunicationBase core;
        LogViewWidget view(&core);
        core.addLogEntry(makeEntry(LogEntry::Rx, QStringLiteral("a")));
        view.flushPendingItems();
        core.setShowTimestamp(false);
        core.addLogEntry(makeEntry(LogEntry::Rx, QStringLiteral("b")));
        view.flushPendingItems();
        QCOMPARE(rowTexts(listOf(view)),
                 (QStringList{QStringLiteral("14:03:27.815  [RX]  a"), QStringLiteral("[RX]  b")}));
    }

    void autoScroll_data()
    {
        QTest::addColumn<bool>("autoScroll");
        QTest::addColumn<int>("offsetFromBottom");
        QTest::addColumn<bool>("follows");
        QTest::newRow("at the bottom") << true << 0 << true;
        QTest::newRow("10 px up") << true << 10 << true;
        QTest::newRow("11 px up") << true << 11 << false;
        QTest::newRow("far up") << true << 400 << false;
        QTest::newRow("off, at the bottom") << false << 0 << false;
        QTest::newRow("off, far up") << false << 400 << false;
    }

    void autoScroll()
    {
        QFETCH(bool, autoScroll);
        QFETCH(int, offsetFromBottom);
        QFETCH(bool, follows);
        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        QScrollBar *bar = list->verticalScrollBar();

        logNumbered(core, 100);
        QTRY_COMPARE(list->count(), 100);
        QTRY_VERIFY(bar->maximum() > offsetFromBottom + 50);
        QCOMPARE(bar->value(), bar->maximum());

        core.setAutoScroll(autoScroll);
        const int before = bar->maximum() - offsetFromBottom;
        bar->setValue(before);
        const int oldMaximum = bar->maximum();
        logNumbered(core, 5, 100);
        QTRY_COMPARE(list->count(), 105);
        QTRY_VERIFY(bar->maximum() > oldMaximum);
        if (follows)
            QCOMPARE(bar->value(), bar->maximum());
        else
            QCOMPARE(bar->value(), before);
    }

    void clear_data()
    {
        QTest::addColumn<bool>("viaButton");
        QTest::newRow("clear button") << true;
        QTest::newRow("core clearLog") << false;
    }

    void clear()
    {
        QFETCH(bool, viaButton);
        CommunicationBase core;
        LogViewWidget view(&core);
        QListWidget *list = listOf(view);
        core.logRx("abc");
        core.logTx("hello");
        view.flushPendingItems();
        QCOMPARE(list->count(), 2);
        core.logRx("queued"); // not yet a row
        QCOMPARE(view.pendingCount(), 1);

        if (viaButton)
            buttonOf(view, QStringLiteral("清除日志"))->click();
        else
            core.clearLog();

        QCOMPARE(list->count(), 0);
        QCOMPARE(core.entryCount(), 0);
        QCOMPARE(view.pendingCount(), 0);
        view.flushPendingItems();
        QTest::qWait(80); // past the flush delay: nothing logged before the clear comes back
        QCOMPARE(list->count(), 0);
        QCOMPARE(core.rxBytes(), 9);
        QCOMPARE(core.txBytes(), 5);
        QCOMPARE(labelText(view, "rxLabel"), QStringLiteral("RX: 9 bytes"));
        QCOMPARE(labelText(view, "txLabel"), QStringLiteral("TX: 5 bytes"));

        // Logging goes on normally after a clear.
        core.setShowTimestamp(false);
        core.logSystem(QStringLiteral("after"));
        QTRY_COMPARE(rowTexts(list), QStringList{QStringLiteral("[SYS]  after")});
    }

    void counterTexts_data()
    {
        QTest::addColumn<qint64>("tx");
        QTest::addColumn<qint64>("rx");
        QTest::addColumn<QString>("txText");
        QTest::addColumn<QString>("rxText");
        QTest::newRow("small") << qint64(5) << qint64(42) << "TX: 5 bytes"
                               << "RX: 42 bytes";
        QTest::newRow("no separators") << qint64(1234567) << qint64(1000) << "TX: 1234567 bytes"
                                       << "RX: 1000 bytes";
        QTest::newRow("beyond 32 bits") << qint64(9876543210) << qint64(0) << "TX: 9876543210 bytes"
                                        << "RX: 0 bytes";
    }

    void counterTexts()
    {
        QFETCH(qint64, tx);
        QFETCH(qint64, rx);
        QFETCH(QString, txText);
        QFETCH(QString, rxText);
        CommunicationBase core;
        LogViewWidget view(&core);
        core.addTxBytes(tx);
        core.addRxBytes(rx);
        QCOMPARE(labelText(view, "txLabel"), txText);
        QCOMPARE(labelText(view, "rxLabel"), rxText);

        core.logSystem(QStringLiteral("kept"));
        buttonOf(view, QStringLiteral("重置计数"))->click();
        QCOMPARE(labelText(view, "txLabel"), QStringLiteral("TX: 0 bytes"));
        QCOMPARE(labelText(view, "rxLabel"), QStringLiteral("RX: 0 bytes"));
        QCOMPARE(core.entryCount(), 1);
    }

    void rowLimit_data()
    {
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("logged");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("limit 50") << 50 << 130 << numbered(80, 50);
        QTest::newRow("limit 50, one batch over") << 50 << 51 << numbered(1, 50);
        QTest::newRow("limit 250, across batches") << 250 << 420 << numbered(170, 250);
        QTest::newRow("unlimited") << 0 << 430 << numbered(0, 430);
    }

    void rowLimit()
    {
        QFETCH(int, limit);
        QFETCH(int, logged);
        QFETCH(QStringList, rows);
        LimitedCore core(limit);
        LogViewWidget view(&core);
        QListWidget *list = listOf(view);

        // Queued all at once: the queue keeps only what could be shown.
        logNumbered(core, logged);
        QCOMPARE(view.pendingCount(), limit > 0 ? qMin(limit, logged) : logged);
        QTRY_COMPARE(view.pendingCount(), 0);
        QCOMPARE(rowTexts(list), rows);

        // Arriving in small groups: the oldest rows make way.
        list->clear();
        for (int i = 0; i < logged; i += 7) {
            logNumbered(core, qMin(7, logged - i), i);
            view.flushPendingItems();
        }
        QCOMPARE(rowTexts(list), rows);
    }

    void droppingOldRowsKeepsTheReaderInPlace()
    {
        LimitedCore core(100);
        core.setAutoScroll(false);
        LogViewWidget view(&core);
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        logNumbered(core, 100);
        QTRY_COMPARE(list->count(), 100);
        QScrollBar *bar = list->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 0);
        bar->setValue(bar->maximum() / 2);
        const QString topRow = list->itemAt(QPoint(5, 1))->text();

        logNumbered(core, 20, 100);
        QTRY_COMPARE(list->item(0)->text(), QStringLiteral("[SYS]  m20"));
        QCOMPARE(list->count(), 100);
        QCOMPARE(list->itemAt(QPoint(5, 1))->text(), topRow);
    }

    void contextMenu_data()
    {
        QTest::addColumn<QString>("choice"); // empty: the menu is closed without a choice
        QTest::addColumn<QList<int>>("selectedRows");
        QTest::addColumn<QString>("clipboard");
        QTest::newRow("copy selection") << QStringLiteral("复制") << QList<int>{1, 2, 3}
                                        << QStringLiteral("[SYS]  m1\n[SYS]  m2\n[SYS]  m3");
        QTest::newRow("copy one row")
            << QStringLiteral("复制") << QList<int>{4} << QStringLiteral("[SYS]  m4");
        QTest::newRow("copy without selection")
            << QStringLiteral("复制") << QList<int>{} << QStringLiteral("sentinel");
        QTest::newRow("copy all") << QStringLiteral("复制全部") << QList<int>{2}
                                  << numbered(0, 6).join(QLatin1Char('\n'));
        QTest::newRow("closed without choice")
            << QString() << QList<int>{1} << QStringLiteral("sentinel");
    }

    void contextMenu()
    {
        QFETCH(QString, choice);
        QFETCH(QList<int>, selectedRows);
        QFETCH(QString, clipboard);
        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        logNumbered(core, 6);
        view.flushPendingItems();
        for (int row : selectedRows)
            list->item(row)->setSelected(true);
        QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));

        QStringList offered;
        bool shown = false;
        watchFor(true, [&](QWidget *popup) {
            shown = true;
            auto *menu = qobject_cast<QMenu *>(popup);
            QVERIFY(menu);
            QAction *pick = nullptr;
            for (QAction *action : menu->actions()) {
                offered.append(action->text());
                if (action->text() == choice)
                    pick = action;
            }
            if (pick) {
                menu->setActiveAction(pick);
                QTest::keyClick(menu, Qt::Key_Return);
            } else {
                QTest::keyClick(menu, Qt::Key_Escape);
            }
        });
        const QPoint onRow = list->visualItemRect(list->item(0)).center();
        emit list->customContextMenuRequested(onRow);

        QVERIFY(shown);
        QCOMPARE(offered, (QStringList{QStringLiteral("复制"), QStringLiteral("复制全部")}));
        QCOMPARE(QGuiApplication::clipboard()->text(), clipboard);
    }

    void noMenuBelowTheLastRow()
    {
        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(500, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        logNumbered(core, 3);
        view.flushPendingItems();
        list->selectAll();
        QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
        bool shown = false;
        watchFor(true, [&](QWidget *popup) {
            shown = true;
            popup->close();
        });
        const QPoint below(10, list->visualItemRect(list->item(2)).bottom() + 30);
        QVERIFY(!list->itemAt(below));
        emit list->customContextMenuRequested(below);
        QTest::qWait(50);
        QVERIFY(!shown);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"));
    }

    void exportFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("csv");
        QTest::newRow("upper-case .CSV") << "report.CSV" << true;
        QTest::newRow(".csv") << "log.csv" << true;
        QTest::newRow(".txt") << "report.txt" << false;
        QTest::newRow("no extension") << "report" << false;
        QTest::newRow("csv not at the end") << "report.csv.txt" << false;
    }

    void exportFormat()
    {
        QFETCH(QString, name);
        QFETCH(bool, csv);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(name);
        CommunicationBase core;
        ScriptedExportView view(&core);
        view.answer = path;
        core.addLogEntry(makeEntry(LogEntry::Rx, QStringLiteral("say \"hi\"")));
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);

        buttonOf(view, QStringLiteral("导出"))->click();

        QCOMPARE(view.proposals.size(), 1);
        const QString proposed = view.proposals.first();
        QVERIFY2(QRegularExpression(QStringLiteral("^Communication_Log_\\d{8}_\\d{6}$"))
                     .match(proposed)
                     .hasMatch(),
                 qPrintable(proposed));
        const QDateTime stamp =
            QDateTime::fromString(proposed.mid(18), QStringLiteral("yyyyMMdd_HHmmss"));
        QVERIFY(stamp >= before.addMSecs(-before.time().msec()));
        QVERIFY(stamp <= QDateTime::currentDateTime());

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString content = QString::fromUtf8(file.readAll());
        if (csv)
            QCOMPARE(content, QStringLiteral("Timestamp,Direction,Data\n"
                                             "\"14:03:27.815\",\"[RX]\",\"say \"\"hi\"\"\"\n"));
        else
            QCOMPARE(content, QStringLiteral("14:03:27.815 [RX] say \"hi\"\n"));

        const QString success = QStringLiteral("日志已导出: %1").arg(path);
        QCOMPARE(core.entries().last().text, success);
        QCOMPARE(core.entries().last().direction, int(LogEntry::System));
        QListWidget *list = listOf(view);
        QTRY_COMPARE(list->count(), 2);
        QVERIFY(list->item(1)->text().endsWith(QStringLiteral("[SYS]  ") + success));
    }

    void exportCancelled()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        CommunicationBase core;
        ScriptedExportView view(&core);
        core.logSystem(QStringLiteral("one"));
        buttonOf(view, QStringLiteral("导出"))->click();
        QCOMPARE(view.proposals.size(), 1);
        QCOMPARE(core.entryCount(), 1);
        QTRY_COMPARE(listOf(view)->count(), 1);
    }

    void exportFailureBox()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("missing/sub/log.txt"));
        CommunicationBase core;
        ScriptedExportView view(&core);
        view.answer = path;
        core.logSystem(QStringLiteral("one"));

        QString title;
        QString text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        watchFor(false, [&](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QVERIFY(box);
            title = box->windowTitle();
            text = box->text();
            buttons = box->standardButtons();
            icon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        buttonOf(view, QStringLiteral("导出"))->click();

        QCOMPARE(title, QStringLiteral("导出失败"));
        QCOMPARE(text, QStringLiteral("无法写入文件: ") + path);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(icon, QMessageBox::Warning);
        QCOMPARE(core.entryCount(), 1);
        QVERIFY(!QFile::exists(path));
    }

    void exportThroughTheDialog()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("picked.csv"));
        CommunicationBase core;
        LogViewWidget view(&core);
        core.logSystem(QStringLiteral("one"));

        QString title;
        QStringList filters;
        QString proposed;
        watchFor(false, [&](QWidget *modal) {
            auto *dialog = qobject_cast<QFileDialog *>(modal);
            QVERIFY(dialog);
            title = dialog->windowTitle();
            filters = dialog->nameFilters();
            proposed = QFileInfo(dialog->selectedFiles().value(0)).fileName();
            // The dialog leaves a focused name field alone when a file is selected.
            if (QWidget *focused = dialog->focusWidget())
                focused->clearFocus();
            dialog->selectFile(path);
            static_cast<QDialog *>(dialog)->accept();
        });
        buttonOf(view, QStringLiteral("导出"))->click();

        QCOMPARE(title, QStringLiteral("导出日志"));
        QCOMPARE(filters, (QStringList{QStringLiteral("文本文件 (*.txt)"),
                                       QStringLiteral("CSV文件 (*.csv)")}));
        QVERIFY2(proposed.startsWith(QStringLiteral("Communication_Log_")), qPrintable(proposed));
        QCOMPARE(core.entries().last().text, QStringLiteral("日志已导出: %1").arg(path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("Timestamp,Direction,Data\n"));
    }

    void displaySettings_data()
    {
        QTest::addColumn<int>("fontSize");
        QTest::addColumn<int>("lineSpacing");
        QTest::addColumn<int>("storedFont");
        QTest::addColumn<QString>("styleSheet");
        QTest::newRow("defaults")
            << 11 << 0 << 11 << "QListWidget::item { padding: 2px 6px 2px 6px; font-size: 11pt; }";
        QTest::newRow("clamped high/low")
            << 20 << -15 << 18
            << "QListWidget::item { padding: -8px 6px -8px 6px; font-size: 18pt; }";
        QTest::newRow("clamped low/high")
            << 3 << 15 << 7 << "QListWidget::item { padding: 12px 6px 12px 6px; font-size: 7pt; }";
        QTest::newRow("in range")
            << 16 << -3 << 16
            << "QListWidget::item { padding: -1px 6px -1px 6px; font-size: 16pt; }";
    }

    void displaySettings()
    {
        QFETCH(int, fontSize);
        QFETCH(int, lineSpacing);
        QFETCH(int, storedFont);
        QFETCH(QString, styleSheet);
        CommunicationBase core;
        LogViewWidget view(&core);
        view.setFontSize(fontSize);
        view.setLineSpacing(lineSpacing);
        QListWidget *list = listOf(view);
        QCOMPARE(list->styleSheet(), styleSheet);
        QCOMPARE(list->font().pointSize(), storedFont);
    }

    void rowHeightFollowsSettings_data()
    {
        QTest::addColumn<bool>("theme");
        QTest::newRow("plain") << false;
        QTest::newRow("application theme") << true;
    }

    // The theme pins the list's own font size; rows must still follow the setting.
    void rowHeightFollowsSettings()
    {
        QFETCH(bool, theme);
        if (theme) {
            QFile qss(QStringLiteral(":/styles/DarkTheme.qss"));
            QVERIFY(qss.open(QIODevice::ReadOnly));
            qApp->setStyleSheet(QString::fromUtf8(qss.readAll()));
        }
        CommunicationBase core;
        LogViewWidget view(&core);
        view.resize(500, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        logNumbered(core, 3);
        view.flushPendingItems();
        auto rowHeight = [&] {
            QCoreApplication::processEvents();
            return list->visualItemRect(list->item(2)).height();
        };
        auto textHeight = [&] {
            const QRect row = list->visualItemRect(list->item(2));
            return inkBox(viewportImage(list), row, QColor(136, 146, 160)).height();
        };

        view.setFontSize(7);
        const int small = rowHeight();
        const int smallText = textHeight();
        view.setFontSize(18);
        const int large = rowHeight();
        const int largeText = textHeight();
        QVERIFY2(large > small + 6, qPrintable(QStringLiteral("%1 vs %2").arg(large).arg(small)));
        QVERIFY2(smallText > 0 && largeText > smallText + 4,
                 qPrintable(QStringLiteral("%1 vs %2").arg(largeText).arg(smallText)));

        view.setLineSpacing(-10);
        const int tight = rowHeight();
        view.setLineSpacing(10);
        const int loose = rowHeight();
        QCOMPARE(loose - tight, 40); // padding -8 px to 12 px, above and below
    }

    void longRowIsOneCentredLine()
    {
        CommunicationBase core;
        core.setShowTimestamp(false);
        LogViewWidget view(&core);
        view.resize(400, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QListWidget *list = listOf(view);
        core.addLogEntry(makeEntry(LogEntry::Rx, QStringLiteral("short")));
        view.flushPendingItems();
        QCoreApplication::processEvents();
        const QRect shortRect = list->visualItemRect(list->item(0));
        // Last, where a one-size-fits-all layout would take its measure from.
        core.addLogEntry(makeEntry(LogEntry::Tx, QStringLiteral("Wide words ").repeated(40)));
        view.flushPendingItems();
        QCoreApplication::processEvents();

        QCOMPARE(list->visualItemRect(list->item(0)), shortRect);
        const QRect longRect = list->visualItemRect(list->item(1));
        QCOMPARE(longRect.height(), shortRect.height());
        QCOMPARE(list->horizontalScrollBar()->maximum(), 0);

        const QImage image = viewportImage(list);
        auto inkBox = [&](const QRect &rect, const QColor &colour) {
            return ::inkBox(image, rect, colour);
        };
        const QRect ink = inkBox(longRect, QColor(255, 215, 0));
        QVERIFY(!ink.isEmpty());
        const QFontMetrics metrics(QFont(QStringLiteral("Consolas"), 11));
        QVERIFY2(ink.height() <= metrics.height(), "drawn on more than one line");
        QVERIFY2(qAbs(ink.center().y() - longRect.center().y()) <= 3, "not vertically centred");
        QVERIFY(ink.left() >= longRect.left() + 4 && ink.left() <= longRect.left() + 8);
        QVERIFY2(ink.right() >= list->viewport()->width() - 16, "text stops short of the edge");
        // Nothing of the long row spills into its neighbours.
        QVERIFY(inkBox(shortRect, QColor(255, 215, 0)).isEmpty());
        QVERIFY(!inkBox(shortRect, QColor(0, 255, 200)).isEmpty());
    }
};

QTEST_MAIN(TestLogViewWidget)
#include "tst_logviewwidget.moc"
