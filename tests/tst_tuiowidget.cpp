#include "ads/adbanner.h"
#include "canvas/touchcanvas.h"
#include "comm/logviewwidget.h"
#include "window/tuiowidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTreeWidget>
#include <QtTest>

// The window as it opens: structure, defaults, ranges and what is visible.
class TestTuioWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void windowFrame();
    void settingsColumnKeepsItsWidth();
    void spinFields_data();
    void spinFields();
    void otherFields();
    void headerOrder();
    void styledObjectNames_data();
    void styledObjectNames();
    void groupsAndTexts();
    void visibleAtStart();
    void tabs();

private:
    template <typename T> T *named(const char *name) const
    {
        return window->findChild<T *>(QLatin1String(name));
    }
    QGroupBox *groupTitled(const QString &title) const;

    TuioWidget *window = nullptr;
};

void TestTuioWidget::init()
{
    window = new TuioWidget;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TestTuioWidget::cleanup()
{
    delete window;
    window = nullptr;
}

QGroupBox *TestTuioWidget::groupTitled(const QString &title) const
{
    const auto groups = window->findChildren<QGroupBox *>();
    for (QGroupBox *group : groups)
        if (group->title() == title)
            return group;
    return nullptr;
}

void TestTuioWidget::windowFrame()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("TUIO调试助手"));
    QVERIFY(!window->windowIcon().isNull());
    QCOMPARE(window->windowIcon().pixmap(64, 64).size(), QSize(64, 64));
    QCOMPARE(window->minimumSize(), QSize(960, 640));
    QCOMPARE(window->size(), QSize(1160, 780));
    window->resize(500, 300);
    QCOMPARE(window->size(), QSize(960, 640));
}

void TestTuioWidget::settingsColumnKeepsItsWidth()
{
    auto *scroll = window->findChild<QScrollArea *>();
    QVERIFY(scroll);
    QCOMPARE(scroll->width(), 260);
    QVERIFY(!scroll->widgetResizable());
    QCOMPARE(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QCOMPARE(scroll->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(scroll->widget()->width(), 248);

    auto *tabs = window->findChild<QTabWidget *>();
    const int panelWidth = tabs->width();
    window->resize(1600, 900);
    QTRY_COMPARE(tabs->width(), panelWidth + 440);
    QCOMPARE(scroll->width(), 260);
    QVERIFY(scroll->verticalScrollBar()->isVisible());
}

void TestTuioWidget::spinFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");

    QTest::newRow("listen port") << "listenPortSpin" << 1 << 65535 << 3333 << "3333";
    QTest::newRow("target port") << "targetPortSpin" << 1 << 65535 << 3333 << "3333";
    QTest::newRow("local port") << "localPortSpin" << 0 << 65535 << 0 << "自动";
    QTest::newRow("class id") << "classIdSpin" << 0 << 999 << 0 << "0";
    QTest::newRow("line spacing") << "lineSpacingSpin" << -10 << 10 << 0 << "0 px";
    QTest::newRow("font size") << "fontSizeSpin" << 7 << 16 << 11 << "11 pt";
}

void TestTuioWidget::spinFields()
{
    QFETCH(QString, name);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QFETCH(QString, shown);

    auto *spin = window->findChild<QSpinBox *>(name);
    QVERIFY(spin);
    QCOMPARE(spin->minimum(), minimum);
    QCOMPARE(spin->maximum(), maximum);
    QCOMPARE(spin->value(), value);
    QCOMPARE(spin->text(), shown);

    // Out-of-range input is refused, not stored.
    spin->setValue(maximum + 1);
    QCOMPARE(spin->value(), maximum);
    spin->setValue(minimum - 1);
    QCOMPARE(spin->value(), minimum);
}

void TestTuioWidget::otherFields()
{
    auto *angle = named<QDoubleSpinBox>("angleSpin");
    QVERIFY(angle);
    QCOMPARE(angle->minimum(), 0.0);
    QCOMPARE(angle->maximum(), 6.28);
    QCOMPARE(angle->singleStep(), 0.1);
    QCOMPARE(angle->decimals(), 2);
    QCOMPARE(angle->text(), QStringLiteral("0.00"));
    angle->setValue(7.0);
    QCOMPARE(angle->value(), 6.28);

    auto *host = named<QLineEdit>("targetHostEdit");
    QVERIFY(host);
    QCOMPARE(host->text(), QStringLiteral("127.0.0.1"));

    auto *mode = named<QComboBox>("simModeCombo");
    QVERIFY(mode);
    QCOMPARE(mode->count(), 3);
    QCOMPARE(mode->itemText(0), QStringLiteral("光标模式"));
    QCOMPARE(mode->itemText(1), QStringLiteral("物体模式"));
    QCOMPARE(mode->itemText(2), QStringLiteral("多点模式"));
    QCOMPARE(mode->currentIndex(), 0);

    for (const char *name : {"targetHostEdit", "targetPortSpin", "localPortSpin", "simModeCombo"})
        QCOMPARE(named<QWidget>(name)->minimumHeight(), 28);
}

void TestTuioWidget::headerOrder()
{
    auto *header = named<QFrame>("headerBar");
    QVERIFY(header);
    QCOMPARE(header->height(), 52);
    auto *layout = qobject_cast<QHBoxLayout *>(header->layout());
    QVERIFY(layout);
    QCOMPARE(layout->contentsMargins(), QMargins(20, 0, 20, 0));
    QCOMPARE(layout->count(), 9);
    auto textAt = [layout](int i) {
        auto *label = qobject_cast<QLabel *>(layout->itemAt(i)->widget());
        return label ? label->text() : QString();
    };
    QCOMPARE(textAt(0), QStringLiteral("◆"));
    QCOMPARE(textAt(1), QStringLiteral("TUIO调试助手"));
    QCOMPARE(textAt(2), QStringLiteral("v1.0"));
    QVERIFY(layout->itemAt(3)->spacerItem());
    QVERIFY(qobject_cast<AdBanner *>(layout->itemAt(4)->widget()));
    QCOMPARE(layout->stretch(4), 2);
    QVERIFY(layout->itemAt(5)->spacerItem());
    auto *language = qobject_cast<QComboBox *>(layout->itemAt(6)->widget());
    QVERIFY(language);
    QCOMPARE(language->itemText(0), QStringLiteral("中文"));
    QCOMPARE(language->itemText(1), QStringLiteral("English"));
    auto *doc = qobject_cast<QPushButton *>(layout->itemAt(7)->widget());
    QVERIFY(doc);
    QCOMPARE(doc->text(), QStringLiteral("📖 文档"));
    QCOMPARE(doc->height(), 24);
    QCOMPARE(doc->cursor().shape(), Qt::PointingHandCursor);
    QCOMPARE(textAt(8), QStringLiteral("⚫ 未启动"));
}

void TestTuioWidget::styledObjectNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("count");

    QTest::newRow("header") << "headerBar"
                            << "QFrame" << 1;
    QTest::newRow("icon") << "headerIcon"
                          << "QLabel" << 1;
    QTest::newRow("title") << "headerTitle"
                           << "QLabel" << 1;
    QTest::newRow("version") << "headerVersion"
                             << "QLabel" << 1;
    QTest::newRow("status") << "connStatus"
                            << "QLabel" << 1;
    QTest::newRow("docs") << "docButton"
                          << "QPushButton" << 1;
    QTest::newRow("start buttons") << "accentButton"
                                   << "QPushButton" << 2;
    QTest::newRow("object settings") << "objCfg"
                                     << "QWidget" << 1;
    QTest::newRow("banner") << "adBanner"
                            << "QLabel" << 1;
    QTest::newRow("log list") << "logOutput"
                              << "QListWidget" << 1;
    QTest::newRow("log status") << "statusBar"
                                << "QFrame" << 1;
}

void TestTuioWidget::styledObjectNames()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(int, count);

    const auto found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), count);
    for (QWidget *widget : found)
        QVERIFY2(widget->inherits(className.toLatin1()), widget->metaObject()->className());
}

void TestTuioWidget::groupsAndTexts()
{
    QVERIFY(groupTitled(QStringLiteral("工作模式")));
    QVERIFY(groupTitled(QStringLiteral("服务器设置")));
    QVERIFY(groupTitled(QStringLiteral("客户端设置")));
    QVERIFY(groupTitled(QStringLiteral("显示设置")));

    const auto radios = window->findChildren<QRadioButton *>();
    QCOMPARE(radios.size(), 2);
    QCOMPARE(radios.at(0)->text(), QStringLiteral("服务器模式(接收+显示)"));
    QCOMPARE(radios.at(1)->text(), QStringLiteral("客户端模式(模拟+发送"));
    QVERIFY(radios.at(0)->isChecked());
    QVERIFY(!radios.at(1)->isChecked());

    const auto checks = window->findChildren<QCheckBox *>();
    QCOMPARE(checks.size(), 2);
    QCOMPARE(checks.at(0)->text(), QStringLiteral("显示时间戳"));
    QCOMPARE(checks.at(1)->text(), QStringLiteral("自动滚动"));
    QVERIFY(checks.at(0)->isChecked() && checks.at(1)->isChecked());

    const auto buttons = window->findChildren<QPushButton *>(QStringLiteral("accentButton"));
    QCOMPARE(buttons.at(0)->text(), QStringLiteral("开始监听"));
    QCOMPARE(buttons.at(1)->text(), QStringLiteral("启动客户端"));
    for (QPushButton *button : buttons)
        QCOMPARE(button->minimumHeight(), 36);
    QCOMPARE(named<QPushButton>("clearAllButton")->text(), QStringLiteral("清除全部"));
    QCOMPARE(named<QLabel>("objectCountLabel")->text(), QStringLiteral("物体: 0"));
    QCOMPARE(named<QLabel>("anchorCountLabel")->text(), QStringLiteral("锚点: 0"));
}

void TestTuioWidget::visibleAtStart()
{
    QVERIFY(groupTitled(QStringLiteral("服务器设置"))->isVisible());
    QVERIFY(!groupTitled(QStringLiteral("客户端设置"))->isVisible());
    QVERIFY(named<QLabel>("anchorCountLabel")->isHidden());
    // Created visible; the first switch to client mode hides it.
    QVERIFY(!named<QWidget>("objCfg")->isHidden());
    QVERIFY(window->isServerMode());
    QVERIFY(!window->isRunning());
    QVERIFY(named<QLabel>("connStatus")->styleSheet().isEmpty());
}

void TestTuioWidget::tabs()
{
    auto *tabs = window->findChild<QTabWidget *>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0), QStringLiteral("触摸桌面"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("TUIO 对象"));
    QCOMPARE(tabs->tabText(2), QStringLiteral("通信日志"));
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(qobject_cast<TouchCanvas *>(tabs->widget(0)));
    QVERIFY(qobject_cast<LogViewWidget *>(tabs->widget(2)));
    QCOMPARE(tabs->widget(0)->minimumSize(), QSize(400, 300));

    auto *tree = tabs->widget(1)->findChild<QTreeWidget *>();
    QVERIFY(tree);
    QCOMPARE(tree->headerItem()->text(0), QStringLiteral("ID"));
    QCOMPARE(tree->headerItem()->text(1), QStringLiteral("Position"));
    QCOMPARE(tree->headerItem()->text(2), QStringLiteral("Angle"));
    QVERIFY(tree->rootIsDecorated());
}

QTEST_MAIN(TestTuioWidget)
#include "tst_tuiowidget.moc"
