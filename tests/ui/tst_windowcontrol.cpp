#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

QStringList systemLines(const TuioWidget *window)
{
    QStringList lines;
    for (const LogEntry &entry : window->communication()->entries())
        if (entry.direction == LogEntry::System)
            lines << entry.text;
    return lines;
}

QPushButton *startButton(TuioWidget *window, const char *group)
{
    return window->findChild<QGroupBox *>(group)->findChild<QPushButton *>("accentButton");
}

// Steps: "listen" and "connect" (the server's and the client's start button), "server" and
// "client" (the mode radios), "English" and "Chinese", a simulation mode's index ("mode1").
void run(TuioWidget *window, const QString &script)
{
    const QList<QRadioButton *> radios = window->findChildren<QRadioButton *>();
    for (const QString &step : script.split(' ')) {
        if (step == QLatin1String("listen"))
            startButton(window, "serverGroup")->click();
        else if (step == QLatin1String("connect"))
            startButton(window, "clientGroup")->click();
        else if (step == QLatin1String("server") || step == QLatin1String("client"))
            radios.at(step == QLatin1String("client"))->click();
        else if (step == QLatin1String("English") || step == QLatin1String("Chinese"))
            UiLanguage::instance().setEnglish(step == QLatin1String("English"));
        else if (step.startsWith(QLatin1String("mode")))
            window->findChild<QComboBox *>("simModeCombo")->setCurrentIndex(step.mid(4).toInt());
    }
}

void row(const char *name, const char *script, const QStringList &lines, const char *status)
{
    QTest::newRow(name) << QString::fromUtf8(script) << lines << QString::fromUtf8(status);
}

} // namespace

// Mode, start/stop and status logic of the window, with real sockets on loopback.
class TestWindowControl : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void bindFailureThenSharedPort();
    void control_data();
    void control();

private:
    void check(const QString &status, QStringList lines);
    TuioWidget *window = nullptr;
    quint16 port = 0;
};

void TestWindowControl::init()
{
    window = new TuioWidget;
    port = freeUdpPort();
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
}

void TestWindowControl::cleanup()
{
    delete window;
    UiLanguage::instance().setEnglish(false);
}

void TestWindowControl::bindFailureThenSharedPort()
{
    // Held without address sharing, so a sharing bind cannot join it.
    QUdpSocket holder, sameBind;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    QVERIFY(!sameBind.bind(QHostAddress::AnyIPv4, port,
                           QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    QStringList boxes;
    QTimer closer;
    closer.callOnTimeout([&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->windowTitle() + '|' + box->text() + '|' + QString::number(box->icon());
            box->done(0);
        }
    });
    closer.start(10);

    // The window stays idle and silent, and a second click tries again.
    run(window, QStringLiteral("listen listen"));
    QCOMPARE(boxes, QStringList(2, "绑定失败|" + sameBind.errorString() + "|3")); // 3: critical
    holder.close();
    check(QStringLiteral("⚫ 未启动"), {});

    // Then the port is taken, and shared with a second listener.
    TuioWidget second;
    second.findChild<QSpinBox *>("listenPortSpin")->setValue(port);
    run(window, QStringLiteral("listen"));
    run(&second, QStringLiteral("listen"));
    check(QStringLiteral("🟢 监听中 #10B981"), {"TUIO服务器 端口 %1"});
    QVERIFY(second.isRunning());
    QCOMPARE(boxes.size(), 2);
}

void TestWindowControl::control_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("lines"); // system lines, %1: the listen port
    QTest::addColumn<QString>("status");    // the status label's text, then its colour if styled

    const QString listening = QStringLiteral("TUIO服务器 端口 %1");
    const QString sending = QStringLiteral("TUIO客户端 -> 127.0.0.1:3333");
    row("listening", "listen", {listening}, "🟢 监听中 #10B981");
    row("listening, then client mode", "listen client", {listening, "服务器已停止", "客户端模式"},
        "⚫ 未启动 #64748B");
    row("sending", "client connect", {"客户端模式", sending}, "🔵 发送中 #10B981");
    row("sending, then server mode", "client connect server",
        {"客户端模式", sending, "客户端已停止", "服务器模式"}, "⚫ 未启动 #64748B");
    row("English, listening", "English listen", {listening}, "🟢 Listening #10B981");
    row("English, sending", "English client connect", {"客户端模式", sending}, "🔵 Sending #10B981");
    row("English, stopped", "English listen listen", {listening, "服务器已停止"},
        "⚫ Stopped #64748B");
    // Switching back must not restore a button text remembered in another state.
    row("listening across a switch and back", "English Chinese listen English Chinese", {listening},
        "🟢 监听中 #10B981");
    row("sending across a switch and back", "client English Chinese connect English Chinese",
        {"客户端模式", sending}, "🔵 发送中 #10B981");
    row("stopped across two switches", "English listen Chinese listen English Chinese",
        {listening, "服务器已停止"}, "⚫ 未启动 #64748B");
    row("object mode", "client mode1", {"客户端模式", "模拟模式: 物体模式"}, "⚫ 未启动");
    row("back to client mode after multi-touch", "client mode2 server client",
        {"客户端模式", "模拟模式: 多点模式", "服务器模式", "模拟模式: 光标模式", "客户端模式"},
        "⚫ 未启动");
    // The combo does not change, so no simulation-mode line.
    row("back to client mode after cursor mode", "client server client",
        {"客户端模式", "服务器模式", "客户端模式"}, "⚫ 未启动");
}

void TestWindowControl::control()
{
    QFETCH(QString, script);
    QFETCH(QStringList, lines);
    QFETCH(QString, status);
    run(window, script);
    check(status, lines);
}

// The log's system lines (%1: the listen port), the status label ("text colour"), the start
// buttons, the simulation-mode fields and the listen port.
void TestWindowControl::check(const QString &status, QStringList lines)
{
    QCOMPARE(systemLines(window), lines.replaceInStrings("%1", QString::number(port)));
    auto *label = window->findChild<QLabel *>("connStatus");
    const QString colour = status.section(' ', 2);
    QCOMPARE(label->text(), status.section(' ', 0, 1));
    QCOMPARE(label->styleSheet(),
             colour.isEmpty() ? QString()
                              : "font-size: 13px; color: " + colour + "; background: transparent;");
    // Each start button in its mode's running or idle text, red while running.
    QStringList buttons;
    for (const char *group : {"serverGroup", "clientGroup"}) {
        QPushButton *button = startButton(window, group);
        buttons << button->text();
        QCOMPARE(button->styleSheet().contains("#EF4444"), button->text().startsWith("停止"));
    }
    const char *expected = status.startsWith(QStringLiteral("🟢")) ? "停止监听 启动客户端"
                           : status.startsWith(QStringLiteral("🔵")) ? "开始监听 停止客户端"
                                                                    : "开始监听 启动客户端";
    QCOMPARE(buttons.join(' '), QString::fromUtf8(expected));
    // The canvas follows the simulation mode, which shows its own fields.
    const int mode = window->findChild<QComboBox *>("simModeCombo")->currentIndex();
    QCOMPARE(window->touchCanvas()->simMode(), window->isServerMode() ? 0 : mode);
    if (!window->isServerMode()) {
        QCOMPARE(window->findChild<QWidget *>("objCfg")->isHidden(), mode != 1);
        QCOMPARE(window->findChild<QWidget *>("anchorCountLabel")->isHidden(), mode != 2);
    }
    if (!window->isRunning())
        QVERIFY2(QUdpSocket().bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress),
                 "a stopped socket still holds its port");
}

QTEST_MAIN(TestWindowControl)
#include "tst_windowcontrol.moc"
