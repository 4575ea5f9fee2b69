#include "canvas/touchcanvas.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTest>
#include <QTransform>

#include <cmath>
#include <limits>

namespace {

const QColor Background(0x08, 0x0C, 0x14);
const QColor Border(0x1E, 0x3A, 0x5F);
const QColor Amber(0xF5, 0x9E, 0x0B);

// src (with its alpha) composed over an opaque dst.
QColor over(const QColor &src, const QColor &dst, double coverage = 1.0)
{
    const double a = src.alphaF() * coverage;
    auto mix = [a](int s, int d) { return int(std::lround(s * a + d * (1 - a))); };
    return QColor(mix(src.red(), dst.red()), mix(src.green(), dst.green()),
                  mix(src.blue(), dst.blue()));
}

// A one-pixel line on a whole-pixel coordinate covers the two pixels beside it by half.
const QColor GridPixel = over(QColor(255, 255, 255, 6), Background, 0.5);

bool near(const QColor &a, const QColor &b, int tolerance = 2)
{
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

QString describe(const QColor &c)
{
    return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue());
}

#define COMPARE_COLOUR(actual, expected)                                                           \
    do {                                                                                           \
        const QColor a_ = (actual);                                                                \
        const QColor e_ = (expected);                                                              \
        QVERIFY2(near(a_, e_), qPrintable(describe(a_) + QStringLiteral(" != ") + describe(e_)));  \
    } while (false)

QImage rendered(TouchCanvas &canvas, int pixelRatio = 1)
{
    QImage image(canvas.size() * pixelRatio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(pixelRatio);
    image.fill(Qt::magenta);
    canvas.render(&image);
    return image;
}

// The pixel at widget coordinates (x, y) of an image rendered at the given pixel ratio.
QColor pixelAt(const QImage &image, double x, double y)
{
    const double ratio = image.devicePixelRatio();
    return image.pixelColor(int(std::floor(x * ratio)), int(std::floor(y * ratio)));
}

void sendMouse(QWidget *w, QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
               QPointF pos)
{
    QMouseEvent event(type, pos, w->mapToGlobal(pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &event);
}

void pressLeft(QWidget *w, QPointF pos)
{
    sendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, pos);
}

void releaseLeft(QWidget *w, QPointF pos)
{
    sendMouse(w, QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, pos);
}

double meanDifference(const QImage &a, const QImage &b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                   std::abs(p.blue() - q.blue());
        }
    }
    return sum / (a.width() * a.height() * 3.0);
}

int brightness(const QColor &c)
{
    return c.red() + c.green() + c.blue();
}

// Rightmost column in the band whose pixels differ from background and grid.
int rightmostInk(const QImage &image, int top, int bottom)
{
    int rightmost = -1;
    for (int y = top; y <= bottom; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (!near(c, Background, 1) && !near(c, GridPixel, 1))
                rightmost = std::max(rightmost, x);
        }
    }
    return rightmost;
}

bool bandContains(const QImage &image, int top, int bottom, const QColor &colour)
{
    for (int y = top; y <= bottom; ++y) {
        for (int x = 2; x < image.width() - 2; ++x) {
            if (near(image.pixelColor(x, y), colour, 1))
                return true;
        }
    }
    return false;
}

} // namespace

class TestTouchCanvasPaint : public QObject
{
    Q_OBJECT

private slots:
    void backgroundGridAndBorder_data();
    void backgroundGridAndBorder();
    void captionAndStatusLine_data();
    void captionAndStatusLine();
    void receivedObjectBodyAndGlow_data();
    void receivedObjectBodyAndGlow();
    void receivedCursorDotAndGlow();
    void simulatedObjectColours_data();
    void simulatedObjectColours();
    void rotationByQuarterTurn_data();
    void rotationByQuarterTurn();
    void cursorCoversObject();
    void largerSessionIdOnTop_data();
    void largerSessionIdOnTop();
    void dragMarkerOverEverything_data();
    void dragMarkerOverEverything();
    void anchorColours_data();
    void anchorColours();
    void unusablePositionsAreCountedNotDrawn_data();
    void unusablePositionsAreCountedNotDrawn();
};

void TestTouchCanvasPaint::backgroundGridAndBorder_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("lastX");
    QTest::addColumn<int>("lastY");
    QTest::newRow("minimum 400x300") << QSize(400, 300) << 360 << 280;
    QTest::newRow("800 wide") << QSize(800, 600) << 760 << 560;
    QTest::newRow("820 wide") << QSize(820, 600) << 800 << 560;
    QTest::newRow("700x500") << QSize(700, 500) << 680 << 480;
}

void TestTouchCanvasPaint::backgroundGridAndBorder()
{
    QFETCH(QSize, size);
    QFETCH(int, lastX);
    QFETCH(int, lastY);
    TouchCanvas canvas;
    canvas.resize(size);
    const QImage image = rendered(canvas);
    const int w = size.width();
    const int h = size.height();

    // Vertical lines along a row between two horizontal lines and below the texts.
    const int row = 140;
    for (int X = 40; X <= lastX; X += 40) {
        COMPARE_COLOUR(image.pixelColor(X - 1, row), GridPixel);
        COMPARE_COLOUR(image.pixelColor(X, row), GridPixel);
        COMPARE_COLOUR(image.pixelColor(X + 1, row), Background);
        COMPARE_COLOUR(image.pixelColor(X - 20, row), Background);
    }
    // No line at X = w or beyond the last one.
    for (int x = lastX + 1; x < w - 2; ++x)
        COMPARE_COLOUR(image.pixelColor(x, row), Background);

    // Horizontal lines along a column between two vertical lines, clear of the texts.
    const int column = lastX + 20 < w - 3 ? lastX + 20 : lastX - 20;
    for (int Y = 40; Y <= lastY; Y += 40) {
        COMPARE_COLOUR(image.pixelColor(column, Y - 1), GridPixel);
        COMPARE_COLOUR(image.pixelColor(column, Y), GridPixel);
        COMPARE_COLOUR(image.pixelColor(column, Y + 1), Background);
        COMPARE_COLOUR(image.pixelColor(column, Y - 20), Background);
    }
    for (int y = lastY + 1; y < h - 2; ++y)
        COMPARE_COLOUR(image.pixelColor(column, y), Background);

    // The border: two pixels on each edge, the first line of the grid underneath it. Samples stay
    // midway between grid lines.
    for (int y : {row, lastY - 20}) {
        for (int x : {0, 1, w - 2, w - 1})
            COMPARE_COLOUR(image.pixelColor(x, y), Border);
        COMPARE_COLOUR(image.pixelColor(2, y), Background);
        COMPARE_COLOUR(image.pixelColor(w - 3, y), Background);
    }
    for (int x : {column, 60, lastX - 20}) {
        for (int y : {0, 1, h - 2, h - 1})
            COMPARE_COLOUR(image.pixelColor(x, y), Border);
        COMPARE_COLOUR(image.pixelColor(x, h - 3), Background);
    }
}

void TestTouchCanvasPaint::captionAndStatusLine_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("cursors");
    QTest::addColumn<int>("objects");
    QTest::addColumn<int>("simObjects");
    QTest::addColumn<int>("anchors");
    QTest::addColumn<bool>("holdLeft");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("status");

    QTest::newRow("empty at minimum size")
        << int(CursorMode) << QSize(400, 300) << 0 << 0 << 0 << 0 << false
        << QStringLiteral("客户端模式")
        << QStringLiteral("recv:0/0 simObj:0 anchor:0 active:0 400x300");
    QTest::newRow("cursor held") << int(CursorMode) << QSize(640, 480) << 3 << 0 << 0 << 0 << true
                                 << QStringLiteral("客户端模式")
                                 << QStringLiteral("recv:3/0 simObj:0 anchor:0 active:1 640x480");
    QTest::newRow("object drag") << int(ObjectMode) << QSize(800, 600) << 2 << 1 << 3 << 0 << true
                                 << QStringLiteral("客户端 - 物体模式")
                                 << QStringLiteral("recv:2/1 simObj:3 anchor:0 active:1 800x600");
    QTest::newRow("object, released")
        << int(ObjectMode) << QSize(800, 600) << 0 << 12 << 1 << 0 << false
        << QStringLiteral("客户端 - 物体模式")
        << QStringLiteral("recv:0/12 simObj:1 anchor:0 active:0 800x600");
    QTest::newRow("multi-touch with active point")
        << int(MultiTouchMode) << QSize(1160, 780) << 0 << 0 << 0 << 2 << true
        << QStringLiteral("客户端 - 多点模式")
        << QStringLiteral("recv:0/0 simObj:0 anchor:2 active:1 1160x780");
}

void TestTouchCanvasPaint::captionAndStatusLine()
{
    QFETCH(int, mode);
    QFETCH(QSize, size);
    QFETCH(int, cursors);
    QFETCH(int, objects);
    QFETCH(int, simObjects);
    QFETCH(int, anchors);
    QFETCH(bool, holdLeft);
    QFETCH(QString, caption);
    QFETCH(QString, status);

    TouchCanvas canvas;
    canvas.resize(size);
    canvas.setSimMode(mode);
    // Items sit in the lower half, away from the texts.
    for (int i = 0; i < cursors; ++i)
        canvas.updateTuioCursor(i, 0.1f + 0.05f * i, 0.8f);
    for (int i = 0; i < objects; ++i)
        canvas.updateTuioObject(100 + i, 0, 0.1f + 0.05f * i, 0.6f, 0);
    for (int i = 0; i < simObjects; ++i)
        canvas.addSimObject(SimObject{200 + i, 0, 0.2f + 0.2f * i, 0.7f, 0});
    for (int i = 0; i < anchors; ++i)
        canvas.addAnchor(Anchor{300 + i, 0.3f + 0.2f * i, 0.9f});
    if (holdLeft) // in object mode this lands on the first simulated object and grabs it
        pressLeft(&canvas, QPointF(0.2 * size.width(), 0.7 * size.height()));

    QCOMPARE(canvas.captionText(), caption);
    QCOMPARE(canvas.statusText(), status);

    const QImage image = rendered(canvas);
    // Caption: faint white, left-aligned at x = 10 in the band 8..27, as wide as its text.
    const QFont captionFont(QStringLiteral("Segoe UI"), 10);
    const double captionWidth = QFontMetricsF(captionFont, &image).horizontalAdvance(caption);
    const int captionEnd = rightmostInk(image, 8, 24);
    QVERIFY2(captionEnd > 10 + captionWidth - 6 && captionEnd <= 10 + captionWidth + 1,
             qPrintable(QStringLiteral("caption ink ends at %1, text is %2 wide")
                            .arg(captionEnd)
                            .arg(captionWidth)));
    QVERIFY(bandContains(image, 8, 24, over(QColor(255, 255, 255, 25), Background)));

    // Status line: amber, bold, starting at x = 10 in the band 26..41.
    QFont statusFont(QStringLiteral("Consolas"), 10);
    statusFont.setBold(true);
    const double statusWidth = QFontMetricsF(statusFont, &image).horizontalAdvance(status);
    const int statusEnd = rightmostInk(image, 27, 37); // above the grid line at y = 40
    QVERIFY2(statusEnd > 10 + statusWidth - 6 && statusEnd <= 10 + statusWidth + 1,
             qPrintable(QStringLiteral("status ink ends at %1, text is %2 wide")
                            .arg(statusEnd)
                            .arg(statusWidth)));
    QVERIFY(bandContains(image, 26, 41, Amber));
    QVERIFY(!bandContains(image, 8, 24, Amber));
}

void TestTouchCanvasPaint::receivedObjectBodyAndGlow_data()
{
    QTest::addColumn<int>("sid");
    QTest::addColumn<int>("cid");
    QTest::newRow("1/0") << 1 << 0;
    QTest::newRow("7/3") << 7 << 3;
    QTest::newRow("negative ids") << -5 << -2;
    // The label "11" in a monospaced font leaves the very centre between its two digits.
    QTest::newRow("11/0, centre") << 11 << 0;
}

void TestTouchCanvasPaint::receivedObjectBodyAndGlow()
{
    QFETCH(int, sid);
    QFETCH(int, cid);
    TouchCanvas canvas;
    canvas.resize(800, 600);
    canvas.updateTuioObject(sid, cid, 0.125f, 0.5f, 0); // centre (100, 300)
    const QImage image = rendered(canvas);
    const QColor colour = receivedObjectColor(sid, cid);

    // Body fill clear of the label, and the 2-pixel outline at x = 113..114.
    if (sid == 11)
        COMPARE_COLOUR(image.pixelColor(100, 300), colour.darker(130));
    COMPARE_COLOUR(image.pixelColor(90, 310), colour.darker(130));
    COMPARE_COLOUR(image.pixelColor(110, 290), colour.darker(130));
    COMPARE_COLOUR(image.pixelColor(114, 300), colour);
    COMPARE_COLOUR(image.pixelColor(85, 300), colour);

    // Glow: tinted like the object, fading outwards, gone beyond its radius of 36.4.
    QColor previous = image.pixelColor(100, 317);
    for (int d : {18, 24, 30}) {
        const QColor glow = image.pixelColor(100, 300 + d);
        QVERIFY2(brightness(glow) > brightness(Background) + 3, qPrintable(describe(glow)));
        QVERIFY(brightness(glow) <= brightness(previous));
        previous = glow;
        const int dominant = colour.red() > colour.blue() ? glow.red() - Background.red()
                                                          : glow.blue() - Background.blue();
        const int weak = colour.red() > colour.blue() ? glow.blue() - Background.blue()
                                                      : glow.red() - Background.red();
        QVERIFY2(dominant > weak, qPrintable(describe(glow) + " for " + describe(colour)));
    }
    COMPARE_COLOUR(image.pixelColor(100, 338), Background);
    COMPARE_COLOUR(image.pixelColor(138, 300), Background);
}

void TestTouchCanvasPaint::receivedCursorDotAndGlow()
{
    TouchCanvas canvas;
    canvas.resize(800, 600);
    canvas.updateTuioCursor(3, 0.375f, 0.5f); // centre (300, 300)
    const QImage image = rendered(canvas);
    const QColor colour = receivedCursorColor(3);

    COMPARE_COLOUR(image.pixelColor(290, 310), colour);
    COMPARE_COLOUR(image.pixelColor(309, 291), colour);
    // Outline 15..17 px from the centre, in the lighter shade.
    COMPARE_COLOUR(image.pixelColor(315, 300), colour.lighter(130));
    COMPARE_COLOUR(image.pixelColor(300, 284), colour.lighter(130));
    const QColor glow = image.pixelColor(300, 324);
    QVERIFY2(brightness(glow) > brightness(Background) + 3, qPrintable(describe(glow)));
    COMPARE_COLOUR(image.pixelColor(300, 334), Background);
}

// Translucent glyph parts take a different road on a scaled (high-DPI) painter.
static void pixelRatioRows()
{
    QTest::addColumn<int>("pixelRatio");
    QTest::newRow("1x") << 1;
    QTest::newRow("2x") << 2;
}

void TestTouchCanvasPaint::simulatedObjectColours_data()
{
    pixelRatioRows();
}

void TestTouchCanvasPaint::simulatedObjectColours()
{
    QFETCH(int, pixelRatio);
    TouchCanvas canvas;
    canvas.resize(800, 600);
    canvas.addSimObject(SimObject{3, 12, 0.625f, 0.5f, 0}); // centre (500, 300)
    const QImage image = rendered(canvas, pixelRatio);

    const QColor halo = over(QColor(0, 212, 255, 40), Background);
    COMPARE_COLOUR(pixelAt(image, 500, 335), halo);
    COMPARE_COLOUR(pixelAt(image, 535, 300), halo);
    COMPARE_COLOUR(pixelAt(image, 500, 343), Background);
    COMPARE_COLOUR(pixelAt(image, 489, 289), over(QColor(0, 180, 220, 180), halo));
    COMPARE_COLOUR(pixelAt(image, 515, 300), QColor(0x00, 0xD4, 0xFF));
}

void TestTouchCanvasPaint::rotationByQuarterTurn_data()
{
    QTest::addColumn<bool>("simulated");
    QTest::newRow("received object") << false;
    QTest::newRow("simulated object") << true;
}

void TestTouchCanvasPaint::rotationByQuarterTurn()
{
    QFETCH(bool, simulated);
    // A long label fills the body's middle row; turned, it fills the middle column instead.
    auto glyph = [simulated](float angle) {
        TouchCanvas canvas;
        canvas.resize(800, 600);
        if (simulated)
            canvas.setSimObjects({SimObject{3, 1234567, 0.5f, 0.5f, angle}});
        else
            canvas.updateTuioObject(1234567, 0, 0.5f, 0.5f, angle);
        // The body around (400, 300), symmetric about the centre.
        return rendered(canvas).copy(386, 286, 28, 28);
    };
    const QImage unturned = glyph(0);
    const QImage turned = glyph(float(M_PI / 2));
    const QImage clockwise = unturned.transformed(QTransform().rotate(90));
    const QImage counterClockwise = unturned.transformed(QTransform().rotate(270));
    QCOMPARE(clockwise.size(), turned.size());

    const double toClockwise = meanDifference(turned, clockwise);
    const double toUnturned = meanDifference(turned, unturned);
    const double toCounter = meanDifference(turned, counterClockwise);
    const QByteArray figures = QStringLiteral("cw %1, unturned %2, ccw %3")
                                   .arg(toClockwise)
                                   .arg(toUnturned)
                                   .arg(toCounter)
                                   .toLatin1();
    QVERIFY2(toClockwise * 2 < toUnturned, figures.constData());
    QVERIFY2(toClockwise * 2 < toCounter, figures.constData());
}

void TestTouchCanvasPaint::cursorCoversObject()
{
    TouchCanvas canvas;
    canvas.resize(800, 600);
    // The cursor's smaller id does not matter: cursors are drawn after all objects.
    canvas.updateTuioCursor(1, 0.375f, 0.5f);
    canvas.updateTuioObject(9, 0, 0.375f, 0.5f, 0);
    canvas.addSimObject(SimObject{10, 0, 0.375f, 0.5f, 0});
    const QImage image = rendered(canvas);
    COMPARE_COLOUR(image.pixelColor(290, 310), receivedCursorColor(1));
}

void TestTouchCanvasPaint::largerSessionIdOnTop_data()
{
    QTest::addColumn<QList<int>>("insertOrder");
    QTest::newRow("ascending") << QList<int>{1, 2};
    QTest::newRow("descending") << QList<int>{2, 1};
}

void TestTouchCanvasPaint::largerSessionIdOnTop()
{
    QFETCH(QList<int>, insertOrder);
    TouchCanvas canvas;
    canvas.resize(800, 600);
    for (int sid : insertOrder) {
        canvas.updateTuioObject(sid, 0, 0.125f, 0.5f, 0);
        canvas.updateTuioCursor(sid, 0.625f, 0.5f);
    }
    const QImage image = rendered(canvas);
    COMPARE_COLOUR(image.pixelColor(90, 310), receivedObjectColor(2, 0).darker(130));
    COMPARE_COLOUR(image.pixelColor(490, 310), receivedCursorColor(2));
}

void TestTouchCanvasPaint::dragMarkerOverEverything_data()
{
    QTest::addColumn<int>("mode");
    QTest::newRow("cursor drag") << int(CursorMode);
    QTest::newRow("object drag") << int(ObjectMode);
    QTest::newRow("multi-touch point") << int(MultiTouchMode);
}

void TestTouchCanvasPaint::dragMarkerOverEverything()
{
    QFETCH(int, mode);
    TouchCanvas canvas;
    canvas.resize(800, 600);
    canvas.setSimMode(mode);
    const QPointF p(300, 300);
    canvas.updateTuioObject(5, 0, 0.375f, 0.5f, 0);
    canvas.addSimObject(SimObject{6, 0, 0.375f, 0.5f, 0});
    canvas.updateTuioCursor(7, 0.375f, 0.5f);
    canvas.addAnchor(Anchor{8, 0.375f, 0.5f});
    const QImage before = rendered(canvas);

    pressLeft(&canvas, p);
    QCOMPARE(canvas.pointerPositions().size(), 1);
    const QImage during = rendered(canvas);
    const QColor fill(0, 212, 255, 100);
    COMPARE_COLOUR(during.pixelColor(290, 310), over(fill, before.pixelColor(290, 310)));
    COMPARE_COLOUR(during.pixelColor(308, 292), over(fill, before.pixelColor(308, 292)));
    // The 3-pixel outline at 16.5..19.5 px.
    COMPARE_COLOUR(during.pixelColor(317, 300), QColor(0x00, 0xD4, 0xFF));
    COMPARE_COLOUR(during.pixelColor(300, 282), QColor(0x00, 0xD4, 0xFF));

    releaseLeft(&canvas, p);
    const QImage after = rendered(canvas);
    // In object mode the press grabbed the object: releasing leaves it where it was.
    QCOMPARE(after.copy(260, 260, 80, 80), before.copy(260, 260, 80, 80));
}

void TestTouchCanvasPaint::anchorColours_data()
{
    pixelRatioRows();
}

void TestTouchCanvasPaint::anchorColours()
{
    QFETCH(int, pixelRatio);
    TouchCanvas canvas;
    canvas.resize(800, 600);
    canvas.addAnchor(Anchor{4, 0.3125f, 0.5f}); // centre (250, 300)
    const QImage image = rendered(canvas, pixelRatio);

    const QColor outer = over(QColor(245, 158, 11, 80), Background);
    const QColor inner = over(QColor(245, 158, 11, 140), outer);
    // Between the two dotted rings (inner ring 13..15 px, outer 17..19 px) only the outer fill.
    COMPARE_COLOUR(pixelAt(image, 265, 300), outer);
    COMPARE_COLOUR(pixelAt(image, 234, 299), outer);
    COMPARE_COLOUR(pixelAt(image, 242, 308), inner);
    COMPARE_COLOUR(pixelAt(image, 257, 292), inner);
    COMPARE_COLOUR(pixelAt(image, 250, 321), Background);

    // The rings are dotted: along the outer ring some pixels carry the pen and some do not.
    int pen = 0;
    int gap = 0;
    for (int i = 0; i < 360; i += 3) {
        const double a = qDegreesToRadians(double(i));
        const QColor c = pixelAt(image, 250 + 18 * std::cos(a), 300 + 18 * std::sin(a));
        if (near(c, Amber, 12))
            ++pen;
        else if (brightness(c) < brightness(Amber) - 150)
            ++gap;
    }
    QVERIFY2(pen > 10 && gap > 10, qPrintable(QStringLiteral("pen %1 gap %2").arg(pen).arg(gap)));
}

void TestTouchCanvasPaint::unusablePositionsAreCountedNotDrawn_data()
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::addColumn<float>("x");
    QTest::addColumn<float>("y");
    QTest::addColumn<float>("angle");
    QTest::newRow("NaN x") << nan << 0.5f << 1.0f;
    QTest::newRow("NaN y") << 0.5f << nan << 1.0f;
    QTest::newRow("+inf") << inf << 0.5f << 1.0f;
    QTest::newRow("-inf") << 0.5f << -inf << 1.0f;
    QTest::newRow("1e30") << 1e30f << 1e30f << 1.0f;
    QTest::newRow("-1e30") << -1e30f << 0.5f << 1.0f;
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << 0.5f << 1.0f;
    QTest::newRow("a million") << 0.5f << 1e6f << 1.0f;
    // A usable position with an angle that cannot turn anything.
    QTest::newRow("NaN angle") << 0.5f << 0.25f << nan;
    QTest::newRow("inf angle") << 0.5f << 0.25f << inf;
    QTest::newRow("angle too large to turn by") << 0.5f << 0.25f << 1e37f;
}

void TestTouchCanvasPaint::unusablePositionsAreCountedNotDrawn()
{
    QFETCH(float, x);
    QFETCH(float, y);
    QFETCH(float, angle);
    // The painter warns about NaN geometry; none may reach it.
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    const bool positionUsable =
        std::isfinite(x) && std::isfinite(y) && std::abs(x) < 10 && std::abs(y) < 10;

    TouchCanvas clean;
    TouchCanvas tainted;
    for (TouchCanvas *canvas : {&clean, &tainted}) {
        canvas->resize(800, 600);
        canvas->updateTuioObject(1, 0, 0.25f, 0.5f, 0.3f);
        canvas->updateTuioCursor(2, 0.5f, 0.5f);
        canvas->addSimObject(SimObject{3, 0, 0.75f, 0.5f, 0});
        canvas->addAnchor(Anchor{4, 0.5f, 0.75f});
    }
    tainted.updateTuioObject(11, 5, x, y, angle);
    tainted.addSimObject(SimObject{14, 0, x, y, angle});
    if (!positionUsable) {
        tainted.updateTuioObject(12, 5, x, y, 0);
        tainted.updateTuioCursor(13, x, y);
        tainted.addAnchor(Anchor{15, x, y});
    }

    const QString expected = positionUsable
                                 ? QStringLiteral("recv:1/2 simObj:2 anchor:1 active:0 800x600")
                                 : QStringLiteral("recv:2/3 simObj:2 anchor:2 active:0 800x600");
    QCOMPARE(tainted.statusText(), expected);
    const QImage a = rendered(clean);
    const QImage b = rendered(tainted);
    // Identical but for the status line.
    QImage maskedA = a;
    QImage maskedB = b;
    for (QImage *image : {&maskedA, &maskedB}) {
        for (int row = 26; row < 42; ++row) {
            for (int col = 10; col < 790; ++col)
                image->setPixelColor(col, row, Qt::black);
        }
    }
    QVERIFY(maskedA == maskedB);
    QVERIFY(a != b);
}

QTEST_MAIN(TestTouchCanvasPaint)
#include "tst_touchcanvas_paint.moc"
