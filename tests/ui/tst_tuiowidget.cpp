#include "comm/communicationbase.h"
#include "i18n/uilanguage.h"
#include "site/siteurl.h"
#include "support/freeport.h"
#include "window/tuiowidget.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QUdpSocket>
#include <QtTest>

class UrlSpy : public QObject
{
    Q_OBJECT

public:
    explicit UrlSpy(QList<QUrl> *opened) : opened(opened) {}

public slots:
    void open(const QUrl &url) { opened->append(url); }

private:
    QList<QUrl> *opened;
};

// The window as it opens: frame, settings column, fields, style hooks and visibility.
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
    void styledObjectNames_data();
    void styledObjectNames();
    void visibleAtStart();
    void statusFollowsLanguageSwitchBack();
    void documentationLink();
    void closingFreesThePort();

private:
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
}

void TestTuioWidget::windowFrame()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(window->windowIcon().pixmap(64, 64).size(), QSize(64, 64));
    QCOMPARE(window->size(), QSize(1160, 780));
    window->resize(500, 300);
    QCOMPARE(window->size(), QSize(960, 640));
}

void TestTuioWidget::settingsColumnKeepsItsWidth()
{
    auto *scroll = window->findChild<QScrollArea *>();
    QVERIFY(scroll);
    QCOMPARE(scroll->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    QVERIFY(scroll->verticalScrollBar()->isVisible());
    QCOMPARE(scroll->widget()->width(), 248);

    auto *tabs = window->findChild<QTabWidget *>();
    const int panelWidth = tabs->width();
    window->resize(1600, 900);
    QTRY_COMPARE(tabs->width(), panelWidth + 440);
    QCOMPARE(scroll->width(), 260);
}

void TestTuioWidget::spinFields_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("minimum");
    QTest::addColumn<double>("maximum");
    QTest::addColumn<QString>("shown");

    QTest::newRow("listen port") << "listenPortSpin" << 1.0 << 65535.0 << "3333";
    QTest::newRow("target port") << "targetPortSpin" << 1.0 << 65535.0 << "3333";
    QTest::newRow("local port") << "localPortSpin" << 0.0 << 65535.0 << "自动";
    QTest::newRow("class id") << "classIdSpin" << 0.0 << 999.0 << "0";
    QTest::newRow("angle") << "angleSpin" << 0.0 << 6.28 << "0.00";
    QTest::newRow("line spacing") << "lineSpacingSpin" << -10.0 << 10.0 << "0 px";
    QTest::newRow("font size") << "fontSizeSpin" << 7.0 << 16.0 << "11 pt";
}

// Defaults as shown, and values beyond the range are refused.
void TestTuioWidget::spinFields()
{
    QFETCH(QString, name);
    QFETCH(double, minimum);
    QFETCH(double, maximum);
    QFETCH(QString, shown);

    auto *spin = window->findChild<QAbstractSpinBox *>(name);
    QVERIFY(spin);
    QCOMPARE(spin->text(), shown);
    const auto set = [spin](double v) {
        if (auto *d = qobject_cast<QDoubleSpinBox *>(spin))
            d->setValue(v);
        else
            static_cast<QSpinBox *>(spin)->setValue(int(v));
    };
    const auto value = [spin] {
        if (auto *d = qobject_cast<QDoubleSpinBox *>(spin))
            return d->value();
        return double(static_cast<QSpinBox *>(spin)->value());
    };
    set(maximum + 1);
    QCOMPARE(value(), maximum);
    set(minimum - 1);
    QCOMPARE(value(), minimum);
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
    QTest::newRow("start buttons") << "accentButton"
                                   << "QPushButton" << 2;
    QTest::newRow("banner") << "adBanner"
                            << "QLabel" << 1;
    QTest::newRow("log list") << "logOutput"
                              << "QListWidget" << 1;
    QTest::newRow("log status") << "statusBar"
                                << "QFrame" << 1;
    QTest::newRow("counters") << "txLabel"
                              << "QLabel" << 1;
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

void TestTuioWidget::visibleAtStart()
{
    QStringList shownGroups;
    for (QGroupBox *group : window->findChildren<QGroupBox *>())
        if (group->isVisible())
            shownGroups << group->title();
    QCOMPARE(shownGroups, QStringList({"工作模式", "服务器设置", "显示设置"}));
    QVERIFY(window->findChild<QLabel *>(QStringLiteral("anchorCountLabel"))->isHidden());
    // Created visible; the first switch to client mode hides it.
    QVERIFY(!window->findChild<QWidget *>(QStringLiteral("objCfg"))->isHidden());
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("connStatus"))->text(),
             QStringLiteral("⚫ 未启动"));
    QCOMPARE(window->findChild<QTabWidget *>()->currentIndex(), 0);
}

// Live texts name the state the tool is in, not the one remembered at the first switch.
void TestTuioWidget::statusFollowsLanguageSwitchBack()
{
    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(freeUdpPort());
    QComboBox *language = nullptr;
    for (QComboBox *combo : window->findChildren<QComboBox *>())
        if (combo->itemText(1) == QLatin1String("English"))
            language = combo;
    auto *status = window->findChild<QLabel *>(QStringLiteral("connStatus"));

    language->setCurrentIndex(1);
    QCOMPARE(status->text(), QStringLiteral("⚫ 未启动")); // no entry, and not yet set by a start
    QVERIFY(status->styleSheet().isEmpty());
    window->findChildren<QPushButton *>(QStringLiteral("accentButton")).first()->click();
    QVERIFY(window->isRunning());
    QCOMPARE(status->text(), QStringLiteral("🟢 Listening"));
    window->communication()->logRx("abc");
    language->setCurrentIndex(0);
    QCOMPARE(status->text(), QStringLiteral("🟢 监听中"));
    QCOMPARE(window->findChild<QLabel *>(QStringLiteral("rxLabel"))->text(),
             QStringLiteral("RX: 3 bytes"));
    QVERIFY(status->styleSheet().contains(QStringLiteral("#10B981")));
}

void TestTuioWidget::documentationLink()
{
    QList<QUrl> opened;
    UrlSpy spy(&opened);
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &spy, "open");
    window->findChild<QPushButton *>(QStringLiteral("docButton"))->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(opened, QList<QUrl>{QUrl(siteBaseUrl() + "/docs/quorbell/tactora")});
}

void TestTuioWidget::closingFreesThePort()
{
    const quint16 port = freeUdpPort();
    QUdpSocket probe;
    window->findChild<QSpinBox *>(QStringLiteral("listenPortSpin"))->setValue(port);
    window->findChildren<QPushButton *>(QStringLiteral("accentButton")).first()->click();
    QVERIFY(window->isRunning());
    QVERIFY(!probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    delete window;
    window = nullptr;
    QVERIFY(probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
}

QTEST_MAIN(TestTuioWidget)
#include "tst_tuiowidget.moc"
