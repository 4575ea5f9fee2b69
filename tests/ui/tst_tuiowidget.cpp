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
    void cleanup() { delete window; }
    void frameAndSettingsColumn();
    void namedWidgets_data();
    void namedWidgets();
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

// The settings column keeps its width; the tabs take what the window gains.
void TestTuioWidget::frameAndSettingsColumn()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("TUIO调试助手"));
    QCOMPARE(window->windowIcon().pixmap(64, 64).size(), QSize(64, 64));
    QCOMPARE(window->size(), QSize(1160, 780));
    auto *scroll = window->findChild<QScrollArea *>();
    QVERIFY(scroll->verticalScrollBar()->isVisible());
    QCOMPARE(scroll->widget()->width(), 248);
    auto *tabs = window->findChild<QTabWidget *>();
    const int panelWidth = tabs->width();
    window->resize(1600, 900);
    QTRY_COMPARE(tabs->width(), panelWidth + 440);
    QCOMPARE(scroll->width(), 260);
    window->resize(500, 300);
    QCOMPARE(window->size(), QSize(960, 640));
}

void TestTuioWidget::namedWidgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("shown"); // a field's text at start; empty: not a field

    // Names the theme addresses, then the fields with their defaults as shown.
    const char *rows[][4] = {
        {"headerBar", "QFrame", "1", ""},
        {"headerIcon", "QLabel", "1", ""},
        {"headerTitle", "QLabel", "1", ""},
        {"headerVersion", "QLabel", "1", ""},
        {"connStatus", "QLabel", "1", ""},
        {"accentButton", "QPushButton", "2", ""},
        {"adBanner", "QLabel", "1", ""},
        {"logOutput", "QListWidget", "1", ""},
        {"statusBar", "QFrame", "1", ""},
        {"txLabel", "QLabel", "1", ""},
        {"listenPortSpin", "QSpinBox", "1", "3333"},
        {"targetPortSpin", "QSpinBox", "1", "3333"},
        {"localPortSpin", "QSpinBox", "1", "自动"},
        {"classIdSpin", "QSpinBox", "1", "0"},
        {"angleSpin", "QDoubleSpinBox", "1", "0.00"},
        {"lineSpacingSpin", "QSpinBox", "1", "0 px"},
        {"fontSizeSpin", "QSpinBox", "1", "11 pt"},
    };
    for (const auto &r : rows)
        QTest::newRow(r[0]) << r[0] << r[1] << QByteArray(r[2]).toInt() << QString::fromUtf8(r[3]);
}

void TestTuioWidget::namedWidgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(int, count);
    QFETCH(QString, shown);
    const auto found = window->findChildren<QWidget *>(name);
    QCOMPARE(found.size(), count);
    for (QWidget *widget : found)
        QVERIFY2(widget->inherits(className.toLatin1()), widget->metaObject()->className());
    if (!shown.isEmpty())
        QCOMPARE(qobject_cast<QAbstractSpinBox *>(found.first())->text(), shown);
}

void TestTuioWidget::visibleAtStart()
{
    QVERIFY(window->findChild<QGroupBox *>(QStringLiteral("serverGroup"))->isVisible());
    QVERIFY(window->findChild<QGroupBox *>(QStringLiteral("clientGroup"))->isHidden());
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
    window->findChild<QGroupBox *>(QStringLiteral("serverGroup"))
        ->findChild<QPushButton *>(QStringLiteral("accentButton"))
        ->click();
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
    window->findChild<QGroupBox *>(QStringLiteral("serverGroup"))
        ->findChild<QPushButton *>(QStringLiteral("accentButton"))
        ->click();
    QVERIFY(window->isRunning());
    QVERIFY(!probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
    delete window;
    window = nullptr;
    QVERIFY(probe.bind(QHostAddress::AnyIPv4, port, QUdpSocket::DontShareAddress));
}

QTEST_MAIN(TestTuioWidget)
#include "tst_tuiowidget.moc"
