#pragma once

#include "tuio/tuiodecoder.h"
#include "tuio/tuiorecords.h"

#include <QList>
#include <QObject>

// Told about every change made to the session tables, in the order it is made.
class TuioSessionSink
{
public:
    virtual ~TuioSessionSink() = default;
    virtual void cursorUpdated(int sid, float x, float y) = 0;
    virtual void objectUpdated(int sid, int cid, float x, float y, float angle) = 0;
    virtual void cursorRemoved(int sid) = 0;
    virtual void objectRemoved(int sid) = 0;
};

// The received sessions of the 2D cursor and object profiles. Each message applies at once and
// session ids are global: a set stores its session, an alive removes every session of its
// profile that it does not list.
class TuioSessions : public QObject
{
    Q_OBJECT

public:
    explicit TuioSessions(QObject *parent = nullptr);

    const TuioCursorTable &cursors() const { return tuioCursors; }
    const TuioObjectTable &objects() const { return tuioObjects; }

    // Not owned; nullptr tells nobody.
    void setSink(TuioSessionSink *sink) { this->sink = sink; }

    void applyMessage(const TuioMessage &message);
    // The messages of the datagram processed last, for observers that would decode it again.
    const QList<TuioMessage> &lastDecoded() const { return decoded; }

public slots:
    // Decodes and applies one received datagram.
    void processDatagram(const QByteArray &datagram);
    // Ends a batch of datagrams: batchApplied follows when any message of it framed.
    void endBatch();
    // Empties both tables and tells the sink nothing: its owner clears alongside.
    void clear();

signals:
    void batchApplied();

private:
    TuioCursorTable tuioCursors;
    TuioObjectTable tuioObjects;
    TuioSessionSink *sink = nullptr;
    QList<TuioMessage> decoded;
    int framedInBatch = 0;
};
