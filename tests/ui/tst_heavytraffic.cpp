// Behaviour under many live sessions: the session tree across refreshes and a crowded canvas.

#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "log/logviewwidget.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {

void refresh(TuioWidget &window)
{
    QVERIFY(QMetaObject::invokeMethod(&window, "refreshObjectTree"));
}

QStringList rowTexts(const QTreeWidgetItem *group)
{
    QStringList rows;
    for (int i = 0; i < group->childCount(); ++i)
        rows << group->child(i)->text(0) + '|' + group->child(i)->text(1);
    return rows;
}

} // namespace

class TestHeavyTraffic : public QObject
{
    Q_OBJECT

private slots:
    void treeKeepsScrollAndExpansion();
    void treeFollowsGrowingAndShrinkingTables();
    void crowdedCanvasDrawsEveryGlyph();
    void hiddenLogShowsNewestRowsWhenShown();
};

void TestHeavyTraffic::treeKeepsScrollAndExpansion()
{
    TuioWidget window;
    window.resize(1200, 800);
    window.show();
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("objectTree"));
    window.findChild<QTabWidget *>()->setCurrentWidget(tree->parentWidget());
    TuioSessions *sessions = window.sessions();
    for (int sid = 0; sid < 300; ++sid) {
        sessions->processDatagram(buildObjectSet(sid, 1, 0.5f, 0.5f, 0));
        sessions->processDatagram(buildCursorSet(sid, 0.25f, 0.75f));
    }
    refresh(window);
    QTreeWidgetItem *objects = tree->topLevelItem(0);
    objects->setExpanded(false);
    QApplication::processEvents();
    QScrollBar *bar = tree->verticalScrollBar();
    QVERIFY(bar->maximum() > 100);
    bar->setValue(100);

    sessions->processDatagram(buildCursorSet(150, 0.5f, 0.125f));
    refresh(window);
    QApplication::processEvents();

    QCOMPARE(tree->topLevelItem(0), objects);
    QVERIFY(!objects->isExpanded());
    QVERIFY(tree->topLevelItem(1)->isExpanded());
    QCOMPARE(bar->value(), 100);
    QCOMPARE(tree->topLevelItem(1)->child(150)->text(1), QStringLiteral("0.500,0.125"));
}

void TestHeavyTraffic::treeFollowsGrowingAndShrinkingTables()
{
    TuioWidget window;
    TuioSessions *sessions = window.sessions();
    auto *tree = window.findChild<QTreeWidget *>(QStringLiteral("objectTree"));
    for (int sid : {5, 7, 9})
        sessions->processDatagram(buildCursorSet(sid, 0.5f, 0.5f));
    refresh(window);
    sessions->processDatagram(buildCursorAlive({7}));
    sessions->processDatagram(buildObjectSet(2, 3, 0.25f, 0.5f, 1.5f));
    refresh(window);
    QCOMPARE(rowTexts(tree->topLevelItem(0)), QStringList{"s2 c3|0.250,0.500"});
    QCOMPARE(rowTexts(tree->topLevelItem(1)), QStringList{"s7|0.500,0.500"});
    sessions->processDatagram(buildCursorSet(1, 0.125f, 0.5f));
    sessions->processDatagram(buildCursorSet(8, 1, 0));
    refresh(window);
    QCOMPARE(rowTexts(tree->topLevelItem(1)),
             (QStringList{"s1|0.125,0.500", "s7|0.500,0.500", "s8|1.000,0.000"}));
}

// So many items that glows and labels are left out; each glyph still shows in its own colour.
void TestHeavyTraffic::crowdedCanvasDrawsEveryGlyph()
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

void TestHeavyTraffic::hiddenLogShowsNewestRowsWhenShown()
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

QTEST_MAIN(TestHeavyTraffic)
#include "tst_heavytraffic.moc"
