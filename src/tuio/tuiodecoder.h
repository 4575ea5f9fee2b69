#pragma once

#include "tuio/tuiorecords.h"

#include <QByteArray>

// Told about every change the decoder makes to the session tables, in the order it makes them.
class TuioSessionSink
{
public:
    virtual ~TuioSessionSink() = default;
    virtual void cursorUpdated(int sid, float x, float y) = 0;
    virtual void objectUpdated(int sid, int cid, float x, float y, float angle) = 0;
    virtual void cursorRemoved(int sid) = 0;
    virtual void objectRemoved(int sid) = 0;
};

// True for a datagram or bundle element that starts with the OSC bundle marker "#bundle".
bool isOscBundle(const QByteArray &data);

// Applies one OSC message ("set" or "alive" of /tuio/2Dcur or /tuio/2Dobj) to the tables.
// Returns false when the bytes do not frame as a message; anything else that is not a known
// profile and command changes nothing but still counts as framed.
bool decodeTuioMessage(const QByteArray &message, TuioCursorTable &cursors,
                       TuioObjectTable &objects, TuioSessionSink *sink = nullptr);

// Applies one received datagram: a single message, or a bundle whose message elements are
// applied in order, nested bundles included. A broken element size ends its bundle; what
// came before stays applied. Returns the number of messages that framed.
int decodeTuioDatagram(const QByteArray &datagram, TuioCursorTable &cursors,
                       TuioObjectTable &objects, TuioSessionSink *sink = nullptr);
