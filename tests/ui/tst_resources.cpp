// Compiled-in resources: the dark theme style sheet and the window icon.
#include <QtTest>

#include <QtWidgets>

namespace {

const QString kIcon = QStringLiteral(":/icon/Tuio.ico");

QString theme()
{
    return QString::fromUtf8(
        QResource(QStringLiteral(":/styles/DarkTheme.qss")).uncompressedData());
}

QVector3D rgb(const QColor &c)
{
    return QVector3D(c.red(), c.green(), c.blue());
}

struct SpinBox : QSpinBox
{
    using QSpinBox::initStyleOption;
};

} // namespace

class TestResources : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { qApp->setStyleSheet(QString()); }

    void themeParsesCleanly()
    {
        const QRegularExpression warning(QStringLiteral("Could not parse"));
        // A broken copy goes first and must warn: proof that a warning would be seen here.
        QTest::ignoreMessage(QtWarningMsg, warning);
        for (const QString &sheet : {theme().left(theme().lastIndexOf('}')), theme()}) {
            qApp->setStyleSheet(sheet);
            QLabel label(QStringLiteral("label"));
            label.show();
            label.grab();
            QTest::failOnWarning(warning); // from now on, for the real sheet
        }
    }

    void themeStylesWidgets_data()
    {
        QTest::addColumn<QWidget *>("widget"); // taken over by the test
        QTest::addColumn<int>("role");
        QTest::addColumn<QString>("look"); // colour, font family, pixel size
        auto row = [](QWidget *w, const char *name, QPalette::ColorRole role, const char *look) {
            w->setObjectName(name);
            QTest::newRow(*name ? name : w->metaObject()->className()) << w << int(role) << look;
        };
        row(new QWidget, "", QPalette::Window, "#0b0e14 Segoe UI 13");
        row(new QLabel, "", QPalette::WindowText, "#94a3b8 Segoe UI 12");
        row(new QLabel, "txLabel", QPalette::WindowText, "#f59e0b Segoe UI 13");
        row(new QLabel, "headerTitle", QPalette::WindowText, "#f1f5f9 Segoe UI 18");
        row(new QPushButton, "accentButton", QPalette::ButtonText, "#0b0e14 Segoe UI 13");
        row(new QLineEdit, "", QPalette::Base, "#0f172a Consolas 12");
        row(new QListWidget, "", QPalette::Base, "#080b12 Consolas 12");
    }
    void themeStylesWidgets()
    {
        QFETCH(QWidget *, widget);
        QFETCH(int, role);
        qApp->setStyleSheet(theme());
        QWidget root;
        (new QVBoxLayout(&root))->addWidget(widget);
        root.show();
        QTEST(QStringLiteral("%1 %2 %3")
                  .arg(widget->palette().color(QPalette::ColorRole(role)).name(),
                       widget->font().families().value(0))
                  .arg(widget->font().pixelSize()),
              "look");
    }

    // The row's name tells the arrow and its state.
    void spinArrowsAreTriangles_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::newRow("up") << QColor("#94A3B8");
        QTest::newRow("down") << QColor("#94A3B8");
        QTest::newRow("up hovered") << QColor("#00D4FF");
        QTest::newRow("down hovered") << QColor("#00D4FF");
        QTest::newRow("down disabled") << QColor("#475569");
    }
    void spinArrowsAreTriangles()
    {
        QFETCH(QColor, colour);
        const QString state = QTest::currentDataTag();
        const bool up = state.startsWith("up");
        qApp->setStyleSheet(theme());
        SpinBox spin;
        spin.setRange(0, 100);
        spin.setValue(50);
        spin.setEnabled(!state.endsWith("disabled"));
        spin.resize(120, 32);
        spin.show();
        QVERIFY(QTest::qWaitForWindowExposed(&spin));
        QStyleOptionSpinBox option;
        spin.initStyleOption(&option);
        const QRect button = spin.style()->subControlRect(
            QStyle::CC_SpinBox, &option, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, &spin);
        QVERIFY(button.width() >= 10 && button.height() >= 7);
        if (state.endsWith("hovered"))
            QTest::mouseMove(&spin, button.center());
        const QImage image = spin.grab(button).toImage().convertToFormat(QImage::Format_RGB32);

        // Ink is how far a pixel moved from the button's own colour towards the arrow's.
        const QVector3D bg = rgb(image.pixelColor(0, image.height() / 2)),
                        towards = rgb(colour) - bg;
        QList<double> rows; // ink summed over each row that has any
        QRect box;
        double darkest = 0;
        QColor full;
        for (int y = 0; y < image.height(); ++y) {
            double sum = 0;
            for (int x = 1; x < image.width() - 1; ++x) { // past the border lines
                const QColor c = image.pixelColor(x, y);
                const double ink =
                    QVector3D::dotProduct(rgb(c) - bg, towards) / towards.lengthSquared();
                if (ink > 0.1)
                    sum += ink, box |= QRect(x, y, 1, 1);
                if (ink > darkest)
                    darkest = ink, full = c;
            }
            if (sum > 0)
                rows << sum;
        }
        // A triangle 8 px wide and 5 px tall, centred, widening away from its apex.
        QVERIFY2(rows.size() == 5 && box.width() <= 8 && box.height() == 5,
                 qPrintable(QDebug::toString(box)));
        QVERIFY(qAbs(box.center().x() - image.width() / 2) <= 1 &&
                qAbs(box.center().y() - image.height() / 2) <= 1);
        if (!up)
            std::reverse(rows.begin(), rows.end());
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY2(rows[i] > rows[i - 1] + 1, qPrintable(QDebug::toString(rows)));
        const QVector3D off = rgb(full) - rgb(colour);
        QVERIFY2(qMax(qAbs(off.x()), qMax(qAbs(off.y()), qAbs(off.z()))) <= 3,
                 qPrintable(full.name()));
    }

    // One 64 px PNG in the .ico: a teal ground, a white ring and bar, clear corners.
    void icon()
    {
        const QByteArray ico = QResource(kIcon).uncompressedData();
        QVERIFY(ico.size() > 22);
        const auto *b = reinterpret_cast<const uchar *>(ico.constData());
        auto u16 = [b](int at) { return int(qFromLittleEndian<quint16>(b + at)); };
        // Type 1 (icon), one image; its entry: 64 x 64, 32 bits, PNG from byte 22 to the end.
        QCOMPARE(QList<int>({u16(2), u16(4), b[6], b[7], u16(12), u16(18) + (u16(20) << 16),
                             u16(14) + (u16(16) << 16)}),
                 QList<int>({1, 1, 64, 64, 32, 22, int(ico.size()) - 22}));
        QVERIFY(ico.mid(22).startsWith("\x89PNG\r\n\x1a\n"));
        const QImage image = QImage(kIcon).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(64, 64));
        QStringList kinds;
        for (QPoint at :
             {QPoint(0, 0), QPoint(8, 8), QPoint(24, 32), QPoint(32, 15), QPoint(32, 30)}) {
            const QRgb p = image.pixel(at);
            const bool opaque = qAlpha(p) == 255;
            kinds << (qAlpha(p) == 0                                                       ? "clear"
                      : opaque && qRed(p) >= 0xF0 && qGreen(p) >= 0xF0 && qBlue(p) >= 0xF0 ? "white"
                      : opaque && qRed(p) < 0x40 && qGreen(p) > 0x70 && qBlue(p) >= qGreen(p)
                          ? "teal"
                          : QColor::fromRgba(p).name(QColor::HexArgb));
        }
        QCOMPARE(kinds, QStringList({"clear", "teal", "teal", "white", "white"}));
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
