#include "canvas/touchcanvas.h"
#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "window/tuiowidget.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <QUdpSocket>
#include <QUrl>
#include <QtTest>

namespace {

const QString greenStatus =
    QStringLiteral("font-size: 13px; color: #10B981; background: transparent;");
const QString greyStatus =
    QStringLiteral("font-size: 13px; color: #64748B; background: transparent;");
const QString runningButton = QStringLiteral(
    "QPushButton { background-color: #EF4444; color: white; font-weight: 600; border: none; "
    "border-radius: 4px; padding: 8px 20px; } QPushButton:hover { background-color: #F87171; }");

// Closes every modal box that opens while it lives, remembering what each one showed.
class ModalCloser : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QWidget *parent = nullptr;
    };

    ModalCloser()
    {
        connect(&poll, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            seen.append(Seen{box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
                             box->parentWidget()});
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        });
        poll.start(10);
    }

    QList<Seen> seen;

private:
    QTimer poll;
};

quint16 freePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

} // namespace

// Mode, start/stop and status logic of the window, with real sockets on loopback.
class TestWindowControl : public QObject
{
    Q_OBJECT

public slots:
    // Not a test: catches the documentation link.
    void catchUrl(const QUrl &url) { openedUrls.append(url); }

private slots:
    void init();
    void cleanup();

    void slotsInOrder();
    void bindFailureLeavesWindowIdle();
    void twoListenersShareAPort();
    void startLogsAndSocket_data();
    void startLogsAndSocket();
    void statusLabelAndButtons_data();
    void statusLabelAndButtons();
    void modeSwitchLogs_data();
    void modeSwitchLogs();
    void backToClientResetsSimMode_data();
    void backToClientResetsSimMode();
    void simModeControls_data();
    void simModeControls();
    void documentationLink();
    void destructionReleasesThePort();

private:
    QPushButton *startButton(bool server, TuioWidget *w = nullptr) const;
    QRadioButton *radio(bool server) const;
    QLabel *status(TuioWidget *w = nullptr) const;
    QStringList systemLines(TuioWidget *w = nullptr) const;
    void startServer(TuioWidget *w, quint16 port);

    TuioWidget *window = nullptr;
    QList<QUrl> openedUrls;
};

void TestWindowControl::init()
{
    UiLanguage::instance().setEnglish(false);
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestWindowControl::cleanup()
{
    delete window;
    window = nullptr;
    UiLanguage::instance().setEnglish(false);
}

QPushButton *TestWindowControl::startButton(bool server, TuioWidget *w) const
{
    const QString title = server ? QStringLiteral("服务器设置") : QStringLiteral("客户端设置");
    const auto groups = (w ? w : window)->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups)
        if (group->title() == title)
            return group->findChild<QPushButton *>(QStringLiteral("accentButton"));
    return nullptr;
}

QRadioButton *TestWindowControl::radio(bool server) const
{
    const QString text =
        server ? QStringLiteral("服务器模式(接收+显示)") : QStringLiteral("客户端模式(模拟+发送");
    const auto radios = window->findChildren<QRadioButton *>();
    for (QRadioButton *r : radios)
        if (r->text() == text)
            return r;
    return nullptr;
}

QLabel *TestWindowControl::status(TuioWidget *w) const
{
    return (w ? w : window)->findChild<QLabel *>(QStringLiteral("connStatus"));
}

QStringList TestWindowControl::systemLines(TuioWidget *w) const
{
    QStringList lines;
    const QList<LogEntry> all = (w ? w : window)->communication()->entries();
    for (const LogEntry &entry : all)
        if (entry.direction == LogEntry::System)
            lines << entry.text;
    return lines;
}

void TestWindowControl::startServer(TuioWidget *w, quint16 port)
{
    w->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    startButton(true, w)->click();
}

void TestWindowControl::slotsInOrder()
{
    const QMetaObject *meta = &TuioWidget::staticMetaObject;
    QStringList slotList;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        QCOMPARE(method.methodType(), QMetaMethod::Slot);
        QCOMPARE(method.access(), QMetaMethod::Private);
        slotList << QString::fromLatin1(method.methodSignature());
    }
    QCOMPARE(slotList, (QStringList{"toggleMode(bool)", "toggleConnection()", "onReadyRead()",
                                    "onObjectPlaced(int,int,float,float,float)",
                                    "onObjectMoved(int,int,float,float,float)",
                                    "onAnchorAdded(int,float,float)", "onAnchorRemoved(int)",
                                    "onMultiTouchMove(int,float,float)", "setSimMode(int)"}));
}

void TestWindowControl::bindFailureLeavesWindowIdle()
{
    // Held without address sharing, so a sharing bind cannot join it.
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::AnyIPv4, 0, QUdpSocket::DontShareAddress));
    const quint16 port = holder.localPort();
    QUdpSocket sameBind;
    QVERIFY(!sameBind.bind(QHostAddress::AnyIPv4, port,
                           QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    const QString systemError = sameBind.errorString();

    const QStringList linesBefore = systemLines();
    ModalCloser closer;
    startServer(window, port);

    QCOMPARE(closer.seen.size(), 1);
    QCOMPARE(closer.seen.at(0).title, QStringLiteral("绑定失败"));
    QCOMPARE(closer.seen.at(0).text, systemError);
    QCOMPARE(closer.seen.at(0).icon, QMessageBox::Critical);
    QCOMPARE(closer.seen.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QCOMPARE(closer.seen.at(0).parent, static_cast<QWidget *>(window));

    QVERIFY(!window->isRunning());
    QCOMPARE(window->udpSocket(), nullptr);
    QCOMPARE(window->findChildren<QUdpSocket *>().size(), 0);
    QPushButton *button = startButton(true);
    QVERIFY(button);
    QCOMPARE(button->text(), QStringLiteral("开始监听"));
    QCOMPARE(button->styleSheet(), QString());
    QCOMPARE(status()->text(), QStringLiteral("⚫ 未启动"));
    QCOMPARE(status()->styleSheet(), QString());
    QCOMPARE(systemLines(), linesBefore);

    // A second click tries again with a fresh socket and fails the same way.
    button->click();
    QCOMPARE(closer.seen.size(), 2);
    QVERIFY(!window->isRunning());
    QCOMPARE(systemLines(), linesBefore);

    // Once the port is free the same button starts listening.
    holder.close();
    button->click();
    QCOMPARE(closer.seen.size(), 2);
    QVERIFY(window->isRunning());
    QCOMPARE(window->udpSocket()->localPort(), port);
    QCOMPARE(status()->text(), QStringLiteral("🟢 监听中"));
}

void TestWindowControl::twoListenersShareAPort()
{
    TuioWidget second;
    const quint16 port = freePort();
    startServer(window, port);
    startServer(&second, port);
    for (TuioWidget *w : {window, &second}) {
        QVERIFY(w->isRunning());
        QCOMPARE(w->udpSocket()->state(), QAbstractSocket::BoundState);
        QCOMPARE(w->udpSocket()->localPort(), port);
        QCOMPARE(status(w)->text(), QStringLiteral("🟢 监听中"));
        QCOMPARE(systemLines(w).last(), QStringLiteral("TUIO服务器 端口 %1").arg(port));
    }

    // A datagram to the shared port is taken by exactly one of them.
    QUdpSocket sender;
    sender.writeDatagram(QByteArray("/x\0\0,\0\0\0", 8), QHostAddress::LocalHost, port);
    auto rxCount = [](TuioWidget *w) { return w->communication()->rxBytes() > 0 ? 1 : 0; };
    QTRY_COMPARE(rxCount(window) + rxCount(&second), 1);
    QTest::qWait(50);
    QCOMPARE(rxCount(window) + rxCount(&second), 1);
}

void TestWindowControl::startLogsAndSocket_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("localPort");

    QTest::newRow("server") << true << false;
    QTest::newRow("client, automatic local port") << false << false;
    QTest::newRow("client, chosen local port") << false << true;
}

void TestWindowControl::startLogsAndSocket()
{
    QFETCH(bool, server);
    QFETCH(bool, localPort);

    const quint16 port = freePort();
    QString started;
    if (server) {
        startServer(window, port);
        started = QStringLiteral("TUIO服务器 端口 %1").arg(port);
    } else {
        radio(false)->click();
        if (localPort)
            window->findChild<QSpinBox *>(QStringLiteral("localPortSpin"))->setValue(port);
        startButton(false)->click();
        // The target as typed, not validated.
        started = QStringLiteral("TUIO客户端 -> 127.0.0.1:3333");
    }
    QVERIFY(window->isRunning());
    QUdpSocket *socket = window->udpSocket();
    QVERIFY(socket);
    QCOMPARE(socket->parent(), window);
    if (server || localPort) {
        QCOMPARE(socket->state(), QAbstractSocket::BoundState);
        QCOMPARE(socket->localPort(), port);
    } else {
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    }
    QCOMPARE(systemLines().last(), started);

    startButton(server)->click();
    QVERIFY(!window->isRunning());
    QCOMPARE(window->udpSocket(), nullptr);
    QCOMPARE(systemLines().last(),
             server ? QStringLiteral("服务器已停止") : QStringLiteral("客户端已停止"));
    if (server || localPort) {
        QUdpSocket again;
        QVERIFY2(again.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress),
                 "the stopped socket still holds its port");
    }
}

void TestWindowControl::statusLabelAndButtons_data()
{
    QTest::addColumn<bool>("server");
    QTest::addColumn<bool>("english");
    QTest::addColumn<QString>("runningText");
    QTest::addColumn<QString>("stoppedText");

    QTest::newRow("server") << true << false << "🟢 监听中"
                            << "⚫ 未启动";
    QTest::newRow("client") << false << false << "🔵 发送中"
                            << "⚫ 未启动";
    QTest::newRow("server, English") << true << true << "🟢 Listening"
                                     << "⚫ Stopped";
    QTest::newRow("client, English") << false << true << "🔵 Sending"
                                     << "⚫ Stopped";
}

void TestWindowControl::statusLabelAndButtons()
{
    QFETCH(bool, server);
    QFETCH(bool, english);
    QFETCH(QString, runningText);
    QFETCH(QString, stoppedText);

    QCOMPARE(status()->text(), QStringLiteral("⚫ 未启动"));
    QCOMPARE(status()->styleSheet(), QString());
    if (!server)
        radio(false)->click();
    // Found by their group titles, which the language switch translates.
    QPushButton *button = startButton(server);
    QPushButton *other = startButton(!server);
    UiLanguage::instance().setEnglish(english);
    const QString otherText = other->text();

    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(freePort());
    button->click();
    QCOMPARE(status()->text(), runningText);
    QCOMPARE(status()->styleSheet(), greenStatus);
    QCOMPARE(button->styleSheet(), runningButton);
    QCOMPARE(button->objectName(), QStringLiteral("accentButton"));
    if (!english)
        QCOMPARE(button->text(),
                 server ? QStringLiteral("停止监听") : QStringLiteral("停止客户端"));
    QCOMPARE(other->text(), otherText);
    QCOMPARE(other->styleSheet(), QString());

    button->click();
    QCOMPARE(status()->text(), stoppedText);
    QCOMPARE(status()->styleSheet(), greyStatus);
    QCOMPARE(button->styleSheet(), QString());
    QCOMPARE(button->objectName(), QStringLiteral("accentButton"));
    if (!english)
        QCOMPARE(button->text(),
                 server ? QStringLiteral("开始监听") : QStringLiteral("启动客户端"));
}

void TestWindowControl::modeSwitchLogs_data()
{
    QTest::addColumn<bool>("fromServer");
    QTest::addColumn<bool>("running");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("listening, to client")
        << true << true << QStringList{"服务器已停止", "客户端模式"};
    QTest::newRow("sending, to server")
        << false << true << QStringList{"客户端已停止", "服务器模式"};
    QTest::newRow("idle server, to client") << true << false << QStringList{"客户端模式"};
    QTest::newRow("idle client, to server") << false << false << QStringList{"服务器模式"};
}

void TestWindowControl::modeSwitchLogs()
{
    QFETCH(bool, fromServer);
    QFETCH(bool, running);
    QFETCH(QStringList, lines);

    if (!fromServer)
        radio(false)->click();
    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(freePort());
    if (running)
        startButton(fromServer)->click();
    QCOMPARE(window->isRunning(), running);
    const qsizetype before = systemLines().size();

    radio(!fromServer)->click();
    QCOMPARE(systemLines().mid(before), lines);
    QCOMPARE(window->isServerMode(), !fromServer);
    QVERIFY(!window->isRunning());
    QCOMPARE(window->udpSocket(), nullptr);

    // The button of the mode that ran is idle again, in the accent style.
    QPushButton *previous = startButton(fromServer);
    QCOMPARE(previous->text(),
             fromServer ? QStringLiteral("开始监听") : QStringLiteral("启动客户端"));
    QCOMPARE(previous->styleSheet(), QString());
    QCOMPARE(previous->objectName(), QStringLiteral("accentButton"));
    if (running) {
        QCOMPARE(status()->text(), QStringLiteral("⚫ 未启动"));
        QCOMPARE(status()->styleSheet(), greyStatus);
    }
    const auto groups = window->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups) {
        if (group->title() == QStringLiteral("服务器设置"))
            QCOMPARE(group->isHidden(), fromServer);
        if (group->title() == QStringLiteral("客户端设置"))
            QCOMPARE(group->isHidden(), !fromServer);
    }
}

void TestWindowControl::backToClientResetsSimMode_data()
{
    QTest::addColumn<int>("usedMode");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("after multi-touch")
        << 2 << QStringList{"服务器模式", "模拟模式: 光标模式", "客户端模式"};
    QTest::newRow("after object mode")
        << 1 << QStringList{"服务器模式", "模拟模式: 光标模式", "客户端模式"};
    // The combo does not change, so no simulation-mode line.
    QTest::newRow("after cursor mode") << 0 << QStringList{"服务器模式", "客户端模式"};
}

void TestWindowControl::backToClientResetsSimMode()
{
    QFETCH(int, usedMode);
    QFETCH(QStringList, lines);

    radio(false)->click();
    auto *combo = window->findChild<QComboBox *>(QStringLiteral("simModeCombo"));
    combo->setCurrentIndex(usedMode);
    QCOMPARE(window->currentSimMode(), usedMode);
    QCOMPARE(window->touchCanvas()->simMode(), usedMode);
    const qsizetype before = systemLines().size();

    radio(true)->click();
    QCOMPARE(window->touchCanvas()->simMode(), 0);
    radio(false)->click();
    QCOMPARE(systemLines().mid(before), lines);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(window->currentSimMode(), 0);
    QCOMPARE(window->touchCanvas()->simMode(), 0);
    QVERIFY(window->findChild<QWidget *>(QStringLiteral("objCfg"))->isHidden());
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("anchorCountLabel"))->isHidden());
}

void TestWindowControl::simModeControls_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("objectFields");
    QTest::addColumn<bool>("anchorCount");

    QTest::newRow("object") << 1 << "模拟模式: 物体模式" << true << false;
    QTest::newRow("multi-touch") << 2 << "模拟模式: 多点模式" << false << true;
}

void TestWindowControl::simModeControls()
{
    QFETCH(int, mode);
    QFETCH(QString, line);
    QFETCH(bool, objectFields);
    QFETCH(bool, anchorCount);

    radio(false)->click();
    auto *combo = window->findChild<QComboBox *>(QStringLiteral("simModeCombo"));
    auto *objCfg = window->findChild<QWidget *>(QStringLiteral("objCfg"));
    auto *anchors = window->findChild<QLabel *>(QStringLiteral("anchorCountLabel"));
    auto *objects = window->findChild<QLabel *>(QStringLiteral("objectCountLabel"));
    QVERIFY(objCfg->isHidden());
    QVERIFY(anchors->isHidden());

    combo->setCurrentIndex(mode);
    QCOMPARE(systemLines().last(), line);
    QCOMPARE(window->touchCanvas()->simMode(), mode);
    QCOMPARE(objCfg->isHidden(), !objectFields);
    QCOMPARE(anchors->isHidden(), !anchorCount);
    QVERIFY(!objects->isHidden());

    combo->setCurrentIndex(0);
    QCOMPARE(systemLines().last(), QStringLiteral("模拟模式: 光标模式"));
    QVERIFY(objCfg->isHidden());
    QVERIFY(anchors->isHidden());
}

void TestWindowControl::documentationLink()
{
    for (const char *scheme : {"http", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "catchUrl");
    openedUrls.clear();
    const int entries = window->communication()->entryCount();
    auto *button = window->findChild<QPushButton *>(QStringLiteral("docButton"));
    QVERIFY(button);
    button->click();
    QCOMPARE(openedUrls.size(), 1);
    QCOMPARE(openedUrls.first().path(), QStringLiteral("/docs/quorbell/tactora"));
    QCOMPARE(window->communication()->entryCount(), entries);
    for (const char *scheme : {"http", "https"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void TestWindowControl::destructionReleasesThePort()
{
    const quint16 port = freePort();
    startServer(window, port);
    QVERIFY(window->isRunning());
    delete window;
    window = nullptr;
    QUdpSocket again;
    QVERIFY(again.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
}

QTEST_MAIN(TestWindowControl)
#include "tst_windowcontrol.moc"
