// Compiled-in resources: the dark theme style sheet and the window icon.
#include <QtTest>

#include <QtWidgets>

namespace {

const QString kTheme = QStringLiteral(":/styles/DarkTheme.qss");
const QString kIcon = QStringLiteral(":/icon/Tuio.ico");

QString theme()
{
    return QString::fromUtf8(QResource(kTheme).uncompressedData());
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

    void storage()
    {
        // The sheet is stored compressed and is smaller so; the icon is stored as it is.
        const QResource sheet(kTheme), icon(kIcon);
        QVERIFY(sheet.isValid() && icon.isValid());
        QCOMPARE(sheet.compressionAlgorithm(), QResource::ZlibCompression);
        QVERIFY(sheet.size() < sheet.uncompressedSize());
        QCOMPARE(icon.compressionAlgorithm(), QResource::NoCompression);
    }

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
        QTest::addColumn<QColor>("colour");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixelSize");
        auto row = [](QWidget *w, const char *name, QPalette::ColorRole role, const char *colour,
                      const char *family, int px) {
            w->setObjectName(name);
            QTest::newRow(*name ? name : w->metaObject()->className())
                << w << int(role) << QColor(colour) << family << px;
        };
        row(new QWidget, "", QPalette::Window, "#0B0E14", "Segoe UI", 13);
        row(new QLabel, "", QPalette::WindowText, "#94A3B8", "Segoe UI", 12);
        row(new QLabel, "txLabel", QPalette::WindowText, "#F59E0B", "Segoe UI", 13);
        row(new QLabel, "headerTitle", QPalette::WindowText, "#F1F5F9", "Segoe UI", 18);
        row(new QPushButton, "accentButton", QPalette::ButtonText, "#0B0E14", "Segoe UI", 13);
        row(new QLineEdit, "", QPalette::Base, "#0F172A", "Consolas", 12);
        row(new QListWidget, "", QPalette::Base, "#080B12", "Consolas", 12);
    }
    void themeStylesWidgets()
    {
        QFETCH(QWidget *, widget);
        QFETCH(int, role);
        qApp->setStyleSheet(theme());
        QWidget root;
        (new QVBoxLayout(&root))->addWidget(widget);
        root.show();
        QTEST(widget->palette().color(QPalette::ColorRole(role)), "colour");
        QTEST(widget->font().families().value(0), "family");
        QTEST(widget->font().pixelSize(), "pixelSize");
    }

    void spinArrowsAreTriangles_data()
    {
        QTest::addColumn<bool>("up");
        QTest::addColumn<bool>("hovered");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("up") << true << false << true << QColor("#94A3B8");
        QTest::newRow("down") << false << false << true << QColor("#94A3B8");
        QTest::newRow("up hovered") << true << true << true << QColor("#00D4FF");
        QTest::newRow("down hovered") << false << true << true << QColor("#00D4FF");
        QTest::newRow("down disabled") << false << false << false << QColor("#475569");
    }
    void spinArrowsAreTriangles()
    {
        QFETCH(bool, up);
        QFETCH(bool, hovered);
        QFETCH(bool, enabled);
        QFETCH(QColor, colour);
        qApp->setStyleSheet(theme());
        SpinBox spin;
        spin.setRange(0, 100);
        spin.setValue(50);
        spin.setEnabled(enabled);
        spin.resize(120, 32);
        spin.show();
        QVERIFY(QTest::qWaitForWindowExposed(&spin));
        QStyleOptionSpinBox option;
        spin.initStyleOption(&option);
        const QRect button = spin.style()->subControlRect(
            QStyle::CC_SpinBox, &option, up ? QStyle::SC_SpinBoxUp : QStyle::SC_SpinBoxDown, &spin);
        QVERIFY(button.width() >= 10 && button.height() >= 7);
        if (hovered)
            QTest::mouseMove(&spin, button.center());
        const QImage image = spin.grab(button).toImage().convertToFormat(QImage::Format_RGB32);

        // Ink is how far a pixel moved from the button's own colour towards the arrow's.
        const QColor background = image.pixelColor(0, image.height() / 2);
        const QVector3D bg(background.red(), background.green(), background.blue());
        const QVector3D towards = QVector3D(colour.red(), colour.green(), colour.blue()) - bg;
        QList<double> rows; // ink summed over each row that has any
        QRect box;
        double darkest = 0;
        QColor full;
        for (int y = 0; y < image.height(); ++y) {
            double sum = 0;
            for (int x = 1; x < image.width() - 1; ++x) { // past the border lines
                const QColor c = image.pixelColor(x, y);
                const double ink =
                    QVector3D::dotProduct(QVector3D(c.red(), c.green(), c.blue()) - bg, towards) /
                    towards.lengthSquared();
                if (ink > 0.1) {
                    sum += ink;
                    box |= QRect(x, y, 1, 1);
                }
                if (ink > darkest)
                    darkest = ink, full = c;
            }
            if (sum > 0)
                rows << sum;
        }
        // A triangle 8 px wide and 5 px tall, centred, widening away from its apex.
        QCOMPARE(rows.size(), 5);
        QVERIFY2(box.width() <= 8 && box.height() == 5, qPrintable(QDebug::toString(box)));
        QVERIFY(qAbs(box.center().x() - image.width() / 2) <= 1);
        QVERIFY(qAbs(box.center().y() - image.height() / 2) <= 1);
        if (!up)
            std::reverse(rows.begin(), rows.end());
        for (int i = 1; i < rows.size(); ++i)
            QVERIFY2(rows[i] > rows[i - 1] + 1, qPrintable(QDebug::toString(rows)));
        for (int channel : {full.red() - colour.red(), full.green() - colour.green(),
                            full.blue() - colour.blue()})
            QVERIFY2(qAbs(channel) <= 3, qPrintable(full.name()));
    }

    void iconHoldsOne64PixelPng()
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
        QVERIFY(QIcon(kIcon).availableSizes().contains(QSize(64, 64)));
    }

    void iconPixels_data()
    {
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<QString>("kind");
        QTest::newRow("outer corner") << QPoint(0, 0) << "clear";
        QTest::newRow("top-left interior") << QPoint(8, 8) << "teal";
        QTest::newRow("inside the ring") << QPoint(24, 32) << "teal";
        QTest::newRow("ring top") << QPoint(32, 15) << "white";
        QTest::newRow("bar") << QPoint(32, 30) << "white";
    }
    void iconPixels()
    {
        QFETCH(QPoint, point);
        const QImage image = QImage(kIcon).convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(image.size(), QSize(64, 64));
        const QRgb p = image.pixel(point);
        QString kind = QColor::fromRgba(p).name(QColor::HexArgb);
        if (qAlpha(p) == 0)
            kind = "clear";
        else if (qAlpha(p) == 255 && qRed(p) >= 0xF0 && qGreen(p) >= 0xF0 && qBlue(p) >= 0xF0)
            kind = "white";
        else if (qAlpha(p) == 255 && qRed(p) < 0x40 && qGreen(p) > 0x70 && qBlue(p) >= qGreen(p))
            kind = "teal";
        QTEST(kind, "kind");
    }
};

QTEST_MAIN(TestResources)
#include "tst_resources.moc"
