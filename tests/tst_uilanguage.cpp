#include "app/siteurl.h"
#include "i18n/uilanguage.h"
#include "window/tuiowidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTcpServer>
#include <QTest>
#include <QToolButton>
#include <QUdpSocket>
#include <QVBoxLayout>

#include <memory>

namespace {

int listenerCalls = 0;

// A window-like tree with every kind the retranslation knows, plus a few it must leave alone.
std::unique_ptr<QWidget> buildTree()
{
    auto root = std::make_unique<QWidget>();
    root->setWindowTitle(QStringLiteral("TUIO调试助手"));
    auto *layout = new QVBoxLayout(root.get());
    auto addLabel = [&](const char *name, const QString &text) {
        auto *label = new QLabel(text);
        label->setObjectName(QLatin1String(name));
        layout->addWidget(label);
    };
    addLabel("headerIcon", QStringLiteral("◆"));
    addLabel("dot", QStringLiteral("●"));
    addLabel("blanks", QStringLiteral("  "));
    addLabel("headerTitle", QStringLiteral("TUIO调试助手"));
    addLabel("targetLabel", QStringLiteral("目标地址:"));
    addLabel("bareKey", QStringLiteral("目标地址"));

    auto *connect = new QPushButton(QStringLiteral("连接"));
    connect->setObjectName(QStringLiteral("connectButton"));
    layout->addWidget(connect);
    auto *start = new QPushButton(QStringLiteral("开始监听"));
    start->setObjectName(QStringLiteral("startButton"));
    layout->addWidget(start);
    auto *tool = new QToolButton;
    tool->setText(QStringLiteral("发送"));
    tool->setObjectName(QStringLiteral("toolButton"));
    layout->addWidget(tool);
    auto *radio = new QRadioButton(QStringLiteral("TCP客户端"));
    radio->setObjectName(QStringLiteral("radio"));
    layout->addWidget(radio);

    auto *group = new QGroupBox(QStringLiteral("显示设置"));
    group->setObjectName(QStringLiteral("group"));
    auto *groupLayout = new QVBoxLayout(group);
    auto *check = new QCheckBox(QStringLiteral("显示时间戳"));
    check->setObjectName(QStringLiteral("timestampCheck"));
    groupLayout->addWidget(check);
    auto *nested = new QLabel(QStringLiteral("字号"));
    nested->setObjectName(QStringLiteral("nestedLabel"));
    groupLayout->addWidget(nested);
    layout->addWidget(group);

    auto *tabs = new QTabWidget;
    tabs->setObjectName(QStringLiteral("tabs"));
    tabs->addTab(new QWidget, QStringLiteral("触摸桌面"));
    tabs->addTab(new QWidget, QString());
    tabs->addTab(new QWidget, QStringLiteral("通信日志"));
    layout->addWidget(tabs);

    auto *host = new QLineEdit(QStringLiteral("127.0.0.1"));
    host->setObjectName(QStringLiteral("hostEdit"));
    host->setPlaceholderText(QStringLiteral("目标地址"));
    layout->addWidget(host);
    auto *plain = new QPlainTextEdit;
    plain->setObjectName(QStringLiteral("plainEdit"));
    plain->setPlaceholderText(QStringLiteral("发送数据"));
    layout->addWidget(plain);

    auto *small = new QComboBox;
    small->setObjectName(QStringLiteral("smallCombo"));
    small->addItems({QStringLiteral("光标模式"), QStringLiteral("发送"), QStringLiteral("接收")});
    layout->addWidget(small);
    auto *large = new QComboBox;
    large->setObjectName(QStringLiteral("largeCombo"));
    for (int i = 0; i < 20; ++i)
        large->addItem(i == 1 ? QStringLiteral("发送") : QString::number(i));
    layout->addWidget(large);
    return root;
}

// An empty name reads the root's window title; field is "text", "groupTitle", "placeholder",
// "tab<i>" or "item<i>".
QString readText(QWidget *root, const QString &name, const QString &field)
{
    if (name.isEmpty())
        return root->windowTitle();
    QWidget *widget = root->findChild<QWidget *>(name);
    if (!widget)
        return QStringLiteral("<missing %1>").arg(name);
    if (field == QLatin1String("text"))
        return widget->property("text").toString();
    if (field == QLatin1String("groupTitle"))
        return widget->property("title").toString();
    if (field == QLatin1String("placeholder"))
        return widget->property("placeholderText").toString();
    if (field.startsWith(QLatin1String("tab")))
        return static_cast<QTabWidget *>(widget)->tabText(field.mid(3).toInt());
    if (field.startsWith(QLatin1String("item")))
        return static_cast<QComboBox *>(widget)->itemText(field.mid(4).toInt());
    return QStringLiteral("<bad field %1>").arg(field);
}

void listenFor(QWidget *root)
{
    QPointer<QWidget> guarded(root);
    UiLanguage::instance().addListener([guarded] {
        if (guarded)
            UiLanguage::instance().retranslateWidgetTree(guarded);
    });
}

} // namespace

class TestUiLanguage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void dictionary();
    void translate_data();
    void translate();
    void chineseModeTranslatesNothing();
    void toolsOtherTextsHaveNoEntry_data();
    void toolsOtherTextsHaveNoEntry();

    void selector();
    void sameLanguageCallsNoListener();

    void retranslate_data();
    void retranslate();
    void decorativeLabelsKeepNoProperty();
    void programChangedTextGetsRememberedOneBack();
    void widgetCreatedAfterSwitchWaitsForNextSwitch();

    void realWindow();
    void statusLabelFollowsLanguage();

private:
    void switchTo(bool english) { UiLanguage::instance().setEnglish(english); }
};

void TestUiLanguage::init()
{
    listenerCalls = 0;
}

void TestUiLanguage::cleanup()
{
    switchTo(false);
}

void TestUiLanguage::dictionary()
{
    QCOMPARE(UiLanguage::instance().dictionarySize(), 184);
    QVERIFY(!UiLanguage::instance().isEnglish());
}

void TestUiLanguage::translate_data()
{
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    QTest::newRow("title") << "TUIO调试助手"
                           << "TUIO Debug Tool";
    QTest::newRow("listen port") << "监听端口"
                                 << "Listen Port";
    QTest::newRow("display") << "显示设置"
                             << "Display";
    QTest::newRow("timestamp") << "显示时间戳"
                               << "Show Timestamp";
    QTest::newRow("auto scroll") << "自动滚动"
                                 << "Auto Scroll";
    QTest::newRow("line spacing") << "行间距"
                                  << "Line Spacing";
    QTest::newRow("font size") << "字号"
                               << "Font Size";
    QTest::newRow("log tab") << "通信日志"
                             << "Log";
    QTest::newRow("shared key without colon") << "目标地址"
                                              << "Target Address";
    QTest::newRow("baud rate") << "波特率"
                               << "Baud Rate";
    QTest::newRow("tcp client") << "TCP客户端"
                                << "TCP Client";
    QTest::newRow("hex display") << "十六进制显示"
                                 << "Hex Display";
    QTest::newRow("only whole texts") << "目标地址:"
                                      << "目标地址:";
    QTest::newRow("leading blank") << " 通信日志"
                                   << " 通信日志";
    QTest::newRow("case sensitive") << "tcp客户端"
                                    << "tcp客户端";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("no reverse lookup") << "Log"
                                       << "Log";
}

void TestUiLanguage::translate()
{
    QFETCH(QString, chinese);
    QFETCH(QString, english);
    switchTo(true);
    QCOMPARE(UiLanguage::instance().translate(chinese), english);
}

void TestUiLanguage::chineseModeTranslatesNothing()
{
    QCOMPARE(UiLanguage::instance().translate(QStringLiteral("通信日志")),
             QStringLiteral("通信日志"));
    QCOMPARE(UiLanguage::instance().translate(QStringLiteral("波特率")), QStringLiteral("波特率"));
}

void TestUiLanguage::toolsOtherTextsHaveNoEntry_data()
{
    QTest::addColumn<QString>("text");
    const char *const texts[] = {"工作模式",
                                 "服务器模式(接收+显示)",
                                 "客户端模式(模拟+发送",
                                 "服务器设置",
                                 "开始监听",
                                 "停止监听",
                                 "客户端设置",
                                 "目标地址:",
                                 "目标端口:",
                                 "本地端口:",
                                 "模拟模式:",
                                 "光标模式",
                                 "物体模式",
                                 "多点模式",
                                 "角度(rad):",
                                 "物体: 0",
                                 "锚点: 0",
                                 "启动客户端",
                                 "停止客户端",
                                 "清除全部",
                                 "触摸桌面",
                                 "TUIO 对象",
                                 "重置计数",
                                 "清除日志",
                                 "导出",
                                 "📖 文档",
                                 "中文",
                                 "自动",
                                 "复制",
                                 "复制全部",
                                 "⚫ 未启动"};
    for (const char *text : texts)
        QTest::newRow(text) << QString::fromUtf8(text);
}

void TestUiLanguage::toolsOtherTextsHaveNoEntry()
{
    QFETCH(QString, text);
    switchTo(true);
    QCOMPARE(UiLanguage::instance().translate(text), text);
}

void TestUiLanguage::selector()
{
    QWidget parent;
    QComboBox *combo = createLanguageCombo(&parent);
    QCOMPARE(combo->parent(), &parent);
    QCOMPARE(combo->count(), 2);
    QCOMPARE(combo->itemText(0), QStringLiteral("中文"));
    QCOMPARE(combo->itemText(1), QStringLiteral("English"));
    QCOMPARE(combo->itemData(0).toInt(), 0);
    QCOMPARE(combo->itemData(1).toInt(), 1);
    QCOMPARE(combo->currentIndex(), 0);
    QCOMPARE(combo->minimumWidth(), 80);
    QCOMPARE(combo->maximumWidth(), 80);
    QCOMPARE(combo->styleSheet(),
             QStringLiteral(
                 "QComboBox { background: transparent; color: #94A3B8; border: 1px solid "
                 "#2A3A4A; border-radius: 3px; padding: 2px 6px; font-size: 11px; }"
                 "QComboBox:hover { border-color: #60A5FA; }QComboBox QAbstractItemView { "
                 "background: #0D1622; color: #F1F5F9; selection-background-color: #1E3A5F; }"));

    QList<int> order;
    UiLanguage::instance().addListener([&order, guard = QPointer<QComboBox>(combo)] {
        if (guard)
            order << 1;
    });
    UiLanguage::instance().addListener([&order, guard = QPointer<QComboBox>(combo)] {
        if (guard)
            order << 2;
    });
    combo->setCurrentIndex(1);
    QVERIFY(UiLanguage::instance().isEnglish());
    QCOMPARE(order, QList<int>({1, 2}));

    // A selector made while English starts on "English".
    QWidget other;
    QCOMPARE(createLanguageCombo(&other)->currentIndex(), 1);

    combo->setCurrentIndex(0);
    QVERIFY(!UiLanguage::instance().isEnglish());
    QCOMPARE(order, QList<int>({1, 2, 1, 2}));
    delete combo; // disarm the listeners before `order` goes out of scope
}

void TestUiLanguage::sameLanguageCallsNoListener()
{
    QWidget parent;
    QComboBox *first = createLanguageCombo(&parent);
    QComboBox *second = createLanguageCombo(&parent);
    QPointer<QWidget> guard(&parent);
    UiLanguage::instance().addListener([guard] {
        if (guard)
            ++listenerCalls;
    });

    first->setCurrentIndex(1);
    QCOMPARE(listenerCalls, 1);
    // The second selector still shows "中文"; choosing English there changes nothing.
    second->setCurrentIndex(1);
    QCOMPARE(listenerCalls, 1);
    UiLanguage::instance().setEnglish(true);
    QCOMPARE(listenerCalls, 1);
    second->setCurrentIndex(0);
    QCOMPARE(listenerCalls, 2);
    first->setCurrentIndex(0);
    UiLanguage::instance().setEnglish(false);
    QCOMPARE(listenerCalls, 2);
}

void TestUiLanguage::retranslate_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("chinese");
    QTest::addColumn<QString>("english");
    QTest::newRow("window title") << ""
                                  << "title"
                                  << "TUIO调试助手"
                                  << "TUIO Debug Tool";
    QTest::newRow("header title") << "headerTitle"
                                  << "text"
                                  << "TUIO调试助手"
                                  << "TUIO Debug Tool";
    QTest::newRow("diamond untouched") << "headerIcon"
                                       << "text"
                                       << "◆"
                                       << "◆";
    QTest::newRow("dot untouched") << "dot"
                                   << "text"
                                   << "●"
                                   << "●";
    QTest::newRow("label with colon stays") << "targetLabel"
                                            << "text"
                                            << "目标地址:"
                                            << "目标地址:";
    QTest::newRow("label bare key") << "bareKey"
                                    << "text"
                                    << "目标地址"
                                    << "Target Address";
    QTest::newRow("push button") << "connectButton"
                                 << "text"
                                 << "连接"
                                 << "Connect";
    QTest::newRow("push button without entry") << "startButton"
                                               << "text"
                                               << "开始监听"
                                               << "开始监听";
    QTest::newRow("tool button is no listed kind") << "toolButton"
                                                   << "text"
                                                   << "发送"
                                                   << "发送";
    QTest::newRow("radio button") << "radio"
                                  << "text"
                                  << "TCP客户端"
                                  << "TCP Client";
    QTest::newRow("check box") << "timestampCheck"
                               << "text"
                               << "显示时间戳"
                               << "Show Timestamp";
    QTest::newRow("group title") << "group"
                                 << "groupTitle"
                                 << "显示设置"
                                 << "Display";
    QTest::newRow("label inside group") << "nestedLabel"
                                        << "text"
                                        << "字号"
                                        << "Font Size";
    QTest::newRow("tab without entry") << "tabs"
                                       << "tab0"
                                       << "触摸桌面"
                                       << "触摸桌面";
    QTest::newRow("empty tab") << "tabs"
                               << "tab1"
                               << ""
                               << "";
    QTest::newRow("log tab") << "tabs"
                             << "tab2"
                             << "通信日志"
                             << "Log";
    QTest::newRow("line edit placeholder") << "hostEdit"
                                           << "placeholder"
                                           << "目标地址"
                                           << "Target Address";
    QTest::newRow("line edit text untouched") << "hostEdit"
                                              << "text"
                                              << "127.0.0.1"
                                              << "127.0.0.1";
    QTest::newRow("plain text placeholder") << "plainEdit"
                                            << "placeholder"
                                            << "发送数据"
                                            << "Send Data";
    QTest::newRow("3-item combo, no entry") << "smallCombo"
                                            << "item0"
                                            << "光标模式"
                                            << "光标模式";
    QTest::newRow("3-item combo") << "smallCombo"
                                  << "item1"
                                  << "发送"
                                  << "Send";
    QTest::newRow("20-item combo untouched") << "largeCombo"
                                             << "item1"
                                             << "发送"
                                             << "发送";
}

void TestUiLanguage::retranslate()
{
    QFETCH(QString, name);
    QFETCH(QString, field);
    QFETCH(QString, chinese);
    QFETCH(QString, english);

    auto root = buildTree();
    listenFor(root.get());
    UiLanguage::instance().retranslateWidgetTree(root.get()); // start-up pass changes nothing
    QCOMPARE(readText(root.get(), name, field), chinese);

    for (int round = 0; round < 2; ++round) {
        switchTo(true);
        QCOMPARE(readText(root.get(), name, field), english);
        switchTo(false);
        QCOMPARE(readText(root.get(), name, field), chinese);
    }
}

void TestUiLanguage::decorativeLabelsKeepNoProperty()
{
    auto root = buildTree();
    listenFor(root.get());
    switchTo(true);
    for (const char *name : {"headerIcon", "dot", "blanks"})
        QVERIFY2(!root->findChild<QLabel *>(QLatin1String(name))->property("origText").isValid(),
                 name);
    QCOMPARE(root->findChild<QLabel *>(QStringLiteral("headerTitle"))->property("origText"),
             QVariant(QStringLiteral("TUIO调试助手")));
    QCOMPARE(root->property("origTitle"), QVariant(QStringLiteral("TUIO调试助手")));
    auto *tabs = root->findChild<QTabWidget *>(QStringLiteral("tabs"));
    QCOMPARE(tabs->property("tab2"), QVariant(QStringLiteral("通信日志")));
    QVERIFY(!tabs->property("tab1").isValid());
    QCOMPARE(root->findChild<QLineEdit *>(QStringLiteral("hostEdit"))->property("origPH"),
             QVariant(QStringLiteral("目标地址")));
    auto *large = root->findChild<QComboBox *>(QStringLiteral("largeCombo"));
    QVERIFY(!large->property("origItem1").isValid());
    QCOMPARE(root->findChild<QComboBox *>(QStringLiteral("smallCombo"))->property("origItem2"),
             QVariant(QStringLiteral("接收")));
}

void TestUiLanguage::programChangedTextGetsRememberedOneBack()
{
    auto root = buildTree();
    listenFor(root.get());
    auto *label = root->findChild<QLabel *>(QStringLiteral("nestedLabel"));

    switchTo(true);
    QCOMPARE(label->text(), QStringLiteral("Font Size"));
    label->setText(QStringLiteral("字号 12"));
    switchTo(false);
    QCOMPARE(label->text(), QStringLiteral("字号"));

    // Set while Chinese, after the first switch: the first remembered text still wins.
    label->setText(QStringLiteral("行间距"));
    switchTo(true);
    QCOMPARE(label->text(), QStringLiteral("Line Spacing"));
    switchTo(false);
    QCOMPARE(label->text(), QStringLiteral("字号"));

    UiLanguage::rememberOrigText(label, QStringLiteral("自动滚动"));
    QCOMPARE(label->property("origText"), QVariant(QStringLiteral("字号")));
}

void TestUiLanguage::widgetCreatedAfterSwitchWaitsForNextSwitch()
{
    auto root = buildTree();
    listenFor(root.get());
    switchTo(true);
    auto *late = new QLabel(QStringLiteral("自动滚动"), root.get());
    QCOMPARE(late->text(), QStringLiteral("自动滚动"));
    switchTo(false);
    QCOMPARE(late->text(), QStringLiteral("自动滚动"));
    switchTo(true);
    QCOMPARE(late->text(), QStringLiteral("Auto Scroll"));
    switchTo(false);
    QCOMPARE(late->text(), QStringLiteral("自动滚动"));
}

namespace {

// The window's banner asks the ad service at once; keep it on a loopback port nobody serves.
void pointSiteAtDeadLoopbackPort()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    setSiteBaseUrl(QStringLiteral("http://127.0.0.1:%1").arg(port));
}

QLabel *labelWithText(QWidget *root, const QString &text)
{
    const auto labels = root->findChildren<QLabel *>();
    for (QLabel *label : labels) {
        if (label->text() == text)
            return label;
    }
    return nullptr;
}

} // namespace

void TestUiLanguage::realWindow()
{
    pointSiteAtDeadLoopbackPort();
    TuioWidget window;
    auto *tabs = window.findChild<QTabWidget *>();
    QVERIFY(tabs);
    QCOMPARE(window.windowTitle(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("通信日志"));
    QLabel *target = labelWithText(&window, QStringLiteral("目标地址:"));
    QVERIFY(target);
    auto *headerTitle = window.findChild<QLabel *>(QStringLiteral("headerTitle"));
    QVERIFY(headerTitle);
    QComboBox *selector = nullptr;
    for (QComboBox *candidate : window.findChildren<QComboBox *>()) {
        if (candidate->count() == 2 && candidate->itemText(1) == QLatin1String("English"))
            selector = candidate;
    }
    QVERIFY(selector);

    selector->setCurrentIndex(1);
    QCOMPARE(window.windowTitle(), QStringLiteral("TUIO Debug Tool"));
    QCOMPARE(headerTitle->text(), QStringLiteral("TUIO Debug Tool"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("Log"));
    QCOMPARE(tabs->tabText(0), QStringLiteral("触摸桌面"));
    QCOMPARE(target->text(), QStringLiteral("目标地址:"));
    QVERIFY(labelWithText(&window, QStringLiteral("Listen Port")));

    selector->setCurrentIndex(0);
    QCOMPARE(window.windowTitle(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(headerTitle->text(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("通信日志"));
    QCOMPARE(target->text(), QStringLiteral("目标地址:"));
    QVERIFY(labelWithText(&window, QStringLiteral("监听端口")));
}

void TestUiLanguage::statusLabelFollowsLanguage()
{
    pointSiteAtDeadLoopbackPort();
    quint16 freePort = 0;
    {
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::AnyIPv4, 0));
        freePort = probe.localPort();
    }
    TuioWidget window;
    auto *status = window.findChild<QLabel *>(QStringLiteral("connStatus"));
    QVERIFY(status);
    auto *port = window.findChild<QSpinBox *>(QStringLiteral("listenPortSpin"));
    QVERIFY(port);
    port->setValue(freePort);
    QPushButton *start = nullptr;
    for (QPushButton *button : window.findChildren<QPushButton *>(QStringLiteral("accentButton"))) {
        if (button->text() == QStringLiteral("开始监听"))
            start = button;
    }
    QVERIFY(start);

    switchTo(true);
    start->click();
    QVERIFY(window.isRunning());
    QCOMPARE(status->text(), QStringLiteral("🟢 Listening"));
    QVERIFY2(status->styleSheet().contains(QLatin1String("#10B981")),
             qPrintable(status->styleSheet()));
    start->click();
    QVERIFY(!window.isRunning());
    QCOMPARE(status->text(), QStringLiteral("⚫ Stopped"));
    QVERIFY2(status->styleSheet().contains(QLatin1String("#64748B")),
             qPrintable(status->styleSheet()));

    switchTo(false);
    start->click();
    QCOMPARE(status->text(), QStringLiteral("🟢 监听中"));
    start->click();
    QCOMPARE(status->text(), QStringLiteral("⚫ 未启动"));
}

QTEST_MAIN(TestUiLanguage)
#include "tst_uilanguage.moc"
