#pragma once

#include "canvas/simtypes.h"
#include "tuio/tuiosessions.h"

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QMap>
#include <QPointF>
#include <QWidget>

#include <array>

class QPainter;
class QPainterPath;

struct ReceivedObject
{
    int cid = 0;
    float x = 0;
    float y = 0;
    float angle = 0;
    QColor color;
};

struct ReceivedCursor
{
    float x = 0;
    float y = 0;
    QColor color;
};

// A session of the other TUIO 1.1 profiles (blobs, 2.5D and 3D).
struct ReceivedItem
{
    TuioItemRecord record;
    QColor color;
};

// Colours of received items, derived from their ids; any id (negative ones too) gives a valid hue.
// 2.5D and 3D cursors and objects take their 2D counterparts' colours.
QColor receivedObjectColor(int sid, int cid);
QColor receivedCursorColor(int sid);
QColor receivedBlobColor(int sid);

// Also mirrors the received session tables: it draws what their sink calls report.
class TouchCanvas : public QWidget, public TuioSessionSink
{
    Q_OBJECT

public:
    explicit TouchCanvas(QWidget *parent = nullptr);

    void setSimMode(int mode);
    int simMode() const { return m_simMode; }

    QList<SimObject> simObjects() const { return m_simObjects; }
    QList<Anchor> anchors() const { return m_anchors; }
    void setSimObjects(const QList<SimObject> &objects);
    void addSimObject(const SimObject &object);
    void addAnchor(const Anchor &anchor);
    void removeSimObject(int sid);
    void removeAnchor(int sid);

    void updateTuioObject(int sid, int cid, float x, float y, float angle);
    void updateTuioCursor(int sid, float x, float y);
    void removeTuioObject(int sid);
    void removeTuioCursor(int sid);
    void updateTuioItem(TuioProfile profile, int sid, const TuioItemRecord &item);
    void removeTuioItem(TuioProfile profile, int sid);

    void cursorUpdated(int sid, float x, float y) override { updateTuioCursor(sid, x, y); }
    void objectUpdated(int sid, int cid, float x, float y, float angle) override
    {
        updateTuioObject(sid, cid, x, y, angle);
    }
    void cursorRemoved(int sid) override { removeTuioCursor(sid); }
    void objectRemoved(int sid) override { removeTuioObject(sid); }
    void itemUpdated(TuioProfile profile, int sid, const TuioItemRecord &item) override
    {
        updateTuioItem(profile, sid, item);
    }
    void itemRemoved(TuioProfile profile, int sid) override { removeTuioItem(profile, sid); }

    const QMap<int, ReceivedObject> &receivedObjects() const { return m_receivedObjects; }
    const QMap<int, ReceivedCursor> &receivedCursors() const { return m_receivedCursors; }
    // Empty for Other and the 2D cursor and object profiles.
    const QMap<int, ReceivedItem> &receivedItems(TuioProfile profile) const;

    // Pointer state, read-only (tests and diagnostics).
    const QMap<int, QPointF> &pointerPositions() const { return m_pointerPositions; }
    const QMap<int, int> &pointerSids() const { return m_pointerSids; }
    int nextSid() const { return m_nextSid; }
    int dragSid() const { return m_dragSid; }
    int activeSid() const { return m_activeSid; }

    // The two text lines drawn at the top of the table.
    QString captionText() const;
    QString statusText() const;
    // The other profiles' counts, e.g. "2Dblb:3 25Dcur:2", drawn under the status line; empty
    // while they have no sessions.
    QString profileStatusText() const;

public slots:
    void clearAll();

signals:
    void cursorDown(int id, float x, float y);
    void cursorMove(int id, float x, float y);
    void cursorUp(int id);
    void objectPlaced(int sid, int cid, float x, float y, float angle);
    void objectMoved(int sid, int cid, float x, float y, float angle);
    void anchorAdded(int sid, float x, float y);
    void anchorRemoved(int sid);
    void multiTouchMove(int activeSid, float x, float y);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    int takeSid();
    void paintBlobs(QPainter &painter, const QFont &font);
    // The 2.5D and 3D cursors, or objects, drawn with their 2D counterparts' glyph.
    void paintDepthItems(QPainter &painter, bool objects, const QPainterPath &outer,
                         const QPainterPath &inner, const QFont &font);
    // The ring of a 2.5D or 3D glyph of this radius grown by `step` pixels, drawn once.
    const QImage &depthRing(double radius, int step, const QColor &colour, qreal ratio);

    QMap<int, ReceivedObject> m_receivedObjects;
    QMap<int, ReceivedCursor> m_receivedCursors;
    std::array<QMap<int, ReceivedItem>, tuioItemProfileCount> m_receivedItems;
    int m_simMode = CursorMode;
    QList<SimObject> m_simObjects;
    QList<Anchor> m_anchors;
    QMap<int, QPointF> m_pointerPositions;
    QMap<int, int> m_pointerSids;
    int m_nextSid = 0;
    int m_dragSid = -1;
    int m_activeSid = -1;
    // Glyph images of crowded tables, by colour (and turn for objects); made for one pixel ratio.
    QHash<quint64, QImage> m_sprites;
    qreal m_spriteRatio = 1;
    QHash<quint64, QImage> m_rings;
    qreal m_ringRatio = 1;
};
