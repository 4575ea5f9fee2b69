// Behaviour under many live sessions: the session tree across refreshes and a crowded canvas.

#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "log/logviewwidget.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtTest>
#include <QtWidgets>

class TestHeavyTraffic : public QObject
{
    Q_OBJECT

private slots:
    // Refreshed in place: rows follow the tables as they grow and shrink, while the scroll position
    // and each group's expansion stay as the user left them.
    void sessionTree()
    {
        TuioWidget window;
        window.resize(1200, 800);
        window.show();
        auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("objectTree"));
        window.findChild<QTabWidget *>()->setCurrentWidget(tree->parentWidget());
        const auto apply = [&](const QList<QByteArray> &datagrams) {
            for (const QByteArray &datagram : datagrams)
                window.sessions()->processDatagram(datagram);
            QVERIFY(QMetaObject::invokeMethod(&window, "refreshObjectTree"));
            QApplication::processEvents();
        };
        const auto rows = [tree](int group) {
            QStringList texts;
            for (int i = 0; i < tree->topLevelItem(group)->childCount(); ++i)
                texts << tree->topLevelItem(group)->child(i)->text(0) + '|' +
                             tree->topLevelItem(group)->child(i)->text(1);
            return texts;
        };
        apply({buildCursorSet(5, 0.5f, 0.5f), buildCursorSet(7, 0.5f, 0.5f),
               buildCursorSet(9, 0.5f, 0.5f)});
        apply({buildCursorAlive({7}), buildObjectSet(2, 3, 0.25f, 0.5f, 1.5f)});
        QCOMPARE(rows(0), QStringList{"s2 c3|0.250,0.500"});
        QCOMPARE(rows(1), QStringList{"s7|0.500,0.500"});
        apply({buildCursorSet(1, 0.125f, 0.5f), buildCursorSet(8, 1, 0)});
        QCOMPARE(rows(1), (QStringList{"s1|0.125,0.500", "s7|0.500,0.500", "s8|1.000,0.000"}));

        QList<QByteArray> many{buildObjectAlive({}), buildCursorAlive({})};
        for (int sid = 0; sid < 300; ++sid)
            many << buildObjectSet(sid, 1, 0.5f, 0.5f, 0) << buildCursorSet(sid, 0.25f, 0.75f);
        apply(many);
        QTreeWidgetItem *objects = tree->topLevelItem(0);
        objects->setExpanded(false);
        QApplication::processEvents();
        QScrollBar *bar = tree->verticalScrollBar();
        QVERIFY(bar->maximum() > 100);
        bar->setValue(100);
        apply({buildCursorSet(150, 0.5f, 0.125f)});
        QCOMPARE(tree->topLevelItem(0), objects);
        QVERIFY(!objects->isExpanded() && tree->topLevelItem(1)->isExpanded());
        QCOMPARE(bar->value(), 100);
        QCOMPARE(tree->topLevelItem(1)->child(150)->text(1), QStringLiteral("0.500,0.125"));
    }

    // So many items that glows and labels are left out; each glyph still shows in its own colour.
    void crowdedCanvasDrawsEveryGlyph()
    {
        TouchCanvas canvas;
        canvas.resize(800, 600);
        for (int sid = 0; sid < 1000; ++sid)
            canvas.updateTuioCursor(sid, 0.1f, 0.1f);
        canvas.updateTuioCursor(1000, 0.5f, 0.5f);
        canvas.updateTuioObject(1001, 4, 0.25f, 0.75f, 0.3f);
        QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
        canvas.render(&image);
        QCOMPARE(image.pixel(400, 300), receivedCursorColor(1000).rgba());
        QCOMPARE(image.pixel(200, 450), receivedObjectColor(1001, 4).darker(130).rgba());
        QCOMPARE(image.pixel(80, 60), receivedCursorColor(999).rgba());
    }

    void hiddenLogShowsNewestRowsWhenShown()
    {
        CommunicationBase core;
        QTabWidget tabs;
        tabs.resize(600, 400);
        tabs.addTab(new QWidget, QStringLiteral("other"));
        auto *log = new LogViewWidget(&core);
        tabs.addTab(log, QStringLiteral("log"));
        tabs.show();
        for (int i = 0; i < 300; ++i)
            core.logSystem(QStringLiteral("line %1").arg(i));
        while (log->pendingCount() > 0)
            log->flushPendingItems();

        tabs.setCurrentWidget(log);
        auto *list = log->findChild<QListWidget *>();
        QCOMPARE(list->count(), 300);
        QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
        QVERIFY(list->verticalScrollBar()->maximum() > 0);
        const QRect last = list->visualItemRect(list->item(299));
        QVERIFY(list->viewport()->rect().contains(last));
        QVERIFY(last.top() > 0);
    }
};

QTEST_MAIN(TestHeavyTraffic)
#include "tst_heavytraffic.moc"
