#include "canvas/touchcanvas.h"

#include <QApplication>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include <climits>
#include <functional>
#include <memory>

namespace {

// Sends the mouse events a platform would deliver, keeping track of the held buttons.
class Mouse
{
public:
    explicit Mouse(QWidget *target) : m_target(target) {}

    void press(Qt::MouseButton button, QPointF pos)
    {
        m_held |= button;
        send(QEvent::MouseButtonPress, button, pos);
    }
    void doubleClickPress(Qt::MouseButton button, QPointF pos)
    {
        m_held |= button;
        send(QEvent::MouseButtonDblClick, button, pos);
    }
    void release(Qt::MouseButton button, QPointF pos)
    {
        m_held &= ~Qt::MouseButtons(button);
        send(QEvent::MouseButtonRelease, button, pos);
    }
    void move(QPointF pos) { send(QEvent::MouseMove, Qt::NoButton, pos); }
    void doubleClick(Qt::MouseButton button, QPointF pos)
    {
        press(button, pos);
        release(button, pos);
        doubleClickPress(button, pos);
        release(button, pos);
    }

private:
    void send(QEvent::Type type, Qt::MouseButton button, QPointF pos)
    {
        QMouseEvent event(type, pos, m_target->mapToGlobal(pos), button, m_held, Qt::NoModifier);
        QApplication::sendEvent(m_target, &event);
    }

    QWidget *m_target = nullptr;
    Qt::MouseButtons m_held;
};

struct Spies
{
    explicit Spies(TouchCanvas *c)
        : down(c, &TouchCanvas::cursorDown), move(c, &TouchCanvas::cursorMove),
          up(c, &TouchCanvas::cursorUp), placed(c, &TouchCanvas::objectPlaced),
          moved(c, &TouchCanvas::objectMoved), added(c, &TouchCanvas::anchorAdded),
          removed(c, &TouchCanvas::anchorRemoved), multi(c, &TouchCanvas::multiTouchMove)
    {
    }
    qsizetype total() const
    {
        return down.size() + move.size() + up.size() + placed.size() + moved.size() + added.size() +
               removed.size() + multi.size();
    }
    QSignalSpy down, move, up, placed, moved, added, removed, multi;
};

// Counts the paint events the canvas receives.
class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

float norm(double pixel, int extent)
{
    return float(pixel / double(extent));
}

} // namespace

class TestTouchCanvas : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void signalOrder();
    void sessionIdsAcrossKinds();
    void cursorPressMoveRelease_data();
    void cursorPressMoveRelease();
    void secondLeftPressWhileDown();
    void rightReleaseWhileLeftHeld();
    void objectPlaceGrabDragRelease();
    void grabTakesEarlierObject_data();
    void grabTakesEarlierObject();
    void rightPressRemovesNearestObject_data();
    void rightPressRemovesNearestObject();
    void leftDoubleClickPlacesOneObject();
    void anchorsAddedAndRemoved();
    void rightDoubleClickAddsThenRemovesAnchor();
    void multiTouchPressMoveRelease();
    void dragOutsideIsNotClamped_data();
    void dragOutsideIsNotClamped();
    void setSimModeWhileCursorHeld_data();
    void setSimModeWhileCursorHeld();
    void tinyWidgetIgnoresInput_data();
    void tinyWidgetIgnoresInput();
    void repaintRequests();
    void receivedTables();
    void receivedColours_data();
    void receivedColours();
    void clearAllAndModeKeepWhatTheyShould();

private:
    void settle(); // lets pending repaints run
    int paintsDuring(const std::function<void()> &action);

    std::unique_ptr<TouchCanvas> canvas;
    std::unique_ptr<Mouse> mouse;
};

void TestTouchCanvas::init()
{
    canvas = std::make_unique<TouchCanvas>();
    canvas->resize(800, 600);
    canvas->show();
    QVERIFY(QTest::qWaitForWindowExposed(canvas.get()));
    QCOMPARE(canvas->size(), QSize(800, 600));
    mouse = std::make_unique<Mouse>(canvas.get());
}

void TestTouchCanvas::cleanup()
{
    mouse.reset();
    canvas.reset();
}

void TestTouchCanvas::settle()
{
    QTest::qWait(60);
}

int TestTouchCanvas::paintsDuring(const std::function<void()> &action)
{
    settle();
    PaintCounter counter;
    canvas->installEventFilter(&counter);
    action();
    settle();
    canvas->removeEventFilter(&counter);
    return counter.count;
}

void TestTouchCanvas::signalOrder()
{
    const QMetaObject &mo = TouchCanvas::staticMetaObject;
    const QList<QByteArray> expected = {
        "cursorDown(int,float,float)",
        "cursorMove(int,float,float)",
        "cursorUp(int)",
        "objectPlaced(int,int,float,float,float)",
        "objectMoved(int,int,float,float,float)",
        "anchorAdded(int,float,float)",
        "anchorRemoved(int)",
        "multiTouchMove(int,float,float)",
    };
    QList<QByteArray> signalsFound;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        if (mo.method(i).methodType() == QMetaMethod::Signal)
            signalsFound << mo.method(i).methodSignature();
    }
    QCOMPARE(signalsFound, expected);
    QCOMPARE(mo.indexOfSignal("cursorDown(int,float,float)"), mo.methodOffset());
}

void TestTouchCanvas::sessionIdsAcrossKinds()
{
    Spies spies(canvas.get());

    canvas->setSimMode(CursorMode);
    mouse->press(Qt::LeftButton, {100, 100});
    mouse->release(Qt::LeftButton, {100, 100});
    canvas->setSimMode(ObjectMode);
    mouse->press(Qt::LeftButton, {400, 300});
    mouse->release(Qt::LeftButton, {400, 300});
    canvas->setSimMode(MultiTouchMode);
    mouse->press(Qt::RightButton, {700, 100});
    mouse->release(Qt::RightButton, {700, 100});
    mouse->press(Qt::LeftButton, {100, 500});
    mouse->release(Qt::LeftButton, {100, 500});
    canvas->setSimMode(CursorMode);
    mouse->press(Qt::LeftButton, {300, 500});
    mouse->release(Qt::LeftButton, {300, 500});

    QCOMPARE(spies.down.size(), 2);
    QCOMPARE(spies.down.at(0).at(0).toInt(), 0);
    QCOMPARE(spies.placed.at(0).at(0).toInt(), 1);
    QCOMPARE(spies.added.at(0).at(0).toInt(), 2);
    QCOMPARE(spies.multi.at(0).at(0).toInt(), 3);
    QCOMPARE(spies.down.at(1).at(0).toInt(), 4);
    QCOMPARE(canvas->nextSid(), 5);

    canvas->clearAll();
    QCOMPARE(canvas->nextSid(), 0);
    canvas->setSimMode(MultiTouchMode);
    mouse->press(Qt::RightButton, {400, 300});
    QCOMPARE(spies.added.size(), 2);
    QCOMPARE(spies.added.at(1).at(0).toInt(), 0);
}

void TestTouchCanvas::cursorPressMoveRelease_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QPointF>("pressAt");
    QTest::addColumn<QPointF>("moveTo");

    QTest::newRow("800x600 quarter") << QSize(800, 600) << QPointF(200, 150) << QPointF(400, 300);
    QTest::newRow("odd size, fractional")
        << QSize(777, 431) << QPointF(12.5, 400.25) << QPointF(700.75, 3.5);
}

void TestTouchCanvas::cursorPressMoveRelease()
{
    QFETCH(QSize, size);
    QFETCH(QPointF, pressAt);
    QFETCH(QPointF, moveTo);
    canvas->resize(size);
    QCOMPARE(canvas->size(), size);
    canvas->setSimMode(CursorMode);
    Spies spies(canvas.get());

    bool stateSeenAtDown = false;
    connect(canvas.get(), &TouchCanvas::cursorDown, this, [&](int id) {
        stateSeenAtDown = canvas->pointerPositions().value(1) == pressAt &&
                          canvas->pointerSids().value(1, -1) == id;
    });
    mouse->press(Qt::LeftButton, pressAt);
    QCOMPARE(spies.down.size(), 1);
    QCOMPARE(spies.down.at(0).at(0).toInt(), 0);
    QCOMPARE(spies.down.at(0).at(1).toFloat(), norm(pressAt.x(), size.width()));
    QCOMPARE(spies.down.at(0).at(2).toFloat(), norm(pressAt.y(), size.height()));
    QVERIFY(stateSeenAtDown);

    QPointF positionAtMove;
    connect(canvas.get(), &TouchCanvas::cursorMove, this,
            [&] { positionAtMove = canvas->pointerPositions().value(1); });
    mouse->move(moveTo);
    QCOMPARE(spies.move.size(), 1);
    QCOMPARE(spies.move.at(0).at(0).toInt(), 0);
    QCOMPARE(spies.move.at(0).at(1).toFloat(), norm(moveTo.x(), size.width()));
    QCOMPARE(spies.move.at(0).at(2).toFloat(), norm(moveTo.y(), size.height()));
    QCOMPARE(positionAtMove, moveTo);

    int markersAtUp = -1;
    connect(canvas.get(), &TouchCanvas::cursorUp, this, [&] {
        markersAtUp = int(canvas->pointerPositions().size() + canvas->pointerSids().size());
    });
    mouse->release(Qt::LeftButton, moveTo);
    QCOMPARE(spies.up.size(), 1);
    QCOMPARE(spies.up.at(0).at(0).toInt(), 0);
    QCOMPARE(markersAtUp, 0);

    // Moves after the release (mouse tracking is on) are not cursor moves.
    mouse->move(pressAt);
    QCOMPARE(spies.total(), 3);
}

void TestTouchCanvas::secondLeftPressWhileDown()
{
    canvas->setSimMode(CursorMode);
    Spies spies(canvas.get());
    mouse->press(Qt::LeftButton, {100, 100});
    mouse->press(Qt::LeftButton, {300, 300});
    QCOMPARE(spies.down.size(), 1);
    QCOMPARE(canvas->pointerPositions().value(1), QPointF(100, 100));
    QCOMPARE(canvas->nextSid(), 1);

    mouse->release(Qt::LeftButton, {300, 300});
    QCOMPARE(spies.up.size(), 1);
    QCOMPARE(spies.up.at(0).at(0).toInt(), 0);
}

void TestTouchCanvas::rightReleaseWhileLeftHeld()
{
    canvas->setSimMode(CursorMode);
    Spies spies(canvas.get());
    mouse->press(Qt::LeftButton, {100, 100});
    mouse->press(Qt::RightButton, {100, 100});
    mouse->release(Qt::RightButton, {100, 100});
    QCOMPARE(spies.up.size(), 0);
    QCOMPARE(canvas->pointerPositions().size(), 1);

    mouse->move({120, 130});
    QCOMPARE(spies.move.size(), 1);
    QCOMPARE(spies.move.at(0).at(0).toInt(), 0);
    mouse->release(Qt::LeftButton, {120, 130});
    QCOMPARE(spies.up.size(), 1);
    QCOMPARE(spies.down.size(), 1);
}

void TestTouchCanvas::objectPlaceGrabDragRelease()
{
    canvas->setSimMode(ObjectMode);
    Spies spies(canvas.get());

    int objectsAtPlacement = -1;
    connect(canvas.get(), &TouchCanvas::objectPlaced, this,
            [&] { objectsAtPlacement = int(canvas->simObjects().size()); });
    mouse->press(Qt::LeftButton, {200, 300});
    QCOMPARE(spies.placed.size(), 1);
    const QList<QVariant> placed = spies.placed.at(0);
    QCOMPARE(placed.at(0).toInt(), 0);
    QCOMPARE(placed.at(1).toInt(), 0);
    QCOMPARE(placed.at(2).toFloat(), 0.25f);
    QCOMPARE(placed.at(3).toFloat(), 0.5f);
    QCOMPARE(placed.at(4).toFloat(), 0.0f);
    QCOMPARE(objectsAtPlacement, 1);
    QCOMPARE(canvas->dragSid(), -1);

    // The fresh object is not grabbed by the press that placed it.
    mouse->move({300, 300});
    QCOMPARE(spies.moved.size(), 0);
    QCOMPARE(canvas->simObjects().at(0).x, 0.25f);
    mouse->release(Qt::LeftButton, {300, 300});

    // A press 60 px right of it (dx 0.075, d² 0.0056) grabs it without a signal.
    mouse->press(Qt::LeftButton, {260, 300});
    QCOMPARE(spies.total(), 1);
    QCOMPARE(canvas->dragSid(), 0);
    QCOMPARE(canvas->pointerPositions().size(), 1);

    QPointF recordAtMove;
    connect(canvas.get(), &TouchCanvas::objectMoved, this, [&] {
        const SimObject o = canvas->simObjects().at(0);
        recordAtMove = QPointF(o.x, o.y);
    });
    mouse->move({600, 150});
    mouse->move({640, 120});
    QCOMPARE(spies.moved.size(), 2);
    const QList<QVariant> moved = spies.moved.at(1);
    QCOMPARE(moved.at(0).toInt(), 0);
    QCOMPARE(moved.at(1).toInt(), 0);
    QCOMPARE(moved.at(2).toFloat(), 0.8f);
    QCOMPARE(moved.at(3).toFloat(), 0.2f);
    QCOMPARE(moved.at(4).toFloat(), 0.0f);
    QCOMPARE(recordAtMove, QPointF(0.8f, 0.2f));

    mouse->release(Qt::LeftButton, {640, 120});
    QCOMPARE(spies.total(), 3);
    QCOMPARE(canvas->dragSid(), -1);
    QVERIFY(canvas->pointerPositions().isEmpty());
    QCOMPARE(canvas->simObjects().size(), 1);
    QCOMPARE(canvas->simObjects().at(0).x, 0.8f);
}

void TestTouchCanvas::grabTakesEarlierObject_data()
{
    QTest::addColumn<QList<SimObject>>("objects");
    QTest::addColumn<QPointF>("pressAt");
    QTest::addColumn<int>("expectedDragSid");

    // Both within the grab zone of a press at x = 280 (0.35): the earlier wins, not the nearer.
    const SimObject a{5, 1, 0.30f, 0.5f, 0};
    const SimObject b{9, 2, 0.36f, 0.5f, 0};
    QTest::newRow("nearer is later") << QList<SimObject>{a, b} << QPointF(280, 300) << 5;
    QTest::newRow("nearer is earlier") << QList<SimObject>{b, a} << QPointF(280, 300) << 9;
    QTest::newRow("only the later in reach") << QList<SimObject>{a, b} << QPointF(350, 300) << 9;
}

void TestTouchCanvas::grabTakesEarlierObject()
{
    QFETCH(QList<SimObject>, objects);
    QFETCH(QPointF, pressAt);
    QFETCH(int, expectedDragSid);
    canvas->setSimMode(ObjectMode);
    canvas->setSimObjects(objects);
    Spies spies(canvas.get());

    mouse->press(Qt::LeftButton, pressAt);
    QCOMPARE(canvas->dragSid(), expectedDragSid);
    QCOMPARE(spies.total(), 0);
    mouse->move({400, 450});
    QCOMPARE(spies.moved.size(), 1);
    QCOMPARE(spies.moved.at(0).at(0).toInt(), expectedDragSid);
    for (const SimObject &o : canvas->simObjects()) {
        const bool dragged = o.sid == expectedDragSid;
        QCOMPARE(o.x == 0.5f && o.y == 0.75f, dragged);
    }
}

void TestTouchCanvas::rightPressRemovesNearestObject_data()
{
    QTest::addColumn<QList<SimObject>>("objects");
    QTest::addColumn<QPointF>("pressAt");
    QTest::addColumn<int>("removedSid"); // -1: nothing removed

    // Exactly representable positions, so the tie below is exact.
    const SimObject a{1, 0, 0.25f, 0.5f, 0};
    const SimObject b{2, 0, 0.375f, 0.5f, 0};
    // Press at x = 0.36: a at d² 0.0121, b at 0.0002, both inside 0.02.
    QTest::newRow("nearer is later") << QList<SimObject>{a, b} << QPointF(288, 300) << 2;
    QTest::newRow("nearer is earlier") << QList<SimObject>{b, a} << QPointF(288, 300) << 2;
    // x = 0.3125 is exactly between them: the earlier in the list goes.
    QTest::newRow("tie takes earlier") << QList<SimObject>{b, a} << QPointF(250, 300) << 2;
    QTest::newRow("tie takes earlier, swapped") << QList<SimObject>{a, b} << QPointF(250, 300) << 1;
    // 0.15 from b (d² 0.0225) is just outside the zone.
    QTest::newRow("out of reach") << QList<SimObject>{b} << QPointF(420, 300) << -1;
    QTest::newRow("empty list") << QList<SimObject>{} << QPointF(400, 300) << -1;
}

void TestTouchCanvas::rightPressRemovesNearestObject()
{
    QFETCH(QList<SimObject>, objects);
    QFETCH(QPointF, pressAt);
    QFETCH(int, removedSid);
    canvas->setSimMode(ObjectMode);
    canvas->setSimObjects(objects);
    Spies spies(canvas.get());

    bool goneAtSignal = false;
    connect(canvas.get(), &TouchCanvas::cursorUp, this, [&](int sid) {
        goneAtSignal = true;
        for (const SimObject &o : canvas->simObjects())
            goneAtSignal = goneAtSignal && o.sid != sid;
    });

    const int paints = paintsDuring([&] { mouse->press(Qt::RightButton, pressAt); });
    if (removedSid < 0) {
        QCOMPARE(spies.total(), 0);
        QCOMPARE(canvas->simObjects().size(), objects.size());
        QCOMPARE(paints, 0);
    } else {
        QCOMPARE(spies.total(), 1);
        QCOMPARE(spies.up.size(), 1);
        QCOMPARE(spies.up.at(0).at(0).toInt(), removedSid);
        QVERIFY(goneAtSignal);
        QCOMPARE(canvas->simObjects().size(), objects.size() - 1);
        QVERIFY(paints >= 1);
    }
    mouse->release(Qt::RightButton, pressAt);
    QCOMPARE(spies.total(), removedSid < 0 ? 0 : 1);
}

void TestTouchCanvas::leftDoubleClickPlacesOneObject()
{
    canvas->setSimMode(ObjectMode);
    Spies spies(canvas.get());
    // Through the test library's spontaneous-event path: click, then the double-click press.
    QTest::mouseClick(canvas.get(), Qt::LeftButton, {}, QPoint(400, 300));
    QTest::mouseDClick(canvas.get(), Qt::LeftButton, {}, QPoint(401, 300));
    QCOMPARE(spies.placed.size(), 1);
    QCOMPARE(canvas->dragSid(), 0);
    QTest::mouseRelease(canvas.get(), Qt::LeftButton, {}, QPoint(401, 300));
    QCOMPARE(canvas->simObjects().size(), 1);
    QCOMPARE(canvas->dragSid(), -1);
    QCOMPARE(spies.total(), 1);

    // Same with hand-made events.
    mouse->doubleClick(Qt::LeftButton, {100, 100});
    QCOMPARE(spies.placed.size(), 2);
    QCOMPARE(canvas->simObjects().size(), 2);
}

void TestTouchCanvas::anchorsAddedAndRemoved()
{
    canvas->setSimMode(MultiTouchMode);
    Spies spies(canvas.get());
    int anchorsAtAdd = -1;
    int anchorsAtRemove = -1;
    connect(canvas.get(), &TouchCanvas::anchorAdded, this,
            [&] { anchorsAtAdd = int(canvas->anchors().size()); });
    connect(canvas.get(), &TouchCanvas::anchorRemoved, this,
            [&] { anchorsAtRemove = int(canvas->anchors().size()); });

    mouse->press(Qt::RightButton, {80, 60});
    mouse->release(Qt::RightButton, {80, 60});
    QCOMPARE(spies.added.size(), 1);
    QCOMPARE(spies.added.at(0).at(0).toInt(), 0);
    QCOMPARE(spies.added.at(0).at(1).toFloat(), 0.1f);
    QCOMPARE(spies.added.at(0).at(2).toFloat(), 0.1f);
    QCOMPARE(anchorsAtAdd, 1);

    // d² = 0.0625² + 0 = 0.0039 < 0.005 hits it; 0.075² = 0.0056 does not.
    mouse->press(Qt::RightButton, {140, 60});
    mouse->release(Qt::RightButton, {140, 60});
    QCOMPARE(spies.added.size(), 2);
    QCOMPARE(canvas->anchors().size(), 2);
    QCOMPARE(spies.added.at(1).at(0).toInt(), 1);

    mouse->press(Qt::RightButton, {80, 60});
    QCOMPARE(spies.removed.size(), 1);
    QCOMPARE(spies.removed.at(0).at(0).toInt(), 0);
    QCOMPARE(anchorsAtRemove, 1);
    QCOMPARE(canvas->anchors().size(), 1);
    QCOMPARE(canvas->anchors().at(0).sid, 1);
    QCOMPARE(spies.up.size(), 0);
    QCOMPARE(spies.multi.size(), 0);
}

void TestTouchCanvas::rightDoubleClickAddsThenRemovesAnchor()
{
    canvas->setSimMode(MultiTouchMode);
    QStringList order;
    connect(canvas.get(), &TouchCanvas::anchorAdded, this,
            [&](int sid) { order << QStringLiteral("added %1").arg(sid); });
    connect(canvas.get(), &TouchCanvas::anchorRemoved, this,
            [&](int sid) { order << QStringLiteral("removed %1").arg(sid); });
    mouse->doubleClick(Qt::RightButton, {400, 300});
    QCOMPARE(order, QStringList({"added 0", "removed 0"}));
    QVERIFY(canvas->anchors().isEmpty());
}

void TestTouchCanvas::multiTouchPressMoveRelease()
{
    canvas->setSimMode(MultiTouchMode);
    canvas->addAnchor(Anchor{40, 0.5f, 0.5f});
    Spies spies(canvas.get());

    bool stateAtPress = false;
    connect(canvas.get(), &TouchCanvas::multiTouchMove, this, [&](int sid) {
        stateAtPress = canvas->activeSid() == sid && canvas->pointerSids().value(1, -1) == sid &&
                       canvas->pointerPositions().contains(1);
    });
    mouse->press(Qt::LeftButton, {400, 150});
    QCOMPARE(spies.multi.size(), 1);
    QCOMPARE(spies.multi.at(0).at(0).toInt(), 0);
    QCOMPARE(spies.multi.at(0).at(1).toFloat(), 0.5f);
    QCOMPARE(spies.multi.at(0).at(2).toFloat(), 0.25f);
    QVERIFY(stateAtPress);

    mouse->move({200, 450});
    QCOMPARE(spies.multi.size(), 2);
    QCOMPARE(spies.multi.at(1).at(0).toInt(), 0);
    QCOMPARE(spies.multi.at(1).at(1).toFloat(), 0.25f);
    QCOMPARE(spies.multi.at(1).at(2).toFloat(), 0.75f);

    // A right click elsewhere adds an anchor without disturbing the active point.
    mouse->press(Qt::RightButton, {700, 500});
    mouse->release(Qt::RightButton, {700, 500});
    QCOMPARE(spies.added.size(), 1);
    QCOMPARE(spies.added.at(0).at(0).toInt(), 1);
    QCOMPARE(spies.up.size(), 0);
    QCOMPARE(canvas->activeSid(), 0);

    mouse->release(Qt::LeftButton, {200, 450});
    QCOMPARE(spies.up.size(), 1);
    QCOMPARE(spies.up.at(0).at(0).toInt(), 0);
    QCOMPARE(canvas->activeSid(), -1);
    QVERIFY(canvas->pointerPositions().isEmpty());
    QCOMPARE(canvas->anchors().size(), 2);
    QCOMPARE(canvas->anchors().at(0).sid, 40);

    mouse->move({300, 300});
    mouse->release(Qt::LeftButton, {300, 300});
    QCOMPARE(spies.multi.size(), 2);
    QCOMPARE(spies.up.size(), 1);
}

void TestTouchCanvas::dragOutsideIsNotClamped_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QPointF>("outside");
    QTest::newRow("cursor, left and below") << int(CursorMode) << QPointF(-80, 700);
    QTest::newRow("object, right and above") << int(ObjectMode) << QPointF(1000, -30);
    QTest::newRow("multi-touch, far right") << int(MultiTouchMode) << QPointF(1600, 300);
}

void TestTouchCanvas::dragOutsideIsNotClamped()
{
    QFETCH(int, mode);
    QFETCH(QPointF, outside);
    canvas->setSimMode(mode);
    const QPointF start(400, 300);
    if (mode == ObjectMode) {
        mouse->press(Qt::LeftButton, start);
        mouse->release(Qt::LeftButton, start);
    }
    QList<QVariant> last;
    auto record = [&](const QList<QVariant> &args) { last = args; };
    connect(canvas.get(), &TouchCanvas::cursorMove, this, [&](int id, float x, float y) {
        record({id, x, y});
    });
    connect(canvas.get(), &TouchCanvas::objectMoved, this, [&](int id, int, float x, float y) {
        record({id, x, y});
    });
    connect(canvas.get(), &TouchCanvas::multiTouchMove, this, [&](int id, float x, float y) {
        record({id, x, y});
    });

    mouse->press(Qt::LeftButton, start);
    mouse->move(outside);
    QCOMPARE(last.size(), 3);
    QCOMPARE(last.at(1).toFloat(), norm(outside.x(), 800));
    QCOMPARE(last.at(2).toFloat(), norm(outside.y(), 600));
    QVERIFY(last.at(1).toFloat() < 0 || last.at(1).toFloat() > 1 || last.at(2).toFloat() < 0 ||
            last.at(2).toFloat() > 1);
    QCOMPARE(canvas->pointerPositions().value(1), outside);
}

void TestTouchCanvas::setSimModeWhileCursorHeld_data()
{
    QTest::addColumn<int>("newMode");
    QTest::newRow("to cursor") << int(CursorMode);
    QTest::newRow("to object") << int(ObjectMode);
    QTest::newRow("to multi-touch") << int(MultiTouchMode);
}

void TestTouchCanvas::setSimModeWhileCursorHeld()
{
    QFETCH(int, newMode);
    canvas->setSimMode(CursorMode);
    Spies spies(canvas.get());
    mouse->press(Qt::LeftButton, {100, 100});
    QCOMPARE(spies.down.size(), 1);

    canvas->setSimMode(newMode);
    QCOMPARE(canvas->simMode(), newMode);
    QVERIFY(canvas->pointerPositions().isEmpty());
    QVERIFY(canvas->pointerSids().isEmpty());
    QCOMPARE(spies.up.size(), 0);

    mouse->move({150, 150});
    mouse->release(Qt::LeftButton, {150, 150});
    QCOMPARE(spies.up.size(), 0);
    QCOMPARE(spies.move.size(), 0);
    QCOMPARE(spies.multi.size(), 0);
    QCOMPARE(spies.moved.size(), 0);
}

void TestTouchCanvas::tinyWidgetIgnoresInput_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("mode");
    for (const QSize size : {QSize(0, 0), QSize(0, 300), QSize(300, 0)}) {
        for (int mode : {CursorMode, ObjectMode, MultiTouchMode}) {
            const QByteArray name = QStringLiteral("%1x%2 mode %3")
                                        .arg(size.width())
                                        .arg(size.height())
                                        .arg(mode)
                                        .toUtf8();
            QTest::newRow(name.constData()) << size << mode;
        }
    }
}

void TestTouchCanvas::tinyWidgetIgnoresInput()
{
    QFETCH(QSize, size);
    QFETCH(int, mode);
    TouchCanvas tiny;
    tiny.setMinimumSize(0, 0);
    tiny.resize(size);
    QCOMPARE(tiny.size(), size);
    tiny.setSimMode(mode);
    tiny.setSimObjects({SimObject{7, 0, 0, 0, 0}});
    tiny.addAnchor(Anchor{8, 0, 0});
    Spies spies(&tiny);
    Mouse m(&tiny);

    for (Qt::MouseButton button : {Qt::LeftButton, Qt::RightButton}) {
        m.press(button, {0, 0});
        m.move({0, 0});
        m.move({10, 10});
        m.release(button, {0, 0});
    }
    QCOMPARE(spies.total(), 0);
    QCOMPARE(tiny.nextSid(), 0);
    QCOMPARE(tiny.simObjects().size(), 1);
    QCOMPARE(tiny.anchors().size(), 1);
    QVERIFY(tiny.pointerPositions().isEmpty());
    QCOMPARE(tiny.dragSid(), -1);
    QCOMPARE(tiny.activeSid(), -1);
}

void TestTouchCanvas::repaintRequests()
{
    QVERIFY(paintsDuring([&] { canvas->removeTuioCursor(123); }) >= 1);
    QVERIFY(paintsDuring([&] { canvas->removeSimObject(123); }) >= 1);
    QVERIFY(paintsDuring([&] { canvas->removeAnchor(123); }) >= 1);
    QVERIFY(paintsDuring([&] { canvas->setSimMode(CursorMode); }) >= 1);
    // A plain move without a press is not a cursor move and asks for nothing in cursor mode...
    QCOMPARE(paintsDuring([&] { mouse->move({10, 10}); }), 0);
    // ...while in the other modes every move repaints.
    canvas->setSimMode(MultiTouchMode);
    QVERIFY(paintsDuring([&] { mouse->move({20, 20}); }) >= 1);
    // A cursor-mode press shows its marker at once.
    canvas->setSimMode(CursorMode);
    QVERIFY(paintsDuring([&] { mouse->press(Qt::LeftButton, {30, 30}); }) >= 1);
    // A release with no pointer behind it is ignored.
    QCOMPARE(paintsDuring([&] { mouse->release(Qt::RightButton, {30, 30}); }), 0);
    // Many updates between two frames merge into few repaints.
    QVERIFY(paintsDuring([&] {
                for (int i = 0; i < 200; ++i)
                    canvas->updateTuioCursor(i % 10, 0.5f, 0.5f);
            }) <= 2);
}

void TestTouchCanvas::receivedTables()
{
    canvas->updateTuioCursor(3, 0.1f, 0.2f);
    canvas->updateTuioCursor(3, 0.3f, 0.4f);
    canvas->updateTuioCursor(1, 0.5f, 0.6f);
    QCOMPARE(canvas->receivedCursors().size(), 2);
    QCOMPARE(canvas->receivedCursors().firstKey(), 1);
    QCOMPARE(canvas->receivedCursors().value(3).x, 0.3f);
    QCOMPARE(canvas->receivedCursors().value(3).y, 0.4f);
    canvas->removeTuioCursor(99);
    QCOMPARE(canvas->receivedCursors().size(), 2);
    canvas->removeTuioCursor(3);
    QCOMPARE(canvas->receivedCursors().keys(), QList<int>{1});

    canvas->updateTuioObject(4, 2, 0.1f, 0.2f, 1.5f);
    const QColor before = canvas->receivedObjects().value(4).color;
    canvas->updateTuioObject(4, 3, 0.7f, 0.8f, -0.5f);
    QCOMPARE(canvas->receivedObjects().size(), 1);
    const ReceivedObject o = canvas->receivedObjects().value(4);
    QCOMPARE(o.cid, 3);
    QCOMPARE(o.x, 0.7f);
    QCOMPARE(o.angle, -0.5f);
    QCOMPARE(o.color, receivedObjectColor(4, 3));
    QVERIFY(o.color != before);
    canvas->removeTuioObject(4);
    QVERIFY(canvas->receivedObjects().isEmpty());

    // The canvas's signals do not fire for received items.
    Spies spies(canvas.get());
    canvas->updateTuioCursor(8, 0.5f, 0.5f);
    canvas->updateTuioObject(9, 1, 0.5f, 0.5f, 0);
    QCOMPARE(spies.total(), 0);
}

void TestTouchCanvas::receivedColours_data()
{
    QTest::addColumn<bool>("isObject");
    QTest::addColumn<int>("sid");
    QTest::addColumn<int>("cid");
    QTest::addColumn<int>("hue");

    QTest::newRow("cursor 1") << false << 1 << 0 << 73;
    QTest::newRow("cursor 5") << false << 5 << 0 << 5;
    QTest::newRow("cursor 0") << false << 0 << 0 << 0;
    QTest::newRow("object 1/2") << true << 1 << 2 << 109;
    QTest::newRow("object 10/0") << true << 10 << 0 << 110;
    // Negative ids: -73 % 360 = -73, brought up to 287.
    QTest::newRow("cursor -1") << false << -1 << 0 << 287;
    QTest::newRow("object -1/0") << true << -1 << 0 << 313;
    QTest::newRow("object 0/-1") << true << 0 << -1 << 329;
    QTest::newRow("object -3/-5") << true << -3 << -5 << 64; // -296
    // INT_MIN * 73 wraps to INT_MIN; -2147483648 % 360 = -128 -> 232.
    QTest::newRow("cursor INT_MIN") << false << INT_MIN << 0 << 232;
    // INT_MAX * 73 wraps to 2147483575; its remainder is 55.
    QTest::newRow("cursor INT_MAX") << false << INT_MAX << 0 << 55;
}

void TestTouchCanvas::receivedColours()
{
    QFETCH(bool, isObject);
    QFETCH(int, sid);
    QFETCH(int, cid);
    QFETCH(int, hue);

    const QColor direct = isObject ? receivedObjectColor(sid, cid) : receivedCursorColor(sid);
    if (isObject)
        canvas->updateTuioObject(sid, cid, 0.5f, 0.5f, 0);
    else
        canvas->updateTuioCursor(sid, 0.5f, 0.5f);
    const QColor stored = isObject ? canvas->receivedObjects().value(sid).color
                                   : canvas->receivedCursors().value(sid).color;

    QVERIFY(direct.isValid());
    QCOMPARE(stored, direct);
    QCOMPARE(direct.hsvHue(), hue);
    QCOMPARE(direct.hsvSaturation(), isObject ? 200 : 180);
    QCOMPARE(direct.value(), isObject ? 220 : 240);
    QCOMPARE(direct.alpha(), 255);
}

void TestTouchCanvas::clearAllAndModeKeepWhatTheyShould()
{
    canvas->setSimMode(ObjectMode);
    mouse->press(Qt::LeftButton, {400, 300});
    mouse->release(Qt::LeftButton, {400, 300});
    canvas->addAnchor(Anchor{1, 0.2f, 0.2f});
    canvas->updateTuioCursor(2, 0.1f, 0.1f);
    canvas->updateTuioObject(3, 0, 0.1f, 0.1f, 0);
    mouse->press(Qt::LeftButton, {400, 300});
    QCOMPARE(canvas->dragSid(), 0);

    canvas->setSimMode(MultiTouchMode);
    QCOMPARE(canvas->dragSid(), -1);
    QVERIFY(canvas->pointerPositions().isEmpty());
    QCOMPARE(canvas->simObjects().size(), 1);
    QCOMPARE(canvas->anchors().size(), 1);
    QCOMPARE(canvas->receivedCursors().size(), 1);
    QCOMPARE(canvas->receivedObjects().size(), 1);
    QCOMPARE(canvas->nextSid(), 1);
    QVERIFY(canvas->hasMouseTracking());

    Spies spies(canvas.get());
    mouse->press(Qt::LeftButton, {100, 100});
    QCOMPARE(canvas->activeSid(), 1);
    canvas->clearAll();
    QCOMPARE(spies.up.size(), 0);
    QCOMPARE(canvas->simMode(), int(MultiTouchMode));
    QCOMPARE(canvas->activeSid(), -1);
    QCOMPARE(canvas->nextSid(), 0);
    QVERIFY(canvas->simObjects().isEmpty());
    QVERIFY(canvas->anchors().isEmpty());
    QVERIFY(canvas->receivedCursors().isEmpty());
    QVERIFY(canvas->receivedObjects().isEmpty());
    QVERIFY(canvas->pointerPositions().isEmpty());
    QVERIFY(canvas->pointerSids().isEmpty());
    mouse->release(Qt::LeftButton, {100, 100});
    QCOMPARE(spies.up.size(), 0);
}

QTEST_MAIN(TestTouchCanvas)
#include "tst_touchcanvas.moc"
