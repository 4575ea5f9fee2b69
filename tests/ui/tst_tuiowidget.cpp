#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "site/siteurl.h"
#include "support/freeport.h"
#include "support/loopbackonly.h"
#include "window/tuiowidget.h"

#include <QtTest>
#include <QtWidgets>

namespace {

QPushButton *startButton(TuioWidget *window, const char *group)
{
    return window->findChild<QGroupBox *>(group)->findChild<QPushButton *>("accentButton");
}

// Steps: "listen" and "connect" (the server's and the client's start button), "server" and
// "client" (the mode radios), "English" and "Chinese", a simulation mode's index ("mode1"),
// "rx" (3 bytes logged as received), "obj" (an object placed on the canvas).
void run(TuioWidget *window, const QString &script)
{
    const QList<QRadioButton *> radios = window->findChildren<QRadioButton *>();
    for (const QString &step : script.split(' ')) {
        if (step == "listen" || step == "connect")
            startButton(window, step == "listen" ? "serverGroup" : "clientGroup")->click();
        else if (step == "server" || step == "client")
            radios.at(step == "client")->click();
        else if (step == "English" || step == "Chinese")
            UiLanguage::instance().setEnglish(step == "English");
        else if (step == "obj")
            window->touchCanvas()->addSimObject(SimObject{7, 0, 0.5f, 0.5f, 0.0f});
        else if (step == "rx")
            window->communication()->logRx("abc");
        else if (step.startsWith("mode"))
            window->findChild<QComboBox *>("simModeCombo")->setCurrentIndex(step.mid(4).toInt());
    }
}

void row(const char *name, const char *script, const QStringList &lines, const char *status)
{
    QTest::newRow(name) << QString::fromUtf8(script) << lines << QString::fromUtf8(status);
}

} // namespace

// The window's own parts: frame, settings column, fields, style hooks, visibility; its mode,
// start/stop and status logic with real sockets on loopback.
class TestTuioWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup()
    {
        delete window;
        UiLanguage::instance().setEnglish(false);
    }
    void atStart();
    void namedWidgets_data();
    void namedWidgets();
    void closingFreesThePort();
    void bindFailureThenSharedPort();
    void control_data();
    void control();

private:
    void check(const QString &status, QStringList lines);
    TuioWidget *window = nullptr;
    quint16 port = 0;
};

void TestTuioWidget::init()
{
    window = new TuioWidget;
    port = freeUdpPort();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestTuioWidget::atStart()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(window->windowIcon().pixmap(64, 64).size(), QSize(64, 64));
    QVERIFY(window->findChild<QGroupBox *>("serverGroup")->isVisible());
    QVERIFY(window->findChild<QGroupBox *>("clientGroup")->isHidden());
    QVERIFY(window->findChild<QLabel *>("anchorCountLabel")->isHidden());
    // Created visible; the first switch to client mode hides it.
    QVERIFY(!window->findChild<QWidget *>("objCfg")->isHidden());
    check("⚫ 未启动", {});
    auto *tabs = window->findChild<QTabWidget *>();
    QCOMPARE(tabs->currentIndex(), 0);
    openedLinks().clear();
    window->findChild<QPushButton *>("docButton")->click();
    QCOMPARE(openedLinks(), QList<QUrl>{QUrl(siteBaseUrl() + "/docs/quorbell/tactora")});

    // The settings column keeps its width; the tabs take what the window gains.
    QCOMPARE(window->size(), QSize(1160, 780));
    auto *scroll = window->findChild<QScrollArea *>();
    QVERIFY(scroll->verticalScrollBar()->isVisible());
    QCOMPARE(scroll->widget()->width(), 248);
    const int panelWidth = tabs->width();
    window->resize(1600, 900);
    QTRY_COMPARE(tabs->width(), panelWidth + 440);
    QCOMPARE(scroll->width(), 260);
    window->resize(500, 300);
    QCOMPARE(window->size(), QSize(960, 640));
}

void TestTuioWidget::namedWidgets_data()
{
    QTest::addColumn<QStringList>("row"); // name|class|count|a field's text at start
    // Names the theme addresses, then the fields with their defaults as shown.
    for (const char *r :
         {"headerBar|QFrame|1", "headerIcon|QLabel|1", "headerTitle|QLabel|1",
          "headerVersion|QLabel|1", "connStatus|QLabel|1", "accentButton|QPushButton|2",
          "adBanner|QLabel|1", "logOutput|QListWidget|1", "statusBar|QFrame|1", "txLabel|QLabel|1",
          "listenPortSpin|QSpinBox|1|3333", "targetPortSpin|QSpinBox|1|3333",
          "localPortSpin|QSpinBox|1|自动", "classIdSpin|QSpinBox|1|0",
          "angleSpin|QDoubleSpinBox|1|0.00", "lineSpacingSpin|QSpinBox|1|0 px",
          "fontSizeSpin|QSpinBox|1|11 pt"})
        QTest::newRow(r) << QString::fromUtf8(r).split('|');
}

void TestTuioWidget::namedWidgets()
{
    QFETCH(QStringList, row);
    const auto found = window->findChildren<QWidget *>(row[0]);
    QCOMPARE(found.size(), row[2].toInt());
    for (QWidget *widget : found)
        QVERIFY2(widget->inherits(row[1].toLatin1()), widget->metaObject()->className());
    if (row.size() > 3)
        QCOMPARE(qobject_cast<QAbstractSpinBox *>(found.first())->text(), row[3]);
}

void TestTuioWidget::closingFreesThePort()
{
    QUdpSocket probe;
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
    run(window, "listen");
    QVERIFY(window->isRunning());
    QVERIFY(!probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    delete window;
    window = nullptr;
    QVERIFY(probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
}

void TestTuioWidget::bindFailureThenSharedPort()
{
    // Held without address sharing, so a sharing bind cannot join it.
    QUdpSocket holder, sameBind;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    QVERIFY(!sameBind.bind(QHostAddress::AnyIPv4, port,
                           QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
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
    run(window, "listen listen");
    QCOMPARE(boxes, QStringList(2, "绑定失败|" + sameBind.errorString() + "|3")); // 3: critical
    holder.close();
    check("⚫ 未启动", {});

    // Then the port is taken, and shared with a second listener.
    TuioWidget second;
    second.findChild<QSpinBox *>("listenPortSpin")->setValue(port);
    run(window, "listen");
    run(&second, "listen");
    check("🟢 监听中 #10B981", {"TUIO服务器 端口 %1"});
    QVERIFY(second.isRunning());
    QCOMPARE(boxes.size(), 2);
}

void TestTuioWidget::control_data()
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
    // Not started yet: the status keeps its created text and look.
    row("English before a start", "English", {}, "⚫ 未启动");
    row("English, stopped", "English listen listen", {listening, "服务器已停止"},
        "⚫ Stopped #64748B");
    // Switching back must not restore a button text remembered in another state.
    row("listening across a switch and back", "English Chinese listen rx English Chinese",
        {listening}, "🟢 监听中 #10B981");
    row("sending across a switch and back", "client English Chinese connect English Chinese",
        {"客户端模式", sending}, "🔵 发送中 #10B981");
    row("stopped across two switches", "English listen Chinese listen English Chinese",
        {listening, "服务器已停止"}, "⚫ 未启动 #64748B");
    row("object mode", "client mode1", {"客户端模式", "模拟模式: 物体模式"}, "⚫ 未启动");
    row("back to client mode after multi-touch", "client mode2 server client",
        {"客户端模式", "模拟模式: 多点模式", "服务器模式", "模拟模式: 光标模式", "客户端模式"},
        "⚫ 未启动");
    // The combo does not change, so no simulation-mode line.
    row("a mode switch clears the canvas while stopped", "client mode1 obj server",
        {"客户端模式", "模拟模式: 物体模式", "服务器模式"}, "⚫ 未启动");
    row("back to client mode after cursor mode", "client server client",
        {"客户端模式", "服务器模式", "客户端模式"}, "⚫ 未启动");
}

void TestTuioWidget::control()
{
    QFETCH(QString, script);
    QFETCH(QStringList, lines);
    QFETCH(QString, status);
    window->findChild<QSpinBox *>("listenPortSpin")->setValue(port);
    run(window, script);
    check(status, lines);
    if (script.endsWith("server") || script.endsWith("client"))
        QVERIFY(window->touchCanvas()->simObjects().isEmpty());
}

// The log's system lines (%1: the listen port), the status label ("text colour"), the start
// buttons, the simulation-mode fields and the listen port.
void TestTuioWidget::check(const QString &status, QStringList lines)
{
    QStringList systemLines;
    for (const LogEntry &entry : window->communication()->entries())
        if (entry.direction == LogEntry::System)
            systemLines << entry.text;
    QCOMPARE(systemLines, lines.replaceInStrings("%1", QString::number(port)));
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
    QCOMPARE(window->findChild<QLabel *>("rxLabel")->text(),
             QStringLiteral("RX: %1 bytes").arg(window->communication()->rxBytes()));
    if (!window->isRunning())
        QVERIFY2(QUdpSocket().bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress),
                 "a stopped socket still holds its port");
}

QTEST_MAIN(TestTuioWidget)
#include "tst_tuiowidget.moc"
