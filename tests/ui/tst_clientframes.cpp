#include "canvas/touchcanvas.h"
#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "support/tuiopeer.h"
#include "tuio/tuiosender.h"
#include "window/tuiowidget.h"

#include <QtTest>
#include <QtWidgets>

// Client mode with TUIO 1.1 frames: mouse gestures on the real canvas, read by tuio-client.
class TestClientFrames : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { delete window; }
    void gestures_data();
    void gestures();
    void framingTexts();

private:
    void run(const QString &script);

    TuioWidget *window = nullptr;
};

void TestClientFrames::init()
{
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(freeUdpPort());
}

// Steps: mouse steps at fractions of the canvas, "L+0.5,0.25" (left press), "L~" (move), "R-"
// (right release); "C:9,0.2" (class id and angle fields); a combo item's text ('_' for a space);
// else a button's.
void TestClientFrames::run(const QString &script)
{
    TouchCanvas *canvas = window->touchCanvas();
    for (const QString &step : script.split(' ')) {
        const QStringList xy = step.mid(2).split(',');
        const int kind = QStringLiteral("+~-").indexOf(step.mid(1, 1));
        if (step.startsWith("C:")) {
            window->findChild<QSpinBox *>("classIdSpin")->setValue(xy.at(0).toInt());
            window->findChild<QDoubleSpinBox *>("angleSpin")->setValue(xy.at(1).toDouble());
        } else if (kind >= 0 && xy.size() == 2) {
            const Qt::MouseButton button = step.at(0) == 'L' ? Qt::LeftButton : Qt::RightButton;
            const QEvent::Type types[] = {QEvent::MouseButtonPress, QEvent::MouseMove,
                                          QEvent::MouseButtonRelease};
            const QPointF pos(xy.at(0).toDouble() * canvas->width(),
                              xy.at(1).toDouble() * canvas->height());
            QMouseEvent event(types[kind], pos, canvas->mapToGlobal(pos),
                              kind == 1 ? Qt::NoButton : button, kind == 2 ? Qt::NoButton : button,
                              Qt::NoModifier);
            QApplication::sendEvent(canvas, &event);
        } else {
            const QString item = QString(step).replace('_', ' ');
            for (QComboBox *combo : window->findChildren<QComboBox *>())
                if (combo->findText(item) >= 0)
                    combo->setCurrentText(item);
            for (QAbstractButton *b : window->findChildren<QAbstractButton *>())
                if (b->text() == step)
                    b->click();
        }
    }
}

void TestClientFrames::gestures_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("cursor drag") << "L+0.5,0.25 L~0.75,0.25 L~0.75,0.5 L-0.75,0.5"
                                 << QStringList{"add 2Dcur s0 (0.50,0.25)",
                                                "update 2Dcur s0 (0.75,0.25)",
                                                "update 2Dcur s0 (0.75,0.50)",
                                                "remove 2Dcur s0 (0.75,0.50)"};
    // Class id and angle come from the fields; a right press removes the object.
    QTest::newRow("object: place, move, remove")
        << "物体模式 C:3,1.5 L+0.25,0.25 L-0.25,0.25 L+0.25,0.25 L~0.5,0.5 L-0.5,0.5 R+0.5,0.5 "
           "R-0.5,0.5"
        << QStringList{"add 2Dobj s0 c3 (0.25,0.25) a1.50", "update 2Dobj s0 c3 (0.50,0.50) a1.50",
                       "remove 2Dobj s0 c3 (0.50,0.50) a1.50"};
    // Anchors stay alive beside the active point; stop releases the one left.
    QTest::newRow("multi-touch: anchors, active point, stop")
        << "多点模式 R+0.25,0.25 R-0.25,0.25 R+0.75,0.25 R-0.75,0.25 L+0.5,0.5 L~0.5,0.75 "
           "L-0.5,0.75 R+0.25,0.25 R-0.25,0.25 停止客户端"
        << QStringList{"add 2Dcur s0 (0.25,0.25)",    "add 2Dcur s1 (0.75,0.25)",
                       "add 2Dcur s2 (0.50,0.50)",    "update 2Dcur s2 (0.50,0.75)",
                       "remove 2Dcur s2 (0.50,0.75)", "remove 2Dcur s0 (0.25,0.25)",
                       "remove 2Dcur s1 (0.75,0.25)"};
    // Objects are live in object mode only; clearing the canvas releases them.
    QTest::newRow("object: mode switch and clear")
        << "物体模式 C:2,0.5 L+0.25,0.25 L-0.25,0.25 光标模式 物体模式 清除全部"
        << QStringList{"add 2Dobj s0 c2 (0.25,0.25) a0.50", "remove 2Dobj s0 c2 (0.25,0.25) a0.50",
                       "add 2Dobj s0 c2 (0.25,0.25) a0.50", "remove 2Dobj s0 c2 (0.25,0.25) a0.50"};
}

void TestClientFrames::gestures()
{
    QFETCH(QString, script);
    QFETCH(QStringList, events);
    if (const QString missing = TuioPeer::unavailable(); !missing.isEmpty())
        QSKIP(qPrintable(missing));

    TuioPeer peer;
    QVERIFY2(peer.start(), "tuio-listen.mjs did not start");
    window->findChild<QSpinBox *>("targetPortSpin")->setValue(peer.port());
    run("TUIO_1.1_帧 客户端模式(模拟+发送 启动客户端");
    QVERIFY(window->clientSender()->framing() == TuioFraming::Frames);
    window->clientSender()->resendTimer()->stop(); // each resend would add an update per session
    run(script);
    QTRY_COMPARE_WITH_TIMEOUT(peer.events().size(), events.size(), 10000);
    QCOMPARE(peer.events(), events);
}

void TestClientFrames::framingTexts()
{
    auto *combo = window->findChild<QComboBox *>("framingCombo");
    auto *form = qobject_cast<QFormLayout *>(combo->parentWidget()->layout()->itemAt(0)->layout());
    const auto texts = [&] {
        return QStringList{form->labelForField(combo)->property("text").toString(),
                           combo->itemText(0), combo->itemText(1)};
    };
    QCOMPARE(texts(), QStringList({"帧格式:", "单条消息", "TUIO 1.1 帧"}));
    UiLanguage::instance().setEnglish(true);
    QCOMPARE(texts(), QStringList({"Framing:", "Single messages", "TUIO 1.1 frames"}));
    UiLanguage::instance().setEnglish(false);
    QCOMPARE(combo->currentIndex(), 0);
}

QTEST_MAIN(TestClientFrames)
#include "tst_clientframes.moc"
