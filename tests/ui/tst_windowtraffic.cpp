#include "canvas/touchcanvas.h"
#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "support/tuiooracle.h"
#include "support/tuiopeer.h"
#include "tuio/tuioreceiver.h"
#include "tuio/tuiosessions.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

// What the window adds to the core: canvas gestures to the sender, the tables to the tree; and the
// sender's frames as tuio-client reads them.
class TestWindowTraffic : public QObject
{
    Q_OBJECT

    TuioWidget *window = nullptr;
    QUdpSocket *receiver = nullptr;

    template <typename T> T *named(const char *name) const { return window->findChild<T *>(name); }

    // Steps: "server", "client" (the mode buttons); "start" or "stop" (the mode's start button);
    // "cursor", "object", "multi" (simulation mode); "frames" (TUIO 1.1 framing); "clear";
    // "C:9,0.2" (class id and angle fields); mouse steps at fractions of the canvas size, such as
    // "L+0.5,0.25" (left press), "L~0.6,0.3" (move), "R-0.6,0.3" (right release).
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
            } else if (step == "start" || step == "stop") {
                const char *group = window->isServerMode() ? "serverGroup" : "clientGroup";
                named<QGroupBox>(group)->findChild<QPushButton *>("accentButton")->click();
                window->clientSender()->resendTimer()->stop(); // a resend adds updates to a peer
            } else if (simMode >= 0) {
                named<QComboBox>("simModeCombo")->setCurrentIndex(simMode);
            } else if (step == "frames" || step == "clear") {
                step == "clear" ? named<QPushButton>("clearAllButton")->click()
                                : named<QComboBox>("framingCombo")->setCurrentIndex(1);
            } else if (step.startsWith("C:")) {
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

    // A script opening with "frames" goes to tuio-client, whose events are expected; any other to
    // a socket, whose datagrams are expected as tuioDatagram describes them.
    void gestures_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("anchors");
        const auto row = [](const char *name, const char *script, const QStringList &expected,
                            int objects = 0, int anchors = 0) {
            QTest::newRow(name) << QString(script) << expected << objects << anchors;
        };
        row("cursor: press, moves, release, next touch",
            "client start L+0.5,0.25 L~0.125,0.875 L~-0.001953125,1.5 L-0,0 L+0.25,0.25 "
            "L-0.25,0.25",
            {"cur set 0 0.5 0.25", "cur set 0 0.125 0.875", "cur set 0 -0.001953125 1.5",
             "cur alive", "cur set 1 0.25 0.25", "cur alive"});
        // Class id and angle come from the fields on placement and stay with the object.
        row("object: place, move, right presses remove the nearest, then the last",
            "client start object C:3,1.5 L+0.25,0.25 L-0.25,0.25 C:9,0.2 L+0.75,0.75 L-0.75,0.75 "
            "L+0.25,0.25 L~0.375,0.25 L-0.375,0.25 R+0.75,0.75 R-0.75,0.75 R+0.375,0.25 "
            "R-0.375,0.25",
            {"obj set 0 3 0.25 0.25 1.5", "obj alive 0", "obj set 1 9 0.75 0.75 0.2",
             "obj alive 0 1", "obj set 0 3 0.375 0.25 1.5", "obj alive 0 1", "obj alive 0",
             "obj alive"});
        row("multi-touch: anchors, then the active point",
            "client start multi R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 R+0.5,0.75 "
            "R-0.5,0.75 R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 L~0.5,0.625 L-0.5,0.625",
            {"cur set 0 0.25 0.25", "cur set 1 0.75 0.25", "cur set 2 0.5 0.75", "cur alive 0 2",
             "cur set 3 0.5 0.5", "cur alive 0 2 3", "cur set 3 0.5 0.625", "cur alive 0 2 3",
             "cur alive 0 2"},
            0, 2);
        // The canvas and its counters follow the gestures all the same.
        row("nothing in server mode, before start or after stop",
            "start L+0.5,0.5 L~0.6,0.5 L-0.6,0.5 client L+0.5,0.5 L-0.5,0.5 start stop "
            "L+0.5,0.5 L-0.5,0.5 object L+0.25,0.25 L-0.25,0.25 multi R+0.25,0.25 R-0.25,0.25 "
            "L+0.5,0.5 L~0.5,0.75 L-0.5,0.75",
            {}, 1, 1);
        row("frames: cursor drag", "frames client start L+0.5,0.25 L~0.75,0.25 L-0.75,0.25",
            {"add 2Dcur s0 (0.50,0.25)", "update 2Dcur s0 (0.75,0.25)",
             "remove 2Dcur s0 (0.75,0.25)"});
        row("frames: object place, move, remove",
            "frames client start object C:3,1.5 L+0.25,0.25 L-0.25,0.25 L+0.25,0.25 L~0.5,0.5 "
            "L-0.5,0.5 R+0.5,0.5 R-0.5,0.5",
            {"add 2Dobj s0 c3 (0.25,0.25) a1.50", "update 2Dobj s0 c3 (0.50,0.50) a1.50",
             "remove 2Dobj s0 c3 (0.50,0.50) a1.50"});
        // Anchors stay alive beside the active point; stop releases the one left.
        row("frames: multi-touch anchors, active point, stop",
            "frames client start multi R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 "
            "L~0.5,0.75 L-0.5,0.75 R+0.25,0.25 R-0.25,0.25 stop",
            {"add 2Dcur s0 (0.25,0.25)", "add 2Dcur s1 (0.75,0.25)", "add 2Dcur s2 (0.50,0.50)",
             "update 2Dcur s2 (0.50,0.75)", "remove 2Dcur s2 (0.50,0.75)",
             "remove 2Dcur s0 (0.25,0.25)", "remove 2Dcur s1 (0.75,0.25)"},
            0, 1);
        // Objects are live in object mode only; clearing the canvas releases them.
        row("frames: object mode switch and clear",
            "frames client start object C:2,0.5 L+0.25,0.25 L-0.25,0.25 cursor object clear",
            {"add 2Dobj s0 c2 (0.25,0.25) a0.50", "remove 2Dobj s0 c2 (0.25,0.25) a0.50",
             "add 2Dobj s0 c2 (0.25,0.25) a0.50", "remove 2Dobj s0 c2 (0.25,0.25) a0.50"},
            -1);
    }
    void gestures()
    {
        QFETCH(QString, script);
        QFETCH(QStringList, expected);
        QStringList received;
        if (script.startsWith("frames")) {
            if (const QString missing = TuioPeer::unavailable(); !missing.isEmpty())
                QSKIP(qPrintable(missing));
            TuioPeer peer;
            QVERIFY2(peer.start(), "tuio-listen.mjs did not start");
            named<QSpinBox>("targetPortSpin")->setValue(peer.port());
            run(script);
            QTRY_COMPARE_WITH_TIMEOUT(peer.events().size(), expected.size(), 10000);
            received = peer.events();
        } else {
            run(script);
            while (receiver->hasPendingDatagrams() || receiver->waitForReadyRead(100))
                received << receiver->receiveDatagram().data().toHex();
            for (QString &description : expected)
                description = tuioDatagram(description).toHex();
        }
        QCOMPARE(received, expected);
        QFETCH(int, objects); // -1: the clear button leaves the label behind
        if (objects >= 0)
            QCOMPARE(named<QLabel>("objectCountLabel")->text().section(' ', 1).toInt(), objects);
        QTEST(named<QLabel>("anchorCountLabel")->text().section(' ', 1).toInt(), "anchors");
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
        run("start");
        auto *tree = named<QTreeWidget>("objectTree");
        const auto treeRows = [tree] { // "text0|text1|text2", each group before its children
            QStringList rows;
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                rows << QStringList{(*it)->text(0), (*it)->text(1), (*it)->text(2)}.join('|');
            return rows;
        };
        QSignalSpy rebuilds(tree->model(), &QAbstractItemModel::modelReset);
        // Two drains of traffic; the timer fires only when told to.
        window->treeTimer()->setInterval(3600 * 1000);
        QUdpSocket peer;
        const auto send = [&](const QStringList &datagrams) {
            for (const QString &datagram : datagrams)
                peer.writeDatagram(tuioDatagram(datagram), QHostAddress::LocalHost,
                                   window->receiver()->udpSocket()->localPort());
        };
        send({"obj set 3 7 0.5 0.25 1.5708", "obj set -1 0 -0.5 1.25 6",
              "cur set 11 0.0126 0.9996"});
        QTRY_VERIFY(window->sessions()->cursors().contains(11));
        for (int i = 1; i <= 40; ++i)
            send({QStringLiteral("cur set 2 %1 0.9").arg(i / 400.0)});
        QTRY_COMPARE(window->sessions()->cursors().value(2).x, .1f);
        QVERIFY(rebuilds.isEmpty() && window->treeTimer()->isActive());
        window->treeTimer()->setInterval(0);
        QTRY_COMPARE(rebuilds.size(), 1);
        QTest::qWait(50);
        QCOMPARE(rebuilds.size(), 1);
        QCOMPARE(treeRows(), (QStringList{"Objects|Pos|Angle", "s-1 c0|-0.500,1.250|6.00",
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
        QCOMPARE(treeRows(), (QStringList{"Objects|Pos|Angle", "Cursors|Pos|"}));
        QVERIFY(window->sessions()->cursors().isEmpty() && window->sessions()->objects().isEmpty());
        QVERIFY(canvas->receivedCursors().isEmpty() && canvas->receivedObjects().isEmpty());
        // Painting may lag behind traffic, but the canvas is never left frozen.
        QTRY_VERIFY(canvas->updatesEnabled());
    }

    // 25 objects in one frame take three bundles of one fseq; stop releases them all.
    void splitFramePeer()
    {
        if (const QString missing = TuioPeer::unavailable(); !missing.isEmpty())
            QSKIP(qPrintable(missing));
        TuioPeer peer;
        QVERIFY2(peer.start(), "tuio-listen.mjs did not start");
        TuioSender sender;
        sender.start("127.0.0.1", peer.port(), 0, TuioFraming::Frames);
        sender.resendTimer()->stop(); // each resend would add an update per session
        QString objects;
        QStringList added;
        for (int i = 0; i < 25; ++i) {
            objects +=
                QStringLiteral("o%1#%2@%3,0.5,%4 ").arg(i).arg(i % 5).arg(i / 32.0).arg(i / 4.0);
            added << QStringLiteral("add 2Dobj s%1 c%2 (%3,0.50) a%4")
                         .arg(i)
                         .arg(i % 5)
                         .arg(i / 32.0, 0, 'f', 2)
                         .arg(i / 4.0, 0, 'f', 2);
        }
        frameStep(sender, objects);
        frameStep(sender, "stop");
        QTRY_COMPARE_WITH_TIMEOUT(peer.events().size(), 50, 10000);
        QCOMPARE(peer.events(), added + QStringList(added).replaceInStrings("add ", "remove "));
    }
};

QTEST_MAIN(TestWindowTraffic)
#include "tst_windowtraffic.moc"
