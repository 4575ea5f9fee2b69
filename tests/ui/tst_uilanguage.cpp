#include "i18n/uilanguage.h"
#include "support/freeport.h"
#include "window/tuiowidget.h"

#include <QtNetwork>
#include <QtTest>
#include <QtWidgets>

namespace {

// The kinds the retranslation knows, and a combo box it must leave alone. As the window does, the
// tree retranslates itself after each change of language.
std::unique_ptr<QWidget> buildTree()
{
    auto root = std::make_unique<QWidget>();
    auto add = [&root](auto *widget, const char *name) {
        widget->setObjectName(name);
        widget->setParent(root.get());
        return widget;
    };
    add(new QPushButton("连接"), "push");
    add(new QRadioButton("TCP客户端"), "radio");
    auto *group = add(new QGroupBox("显示设置"), "group");
    (new QCheckBox("显示时间戳", group))->setObjectName("check");
    add(new QLineEdit, "edit")->setPlaceholderText("目标地址");
    add(new QPlainTextEdit, "plain")->setPlaceholderText("发送数据");
    add(new QComboBox, "small")->addItems({"光标模式", "发送"});
    auto *large = add(new QComboBox, "large");
    for (int i = 0; i < 20; ++i)
        large->addItem(i == 1 ? "发送" : QString::number(i));
    UiLanguage::instance().addListener([guard = QPointer<QWidget>(root.get())] {
        if (guard)
            UiLanguage::instance().retranslateWidgetTree(guard);
    });
    return root;
}

// field: a property ("text", "title", "placeholderText") or a combo box item's index.
QString textOf(QWidget *root, const QString &name, const QString &field)
{
    QWidget *widget = root->findChild<QWidget *>(name);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->itemText(field.toInt());
    return widget->property(field.toLatin1()).toString();
}

// The first widget whose text (a combo box: its current text) is text.
template <typename T> T *withText(QWidget *root, const QString &text)
{
    for (T *widget : root->findChildren<T *>())
        if (widget->property("text") == text || widget->property("currentText") == text)
            return widget;
    return nullptr;
}

} // namespace

class TestUiLanguage : public QObject
{
    Q_OBJECT

    static void setEnglish(bool on) { UiLanguage::instance().setEnglish(on); }

private slots:
    void cleanup() { setEnglish(false); }

    void dictionary() { QCOMPARE(UiLanguage::instance().dictionarySize(), 220); }

    void widgetKinds_data()
    {
        for (const char *column : {"name", "field", "chinese", "english"})
            QTest::addColumn<QString>(column);
        const auto row = [](const char *tag, const char *name, const char *field, const char *zh,
                            const char *en) {
            QTest::newRow(tag) << QString(name) << QString(field) << QString(zh) << QString(en);
        };
        row("push button", "push", "text", "连接", "Connect");
        row("radio button", "radio", "text", "TCP客户端", "TCP Client");
        row("group title", "group", "title", "显示设置", "Display");
        row("check box in a group", "check", "text", "显示时间戳", "Show Timestamp");
        row("line edit placeholder", "edit", "placeholderText", "目标地址", "Target Address");
        row("plain text placeholder", "plain", "placeholderText", "发送数据", "Send Data");
        row("combo item", "small", "1", "发送", "Send");
        row("20-item combo untouched", "large", "1", "发送", "发送");
    }
    void widgetKinds()
    {
        QFETCH(QString, name);
        QFETCH(QString, field);
        QFETCH(QString, chinese);
        QFETCH(QString, english);
        auto root = buildTree();
        UiLanguage::instance().retranslateWidgetTree(root.get()); // at start-up: no change
        QCOMPARE(textOf(root.get(), name, field), chinese);
        setEnglish(true);
        QCOMPARE(textOf(root.get(), name, field), english);
        setEnglish(false);
        QCOMPARE(textOf(root.get(), name, field), chinese);
    }

    // English translates the current text; Chinese restores the one of the first switch.
    void programChangedTextGetsRememberedOneBack()
    {
        auto root = buildTree();
        auto *check = root->findChild<QCheckBox *>("check");
        setEnglish(true);
        check->setText("显示时间戳 (2)");
        setEnglish(false);
        QCOMPARE(check->text(), "显示时间戳");
        check->setText("自动滚动");
        setEnglish(true);
        QCOMPARE(check->text(), "Auto Scroll");
        setEnglish(false);
        QCOMPARE(check->text(), "显示时间戳");
    }

    void sameLanguageCallsNoListener()
    {
        QWidget parent;
        QComboBox *first = createLanguageCombo(&parent);
        QComboBox *second = createLanguageCombo(&parent);
        int calls = 0;
        UiLanguage::instance().addListener([&calls, guard = QPointer<QWidget>(&parent)] {
            if (guard)
                ++calls;
        });
        first->setCurrentIndex(1);
        second->setCurrentIndex(1); // it still showed "中文", but English it already is
        QCOMPARE(calls, 1);
        second->setCurrentIndex(0);
        first->setCurrentIndex(0);
        QCOMPARE(calls, 2);
    }

    void window()
    {
        TuioWidget window;
        auto *tabs = window.findChild<QTabWidget *>();
        auto *title = window.findChild<QLabel *>("headerTitle");
        auto *status = window.findChild<QLabel *>("connStatus");
        auto *port = window.findChild<QSpinBox *>("listenPortSpin");
        auto *selector = withText<QComboBox>(&window, "中文");
        auto *start = withText<QPushButton>(&window, "开始监听");
        auto *target = withText<QLabel>(&window, "目标地址:");
        QVERIFY(tabs && title && status && port && selector && start && target);
        port->setValue(freeUdpPort());

        selector->setCurrentIndex(1);
        QCOMPARE(window.windowTitle(), "TUIO Debug Tool");
        QCOMPARE(title->text(), "TUIO Debug Tool");
        QCOMPARE(tabs->tabText(2), "Log");
        QCOMPARE(tabs->tabText(0), "触摸桌面"); // no entry
        QCOMPARE(target->text(), "目标地址:");
        QCOMPARE(window.findChild<QLabel *>("headerIcon")->text(), "◆");
        start->click();
        QCOMPARE(status->text(), "🟢 Listening");
        QVERIFY2(status->styleSheet().contains("#10B981"), qPrintable(status->styleSheet()));
        start->click();
        QCOMPARE(status->text(), "⚫ Stopped");
        QVERIFY2(status->styleSheet().contains("#64748B"), qPrintable(status->styleSheet()));

        selector->setCurrentIndex(0);
        QCOMPARE(window.windowTitle(), "TUIO调试助手");
        QCOMPARE(title->text(), "TUIO调试助手");
        QCOMPARE(tabs->tabText(2), "通信日志");
    }
};

QTEST_MAIN(TestUiLanguage)
#include "tst_uilanguage.moc"
