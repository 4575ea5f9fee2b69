#include "canvas/touchcanvas.h"
#include "support/freeport.h"
#include "tuio/tuiomessages.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

using Datagrams = QList<QByteArray>;

// cur(sid, x, y), obj(sid, cid, x, y, angle), curAlive({ids}), objAlive({ids}).
const auto cur = &buildCursorSet;
const auto obj = &buildObjectSet;
const auto curAlive = &buildCursorAlive;
const auto objAlive = &buildObjectAlive;

// Every row of the tree: "text0|text1|text2", each group row before its children.
QStringList treeRows(QTreeWidget *tree)
{
    QStringList rows;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join(QLatin1Char('|'));
    return rows;
}

} // namespace

// What the window adds to the core: canvas gestures to the sender, the tables to the tree.
class TestWindowTraffic : public QObject
{
    Q_OBJECT

    TuioWidget *window = nullptr;
    QUdpSocket *receiver = nullptr;

    template <typename T> T *named(const char *name) const { return window->findChild<T *>(name); }

    // Steps: "server", "client" (the mode buttons); "start" or "stop" (the mode's start button);
    // "cursor", "object", "multi" (simulation mode); "C:9,0.2" (class id and angle fields); mouse
    // steps at fractions of the canvas size, such as "L+0.5,0.25" (left press), "L~0.6,0.3"
    // (move), "R-0.6,0.3" (right release).
    void run(const QString &script)
    {
        TouchCanvas *canvas = window->touchCanvas();
        for (const QString &step : script.split(' ')) {
            const QStringList xy = step.mid(2).split(',');
            const int mode = QStringList{"server", "client"}.indexOf(step);
            const int simMode = QStringList{"cursor", "object", "multi"}.indexOf(step);
            const int kind = QStringLiteral("+~-").indexOf(step.mid(1, 1));
            if (mode >= 0) {
                window->findChildren<QRadioButton *>().at(mode)->click();
            } else if (step == QLatin1String("start") || step == QLatin1String("stop")) {
                const char *group = window->isServerMode() ? "serverGroup" : "clientGroup";
                named<QGroupBox>(group)->findChild<QPushButton *>("accentButton")->click();
            } else if (simMode >= 0) {
                named<QComboBox>("simModeCombo")->setCurrentIndex(simMode);
            } else if (step.startsWith(QLatin1String("C:"))) {
                named<QSpinBox>("classIdSpin")->setValue(xy.at(0).toInt());
                named<QDoubleSpinBox>("angleSpin")->setValue(xy.at(1).toDouble());
            } else {
                QVERIFY2(kind >= 0 && xy.size() == 2, qPrintable(step));
                const auto button = step.at(0) == 'L' ? Qt::LeftButton : Qt::RightButton;
                const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseMove,
                                              QEvent::MouseButtonRelease};
                const QPointF pos(xy.at(0).toDouble() * canvas->width(),
                                  xy.at(1).toDouble() * canvas->height());
                QMouseEvent event(types[kind], pos, canvas->mapToGlobal(pos),
                                  kind == 1 ? Qt::NoButton : button,
                                  kind == 2 ? Qt::NoButton : button, Qt::NoModifier);
                QApplication::sendEvent(canvas, &event);
            }
        }
    }

private slots:
    void init()
    {
        window = new TuioWidget;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        receiver = new QUdpSocket(window);
        QVERIFY(receiver->bind(QHostAddress::LocalHost, 0));
        named<QSpinBox>("targetPortSpin")->setValue(receiver->localPort());
        named<QSpinBox>("listenPortSpin")->setValue(freeUdpPort());
    }
    void cleanup() { delete window; }

    void gestures_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<Datagrams>("datagrams");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("anchors");
        const auto row = [](const char *name, const char *script, const Datagrams &datagrams,
                            int objects = 0, int anchors = 0) {
            QTest::newRow(name) << QString(script) << datagrams << objects << anchors;
        };
        row("cursor: press, moves, release, next touch",
            "client start L+0.5,0.25 L~0.125,0.875 L~-0.001953125,1.5 L-0,0 L+0.25,0.25 "
            "L-0.25,0.25",
            {cur(0, .5f, .25f), cur(0, .125f, .875f), cur(0, -.001953125f, 1.5f), curAlive({}),
             cur(1, .25f, .25f), curAlive({})});
        // Class id and angle come from the fields on placement and stay with the object.
        row("object: place, move, right presses remove the nearest, then the last",
            "client start object C:3,1.5 L+0.25,0.25 L-0.25,0.25 C:9,0.2 L+0.75,0.75 L-0.75,0.75 "
            "L+0.25,0.25 L~0.375,0.25 L-0.375,0.25 R+0.75,0.75 R-0.75,0.75 R+0.375,0.25 "
            "R-0.375,0.25",
            {obj(0, 3, .25f, .25f, 1.5f), objAlive({0}), obj(1, 9, .75f, .75f, .2f),
             objAlive({0, 1}), obj(0, 3, .375f, .25f, 1.5f), objAlive({0, 1}), objAlive({0}),
             objAlive({})});
        row("multi-touch: anchors, then the active point",
            "client start multi R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 R+0.5,0.75 "
            "R-0.5,0.75 R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 L~0.5,0.625 L-0.5,0.625",
            {cur(0, .25f, .25f), cur(1, .75f, .25f), cur(2, .5f, .75f), curAlive({0, 2}),
             cur(3, .5f, .5f), curAlive({0, 2, 3}), cur(3, .5f, .625f), curAlive({0, 2, 3}),
             curAlive({0, 2})},
            0, 2);
        // The canvas and its counters follow the gestures all the same.
        row("nothing in server mode, before start or after stop",
            "start L+0.5,0.5 L~0.6,0.5 L-0.6,0.5 client L+0.5,0.5 L-0.5,0.5 start stop "
            "L+0.5,0.5 L-0.5,0.5 object L+0.25,0.25 L-0.25,0.25 multi R+0.25,0.25 R-0.25,0.25 "
            "L+0.5,0.5 L~0.5,0.75 L-0.5,0.75",
            {}, 1, 1);
    }
    void gestures()
    {
        QFETCH(QString, script);
        QFETCH(int, objects);
        QFETCH(int, anchors);
        run(script);
        Datagrams received;
        while (receiver->hasPendingDatagrams() || receiver->waitForReadyRead(100))
            received << receiver->receiveDatagram().data();
        QTEST(received, "datagrams");
        QCOMPARE(named<QLabel>("objectCountLabel")->text(),
                 QStringLiteral("物体: %1").arg(objects));
        QCOMPARE(named<QLabel>("anchorCountLabel")->text(),
                 QStringLiteral("锚点: %1").arg(anchors));
    }

    void sessionTree_data()
    {
        QTest::addColumn<QString>("step");
        QTest::newRow("then stop") << "stop";
        QTest::newRow("then client mode") << "client";
    }
    // A burst rebuilds the tree once, when the tree timer fires; stop and a mode switch empty it.
    void sessionTree()
    {
        QFETCH(QString, step);
        run(QStringLiteral("start"));
        auto *tree = named<QTreeWidget>("objectTree");
        QSignalSpy rebuilds(tree->model(), &QAbstractItemModel::modelReset);
        // Two drains of traffic; the timer fires only when told to.
        window->treeTimer()->setInterval(3600 * 1000);
        QUdpSocket peer;
        const auto send = [&](const Datagrams &datagrams) {
            for (const QByteArray &datagram : datagrams)
                peer.writeDatagram(datagram, QHostAddress::LocalHost,
                                   window->receiver()->udpSocket()->localPort());
        };
        send({obj(3, 7, .5f, .25f, 1.5708f), obj(-1, 0, -.5f, 1.25f, 6), cur(11, .0126f, .9996f)});
        QTRY_VERIFY(window->sessions()->cursors().contains(11));
        for (int i = 1; i <= 40; ++i)
            send({cur(2, float(i) / 400.0f, .9f)});
        QTRY_COMPARE(window->sessions()->cursors().value(2).x, .1f);
        QVERIFY(rebuilds.isEmpty() && window->treeTimer()->isActive());
        window->treeTimer()->setInterval(0);
        QTRY_COMPARE(rebuilds.size(), 1);
        QTest::qWait(50);
        QCOMPARE(rebuilds.size(), 1);
        QCOMPARE(treeRows(tree), (QStringList{"Objects|Pos|Angle", "s-1 c0|-0.500,1.250|6.00",
                                              "s3 c7|0.500,0.250|1.57", "Cursors|Pos|",
                                              "s2|0.100,0.900|", "s11|0.013,1.000|"}));
        QCOMPARE(tree->topLevelItem(0)->foreground(0).color(), QColor(0x00D4FF));
        QCOMPARE(tree->topLevelItem(1)->foreground(0).color(), QColor(0xF59E0B));
        QVERIFY(tree->topLevelItem(0)->isExpanded() && tree->topLevelItem(1)->isExpanded());
        // The canvas is the tables' sink.
        const TouchCanvas *canvas = window->touchCanvas();
        QCOMPARE(canvas->receivedCursors().keys(), QList<int>({2, 11}));
        QCOMPARE(canvas->receivedObjects().keys(), QList<int>({-1, 3}));
        QCOMPARE(canvas->receivedObjects().value(3).angle, 1.5708f);

        // Emptied at once, not when the tree timer fires.
        run(step);
        QVERIFY(!window->isRunning());
        QCOMPARE(treeRows(tree), (QStringList{"Objects|Pos|Angle", "Cursors|Pos|"}));
        QVERIFY(window->sessions()->cursors().isEmpty() && window->sessions()->objects().isEmpty());
        QVERIFY(canvas->receivedCursors().isEmpty() && canvas->receivedObjects().isEmpty());
        // Painting may lag behind traffic, but the canvas is never left frozen.
        QTRY_VERIFY(canvas->updatesEnabled());
    }
};

QTEST_MAIN(TestWindowTraffic)
#include "tst_windowtraffic.moc"
