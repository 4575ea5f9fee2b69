#include "i18n/uilanguage.h"
#include "window/tuiowidget.h"

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

} // namespace

class TestUiLanguage : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { UiLanguage::instance().setEnglish(false); }

    // Rows: object name|property, or a combo box's item index|Chinese|English.
    void widgetKinds_data()
    {
        QTest::addColumn<QStringList>("row");
        for (const char *row :
             {"push|text|连接|Connect", "radio|text|TCP客户端|TCP Client",
              "group|title|显示设置|Display", "check|text|显示时间戳|Show Timestamp",
              "edit|placeholderText|目标地址|Target Address",
              "plain|placeholderText|发送数据|Send Data", "small|1|发送|Send", "large|1|发送|发送"})
            QTest::newRow(row) << QString(row).split('|');
    }
    void widgetKinds()
    {
        QFETCH(QStringList, row);
        auto root = buildTree();
        QWidget *widget = root->findChild<QWidget *>(row[0]);
        auto *combo = qobject_cast<QComboBox *>(widget);
        auto text = [&] {
            return combo ? combo->itemText(row[1].toInt())
                         : widget->property(qPrintable(row[1])).toString();
        };
        UiLanguage::instance().retranslateWidgetTree(root.get()); // at start-up: no change
        QCOMPARE(text(), row[2]);
        UiLanguage::instance().setEnglish(true);
        QCOMPARE(text(), row[3]);
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(text(), row[2]);
    }

    // English translates the current text; Chinese restores the one of the first switch.
    void programChangedTextGetsRememberedOneBack()
    {
        auto root = buildTree();
        auto *check = root->findChild<QCheckBox *>("check");
        UiLanguage::instance().setEnglish(true);
        check->setText("显示时间戳 (2)");
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(check->text(), "显示时间戳");
        check->setText("自动滚动");
        UiLanguage::instance().setEnglish(true);
        QCOMPARE(check->text(), "Auto Scroll");
        UiLanguage::instance().setEnglish(false);
        QCOMPARE(check->text(), "显示时间戳");
    }

    void sameLanguageCallsNoListener()
    {
        QWidget parent;
        QComboBox *first = createLanguageCombo(&parent), *second = createLanguageCombo(&parent);
        int calls = 0;
        UiLanguage::instance().addListener(
            [&calls, guard = QPointer<QWidget>(&parent)] { calls += guard ? 1 : 0; });
        first->setCurrentIndex(1);
        second->setCurrentIndex(1); // it still showed "中文", but English it already is
        QCOMPARE(calls, 1);
        second->setCurrentIndex(0);
        first->setCurrentIndex(0);
        QCOMPARE(calls, 2);
    }

    // The target label and the first tab have no entry; the decorative icon is no text. The
    // status line's texts belong to the window's own tests.
    void window()
    {
        TuioWidget window;
        auto *tabs = window.findChild<QTabWidget *>();
        auto *framing = window.findChild<QComboBox *>("framingCombo");
        auto label = [&window](QWidget *field) {
            for (auto *form : window.findChildren<QFormLayout *>())
                if (QWidget *label = form->labelForField(field))
                    return label->property("text").toString();
            return QString();
        };
        auto texts = [&] {
            QStringList t{window.windowTitle(), window.findChild<QLabel *>("headerTitle")->text()};
            t << tabs->tabText(2) << tabs->tabText(0)
              << label(window.findChild<QLineEdit *>("targetHostEdit"))
              << window.findChild<QLabel *>("headerIcon")->text() << label(framing)
              << framing->itemText(0) << framing->itemText(1) << framing->currentText();
            return t.join('|');
        };
        auto *selector = window.findChild<QWidget *>("headerBar")->findChild<QComboBox *>();
        selector->setCurrentIndex(1);
        QCOMPARE(texts(),
                 "TUIO Debug Tool|TUIO Debug Tool|Log|触摸桌面|目标地址:|◆|Framing:|Single "
                 "messages|TUIO 1.1 frames|Single messages");
        selector->setCurrentIndex(0);
        QCOMPARE(texts(), "TUIO调试助手|TUIO调试助手|通信日志|触摸桌面|目标地址:|◆|帧格式:|"
                          "单条消息|TUIO 1.1 帧|单条消息");
    }
};

QTEST_MAIN(TestUiLanguage)
#include "tst_uilanguage.moc"
