#pragma once

#include <QList>
#include <QMap>
#include <QString>

#include <functional>

class QAbstractButton;
class QComboBox;
class QObject;
class QWidget;

// Process-wide interface language. Widgets keep their Chinese texts in dynamic properties so a
// switch back never has to translate English into Chinese.
class UiLanguage
{
public:
    static UiLanguage &instance();

    bool isEnglish() const { return english != 0; }
    // Listeners run only when the flag really changes.
    void setEnglish(bool on);
    QString translate(const QString &text) const;
    void addListener(std::function<void()> callback);

    static void rememberOrigText(QWidget *widget, const QString &text);
    // Shows a Chinese text in the current language and keeps it for the next switch, so a text
    // that follows live state survives switching back and forth.
    void showText(QAbstractButton *button, const QString &text) const;
    void retranslateWidgetTree(QWidget *root);

    int dictionarySize() const { return dictionary.size(); }

    UiLanguage(const UiLanguage &) = delete;
    UiLanguage &operator=(const UiLanguage &) = delete;

private:
    UiLanguage();

    void retranslateWidget(QWidget *widget);
    template <typename Setter>
    void swapText(QObject *holder, const char *property, const QString &current,
                  const Setter &setter) const;

    int english = 0;
    QList<std::function<void()>> listeners;
    QMap<QString, QString> dictionary;
};

// The header's language selector: "中文" (data 0) and "English" (data 1).
QComboBox *createLanguageCombo(QWidget *parent);
