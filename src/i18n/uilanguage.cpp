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

void UiLanguage::retranslateWidgetTree(QWidget *root)
{
    if (!root)
        return;
    const auto widgets = root->findChildren<QWidget *>(QString(), Qt::FindChildrenRecursively);
    for (QWidget *widget : widgets)
        retranslateWidget(widget);

    const QString title = root->windowTitle();
    if (title.isEmpty())
        return;
    if (isEnglish()) {
        if (stringProperty(root, origTitleProperty).isEmpty())
            root->setProperty(origTitleProperty, title);
        root->setWindowTitle(translate(title));
    } else {
        const QString orig = stringProperty(root, origTitleProperty);
        if (!orig.isEmpty())
            root->setWindowTitle(orig);
    }
}

void UiLanguage::retranslateWidget(QWidget *widget)
{
    const bool toEnglish = isEnglish();
    // Shared by the single-text kinds: remember, then translate; or restore.
    auto apply = [&](const QString &current, const auto &setter) {
        if (toEnglish) {
            rememberOrigText(widget, current);
            setter(translate(current));
        } else {
            const QString orig = stringProperty(widget, origTextProperty);
            if (!orig.isEmpty())
                setter(orig);
        }
    };

    if (auto *label = qobject_cast<QLabel *>(widget)) {
        const QString text = label->text();
        if (!isDecorativeLabelText(text))
            apply(text, [label](const QString &t) { label->setText(t); });
        return;
    }
    if (qobject_cast<QPushButton *>(widget) || qobject_cast<QCheckBox *>(widget) ||
        qobject_cast<QRadioButton *>(widget)) {
        auto *button = static_cast<QAbstractButton *>(widget);
        const QString text = button->text();
        if (!text.isEmpty())
            apply(text, [button](const QString &t) { button->setText(t); });
        return;
    }
    if (auto *group = qobject_cast<QGroupBox *>(widget)) {
        const QString title = group->title();
        if (!title.isEmpty())
            apply(title, [group](const QString &t) { group->setTitle(t); });
        return;
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(widget)) {
        for (int i = 0; i < tabs->count(); ++i) {
            const QString title = tabs->tabText(i);
            if (title.isEmpty())
                continue;
            const QByteArray name = QStringLiteral("tab%1").arg(i).toLatin1();
            if (toEnglish) {
                if (stringProperty(tabs, name.constData()).isEmpty())
                    tabs->setProperty(name.constData(), title);
                tabs->setTabText(i, translate(title));
            } else {
                const QString orig = stringProperty(tabs, name.constData());
                if (!orig.isEmpty())
                    tabs->setTabText(i, orig);
            }
        }
        return;
    }
    auto placeholder = [&](const QString &current, const auto &setter) {
        if (current.isEmpty())
            return;
        if (toEnglish) {
            if (stringProperty(widget, origPlaceholderProperty).isEmpty())
                widget->setProperty(origPlaceholderProperty, current);
            setter(translate(current));
        } else {
            const QString orig = stringProperty(widget, origPlaceholderProperty);
            if (!orig.isEmpty())
                setter(orig);
        }
    };
    if (auto *plain = qobject_cast<QPlainTextEdit *>(widget)) {
        placeholder(plain->placeholderText(),
                    [plain](const QString &t) { plain->setPlaceholderText(t); });
        return;
    }
    if (auto *edit = qobject_cast<QLineEdit *>(widget)) {
        placeholder(edit->placeholderText(),
                    [edit](const QString &t) { edit->setPlaceholderText(t); });
        return;
    }
    if (auto *combo = qobject_cast<QComboBox *>(widget)) {
        if (combo->count() > maxTranslatedComboItems)
            return;
        for (int i = 0; i < combo->count(); ++i) {
            const QString text = combo->itemText(i);
            if (text.isEmpty())
                continue;
            const QByteArray name = QStringLiteral("origItem%1").arg(i).toLatin1();
            if (toEnglish) {
                if (stringProperty(combo, name.constData()).isEmpty())
                    combo->setProperty(name.constData(), text);
                const QString translated = translate(text);
                if (translated != text)
                    combo->setItemText(i, translated);
            } else {
                const QString orig = stringProperty(combo, name.constData());
                if (!orig.isEmpty())
                    combo->setItemText(i, orig);
            }
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
