// Compiled-in resources: the dark theme style sheet and the window icon.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QResource>
#include <QScrollArea>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QVBoxLayout>
#include <QtEndian>

namespace {

const char *const kThemePath = ":/styles/DarkTheme.qss";
const char *const kIconPath = ":/icon/Tuio.ico";

// selector -> property -> value, all whitespace-normalised.
using RuleMap = QHash<QString, QHash<QString, QString>>;

// Small CSS reader: enough to find what a selector sets, and strict enough to
// reject unbalanced blocks or declarations without a colon.
bool parseRules(QString text, RuleMap *rules, QString *error)
{
    text.remove(QRegularExpression(QStringLiteral("/\\*.*?\\*/"),
                                   QRegularExpression::DotMatchesEverythingOption));
    qsizetype pos = 0;
    while (true) {
        const qsizetype open = text.indexOf(QLatin1Char('{'), pos);
        if (open < 0) {
            if (!text.mid(pos).trimmed().isEmpty()) {
                *error = QStringLiteral("text after last rule: ") + text.mid(pos).trimmed();
                return false;
            }
            return true;
        }
        const qsizetype close = text.indexOf(QLatin1Char('}'), open);
        if (close < 0 || text.mid(open + 1, close - open - 1).contains(QLatin1Char('{'))) {
            *error = QStringLiteral("unbalanced block after ") + text.mid(pos, open - pos);
            return false;
        }
        const QStringList selectors = text.mid(pos, open - pos).split(QLatin1Char(','));
        const QStringList declarations =
            text.mid(open + 1, close - open - 1).split(QLatin1Char(';'), Qt::SkipEmptyParts);
        for (const QString &declaration : declarations) {
            if (declaration.trimmed().isEmpty())
                continue;
            const qsizetype colon = declaration.indexOf(QLatin1Char(':'));
            if (colon <= 0) {
                *error = QStringLiteral("declaration without colon: ") + declaration.trimmed();
                return false;
            }
            const QString property = declaration.left(colon).trimmed();
            const QString value = declaration.mid(colon + 1).simplified();
            for (const QString &selector : selectors)
                (*rules)[selector.simplified()][property] = value;
        }
        pos = close + 1;
    }
}

QByteArray resourceBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

QString themeText()
{
    return QString::fromUtf8(resourceBytes(QString::fromLatin1(kThemePath)));
}

// Warnings seen while a style sheet is applied.
QStringList g_messages;
void collectMessages(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        g_messages << message;
}

// One widget of every kind the sheet styles, so that applying it parses every rule.
QWidget *buildStyledTree()
{
    auto *root = new QWidget;
    auto *layout = new QVBoxLayout(root);
    auto add = [layout](QWidget *widget, const char *name = nullptr) {
        if (name)
            widget->setObjectName(QString::fromLatin1(name));
        layout->addWidget(widget);
        return widget;
    };
    auto *menuBar = new QMenuBar;
    menuBar->addMenu(QStringLiteral("File"))->addAction(QStringLiteral("Quit"));
    layout->setMenuBar(menuBar);
    add(new QFrame, "headerBar");
    for (const char *name : {"headerIcon", "headerTitle", "headerVersion", "txLabel", "rxLabel",
                             "connStatus", "vertSep"})
        add(new QLabel(QStringLiteral("label")), name);
    for (const char *name : {"", "accentButton", "dangerButton", "smallButton", "sendButton"})
        add(new QPushButton(QStringLiteral("button")), name);
    add(new QPushButton(QStringLiteral("off")))->setEnabled(false);
    auto *combo = new QComboBox;
    combo->addItems({QStringLiteral("one"), QStringLiteral("two")});
    add(combo);
    add(new QGroupBox(QStringLiteral("group")));
    add(new QLineEdit);
    add(new QTextEdit);
    add(new QPlainTextEdit, "logOutput");
    auto *list = new QListWidget;
    list->addItems({QStringLiteral("a"), QStringLiteral("b")});
    add(list, "logOutput");
    add(new QCheckBox(QStringLiteral("check")));
    add(new QRadioButton(QStringLiteral("radio")));
    auto *tabs = new QTabWidget;
    tabs->addTab(new QWidget, QStringLiteral("tab 1"));
    tabs->addTab(new QWidget, QStringLiteral("tab 2"));
    add(tabs);
    auto *scroll = new QScrollArea;
    auto *tall = new QWidget;
    tall->setMinimumSize(800, 800);
    scroll->setWidget(tall);
    add(scroll);
    add(new QSpinBox);
    add(new QDoubleSpinBox);
    add(new QFrame, "statusBar");
    add(new QFrame, "separator");
    auto *progress = new QProgressBar;
    progress->setValue(40);
    add(progress);
    root->resize(400, 1200);
    return root;
}

QWidget *createWidget(const QString &className)
{
    if (className == QLatin1String("QPushButton"))
        return new QPushButton(QStringLiteral("button"));
    if (className == QLatin1String("QLabel"))
        return new QLabel(QStringLiteral("label"));
    if (className == QLatin1String("QLineEdit"))
        return new QLineEdit;
    if (className == QLatin1String("QListWidget"))
        return new QListWidget;
    if (className == QLatin1String("QFrame"))
        return new QFrame;
    return new QWidget;
}

int colourDistance(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) + qAbs(qGreen(a) - qGreen(b)) + qAbs(qBlue(a) - qBlue(b));
}

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void themeStoredCompressed();
    void themeMatchesSourceFile();
    void themeSelectorsPresent_data();
    void themeSelectorsPresent();
    void themeRuleValues_data();
    void themeRuleValues();
    void applyReportsParseErrors_data();
    void applyReportsParseErrors();
    void themeStylesNamedWidgets_data();
    void themeStylesNamedWidgets();
    void accentButtonPaintsGradient();

    void iconStoredUncompressed();
    void iconContainerHoldsOnePng();
    void iconLoadsAt64();
    void iconPixels_data();
    void iconPixels();
};

void TestResources::cleanup()
{
    qApp->setStyleSheet(QString());
}

void TestResources::themeStoredCompressed()
{
    QVERIFY(QFile::exists(QString::fromLatin1(kThemePath)));
    QResource resource(QString::fromLatin1(kThemePath));
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::ZlibCompression);
    // The stored form is actually smaller than the text it expands to.
    QVERIFY(resource.size() < resource.uncompressedSize());
    QCOMPARE(resource.uncompressedSize(),
             qint64(resourceBytes(QString::fromLatin1(kThemePath)).size()));
}

void TestResources::themeMatchesSourceFile()
{
    const QByteArray compiled = resourceBytes(QString::fromLatin1(kThemePath));
    const QByteArray source =
        resourceBytes(QStringLiteral(TACTORA_SOURCE_DIR "/src/resources/styles/DarkTheme.qss"));
    QVERIFY(!source.isEmpty());
    QCOMPARE(compiled, source);
    // Valid UTF-8 that round-trips unchanged.
    QCOMPARE(QString::fromUtf8(compiled).toUtf8(), compiled);
}

void TestResources::themeSelectorsPresent_data()
{
    QTest::addColumn<QString>("selector");
    const char *const selectors[] = {
        "QWidget",
        "QMainWindow",
        "QDialog",
        "QFrame#headerBar",
        "QGroupBox",
        "QGroupBox::title",
        "QPushButton",
        "QPushButton:hover",
        "QPushButton:pressed",
        "QPushButton:disabled",
        "QPushButton#accentButton",
        "QPushButton#accentButton:hover",
        "QPushButton#accentButton:pressed",
        "QPushButton#dangerButton",
        "QPushButton#dangerButton:hover",
        "QPushButton#dangerButton:pressed",
        "QPushButton#smallButton",
        "QPushButton#smallButton:hover",
        "QPushButton#sendButton",
        "QPushButton#sendButton:hover",
        "QComboBox",
        "QComboBox:hover",
        "QComboBox:focus",
        "QComboBox:on",
        "QComboBox::drop-down",
        "QComboBox QAbstractItemView",
        "QComboBox QAbstractItemView::item",
        "QComboBox QAbstractItemView::item:hover",
        "QLineEdit",
        "QPlainTextEdit",
        "QTextEdit",
        "QLineEdit:hover",
        "QLineEdit:focus",
        "QLineEdit:disabled",
        "QPlainTextEdit#logOutput",
        "QListWidget#logOutput",
        "QCheckBox",
        "QRadioButton",
        "QCheckBox::indicator",
        "QRadioButton::indicator",
        "QCheckBox::indicator:checked",
        "QRadioButton::indicator:checked",
        "QCheckBox::indicator:hover",
        "QTabWidget::pane",
        "QTabBar::tab",
        "QTabBar::tab:selected",
        "QTabBar::tab:hover:!selected",
        "QListWidget",
        "QListView",
        "QListWidget::item",
        "QListView::item:hover",
        "QListView::item:selected",
        "QScrollArea",
        "QScrollBar:vertical",
        "QScrollBar:horizontal",
        "QScrollBar::handle:vertical",
        "QScrollBar::handle:horizontal:hover",
        "QScrollBar::handle:vertical:pressed",
        "QScrollBar::add-line:vertical",
        "QScrollBar::sub-line:horizontal",
        "QSpinBox",
        "QDoubleSpinBox",
        "QSpinBox::up-button",
        "QDoubleSpinBox::down-button",
        "QSpinBox::up-button:hover",
        "QSpinBox::up-arrow",
        "QDoubleSpinBox::down-arrow",
        "QFrame#statusBar",
        "QToolTip",
        "QFrame#separator",
        "QLabel",
        "QLabel#headerIcon",
        "QLabel#headerTitle",
        "QLabel#headerVersion",
        "QLabel#txLabel",
        "QLabel#rxLabel",
        "QLabel#connStatus",
        "QLabel#vertSep",
        "QMenuBar",
        "QMenuBar::item:selected",
        "QMenu",
        "QMenu::item",
        "QMenu::item:selected",
        "QMenu::separator",
        "QProgressBar",
        "QProgressBar::chunk",
    };
    for (const char *selector : selectors)
        QTest::newRow(selector) << QString::fromLatin1(selector);
}

void TestResources::themeSelectorsPresent()
{
    QFETCH(QString, selector);
    RuleMap rules;
    QString error;
    QVERIFY2(parseRules(themeText(), &rules, &error), qPrintable(error));
    QVERIFY2(rules.contains(selector), qPrintable(selector));
    QVERIFY(!rules.value(selector).isEmpty());
}

void TestResources::themeRuleValues_data()
{
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("property");
    QTest::addColumn<QString>("value");

    const QString uiFont =
        QStringLiteral("\"Segoe UI\", \"Microsoft YaHei\", \"Noto Sans SC\", \"PingFang SC\", "
                       "sans-serif");
    const QString monoFont = QStringLiteral(
        "\"Consolas\", \"Cascadia Mono\", \"Courier New\", \"Source Code Pro\", monospace");
    const QString accent =
        QStringLiteral("qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #0891B2, stop:1 #00D4FF)");
    const QString accentHover =
        QStringLiteral("qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #0AA5C9, stop:1 #33DDFF)");

    auto row = [](const char *name, const char *selector, const char *property,
                  const QString &value) {
        QTest::newRow(name) << QString::fromLatin1(selector) << QString::fromLatin1(property)
                            << value;
    };
    row("window background", "QWidget", "background-color", "#0B0E14");
    row("window text", "QWidget", "color", "#F1F5F9");
    row("global font", "QWidget", "font-family", uiFont);
    row("global size", "QWidget", "font-size", "13px");
    row("dialog background", "QDialog", "background-color", "#0B0E14");
    row("header gradient", "QFrame#headerBar", "background",
        "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0D1B2A, stop:1 #0B1220)");
    row("header underline", "QFrame#headerBar", "border-bottom", "1px solid #1E3A5F");
    row("header min height", "QFrame#headerBar", "min-height", "52px");
    row("header max height", "QFrame#headerBar", "max-height", "52px");
    row("header padding", "QFrame#headerBar", "padding", "0 20px");
    row("group margin", "QGroupBox", "margin-top", "20px");
    row("group title colour", "QGroupBox::title", "color", "#00D4FF");
    row("group title weight", "QGroupBox::title", "font-weight", "700");
    row("group title origin", "QGroupBox::title", "subcontrol-origin", "margin");
    row("button padding", "QPushButton", "padding", "7px 16px");
    row("button hover border", "QPushButton:hover", "border-color", "#00D4FF");
    row("button pressed", "QPushButton:pressed", "background-color", "#0D1926");
    row("button disabled text", "QPushButton:disabled", "color", "#475569");
    row("button disabled border", "QPushButton:disabled", "border-color", "#1E293B");
    row("accent gradient", "QPushButton#accentButton", "background", accent);
    row("accent text", "QPushButton#accentButton", "color", "#0B0E14");
    row("accent no border", "QPushButton#accentButton", "border", "none");
    row("accent hover", "QPushButton#accentButton:hover", "background", accentHover);
    row("accent pressed", "QPushButton#accentButton:pressed", "background",
        "qlineargradient(x1:0, y1:0, x2:1, y2:1, stop:0 #06758F, stop:1 #00B4E0)");
    row("danger", "QPushButton#dangerButton", "background-color", "#DC2626");
    row("danger hover", "QPushButton#dangerButton:hover", "background-color", "#EF4444");
    row("danger pressed", "QPushButton#dangerButton:pressed", "background-color", "#B91C1C");
    row("small text", "QPushButton#smallButton", "color", "#94A3B8");
    row("small hover text", "QPushButton#smallButton:hover", "color", "#F1F5F9");
    row("send gradient", "QPushButton#sendButton", "background", accent);
    row("send spacing", "QPushButton#sendButton", "letter-spacing", "2px");
    row("send width", "QPushButton#sendButton", "min-width", "100px");
    row("send hover", "QPushButton#sendButton:hover", "background", accentHover);
    row("combo padding", "QComboBox", "padding", "4px 24px 4px 8px");
    row("combo hover", "QComboBox:hover", "border-color", "#2563EB");
    row("combo open", "QComboBox:on", "border-color", "#00D4FF");
    row("combo arrow width", "QComboBox::drop-down", "width", "24px");
    row("combo arrow divider", "QComboBox::drop-down", "border-left", "1px solid #1E3A5F");
    row("popup background", "QComboBox QAbstractItemView", "background-color", "#111827");
    row("popup selection", "QComboBox QAbstractItemView", "selection-background-color", "#0E4A6F");
    row("popup item padding", "QComboBox QAbstractItemView::item", "padding", "6px 10px");
    row("popup item hover", "QComboBox QAbstractItemView::item:hover", "background-color",
        "#1E3A5F");
    row("edit font", "QLineEdit", "font-family", monoFont);
    row("edit size", "QTextEdit", "font-size", "12px");
    row("edit selection", "QPlainTextEdit", "selection-background-color", "#00D4FF");
    row("edit selected text", "QLineEdit", "selection-color", "#0B0E14");
    row("edit focus", "QTextEdit:focus", "border-color", "#00D4FF");
    row("edit disabled", "QLineEdit:disabled", "background-color", "#080B12");
    row("log text background", "QPlainTextEdit#logOutput", "background-color", "#080B12");
    row("log text size", "QPlainTextEdit#logOutput", "font-size", "12.5px");
    row("log list size", "QListWidget#logOutput", "font-size", "12.5px");
    row("log list font", "QListWidget#logOutput", "font-family", monoFont);
    row("indicator size", "QCheckBox::indicator", "width", "18px");
    row("indicator border", "QCheckBox::indicator", "border", "1px solid #334155");
    row("check radius", "QCheckBox::indicator", "border-radius", "3px");
    row("radio radius", "QRadioButton::indicator", "border-radius", "9px");
    row("indicator checked", "QRadioButton::indicator:checked", "background-color", "#0A2A3F");
    row("pane open top", "QTabWidget::pane", "border-top", "none");
    row("pane radius", "QTabWidget::pane", "border-radius", "0 0 4px 4px");
    row("tab padding", "QTabBar::tab", "padding", "8px 18px");
    row("tab selected", "QTabBar::tab:selected", "color", "#00D4FF");
    row("tab hover", "QTabBar::tab:hover:!selected", "border-color", "#2563EB");
    row("list background", "QListView", "background-color", "#080B12");
    row("list item divider", "QListWidget::item", "border-bottom",
        "1px solid rgba(30, 58, 95, 0.3)");
    row("list item hover", "QListWidget::item:hover", "background-color", "#0D1F33");
    row("list item selected", "QListView::item:selected", "background-color", "#0E2A4A");
    row("scroll area", "QScrollArea", "background", "transparent");
    row("vertical bar width", "QScrollBar:vertical", "width", "10px");
    row("horizontal bar height", "QScrollBar:horizontal", "height", "10px");
    row("handle", "QScrollBar::handle:vertical", "background", "#2A3A4A");
    row("handle min", "QScrollBar::handle:vertical", "min-height", "30px");
    row("handle pressed", "QScrollBar::handle:horizontal:pressed", "background", "#60A5FA");
    row("no down arrow", "QScrollBar::add-line:vertical", "height", "0");
    row("no up arrow", "QScrollBar::sub-line:vertical", "height", "0");
    row("no right arrow", "QScrollBar::add-line:horizontal", "width", "0");
    row("no left arrow", "QScrollBar::sub-line:horizontal", "width", "0");
    row("spin button width", "QDoubleSpinBox::up-button", "width", "20px");
    row("spin button", "QSpinBox::down-button", "background-color", "#1E2A3A");
    row("spin button hover", "QSpinBox::up-button:hover", "background-color", "#2A3A4A");
    row("up arrow width", "QSpinBox::up-arrow", "width", "0");
    row("up arrow height", "QSpinBox::up-arrow", "height", "0");
    row("up arrow tip", "QSpinBox::up-arrow", "border-bottom", "5px solid #94A3B8");
    row("down arrow tip", "QDoubleSpinBox::down-arrow", "border-top", "5px solid #94A3B8");
    row("status bar", "QFrame#statusBar", "background-color", "#0D1321");
    row("status bar height", "QFrame#statusBar", "min-height", "32px");
    row("tooltip padding", "QToolTip", "padding", "8px 4px");
    row("separator", "QFrame#separator", "max-height", "1px");
    row("label text", "QLabel", "color", "#94A3B8");
    row("label background", "QLabel", "background", "transparent");
    row("header icon", "QLabel#headerIcon", "font-size", "22px");
    row("header title", "QLabel#headerTitle", "font-size", "18px");
    row("header version", "QLabel#headerVersion", "color", "#64748B");
    row("tx label", "QLabel#txLabel", "color", "#F59E0B");
    row("rx label", "QLabel#rxLabel", "color", "#00D4FF");
    row("conn status", "QLabel#connStatus", "font-size", "13px");
    row("vertical separator", "QLabel#vertSep", "padding", "0 12px");
    row("menu bar selected", "QMenuBar::item:selected", "background-color", "#1E3A5F");
    row("menu item padding", "QMenu::item", "padding", "6px 24px");
    row("menu selected", "QMenu::item:selected", "background-color", "#0E4A6F");
    row("menu separator", "QMenu::separator", "margin", "4px 8px");
    row("progress text", "QProgressBar", "text-align", "center");
    row("progress chunk", "QProgressBar::chunk", "background",
        "qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 #0891B2, stop:1 #00D4FF)");
}

void TestResources::themeRuleValues()
{
    QFETCH(QString, selector);
    QFETCH(QString, property);
    QFETCH(QString, value);
    RuleMap rules;
    QString error;
    QVERIFY2(parseRules(themeText(), &rules, &error), qPrintable(error));
    QVERIFY2(rules.value(selector).contains(property), qPrintable(selector + " " + property));
    QCOMPARE(rules.value(selector).value(property).toLower(), value.simplified().toLower());
}

void TestResources::applyReportsParseErrors_data()
{
    QTest::addColumn<QString>("sheet");
    QTest::addColumn<bool>("expectWarning");

    const QString theme = themeText();
    QTest::newRow("theme") << theme << false;
    // Broken copies prove that the warning is caught when it happens.
    QTest::newRow("last brace missing") << theme.left(theme.lastIndexOf(QLatin1Char('}'))) << true;
    QString unclosedGradient = theme;
    unclosedGradient.replace(QStringLiteral("#00D4FF)"), QStringLiteral("#00D4FF"));
    QTest::newRow("gradient unclosed") << unclosedGradient << true;
}

void TestResources::applyReportsParseErrors()
{
    QFETCH(QString, sheet);
    QFETCH(bool, expectWarning);

    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(collectMessages);
    qApp->setStyleSheet(sheet);
    {
        QScopedPointer<QWidget> root(buildStyledTree());
        root->show();
        QCoreApplication::processEvents();
        root->grab(); // paints every sub-control once
    }
    qInstallMessageHandler(previous);

    const QStringList parseErrors =
        g_messages.filter(QStringLiteral("Could not parse"), Qt::CaseInsensitive);
    QVERIFY2(parseErrors.isEmpty() != expectWarning, qPrintable(g_messages.join('\n')));
}

void TestResources::themeStylesNamedWidgets_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<int>("role");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<QString>("family");
    QTest::addColumn<int>("pixelSize");

    const QString ui = QStringLiteral("Segoe UI");
    const QString mono = QStringLiteral("Consolas");
    auto row = [](const char *name, const char *cls, const char *objectName,
                  QPalette::ColorRole role, const char *colour, const QString &family, int px) {
        QTest::newRow(name) << QString::fromLatin1(cls) << QString::fromLatin1(objectName)
                            << int(role) << QColor(QString::fromLatin1(colour)) << family << px;
    };
    row("plain button", "QPushButton", "", QPalette::ButtonText, "#F1F5F9", ui, 12);
    row("accent button", "QPushButton", "accentButton", QPalette::ButtonText, "#0B0E14", ui, 13);
    row("danger button", "QPushButton", "dangerButton", QPalette::ButtonText, "#FFFFFF", ui, 13);
    row("send button", "QPushButton", "sendButton", QPalette::ButtonText, "#0B0E14", ui, 14);
    row("plain label", "QLabel", "", QPalette::WindowText, "#94A3B8", ui, 12);
    row("tx label", "QLabel", "txLabel", QPalette::WindowText, "#F59E0B", ui, 13);
    row("rx label", "QLabel", "rxLabel", QPalette::WindowText, "#00D4FF", ui, 13);
    row("header title", "QLabel", "headerTitle", QPalette::WindowText, "#F1F5F9", ui, 18);
    row("header version", "QLabel", "headerVersion", QPalette::WindowText, "#64748B", ui, 11);
    row("line edit", "QLineEdit", "", QPalette::Base, "#0F172A", mono, 12);
    row("list", "QListWidget", "", QPalette::Base, "#080B12", mono, 12);
    row("plain widget", "QWidget", "", QPalette::Window, "#0B0E14", ui, 13);
}

void TestResources::themeStylesNamedWidgets()
{
    QFETCH(QString, className);
    QFETCH(QString, objectName);
    QFETCH(int, role);
    QFETCH(QColor, colour);
    QFETCH(QString, family);
    QFETCH(int, pixelSize);

    qApp->setStyleSheet(themeText());
    QWidget root;
    auto *layout = new QVBoxLayout(&root);
    QWidget *widget = createWidget(className);
    widget->setObjectName(objectName);
    layout->addWidget(widget);
    root.show();
    QCoreApplication::processEvents();

    QCOMPARE(widget->palette().color(QPalette::ColorRole(role)), colour);
    QVERIFY2(!widget->font().families().isEmpty(), "no font families set");
    QCOMPARE(widget->font().families().constFirst(), family);
    QCOMPARE(widget->font().pixelSize(), pixelSize);
}

void TestResources::accentButtonPaintsGradient()
{
    qApp->setStyleSheet(themeText());
    QWidget root;
    auto *layout = new QVBoxLayout(&root);
    auto *plain = new QPushButton(QStringLiteral("plain"));
    auto *accent = new QPushButton(QStringLiteral("accent"));
    accent->setObjectName(QStringLiteral("accentButton"));
    auto *header = new QFrame;
    header->setObjectName(QStringLiteral("headerBar"));
    layout->addWidget(plain);
    layout->addWidget(accent);
    layout->addWidget(header);
    root.show();
    QCoreApplication::processEvents();

    // Sample just inside the top edge, clear of border and caption.
    const QImage plainImage = plain->grab().toImage();
    const QImage accentImage = accent->grab().toImage();
    const QRgb plainPixel = plainImage.pixel(plainImage.width() / 2, 3);
    const QRgb accentPixel = accentImage.pixel(accentImage.width() / 2, 3);
    QVERIFY2(colourDistance(plainPixel, qRgb(0x1F, 0x29, 0x37)) < 12,
             qPrintable(QColor(plainPixel).name()));
    // Somewhere between the gradient ends #0891B2 and #00D4FF.
    QVERIFY2(qRed(accentPixel) < 0x10 && qGreen(accentPixel) > 0x88 && qBlue(accentPixel) > 0xA8,
             qPrintable(QColor(accentPixel).name()));
    QVERIFY(accent->sizeHint().height() > plain->sizeHint().height());

    // The header is pinned to one height.
    QCOMPARE(header->minimumHeight(), header->maximumHeight());
    QVERIFY(header->minimumHeight() >= 52 && header->minimumHeight() <= 54);
}

void TestResources::iconStoredUncompressed()
{
    QVERIFY(QFile::exists(QString::fromLatin1(kIconPath)));
    QResource resource(QString::fromLatin1(kIconPath));
    QVERIFY(resource.isValid());
    QCOMPARE(resource.compressionAlgorithm(), QResource::NoCompression);
    QCOMPARE(resource.size(), resource.uncompressedSize());
    const QByteArray source =
        resourceBytes(QStringLiteral(TACTORA_SOURCE_DIR "/src/resources/icon/Tuio.ico"));
    QCOMPARE(resourceBytes(QString::fromLatin1(kIconPath)), source);
}

void TestResources::iconContainerHoldsOnePng()
{
    const QByteArray ico = resourceBytes(QString::fromLatin1(kIconPath));
    QVERIFY(ico.size() > 6 + 16);
    const auto *bytes = reinterpret_cast<const uchar *>(ico.constData());

    // ICONDIR: reserved, type 1 (icon), image count.
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 0), quint16(0));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(bytes + 4), quint16(1));

    // ICONDIRENTRY
    const uchar *entry = bytes + 6;
    QCOMPARE(int(entry[0]), 64);
    QCOMPARE(int(entry[1]), 64);
    QCOMPARE(int(entry[2]), 0);
    QCOMPARE(qFromLittleEndian<quint16>(entry + 4), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(entry + 6), quint16(32));
    const quint32 length = qFromLittleEndian<quint32>(entry + 8);
    const quint32 offset = qFromLittleEndian<quint32>(entry + 12);
    QCOMPARE(offset, quint32(22));
    QCOMPARE(qint64(offset) + length, qint64(ico.size()));

    const QByteArray png = ico.mid(offset);
    QVERIFY(png.startsWith(QByteArray("\x89PNG\r\n\x1a\n", 8)));
    const QImage image = QImage::fromData(png, "PNG");
    QCOMPARE(image.size(), QSize(64, 64));
    QVERIFY(image.hasAlphaChannel());
}

void TestResources::iconLoadsAt64()
{
    const QImage image(QString::fromLatin1(kIconPath));
    QCOMPARE(image.size(), QSize(64, 64));

    const QIcon icon(QString::fromLatin1(kIconPath));
    QVERIFY(!icon.isNull());
    QVERIFY(icon.availableSizes().contains(QSize(64, 64)));
    QCOMPARE(icon.pixmap(QSize(64, 64)).size(), QSize(64, 64));
}

void TestResources::iconPixels_data()
{
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QString>("kind");

    QTest::newRow("outer corner") << QPoint(0, 0) << "clear";
    QTest::newRow("corner beyond radius") << QPoint(3, 3) << "clear";
    QTest::newRow("top-left interior") << QPoint(8, 8) << "teal";
    QTest::newRow("bottom-right interior") << QPoint(55, 55) << "teal";
    QTest::newRow("left edge middle") << QPoint(4, 32) << "teal";
    QTest::newRow("ring top") << QPoint(32, 15) << "white";
    QTest::newRow("ring left") << QPoint(15, 32) << "white";
    QTest::newRow("ring bottom right") << QPoint(44, 44) << "white";
    QTest::newRow("inside ring above bar") << QPoint(32, 20) << "teal";
    QTest::newRow("inside ring beside bar") << QPoint(24, 32) << "teal";
    QTest::newRow("bar centre") << QPoint(32, 32) << "white";
    QTest::newRow("bar upper part") << QPoint(32, 27) << "white";
}

void TestResources::iconPixels()
{
    QFETCH(QPoint, point);
    QFETCH(QString, kind);

    const QImage image =
        QImage(QString::fromLatin1(kIconPath)).convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(image.size(), QSize(64, 64));
    const QRgb pixel = image.pixel(point);
    const QByteArray seen = QColor::fromRgba(pixel).name(QColor::HexArgb).toLatin1();

    if (kind == QLatin1String("clear")) {
        QVERIFY2(qAlpha(pixel) == 0, seen.constData());
    } else if (kind == QLatin1String("teal")) {
        QVERIFY2(qAlpha(pixel) == 255, seen.constData());
        QVERIFY2(qRed(pixel) < 0x40 && qGreen(pixel) > 0x70 && qBlue(pixel) > 0x90 &&
                     qBlue(pixel) >= qGreen(pixel),
                 seen.constData());
    } else {
        QVERIFY2(qAlpha(pixel) == 255 && qRed(pixel) >= 0xF0 && qGreen(pixel) >= 0xF0 &&
                     qBlue(pixel) >= 0xF0,
                 seen.constData());
    }
}

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
