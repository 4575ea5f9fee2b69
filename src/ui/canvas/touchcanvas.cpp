#include "canvas/touchcanvas.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

namespace {

constexpr int LeftCode = int(Qt::LeftButton);

// Hit zones, squared distances in normalised units.
constexpr double GrabZone = 0.01;
constexpr double RemoveObjectZone = 0.02;
constexpr double RemoveAnchorZone = 0.005;

// Items whose centre lies this far outside the widget cannot touch it (the largest glyph is a halo
// of radius 42; labels are clipped to their glyph). Skipping them also keeps NaN, infinities and
// huge values from the wire away from the painter.
constexpr double CullMargin = 64.0;

constexpr int GridBand = 64;

// Above this many received items they overlap so much that glows and labels cannot be told apart;
// they are then drawn as cached sprites without either.
constexpr int DenseItems = 1000;

// A turned object sprite is reused for turns within 90 / TurnSteps degrees (the glyph looks the
// same every quarter turn).
constexpr int TurnSteps = 8;

// Sprite sides: a disc of radius 17 and a square of half side 15 turned by 45 degrees, each with a
// pixel of antialiasing around it.
constexpr int CursorSpriteSize = 36;
constexpr int ObjectSpriteSize = 44;

// Radians to the painter's degrees, in single precision.
constexpr float DegreesPerRadian = 57.29578f;

// Side of the scratch image for translucent fills; the largest glyph (a halo) needs 86 pixels.
constexpr int ScratchSize = 96;
// Blobs are larger: up to a fifth of the table across fills without the thread pool.
constexpr int BlobScratchSize = 256;

// Hue in 0..359 from a wrapped 32-bit value; negative remainders are brought up.
int hueOf(int wrapped)
{
    int h = wrapped % 360;
    return h < 0 ? h + 360 : h;
}

// 32-bit wrapping arithmetic without signed overflow.
int wrapAdd(int a, int b)
{
    return int(unsigned(a) + unsigned(b));
}

int wrapMul(int a, int b)
{
    return int(unsigned(a) * unsigned(b));
}

double squaredDistance(float ax, float ay, float bx, float by)
{
    const double dx = float(ax - bx);
    const double dy = float(ay - by);
    return dx * dx + dy * dy;
}

bool onCanvas(double px, double py, double w, double h)
{
    return std::isfinite(px) && std::isfinite(py) && px > -CullMargin && px < w + CullMargin &&
           py > -CullMargin && py < h + CullMargin;
}

// A glyph's interior and the outline its pen strokes around it, built once per repaint in the
// glyph's own frame. Filling the interior and then the outline gives the pixels of a fill and a
// stroke of the same path.
struct Shape
{
    QPainterPath fill;
    QPainterPath outline;
};

Shape shapeOf(const QPainterPath &path, const QPen &pen)
{
    return Shape{path, QPainterPathStroker(pen).createStroke(path)};
}

Shape roundedSquare(double half, const QPen &pen)
{
    QPainterPath path;
    path.addRoundedRect(QRectF(-half, -half, 2 * half, 2 * half), 6, 6);
    return shapeOf(path, pen);
}

Shape disc(double radius, const QPen &pen)
{
    QPainterPath path;
    path.addEllipse(QRectF(-radius, -radius, 2 * radius, 2 * radius));
    return shapeOf(path, pen);
}

// Fills with an opaque colour. For an opaque colour, Source composition gives the pixels of
// SourceOver, edge coverage included, and the raster engine does it inline instead of handing
// the spans of each small shape to its thread pool.
void fillOpaque(QPainter &painter, const QPainterPath &path, const QColor &colour)
{
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillPath(path, colour);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// Fills with a translucent colour. The raster engine hands the spans of a translucent fill to its
// thread pool once a shape has more than about a hundred of them, and for glyph-sized shapes the
// hand-offs cost several times the fill. Filled with Source composition into a cleared scratch
// image (which the engine does inline) at the same sub-pixel phase, then composed in one blit,
// the pixels are the same as filling in place. Painters with a scaled or fractionally shifted
// device fill in place.
bool wholePixelDevice(const QPainter &painter)
{
    const QTransform device = painter.deviceTransform();
    return painter.device()->devicePixelRatio() == 1 && device.type() <= QTransform::TxTranslate &&
           device.dx() == std::floor(device.dx()) && device.dy() == std::floor(device.dy());
}

// Paints `paint` into the cleared scratch image over `area` and blits it; false, painting nothing,
// where the device or the size does not allow it.
template <typename Paint>
bool paintThroughScratch(QPainter &painter, QImage &scratch, const QRect &area,
                         const QTransform &frame, Paint paint)
{
    if (!wholePixelDevice(painter) || area.width() > scratch.width() ||
        area.height() > scratch.height())
        return false;
    for (int row = 0; row < area.height(); ++row)
        std::memset(scratch.scanLine(row), 0, size_t(area.width()) * sizeof(quint32));
    QPainter scratchPainter(&scratch);
    scratchPainter.setRenderHint(QPainter::Antialiasing, true);
    scratchPainter.setCompositionMode(QPainter::CompositionMode_Source);
    scratchPainter.setTransform(frame * QTransform::fromTranslate(-area.left(), -area.top()));
    paint(scratchPainter);
    scratchPainter.end();
    painter.drawImage(area.topLeft(), scratch, QRect(QPoint(0, 0), area.size()));
    return true;
}

void fillTranslucent(QPainter &painter, QImage &scratch, const QPainterPath &path,
                     const QTransform &frame, const QColor &colour)
{
    const QRect area = frame.map(path).boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
    if (paintThroughScratch(painter, scratch, area, frame,
                            [&](QPainter &p) { p.fillPath(path, colour); }))
        return;
    painter.setTransform(frame);
    painter.fillPath(path, colour);
    painter.resetTransform();
}

// A translucent interior inside an opaque rim, composed in the scratch image like fillTranslucent:
// the rim's outer edge filled opaque, then the interior replacing it. Cheaper than filling the
// rim as a band of its own.
void fillRimmed(QPainter &painter, QImage &scratch, const QPainterPath &outer,
                const QPainterPath &inner, const QTransform &frame, const QColor &rim,
                const QColor &fill)
{
    const QRect area = frame.map(outer).boundingRect().toAlignedRect().adjusted(-1, -1, 1, 1);
    if (paintThroughScratch(painter, scratch, area, frame, [&](QPainter &p) {
            p.fillPath(outer, rim);
            p.fillPath(inner, fill);
        }))
        return;
    QPainterPath band = outer;
    band.addPath(inner);
    band.setFillRule(Qt::OddEvenFill);
    painter.setTransform(frame);
    painter.fillPath(inner, fill);
    fillOpaque(painter, band, rim);
    painter.resetTransform();
}

// An opaque glyph with a 2-pixel outline of another opaque colour: the outer edge of the outline
// filled in the outline's colour, then the visible interior (inside the outline) in the fill's
// colour. Both are offsets of the glyph's path by one pixel, so this is the picture of a fill and
// a stroke at about half the cost of filling a stroked outline.
struct OpaqueGlyph
{
    QPainterPath outer;
    QPainterPath inner;
};

void fillOpaqueGlyph(QPainter &painter, const OpaqueGlyph &glyph, const QColor &fill,
                     const QColor &outline)
{
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillPath(glyph.outer, outline);
    painter.fillPath(glyph.inner, fill);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

// A glyph drawn once into a transparent image with its centre at the image's centre.
QImage glyphSprite(int side, qreal ratio, const OpaqueGlyph &glyph, const QTransform &turn,
                   const QColor &fill, const QColor &outline)
{
    const int pixels = int(std::ceil(side * ratio));
    QImage sprite(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    sprite.fill(Qt::transparent);
    sprite.setDevicePixelRatio(ratio);
    QPainter painter(&sprite);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setTransform(turn * QTransform::fromTranslate(side / 2.0, side / 2.0));
    fillOpaqueGlyph(painter, glyph, fill, outline);
    return sprite;
}

// Where a sprite of the given side goes so that its centre lands on the pixel nearest (x, y).
QPointF spriteCorner(double x, double y, int side)
{
    return QPointF(std::round(x) - side / 2, std::round(y) - side / 2);
}

// The whole pixels under a glow of the given radius. The gradient is clear from the radius on, so
// filling the square instead of the disc changes no pixel, and whole-pixel edges spare the
// rasteriser.
QRect enclosingPixels(double cx, double cy, double radius)
{
    const int left = int(std::floor(cx - radius));
    const int top = int(std::floor(cy - radius));
    const int right = int(std::ceil(cx + radius));
    const int bottom = int(std::ceil(cy + radius));
    return QRect(left, top, right - left, bottom - top);
}

// Whether the painter can turn by this many radians (the turn in degrees must be finite too).
bool turnable(float angle)
{
    return std::isfinite(angle * DegreesPerRadian);
}

// The frame of a glyph centred at (x, y) and turned clockwise by angle radians.
QTransform placed(double x, double y, float angle)
{
    QTransform transform = QTransform::fromTranslate(x, y);
    if (angle != 0)
        transform.rotate(angle * DegreesPerRadian);
    return transform;
}

// A 2.5D or 3D item's ring starts this far outside its glyph and grows by up to DepthGrowth with
// z; the bar beside it is DepthBar pixels tall. z outside 0..1 is held at its end.
constexpr double DepthGap = 3;
constexpr double DepthGrowth = 12;
constexpr double DepthBar = 24;
// Ring sprites kept at most; more colours than this start the cache afresh.
constexpr int MaxRingSprites = 4096;

// Keeps the path of a blob from the wire within a size the painter handles.
constexpr double MaxBlobRadius = 8192;

double depthShare(float z)
{
    return std::isfinite(z) ? std::clamp(double(z), 0.0, 1.0) : 0.0;
}

// A band 3 pixels wide around the ellipse of radii rx, ry at (cx, cy); filled, it is the picture
// of a stroke without the stroker's cost.
QPainterPath band(double cx, double cy, double rx, double ry)
{
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    path.addEllipse(QPointF(cx, cy), rx + 1.5, ry + 1.5);
    path.addEllipse(QPointF(cx, cy), std::max(0.0, rx - 1.5), std::max(0.0, ry - 1.5));
    return path;
}

// Whole pixels the ring of a 2.5D or 3D item has grown by with its z.
int depthStep(float z)
{
    return int(std::lround(depthShare(z) * DepthGrowth));
}

// The ring around a 2.5D or 3D item, `ring` (a sprite of it, or null to fill it here) and the bar
// beside it filled to z.
void paintDepth(QPainter &painter, const QImage *ring, double cx, double cy, double radius, float z,
                const QColor &colour)
{
    if (ring) {
        const int side = int(std::lround(ring->width() / ring->devicePixelRatio()));
        painter.drawImage(spriteCorner(cx, cy, side), *ring);
    } else {
        const double r = radius + DepthGap + depthStep(z);
        fillOpaque(painter, band(cx, cy, r, r), colour);
    }
    const double share = depthShare(z);
    const double left = cx + radius + DepthGap + DepthGrowth + 5;
    QColor track = colour;
    track.setAlpha(60);
    painter.fillRect(QRectF(left, cy - DepthBar / 2, 4, DepthBar), track);
    painter.fillRect(QRectF(left, cy + DepthBar / 2 - DepthBar * share, 4, DepthBar * share),
                     colour);
}

QFont labelFont(int pointSize)
{
    QFont font(QStringLiteral("Consolas"), pointSize);
    font.setBold(true);
    return font;
}

} // namespace

QColor receivedObjectColor(int sid, int cid)
{
    const int h = hueOf(wrapAdd(wrapMul(sid, 47), wrapMul(cid, 31)));
    return QColor::fromHsv(h, 200, 220, 255);
}

QColor receivedCursorColor(int sid)
{
    return QColor::fromHsv(hueOf(wrapMul(sid, 73)), 180, 240, 255);
}

QColor receivedBlobColor(int sid)
{
    return QColor::fromHsv(hueOf(wrapMul(sid, 59)), 150, 235, 255);
}

TouchCanvas::TouchCanvas(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(400, 300);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void TouchCanvas::setSimMode(int mode)
{
    m_simMode = mode;
    m_pointerPositions.clear();
    m_pointerSids.clear();
    m_dragSid = -1;
    m_activeSid = -1;
    // Moves without a button still repaint, which keeps the drawing current.
    setMouseTracking(true);
    update();
}

void TouchCanvas::clearAll()
{
    m_receivedObjects.clear();
    m_receivedCursors.clear();
    for (auto &items : m_receivedItems)
        items.clear();
    m_pointerPositions.clear();
    m_pointerSids.clear();
    m_simObjects.clear();
    m_anchors.clear();
    m_nextSid = 0;
    m_dragSid = -1;
    m_activeSid = -1;
    update();
}

void TouchCanvas::setSimObjects(const QList<SimObject> &objects)
{
    m_simObjects = objects;
    update();
}

void TouchCanvas::addSimObject(const SimObject &object)
{
    m_simObjects.append(object);
    update();
}

void TouchCanvas::addAnchor(const Anchor &anchor)
{
    m_anchors.append(anchor);
    update();
}

void TouchCanvas::removeSimObject(int sid)
{
    for (qsizetype i = 0; i < m_simObjects.size(); ++i) {
        if (m_simObjects.at(i).sid == sid) {
            m_simObjects.removeAt(i);
            break;
        }
    }
    update();
}

void TouchCanvas::removeAnchor(int sid)
{
    for (qsizetype i = 0; i < m_anchors.size(); ++i) {
        if (m_anchors.at(i).sid == sid) {
            m_anchors.removeAt(i);
            break;
        }
    }
    update();
}

void TouchCanvas::updateTuioObject(int sid, int cid, float x, float y, float angle)
{
    m_receivedObjects.insert(sid, ReceivedObject{cid, x, y, angle, receivedObjectColor(sid, cid)});
    update();
}

void TouchCanvas::updateTuioCursor(int sid, float x, float y)
{
    m_receivedCursors.insert(sid, ReceivedCursor{x, y, receivedCursorColor(sid)});
    update();
}

void TouchCanvas::removeTuioObject(int sid)
{
    m_receivedObjects.remove(sid);
    update();
}

void TouchCanvas::removeTuioCursor(int sid)
{
    m_receivedCursors.remove(sid);
    update();
}

void TouchCanvas::updateTuioItem(TuioProfile profile, int sid, const TuioItemRecord &item)
{
    const int index = tuioItemIndex(profile);
    if (index < 0)
        return;
    const QColor color = tuioProfileIsBlob(profile)     ? receivedBlobColor(sid)
                         : tuioProfileIsObject(profile) ? receivedObjectColor(sid, item.classId)
                                                        : receivedCursorColor(sid);
    m_receivedItems[size_t(index)].insert(sid, ReceivedItem{item, color});
    update();
}

void TouchCanvas::removeTuioItem(TuioProfile profile, int sid)
{
    const int index = tuioItemIndex(profile);
    if (index < 0)
        return;
    m_receivedItems[size_t(index)].remove(sid);
    update();
}

const QMap<int, ReceivedItem> &TouchCanvas::receivedItems(TuioProfile profile) const
{
    static const QMap<int, ReceivedItem> none;
    const int index = tuioItemIndex(profile);
    return index < 0 ? none : m_receivedItems[size_t(index)];
}

QString TouchCanvas::profileStatusText() const
{
    QStringList counts;
    for (int index = 0; index < tuioItemProfileCount; ++index)
        if (!m_receivedItems[size_t(index)].isEmpty())
            counts << QStringLiteral("%1:%2")
                          .arg(tuioProfileName(tuioItemProfile(index)))
                          .arg(m_receivedItems[size_t(index)].size());
    return counts.join(QLatin1Char(' '));
}

QString TouchCanvas::captionText() const
{
    switch (m_simMode) {
    case ObjectMode:
        return QStringLiteral("客户端 - %1").arg(QStringLiteral("物体模式"));
    case MultiTouchMode:
        return QStringLiteral("客户端 - %1").arg(QStringLiteral("多点模式"));
    default:
        return QStringLiteral("客户端模式");
    }
}

QString TouchCanvas::statusText() const
{
    return QStringLiteral("recv:%1/%2 simObj:%3 anchor:%4 active:%5 %6x%7")
        .arg(m_receivedCursors.size())
        .arg(m_receivedObjects.size())
        .arg(m_simObjects.size())
        .arg(m_anchors.size())
        .arg(m_pointerPositions.size())
        .arg(width())
        .arg(height());
}

int TouchCanvas::takeSid()
{
    const int sid = m_nextSid;
    m_nextSid = (m_nextSid == INT_MAX) ? 0 : m_nextSid + 1;
    return sid;
}

void TouchCanvas::mousePressEvent(QMouseEvent *event)
{
    if (width() < 1 || height() < 1)
        return;
    const QPointF p = event->position();
    const float x = float(p.x() / double(width()));
    const float y = float(p.y() / double(height()));
    const Qt::MouseButton button = event->button();

    switch (m_simMode) {
    case CursorMode:
        if (button != Qt::LeftButton || m_pointerPositions.contains(LeftCode))
            return;
        {
            const int sid = takeSid();
            m_pointerPositions.insert(LeftCode, p);
            m_pointerSids.insert(LeftCode, sid);
            emit cursorDown(sid, x, y);
        }
        // The marker shows at once rather than at the first move.
        update();
        return;

    case ObjectMode:
        if (button == Qt::LeftButton) {
            for (const SimObject &object : std::as_const(m_simObjects)) {
                if (squaredDistance(object.x, object.y, x, y) < GrabZone) {
                    m_dragSid = object.sid;
                    m_pointerPositions.insert(LeftCode, p);
                    update();
                    return;
                }
            }
            const int sid = takeSid();
            m_simObjects.append(SimObject{sid, 0, x, y, 0});
            emit objectPlaced(sid, 0, x, y, 0);
            update();
        } else if (button == Qt::RightButton) {
            int nearest = -1;
            double best = RemoveObjectZone;
            for (qsizetype i = 0; i < m_simObjects.size(); ++i) {
                const SimObject &object = m_simObjects.at(i);
                const double d2 = squaredDistance(object.x, object.y, x, y);
                // Strictly smaller: on a tie the earlier object stays the choice.
                if (d2 < best) {
                    best = d2;
                    nearest = int(i);
                }
            }
            if (nearest < 0)
                return;
            const int sid = m_simObjects.at(nearest).sid;
            removeSimObject(sid);
            emit cursorUp(sid);
        }
        return;

    case MultiTouchMode:
        if (button == Qt::LeftButton) {
            const int sid = takeSid();
            m_pointerPositions.insert(LeftCode, p);
            m_pointerSids.insert(LeftCode, sid);
            m_activeSid = sid;
            emit multiTouchMove(sid, x, y);
            update();
        } else if (button == Qt::RightButton) {
            for (qsizetype i = 0; i < m_anchors.size(); ++i) {
                const Anchor anchor = m_anchors.at(i);
                if (squaredDistance(anchor.x, anchor.y, x, y) < RemoveAnchorZone) {
                    m_anchors.removeAt(i);
                    emit anchorRemoved(anchor.sid);
                    update();
                    return;
                }
            }
            const int sid = takeSid();
            m_anchors.append(Anchor{sid, x, y});
            emit anchorAdded(sid, x, y);
            update();
        }
        return;

    default:
        return;
    }
}

void TouchCanvas::mouseMoveEvent(QMouseEvent *event)
{
    if (width() < 1 || height() < 1)
        return;
    const QPointF p = event->position();
    const float x = float(p.x() / double(width()));
    const float y = float(p.y() / double(height()));
    const bool leftHeld = event->buttons().testFlag(Qt::LeftButton);

    switch (m_simMode) {
    case CursorMode:
        if (!leftHeld || !m_pointerPositions.contains(LeftCode))
            return;
        m_pointerPositions.insert(LeftCode, p);
        emit cursorMove(m_pointerSids.value(LeftCode, 0), x, y);
        break;

    case ObjectMode:
        if (m_dragSid >= 0 && leftHeld) {
            for (SimObject &object : m_simObjects) {
                if (object.sid == m_dragSid) {
                    object.x = x;
                    object.y = y;
                    break;
                }
            }
            m_pointerPositions.insert(LeftCode, p);
            emit objectMoved(m_dragSid, 0, x, y, 0);
        }
        break;

    case MultiTouchMode:
        if (leftHeld && m_activeSid >= 0) {
            m_pointerPositions.insert(LeftCode, p);
            emit multiTouchMove(m_activeSid, x, y);
        }
        break;

    default:
        break;
    }
    update();
}

void TouchCanvas::mouseReleaseEvent(QMouseEvent *event)
{
    const int code = int(event->button());

    switch (m_simMode) {
    case CursorMode: {
        if (!m_pointerPositions.contains(code))
            return;
        const int sid = m_pointerSids.value(code, 0);
        m_pointerPositions.remove(code);
        m_pointerSids.remove(code);
        emit cursorUp(sid);
        break;
    }

    case ObjectMode:
        m_pointerPositions.clear();
        m_dragSid = -1;
        break;

    case MultiTouchMode:
        if (code == LeftCode && m_activeSid >= 0) {
            m_pointerPositions.remove(LeftCode);
            m_pointerSids.remove(LeftCode);
            const int sid = m_activeSid;
            m_activeSid = -1;
            emit cursorUp(sid);
        }
        break;

    default:
        break;
    }
    update();
}

void TouchCanvas::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    const double W = w;
    const double H = h;

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // 1. Background.
    painter.fillRect(QRect(0, 0, w, h), QColor(QStringLiteral("#080C14")));

    // 2. Grid. A one-pixel line on a whole-pixel coordinate covers the two pixel columns (rows)
    // beside it by half; filling those with half the alpha gives the same pixels as stroking,
    // without the cost of antialiased line rasterisation. Columns are filled in bands of at most
    // GridBand rows: the raster engine hands taller fills to its thread pool, and for a column two
    // pixels wide the hand-offs cost far more than the fill.
    const QColor gridHalf(255, 255, 255, 3);
    if (w > 0) {
        for (int top = 0; top < h; top += GridBand) {
            const int bandHeight = std::min(GridBand, h - top);
            for (int X = 0; X < W; X += 40)
                painter.fillRect(QRect(X - 1, top, 2, bandHeight), gridHalf);
        }
    }
    if (h > 0) {
        for (int Y = 0; Y < H; Y += 40)
            painter.fillRect(QRect(0, Y - 1, w, 2), gridHalf);
    }

    // 3. Border.
    painter.setPen(QPen(QColor(QStringLiteral("#1E3A5F")), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(1, 1, w - 2, h - 2));

    // 4. Caption.
    painter.setPen(QColor(255, 255, 255, 25));
    painter.setFont(QFont(QStringLiteral("Segoe UI"), 10));
    painter.drawText(QRect(10, 8, int(W - 20), 20), Qt::AlignLeft | Qt::AlignTop, captionText());

    // 5. Status line.
    painter.setPen(QColor(QStringLiteral("#F59E0B")));
    painter.setFont(labelFont(10));
    painter.drawText(QRect(10, 26, int(W - 20), 16), Qt::AlignLeft | Qt::AlignTop, statusText());
    const QString profileCounts = profileStatusText();
    if (!profileCounts.isEmpty())
        painter.drawText(QRect(10, 42, int(W - 20), 16), Qt::AlignLeft | Qt::AlignTop,
                         profileCounts);

    // Fonts and glyph shapes are built once per repaint and placed by transformation; building
    // them per item dominates a busy table.
    const QFont font9 = labelFont(9);
    const QFont font8 = labelFont(8);
    const QColor cyan(QStringLiteral("#00D4FF"));
    const QColor amber(QStringLiteral("#F59E0B"));

    // 6a. Received blobs, under everything else: they can be large.
    paintBlobs(painter, font8);
    QImage scratch(ScratchSize, ScratchSize, QImage::Format_ARGB32_Premultiplied);

    // 6. Received objects. The glow is round, so it is drawn unturned.
    // Rounded square 28 x 28 with 6-pixel corners; the outline spans 13..15 pixels from its centre.
    OpaqueGlyph objectGlyph;
    objectGlyph.outer.addRoundedRect(QRectF(-15, -15, 30, 30), 7, 7);
    objectGlyph.inner.addRoundedRect(QRectF(-13, -13, 26, 26), 5, 5);
    const qsizetype received = m_receivedObjects.size() + m_receivedCursors.size();
    const bool dense = received > DenseItems;
    const qreal ratio = painter.device()->devicePixelRatio();
    // Kept while the table hovers around the threshold, so that the sprites are not remade.
    if (ratio != m_spriteRatio || received < DenseItems / 2) {
        m_sprites.clear();
        m_spriteRatio = ratio;
    }
    for (auto it = m_receivedObjects.cbegin(); dense && it != m_receivedObjects.cend(); ++it) {
        const ReceivedObject &object = it.value();
        const double px = double(object.x) * W;
        const double py = double(object.y) * H;
        if (!onCanvas(px, py, W, H) || !turnable(object.angle))
            continue;
        const double quarter = std::fmod(double(object.angle * DegreesPerRadian), 90.0);
        const int step =
            int(std::lround((quarter < 0 ? quarter + 90 : quarter) * TurnSteps / 90.0)) % TurnSteps;
        const quint64 key = (quint64(step + 1) << 32) | object.color.rgba();
        auto sprite = m_sprites.constFind(key);
        if (sprite == m_sprites.cend()) {
            const QTransform turn = QTransform().rotate(step * 90.0 / TurnSteps);
            sprite = m_sprites.insert(key, glyphSprite(ObjectSpriteSize, ratio, objectGlyph, turn,
                                                       object.color.darker(130), object.color));
        }
        painter.drawImage(spriteCorner(px, py, ObjectSpriteSize), *sprite);
    }
    for (auto it = m_receivedObjects.cbegin(); !dense && it != m_receivedObjects.cend(); ++it) {
        const ReceivedObject &object = it.value();
        const double px = double(object.x) * W;
        const double py = double(object.y) * H;
        if (!onCanvas(px, py, W, H) || !turnable(object.angle))
            continue;

        QRadialGradient glow(QPointF(px, py), 36.4);
        QColor inner = object.color;
        inner.setAlpha(50);
        glow.setColorAt(0, inner);
        glow.setColorAt(1, QColor(0, 0, 0, 0));
        painter.fillRect(enclosingPixels(px, py, 36.4), glow);

        painter.setTransform(placed(px, py, object.angle));
        fillOpaqueGlyph(painter, objectGlyph, object.color.darker(130), object.color);
        painter.setPen(QColor(255, 255, 255, 200));
        painter.setFont(font9);
        painter.drawText(QRectF(-14, -14, 28, 28), Qt::AlignCenter, QString::number(it.key()));
        painter.resetTransform();
    }

    paintDepthItems(painter, true, objectGlyph.outer, objectGlyph.inner, font9);

    // 7. Simulated objects. The halo is round, so it is filled unturned.
    QPainterPath halo;
    halo.addEllipse(QRectF(-42, -42, 84, 84));
    const Shape simShape = roundedSquare(15, QPen(Qt::black, 2));
    for (const SimObject &object : std::as_const(m_simObjects)) {
        const double px = double(object.x) * W;
        const double py = double(object.y) * H;
        if (!onCanvas(px, py, W, H) || !turnable(object.angle))
            continue;
        const QTransform frame = placed(px, py, object.angle);
        fillTranslucent(painter, scratch, halo, placed(px, py, 0), QColor(0, 212, 255, 40));
        fillTranslucent(painter, scratch, simShape.fill, frame, QColor(0, 180, 220, 180));
        painter.setTransform(frame);
        fillOpaque(painter, simShape.outline, cyan);
        painter.setPen(Qt::white);
        painter.setFont(font9);
        painter.drawText(QRectF(-15, -15, 30, 30), Qt::AlignCenter,
                         QStringLiteral("o%1\nc%2").arg(object.sid).arg(object.cid));
        painter.resetTransform();
    }

    // 8. Received cursors.
    // Disc of radius 16; the outline spans 15..17 pixels from its centre.
    OpaqueGlyph dotGlyph;
    dotGlyph.outer.addEllipse(QRectF(-17, -17, 34, 34));
    dotGlyph.inner.addEllipse(QRectF(-15, -15, 30, 30));
    for (auto it = m_receivedCursors.cbegin(); dense && it != m_receivedCursors.cend(); ++it) {
        const ReceivedCursor &cursor = it.value();
        const double cx = double(cursor.x) * W;
        const double cy = double(cursor.y) * H;
        if (!onCanvas(cx, cy, W, H))
            continue;
        const quint64 key = cursor.color.rgba();
        auto sprite = m_sprites.constFind(key);
        if (sprite == m_sprites.cend()) {
            sprite =
                m_sprites.insert(key, glyphSprite(CursorSpriteSize, ratio, dotGlyph, QTransform(),
                                                  cursor.color, cursor.color.lighter(130)));
        }
        painter.drawImage(spriteCorner(cx, cy, CursorSpriteSize), *sprite);
    }
    for (auto it = m_receivedCursors.cbegin(); !dense && it != m_receivedCursors.cend(); ++it) {
        const ReceivedCursor &cursor = it.value();
        const double cx = double(cursor.x) * W;
        const double cy = double(cursor.y) * H;
        if (!onCanvas(cx, cy, W, H))
            continue;

        QRadialGradient glow(QPointF(cx, cy), 32);
        QColor inner = cursor.color;
        inner.setAlpha(60);
        glow.setColorAt(0, inner);
        glow.setColorAt(1, QColor(0, 0, 0, 0));
        painter.fillRect(enclosingPixels(cx, cy, 32), glow);

        painter.setTransform(placed(cx, cy, 0));
        fillOpaqueGlyph(painter, dotGlyph, cursor.color, cursor.color.lighter(130));
        painter.resetTransform();
        painter.setPen(Qt::white);
        painter.setFont(font8);
        painter.drawText(QRectF(cx - 16, cy - 16, 32, 32), Qt::AlignCenter,
                         QString::number(it.key()));
    }

    paintDepthItems(painter, false, dotGlyph.outer, dotGlyph.inner, font8);

    // 9. Anchors: dotted rings, the dots laid out once.
    const QPen dotted(Qt::black, 2, Qt::DotLine);
    const Shape outerRing = disc(18, dotted);
    const Shape innerRing = disc(14, dotted);
    for (const Anchor &anchor : std::as_const(m_anchors)) {
        const double ax = double(anchor.x) * W;
        const double ay = double(anchor.y) * H;
        if (!onCanvas(ax, ay, W, H))
            continue;
        const QTransform frame = placed(ax, ay, 0);
        fillTranslucent(painter, scratch, outerRing.fill, frame, QColor(245, 158, 11, 80));
        painter.setTransform(frame);
        fillOpaque(painter, outerRing.outline, amber);
        painter.resetTransform();
        fillTranslucent(painter, scratch, innerRing.fill, frame, QColor(245, 158, 11, 140));
        painter.setTransform(frame);
        fillOpaque(painter, innerRing.outline, amber);
        painter.resetTransform();
        painter.setPen(Qt::white);
        painter.setFont(font8);
        painter.drawText(QRectF(ax - 14, ay - 14, 28, 28), Qt::AlignCenter,
                         QString::number(anchor.sid));
    }

    // 10. Drag markers.
    for (auto it = m_pointerPositions.cbegin(); it != m_pointerPositions.cend(); ++it) {
        const QPointF p = it.value();
        if (!onCanvas(p.x(), p.y(), W, H))
            continue;
        const QRectF marker(p.x() - 18, p.y() - 18, 36, 36);
        painter.setBrush(QColor(0, 212, 255, 100));
        painter.setPen(QPen(cyan, 3));
        painter.drawEllipse(marker);

        painter.setPen(Qt::white);
        painter.setFont(font9);
        painter.drawText(marker, Qt::AlignCenter,
                         QString::number(m_pointerSids.value(it.key(), 0)));
    }
}

void TouchCanvas::paintBlobs(QPainter &painter, const QFont &font)
{
    const double W = width();
    const double H = height();
    QImage scratch;
    for (TuioProfile profile : {TuioProfile::Blob2D, TuioProfile::Blob25D, TuioProfile::Blob3D}) {
        const QMap<int, ReceivedItem> &blobs = receivedItems(profile);
        for (auto it = blobs.cbegin(); it != blobs.cend(); ++it) {
            const TuioItemRecord &blob = it->record;
            const double px = double(blob.x) * W;
            const double py = double(blob.y) * H;
            const double rw = std::min(std::abs(double(blob.w)) * W / 2, MaxBlobRadius);
            const double rh = std::min(std::abs(double(blob.h)) * H / 2, MaxBlobRadius);
            const double reach = std::max(rw, rh);
            if (!std::isfinite(reach) || !turnable(blob.a) || !std::isfinite(px) ||
                !std::isfinite(py) || px < -reach - CullMargin || px > W + reach + CullMargin ||
                py < -reach - CullMargin || py > H + reach + CullMargin)
                continue;
            if (scratch.isNull())
                scratch =
                    QImage(BlobScratchSize, BlobScratchSize, QImage::Format_ARGB32_Premultiplied);
            // A rim 3 pixels wide on the blob's edge.
            QPainterPath outer;
            outer.addEllipse(QPointF(0, 0), rw + 1.5, rh + 1.5);
            QPainterPath inner;
            inner.addEllipse(QPointF(0, 0), std::max(0.0, rw - 1.5), std::max(0.0, rh - 1.5));
            QColor fill = it->color;
            fill.setAlpha(70);
            fillRimmed(painter, scratch, outer, inner, placed(px, py, blob.a), it->color, fill);
            if (profile != TuioProfile::Blob2D)
                paintDepth(painter, nullptr, px, py, reach, blob.z, it->color);
            painter.setPen(Qt::white);
            painter.setFont(font);
            painter.drawText(QRectF(px - 16, py - 8, 32, 16), Qt::AlignCenter,
                             QString::number(it.key()));
        }
    }
}

const QImage &TouchCanvas::depthRing(double radius, int step, const QColor &colour, qreal ratio)
{
    if (ratio != m_ringRatio || m_rings.size() > MaxRingSprites) {
        m_rings.clear();
        m_ringRatio = ratio;
    }
    const quint64 key = (quint64(radius) << 40) | (quint64(step) << 32) | colour.rgba();
    auto sprite = m_rings.find(key);
    if (sprite == m_rings.end()) {
        const double r = radius + DepthGap + step;
        // Even, so that the centre falls on a pixel corner like the glyph's.
        const int side = 2 * int(std::ceil(r + 2));
        QImage image(int(std::ceil(side * ratio)), int(std::ceil(side * ratio)),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(ratio);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, true);
        fillOpaque(painter, band(side / 2.0, side / 2.0, r, r), colour);
        painter.end();
        sprite = m_rings.insert(key, image);
    }
    return *sprite;
}

void TouchCanvas::paintDepthItems(QPainter &painter, bool objects, const QPainterPath &outer,
                                  const QPainterPath &inner, const QFont &font)
{
    const double W = width();
    const double H = height();
    const OpaqueGlyph glyph{outer, inner};
    const TuioProfile profiles[] = {objects ? TuioProfile::Object25D : TuioProfile::Cursor25D,
                                    objects ? TuioProfile::Object3D : TuioProfile::Cursor3D};
    // The glyph's reach and glow as drawn for the 2D counterpart.
    const double radius = objects ? 21 : 17;
    const double glowRadius = objects ? 36.4 : 32;
    const qreal ratio = painter.device()->devicePixelRatio();
    for (TuioProfile profile : profiles) {
        const QMap<int, ReceivedItem> &items = receivedItems(profile);
        for (auto it = items.cbegin(); it != items.cend(); ++it) {
            const TuioItemRecord &item = it->record;
            const QColor &color = it->color;
            const double px = double(item.x) * W;
            const double py = double(item.y) * H;
            const float angle = objects ? item.a : 0.0f;
            if (!onCanvas(px, py, W, H) || !turnable(angle))
                continue;
            QRadialGradient glow(QPointF(px, py), glowRadius);
            QColor centre = color;
            centre.setAlpha(objects ? 50 : 60);
            glow.setColorAt(0, centre);
            glow.setColorAt(1, QColor(0, 0, 0, 0));
            painter.fillRect(enclosingPixels(px, py, glowRadius), glow);

            painter.setTransform(placed(px, py, angle));
            if (objects)
                fillOpaqueGlyph(painter, glyph, color.darker(130), color);
            else
                fillOpaqueGlyph(painter, glyph, color, color.lighter(130));
            painter.resetTransform();
            paintDepth(painter, &depthRing(radius, depthStep(item.z), color, ratio), px, py, radius,
                       item.z, color);
            painter.setPen(Qt::white);
            painter.setFont(font);
            if (objects) {
                painter.setTransform(placed(px, py, angle));
                painter.drawText(QRectF(-14, -14, 28, 28), Qt::AlignCenter,
                                 QString::number(it.key()));
                painter.resetTransform();
            } else {
                painter.drawText(QRectF(px - 16, py - 16, 32, 32), Qt::AlignCenter,
                                 QString::number(it.key()));
            }
        }
    }
}
