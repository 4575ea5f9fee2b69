#pragma once

#include "tuio/tuiodecoder.h"
#include "tuio/tuioprofiles.h"
#include "tuio/tuiorecords.h"

#include <QList>
#include <QObject>

#include <array>

// Told about every change made to the session tables, in the order it is made.
class TuioSessionSink
{
public:
    virtual ~TuioSessionSink() = default;
    virtual void cursorUpdated(int sid, float x, float y) = 0;
    virtual void objectUpdated(int sid, int cid, float x, float y, float angle) = 0;
    virtual void cursorRemoved(int sid) = 0;
    virtual void objectRemoved(int sid) = 0;
    // The other TUIO 1.1 profiles; a sink that does not show them need not listen.
    virtual void itemUpdated(TuioProfile /*profile*/, int /*sid*/, const TuioItemRecord & /*item*/)
    {
    }
    virtual void itemRemoved(TuioProfile /*profile*/, int /*sid*/) {}
};

// The received sessions of the nine TUIO 1.1 profiles, a table each. Each message applies at once
// and session ids are global: a set stores its session, an alive removes every session of its
// profile that it does not list. The 2D cursor and object sets are read however they are tagged;
// the other profiles' sets only when their tags and length fit the profile.
class TuioSessions : public QObject
{
    Q_OBJECT

public:
    explicit TuioSessions(QObject *parent = nullptr);

    const TuioCursorTable &cursors() const { return tuioCursors; }
    const TuioObjectTable &objects() const { return tuioObjects; }
    // The table of one of the seven other profiles; an empty one for the rest.
    const TuioItemTable &items(TuioProfile profile) const;

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
    // Empties every table and tells the sink nothing: its owner clears alongside.
    void clear();

signals:
    void batchApplied();

private:
    void applyItemMessage(const TuioMessage &message);

    TuioCursorTable tuioCursors;
    TuioObjectTable tuioObjects;
    std::array<TuioItemTable, tuioItemProfileCount> tuioItems;
    TuioSessionSink *sink = nullptr;
    QList<TuioMessage> decoded;
    int framedInBatch = 0;
};
