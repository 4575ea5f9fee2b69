#include "i18n/uilanguage.h"

#include "i18n/uidictionary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVariant>
#include <QWidget>

namespace {

const char *const origTextProperty = "origText";
const char *const origPlaceholderProperty = "origPH";
const char *const origTitleProperty = "origTitle";

// Comboboxes this long hold data (ports, rates), not interface words.
constexpr int maxTranslatedComboItems = 19;

QString stringProperty(const QObject *object, const char *name)
{
    return object->property(name).toString();
}

bool isDecorativeLabelText(const QString &text)
{
    return text.isEmpty() || text == QStringLiteral("◆") || text == QStringLiteral("  ") ||
           text == QStringLiteral("●") || text == QStringLiteral("○");
}

} // namespace

UiLanguage::UiLanguage() : dictionary(buildUiDictionary()) {}

UiLanguage &UiLanguage::instance()
{
    static UiLanguage language;
    return language;
}

void UiLanguage::setEnglish(bool on)
{
    if (on == isEnglish())
        return;
    english = on ? 1 : 0;
    // A listener may register another; iterate over a copy.
    const auto callbacks = listeners;
    for (const auto &callback : callbacks) {
        if (callback)
            callback();
    }
}

QString UiLanguage::translate(const QString &text) const
{
    if (!isEnglish())
        return text;
    const auto it = dictionary.constFind(text);
    return it == dictionary.constEnd() ? text : it.value();
}

void UiLanguage::addListener(std::function<void()> callback)
{
    listeners.append(std::move(callback));
}

void UiLanguage::rememberOrigText(QWidget *widget, const QString &text)
{
    if (widget && stringProperty(widget, origTextProperty).isEmpty())
        widget->setProperty(origTextProperty, text);
}

void UiLanguage::showText(QAbstractButton *button, const QString &text) const
{
    button->setProperty(origTextProperty, text);
    button->setText(translate(text));
}

void UiLanguage::retranslateWidgetTree(QWidget *root)
{
    if (!root)
        return;
    const auto widgets = root->findChildren<QWidget *>(QString(), Qt::FindChildrenRecursively);
    for (QWidget *widget : widgets)
        retranslateWidget(widget);

    const QString title = root->windowTitle();
    if (!title.isEmpty())
        swapText(root, origTitleProperty, title,
                 [root](const QString &t) { root->setWindowTitle(t); });
}

template <typename Setter>
void UiLanguage::swapText(QObject *holder, const char *property, const QString &current,
                          const Setter &setter) const
{
    // English translates the current text, remembered once; Chinese puts the remembered one back.
    if (isEnglish()) {
        if (stringProperty(holder, property).isEmpty())
            holder->setProperty(property, current);
        setter(translate(current));
    } else {
        const QString orig = stringProperty(holder, property);
        if (!orig.isEmpty())
            setter(orig);
    }
}

void UiLanguage::retranslateWidget(QWidget *widget)
{
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const QString text = label->text();
        if (!isDecorativeLabelText(text))
            swapText(label, origTextProperty, text,
                     [label](const QString &t) { label->setText(t); });
        return;
    }
    if (qobject_cast<QPushButton *>(widget) || qobject_cast<QCheckBox *>(widget) ||
        qobject_cast<QRadioButton *>(widget)) {
        auto *button = static_cast<QAbstractButton *>(widget);
        const QString text = button->text();
        if (!text.isEmpty())
            swapText(button, origTextProperty, text,
                     [button](const QString &t) { button->setText(t); });
        return;
    }
    if (auto *group = qobject_cast<QGroupBox *>(widget)) {
        const QString title = group->title();
        if (!title.isEmpty())
            swapText(group, origTextProperty, title,
                     [group](const QString &t) { group->setTitle(t); });
        return;
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            const QString title = tabs->tabText(i);
            if (!title.isEmpty())
                swapText(tabs, QStringLiteral("tab%1").arg(i).toLatin1().constData(), title,
                         [tabs, i](const QString &t) { tabs->setTabText(i, t); });
        }
        return;
    }
    if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
        const QString text = plain->placeholderText();
        if (!text.isEmpty())
            swapText(plain, origPlaceholderProperty, text,
                     [plain](const QString &t) { plain->setPlaceholderText(t); });
        return;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        const QString text = edit->placeholderText();
        if (!text.isEmpty())
            swapText(edit, origPlaceholderProperty, text,
                     [edit](const QString &t) { edit->setPlaceholderText(t); });
        return;
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        if (combo->count() > maxTranslatedComboItems)
            return;
        for (int i = 0; i < combo->count(); ++i) {
            const QString text = combo->itemText(i);
            // An unchanged item is not set again, so the model reports no change.
            if (!text.isEmpty())
                swapText(combo, QStringLiteral("origItem%1").arg(i).toLatin1().constData(), text,
                         [combo, i](const QString &t) {
                             if (t != combo->itemText(i))
                                 combo->setItemText(i, t);
                         });
        }
    }
}

QComboBox *createLanguageCombo(QWidget *parent)
{
    auto *combo = new QComboBox(parent);
    combo->addItem(QStringLiteral("中文"), 0);
    combo->addItem(QStringLiteral("English"), 1);
    combo->setCurrentIndex(UiLanguage::instance().isEnglish() ? 1 : 0);
    combo->setFixedWidth(80);
    combo->setStyleSheet(QStringLiteral(
        "QComboBox { background: transparent; color: #94A3B8; border: 1px solid #2A3A4A; "
        "border-radius: 3px; padding: 2px 6px; font-size: 11px; }"
        "QComboBox:hover { border-color: #60A5FA; }"
        "QComboBox QAbstractItemView { background: #0D1622; color: #F1F5F9; "
        "selection-background-color: #1E3A5F; }"));
    QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                     [](int index) { UiLanguage::instance().setEnglish(index != 0); });
    return combo;
}
