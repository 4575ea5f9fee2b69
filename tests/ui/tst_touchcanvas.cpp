#include "canvas/touchcanvas.h"

#include <QtTest>
#include <QtWidgets>

#include <cmath>
#include <deque>
#include <functional>

namespace {

const QColor Bg(0x08, 0x0C, 0x14), Border(0x1E, 0x3A, 0x5F), Amber(0xF5, 0x9E, 0x0B),
    Cyan(0x00, 0xD4, 0xFF);

// src, its alpha scaled by coverage, composed over an opaque dst.
QColor over(const QColor &src, const QColor &dst, double coverage = 1.0)
{
    const double a = src.alphaF() * coverage;
    auto mix = [a](int s, int d) { return int(std::lround(s * a + d * (1 - a))); };
    return QColor(mix(src.red(), dst.red()), mix(src.green(), dst.green()),
                  mix(src.blue(), dst.blue()));
}

// A one-pixel line on a whole-pixel coordinate covers the two pixels beside it by half.
const QColor Grid = over(QColor(255, 255, 255, 6), Bg, 0.5);

// A radial glow of the given centre alpha and radius, d pixels from its centre.
QColor glow(const QColor &colour, int alpha, double radius, double d)
{
    return over(QColor(colour.red(), colour.green(), colour.blue(), alpha), Bg, 1 - d / radius);
}

bool near(const QColor &a, const QColor &b)
{
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
}

// Rightmost column in rows top..bottom that is ink (or near `wanted`); -1 if none.
int lastInk(const QImage &image, int top, int bottom, const QColor &wanted = QColor())
{
    int last = -1;
    for (int y = top; y <= bottom; ++y)
        for (int x = 2; x < image.width() - 2; ++x) {
            const QColor c = image.pixelColor(x, y);
            if (wanted.isValid() ? near(c, wanted) : !near(c, Bg) && !near(c, Grid))
                last = x;
        }
    return last;
}

constexpr TuioProfile Blob2D = TuioProfile::Blob2D, Cursor3D = TuioProfile::Cursor3D;

TuioItemRecord blob(float x, float y, float w, float h, float a, float z = 0)
{
    TuioItemRecord item;
    item.x = x, item.y = y, item.z = z, item.w = w, item.h = h, item.a = a;
    return item;
}

using Samples = QList<std::pair<QPoint, QColor>>;

// at(x, y, colour, x, y, colour, ...): the colours expected at widget pixels.
template <typename... More> Samples at(int x, int y, const QColor &colour, More... more)
{
    Samples samples{{QPoint(x, y), colour}};
    if constexpr (sizeof...(more) > 0)
        samples += at(more...);
    return samples;
}

} // namespace

// An 800 x 600 canvas driven by a script of real mouse events (x, y in pixels: L/R press, l/r
// release, dL/dR double-click, M move) and calls (x, y normalised: Sn mode, C clear, =w,h size,
// *n pixel ratio, c/o/b/u received cursor/object/blob/3D cursor, s/a simulated object/anchor,
// x removal). The log has one letter per signal in index order (D M U P V A R T), then the
// arguments; "!" marks a signal emitted before the state it announces.
class Rig : public QObject
{
    Q_OBJECT

public:
    explicit Rig(const QString &script)
    {
        c.setMinimumSize(0, 0);
        c.resize(800, 600);
        const QMetaObject &mo = TouchCanvas::staticMetaObject;
        const QMetaMethod slot = metaObject()->method(metaObject()->indexOfSlot("record()"));
        for (int i = mo.methodOffset(); mo.method(i).methodType() == QMetaMethod::Signal; ++i) {
            spies.emplace_back(&c, mo.method(i));
            connect(&c, mo.method(i), this, slot);
        }
        Qt::MouseButtons held;
        auto send = [this, &held](QEvent::Type type, Qt::MouseButton button, QPointF p) {
            QMouseEvent event(type, p, c.mapToGlobal(p), button, held, Qt::NoModifier);
            QApplication::sendEvent(&c, &event);
        };
        for (const QString &token : script.split(' ', Qt::SkipEmptyParts)) {
            const bool dbl = token.startsWith('d');
            const QChar k = token.at(dbl ? 1 : 0);
            const QStringList n = token.mid(dbl ? 2 : 1).split(QRegularExpression("[@,/]"));
            auto f = [&n](int i) { return n.value(i, "0").toFloat(); };
            const int id = n.at(0).toInt(), cid = n.value(1).toInt();
            const SimObject sim{id, cid, f(2), f(3), f(4)};
            const Anchor anchor{id, f(1), f(2)};
            const QHash<QChar, std::function<void()>> act{
                {'S', [&] { c.setSimMode(id); }},
                {'C', [&] { c.clearAll(); }},
                {'=', [&] { c.resize(id, cid); }},
                {'*', [&] { ratio = id; }},
                {'c', [&] { c.updateTuioCursor(id, f(1), f(2)); }},
                {'o', [&] { c.updateTuioObject(id, cid, f(2), f(3), f(4)); }},
                {'s', [&] { c.addSimObject(sim); }},
                {'a', [&] { c.addAnchor(anchor); }},
                {'b', [&] { c.updateTuioItem(Blob2D, id, blob(f(1), f(2), f(3), f(4), f(5))); }},
                {'u', [&] { c.updateTuioItem(Cursor3D, id, blob(f(1), f(2), 0, 0, 0, f(3))); }},
                {'x', [&] { c.removeTuioCursor(id), c.removeTuioObject(id); }},
                {'M', [&] { send(QEvent::MouseMove, Qt::NoButton, QPointF(f(0), f(1))); }}};
            if (act.contains(k))
                act[k]();
            else {
                const Qt::MouseButton b = k.toLower() == 'l' ? Qt::LeftButton : Qt::RightButton;
                held = k.isUpper() ? held | b : held & ~Qt::MouseButtons(b);
                const auto press = dbl ? QEvent::MouseButtonDblClick : QEvent::MouseButtonPress;
                send(k.isUpper() ? press : QEvent::MouseButtonRelease, b, QPointF(f(0), f(1)));
            }
        }
    }

    QString result() const
    {
        return entries.join(',') + QString::asprintf(" | o%d a%d p%d", int(c.simObjects().size()),
                                                     int(c.anchors().size()),
                                                     int(c.pointerPositions().size()));
    }

    QImage image()
    {
        QImage image(c.size() * ratio, QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(ratio);
        c.render(&image);
        return image;
    }

    TouchCanvas c;
    int ratio = 1;

private slots:
    // Runs after the spy of the emitting signal has stored its arguments.
    void record()
    {
        const int k = senderSignalIndex() - TouchCanvas::staticMetaObject.methodOffset();
        const QList<QVariant> a = spies.at(k).last();
        // The id comes first; the position follows it, or the class id for objects.
        const int id = a.at(0).toInt(), i = k == 3 || k == 4 ? 2 : 1;
        const QPointF xy(a.value(i).toFloat(), a.value(i + 1).toFloat());
        const QPointF Gone(-1e9, -1e9);
        auto where = [id, Gone](const auto &items) {
            for (const auto &item : items)
                if (item.sid == id)
                    return QPointF(item.x, item.y);
            return Gone;
        };
        const QPointF object = where(c.simObjects()), anchor = where(c.anchors());
        const QPointF p = c.pointerPositions().value(1, QPointF(qQNaN(), 0));
        const bool moved =
            float(p.x() / c.width()) == xy.x() && float(p.y() / c.height()) == xy.y();
        const bool active = c.activeSid() == id;
        const bool down = c.pointerSids().value(1, -1) == id && moved;
        const bool ended = object == Gone && !active && !c.pointerSids().values().contains(id);
        const bool ready[] = {
            down,         moved,          ended,         object == xy, object == xy && moved,
            anchor == xy, anchor == Gone, down && active};
        QString entry = QString("DMUPVART").at(k) + QString::number(id);
        for (qsizetype arg = 1; arg < a.size(); ++arg)
            entry += ' ' + QString::number(a.at(arg).toFloat());
        entries << entry + (ready[k] ? "" : "!");
    }

private:
    std::deque<QSignalSpy> spies;
    QStringList entries;
};

class TestTouchCanvas : public QObject
{
    Q_OBJECT

private slots:
    // Rows: a script (the row's name) and the signal log and counts it must leave.
    void gestures_data()
    {
        QTest::addColumn<QString>("expected");
        auto row = [](const char *script, const char *expected) {
            QTest::newRow(script) << QString(expected);
        };
        // Ids across kinds, from 0 again after clearAll (80 px is 0.1 across, 60 px 0.1 down).
        row("L80,60 l80,60 S1 L400,300 l400,300 S2 R720,60 r720,60 L80,540 l80,540 S0 L240,540 "
            "l240,540 C S2 R400,300",
            "D0 0.1 0.1,U0,P1 0 0.5 0.5 0,A2 0.9 0.1,T3 0.1 0.9,U3,D4 0.3 0.9,U4,A0 0.5 0.5 | "
            "o0 a1 p0");
        // A move without a button and a right press are no cursor.
        row("L200,150 M400,300 M-80,690 l-80,690 M200,150 R80,60",
            "D0 0.25 0.25,M0 0.5 0.5,M0 -0.1 1.15,U0 | o0 a0 p0");
        // A second left press while down, and a right release while left held, change nothing.
        row("L80,60 L240,180 R80,60 r80,60 M160,120 l240,180",
            "D0 0.1 0.1,M0 0.2 0.2,U0 | o0 a0 p0");
        // An object's own placing press does not drag it; a press 60 px away does.
        row("S1 L160,300 M240,300 l240,300 L220,300 M640,120 M1000,-30 l1000,-30 M80,60",
            "P0 0 0.2 0.5 0,V0 0 0.8 0.2 0,V0 0 1.25 -0.05 0 | o1 a0 p0");
        // Grab: the earlier object wins though the later is nearer; then only the later in reach.
        row("S1 s5/0@0.3,0.5 s9/0@0.36,0.5 L280,300 M400,450", "V5 0 0.5 0.75 0 | o2 a0 p1");
        row("S1 s5/0@0.3,0.5 s9/0@0.36,0.5 L350,300 M400,450", "V9 0 0.5 0.75 0 | o2 a0 p1");
        // Right-press removal: the nearer goes; a tie takes the earlier; out of reach, none.
        row("S1 s1/0@0.25,0.5 s2/0@0.375,0.5 R288,300 r288,300", "U2 | o1 a0 p0");
        row("S1 s2/0@0.375,0.5 s1/0@0.25,0.5 R288,300", "U2 | o1 a0 p0");
        row("S1 s1/0@0.25,0.5 s2/0@0.375,0.5 R250,300", "U1 | o1 a0 p0");
        row("S1 s2/0@0.375,0.5 R420,300", " | o1 a0 p0");
        // A left double click places one object.
        row("S1 L400,300 l400,300 dL400,300 M480,360 l480,360",
            "P0 0 0.5 0.5 0,V0 0 0.6 0.6 0 | o1 a0 p0");
        // Anchors: 60 px apart both stay; at 130 px both are in reach and the first goes.
        row("S2 R80,60 r80,60 R140,60 r140,60 R130,60 r130,60",
            "A0 0.1 0.1,A1 0.175 0.1,R0 | o0 a1 p0");
        row("S2 R400,300 r400,300 dR400,300 r400,300", "A0 0.5 0.5,R0 | o0 a0 p0");
        row("S2 a40@0.5,0.5 L400,150 M200,450 M1600,300 R720,540 r720,540 l200,450 M240,300",
            "T0 0.5 0.25,T0 0.25 0.75,T0 2 0.5,A1 0.9 0.9,U0 | o0 a2 p0");
        // A mode switch ends a held cursor without cursorUp; lists and ids survive it.
        row("L80,60 S0 M160,120 l160,120", "D0 0.1 0.1 | o0 a0 p0");
        row("L80,60 S2 M160,120 l160,120", "D0 0.1 0.1 | o0 a0 p0");
        row("S1 L400,300 l400,300 S2 R80,60 r80,60 S0 L160,120 S1 M240,180 l240,180",
            "P0 0 0.5 0.5 0,A1 0.1 0.1,D2 0.2 0.2 | o1 a1 p0");
        // clearAll drops the active point silently.
        row("S2 L80,60 C M160,120 l160,120", "T0 0.1 0.1 | o0 a0 p0");
        // Widgets smaller than 1 x 1 ignore presses and moves in every mode.
        for (const char *size : {"=0,0", "=0,300", "=300,0"})
            QTest::newRow(qPrintable(size + QString(" s7/0@0,0 a8@0,0 L0,0 M5,5 l0,0 S1 L0,0 "
                                                    "M5,5 l0,0 R0,0 r0,0 S2 L0,0 M5,5 R0,0")))
                << QString(" | o1 a1 p0");
    }

    void gestures()
    {
        QFETCH(QString, expected);
        QCOMPARE(Rig(QTest::currentDataTag()).result(), expected);
    }

    // Rows: a scene and samples of x, y and the colour expected at that pixel.
    void pixels_data()
    {
        QTest::addColumn<QString>("scene");
        QTest::addColumn<Samples>("samples");
        // Grid and border: below the texts, midway between other lines.
        QTest::newRow("800 x 600")
            << QString()
            << at(39, 140, Grid, 40, 140, Grid, 41, 140, Bg, 760, 140, Grid, 780, 140, Bg, 620, 40,
                  Grid, 620, 560, Grid, 1, 140, Border, 2, 140, Bg, 798, 140, Border, 60, 0, Border,
                  60, 599, Border);
        QTest::newRow("820 x 600") << "=820,600" << at(800, 140, Grid, 801, 140, Bg);
        // Item ":" hue its ids give; products wrap in 32 bits (INT_MIN * 73 % 360 is -128).
        for (const QString &hue : QString("c1:73 c5:5 o10/0:110 c-1:287 o-1/0:313 o0/-1:329 "
                                          "o-3/-5:64 c-2147483648:232 c2147483647:55")
                                      .split(' ')) {
            const int h = hue.section(':', 1).toInt();
            QTest::addRow("hue of %s", qPrintable(hue))
                << hue.section(':', 0, 0) + "@0.5,0.5"
                << at(404, 288,
                      hue[0] == 'c' ? QColor::fromHsv(h, 180, 240)
                                    : QColor::fromHsv(h, 200, 220).darker(130));
        }
        // An update moves a received object, in its new class id's colour; a removed cursor goes.
        QTest::newRow("received, moved, removed")
            << "o1/3@0.11,0.21 o1/2@0.5,0.5 c4@0.26,0.76 x4"
            << at(88, 126, Bg, 208, 456, Bg, 404, 288, QColor::fromHsv(109, 200, 220).darker(130));
        QTest::newRow("received, cleared")
            << "c1@0.5,0.5 o2/0@0.26,0.76 C" << at(404, 288, Bg, 208, 456, Bg);
        // Received object 11 at (100, 300): the label "11" leaves the very centre free.
        const QColor c11 = receivedObjectColor(11, 0);
        QTest::newRow("received object")
            << "o11/0@0.125,0.5"
            << at(100, 300, c11.darker(130), 114, 300, c11, 100, 318, glow(c11, 50, 36.4, 18.5),
                  100, 327, glow(c11, 50, 36.4, 27.5), 100, 338, Bg);
        const QColor c3 = receivedCursorColor(3);
        QTest::newRow("received cursor")
            << "c3@0.375,0.5" << at(315, 300, c3.lighter(130), 300, 324, glow(c3, 60, 32, 24.5));
        // Anchor sampled between its dotted rings; translucency differs on a scaled painter.
        const QColor halo = over(QColor(0, 212, 255, 40), Bg);
        const QColor outer = over(QColor(245, 158, 11, 80), Bg);
        const Samples simAndAnchor =
            at(500, 335, halo, 489, 289, over(QColor(0, 180, 220, 180), halo), 515, 300, Cyan, 500,
               343, Bg, 265, 300, outer, 242, 308, over(QColor(245, 158, 11, 140), outer));
        QTest::newRow("simulated object, anchor")
            << "s3/12@0.625,0.5 a4@0.3125,0.5" << simAndAnchor;
        QTest::newRow("the same at 2x") << "*2 s3/12@0.625,0.5 a4@0.3125,0.5" << simAndAnchor;
        QTest::newRow("cursor over objects") << "c1@0.375,0.5 o9/0@0.375,0.5 s10/0@0.375,0.5"
                                             << at(290, 310, receivedCursorColor(1));
        QTest::newRow("larger ids on top")
            << "o2/0@0.125,0.5 o1/0@0.125,0.5 c2@0.375,0.5 c1@0.375,0.5"
            << at(90, 310, receivedObjectColor(2, 0).darker(130), 290, 310, receivedCursorColor(2));
        // In every mode a left press at (300, 300) puts a marker over everything there.
        const QColor fill = over(QColor(0, 212, 255, 100), receivedCursorColor(7));
        for (const char *mode : {"S0", "S1", "S2"}) {
            const QString all = mode + QString(" c7@0.375,0.5 o5/0@0.375,0.5 s6/0@0.375,0.5 ");
            QTest::addRow("marker, %s", mode)
                << all + "L300,300" << at(290, 310, fill, 317, 300, Cyan);
            QTest::addRow("marker over an anchor, %s", mode)
                << all + "a8@0.375,0.5 L300,300" << at(317, 300, Cyan);
        }
        QTest::newRow("marker gone") << "L300,300 l300,300" << at(317, 300, Bg);
        // A blob 200 x 60 px; a quarter turn makes it 60 x 200.
        const QColor b5 = receivedBlobColor(5),
                     inBlob = over(QColor(b5.red(), b5.green(), b5.blue(), 70), Bg);
        QTest::newRow("blob") << "b5@0.5,0.5,0.25,0.1,0"
                              << at(470, 300, inBlob, 499, 300, b5, 410, 345, Bg, 410, 370, Bg);
        QTest::newRow("blob turned")
            << "b5@0.5,0.5,0.25,0.1,1.5707964" << at(470, 300, Bg, 410, 370, inBlob, 400, 399, b5);
        // A 3D cursor's ring grows with z, and its bar fills to z.
        const QColor track = over(QColor(c3.red(), c3.green(), c3.blue(), 60), Bg);
        QTest::newRow("3D cursor, z 0")
            << "u3@0.5,0.5,0" << at(420, 300, c3, 432, 300, Bg, 439, 290, track, 439, 310, track);
        QTest::newRow("3D cursor, z 1")
            << "u3@0.5,0.5,1" << at(432, 300, c3, 439, 290, c3, 439, 310, c3);
        QTest::newRow("3D cursor, z 0.25")
            << "u3@0.5,0.5,0.25" << at(439, 290, track, 439, 310, c3);
    }

    void pixels()
    {
        QFETCH(QString, scene);
        QFETCH(Samples, samples);
        Rig rig(scene);
        const QImage image = rig.image();
        for (const auto &[p, colour] : samples) {
            const QColor actual = image.pixelColor(p * rig.ratio);
            const QString place = QString("%1,%2: ").arg(p.x()).arg(p.y());
            QCOMPARE(place + (near(actual, colour) ? colour : actual).name(),
                     place + colour.name());
        }
    }

    // Rows: a scene, its caption and its status line; items stay clear of the texts.
    void texts_data()
    {
        QTest::addColumn<QString>("texts");
        QTest::newRow("=400,300") << "客户端模式|recv:0/0 simObj:0 anchor:0 active:0 400x300";
        QTest::newRow("S1 c0@0.1,0.8 c1@0.2,0.8 o5/0@0.3,0.6 s1/0@0.2,0.7 s2/0@0.4,0.7 "
                      "s3/0@0.6,0.7 L160,420")
            << "客户端 - 物体模式|recv:2/1 simObj:3 anchor:0 active:1 800x600";
        QTest::newRow("=1160,780 S2 a1@0.3,0.9 a2@0.5,0.9 L400,600")
            << "客户端 - 多点模式|recv:0/0 simObj:0 anchor:2 active:1 1160x780";
        // The other profiles' counts take a third line.
        QTest::newRow("b4@0.2,0.8,0.1,0.1,0 u7@0.5,0.8,0.5 b2@0.8,0.8,0.1,0.1,0")
            << "客户端模式|recv:0/0 simObj:0 anchor:0 active:0 800x600|2Dblb:2 3Dcur:1";
    }

    void texts()
    {
        QFETCH(QString, texts);
        Rig rig(QTest::currentDataTag());
        const QString profiles = rig.c.profileStatusText();
        QCOMPARE(rig.c.captionText() + '|' + rig.c.statusText() +
                     (profiles.isEmpty() ? QString() : '|' + profiles),
                 texts);
        // Drawn from x = 10 in their fonts, the ink ends where the text's advance does.
        const QImage image = rig.image();
        const QFontMetricsF caption(QFont("Segoe UI", 10), &image),
            status(QFont("Consolas", 10, QFont::Bold), &image);
        const int ends[] = {lastInk(image, 8, 24), lastInk(image, 27, 37),
                            lastInk(image, 43, 53, Amber)};
        QCOMPARE(ends[2] >= 0, !profiles.isEmpty());
        for (int i = 0; i <= texts.count('|'); ++i) {
            const double width = (i ? status : caption).horizontalAdvance(texts.section('|', i, i));
            QVERIFY2(ends[i] > width + 4 && ends[i] <= width + 11, qPrintable(texts));
        }
        QVERIFY(lastInk(image, 8, 24, over(QColor(255, 255, 255, 25), Bg)) >= 0);
        QVERIFY(lastInk(image, 8, 24, Amber) < 0 && lastInk(image, 26, 41, Amber) >= 0);
    }

    // A long label fills the body's middle row; turned clockwise by π/2, its middle column.
    void quarterTurn_data()
    {
        QTest::addColumn<QString>("glyph");
        QTest::newRow("received object") << "o1234567/0@0.5,0.5,";
        QTest::newRow("simulated object") << "s3/1234567@0.5,0.5,";
    }

    void quarterTurn()
    {
        QFETCH(QString, glyph);
        auto crop = [&glyph](const char *angle) {
            return Rig(glyph + angle).image().copy(386, 286, 28, 28);
        };
        const QImage flat = crop("0"), turned = crop("1.5707964");
        auto distance = [&](int degrees) {
            const QImage other = flat.transformed(QTransform().rotate(degrees));
            double sum = 0;
            for (int y = 0; y < 28; ++y)
                for (int x = 0; x < 28; ++x)
                    sum += std::abs(qGray(turned.pixel(x, y)) - qGray(other.pixel(x, y)));
            return sum;
        };
        QVERIFY(2 * distance(90) < qMin(distance(0), distance(270)));
    }

    // Counted in the status line, but not drawn and never a painter warning.
    void unusablePositions_data()
    {
        QTest::addColumn<bool>("positionUsable"); // rows: x, y and angle (1e37: too large to turn)
        for (const char *xyAngle : {"nan,0.5,1", "0.5,nan,1", "inf,0.5,1", "0.5,-inf,1",
                                    "1e30,1e30,1", "-1e30,0.5,1", "0.5,0.25,nan", "0.5,0.25,1e37"})
            QTest::newRow(xyAngle) << QByteArray(xyAngle).startsWith("0.5,0.25");
    }

    void unusablePositions()
    {
        QFETCH(bool, positionUsable);
        QTest::failOnWarning(QRegularExpression(".*"));
        const QString base = "o1/0@0.25,0.5,0.3 c2@0.5,0.5 s3/0@0.75,0.5 a4@0.5,0.75";
        const QString extra =
            positionUsable ? " o11/5@%1 s14/0@%1" : " o11/5@%1 s14/0@%1 o12/5@%1 c13@%1 a15@%1";
        Rig clean(base), tainted(base + extra.arg(QTest::currentDataTag()));
        QCOMPARE(tainted.c.statusText(), positionUsable
                                             ? "recv:1/2 simObj:2 anchor:1 active:0 800x600"
                                             : "recv:2/3 simObj:2 anchor:2 active:0 800x600");
        QImage a = clean.image(), b = tainted.image();
        QVERIFY(a != b);
        for (QImage *image : {&a, &b})
            QPainter(image).fillRect(10, 26, 780, 16, Qt::black); // all but the status line
        QVERIFY(a == b);
    }
};

QTEST_MAIN(TestTouchCanvas)
#include "tst_touchcanvas.moc"
