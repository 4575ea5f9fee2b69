#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// TUIO 1.1 frames as the client sends them: per profile one OSC bundle (or several, when one
// datagram cannot hold it) of `source`, `alive`, `set`… and `fseq`.

// A live session the client sends, as the canvas shows it.
struct TuioCursorState
{
    qint32 sid = 0;
    float x = 0.0f;
    float y = 0.0f;
};

struct TuioObjectState
{
    qint32 sid = 0;
    qint32 classId = 0;
    float x = 0.0f;
    float y = 0.0f;
    float angle = 0.0f;
};

// One `set` message ready to go, and the session it is about.
struct TuioSetMessage
{
    qint32 sid = 0;
    QByteArray message;
};

// One datagram of a frame and its log row, e.g. "[TX] 2Dcur alive 1 set [3] fseq 12".
struct TuioFrameDatagram
{
    QByteArray datagram;
    QString summary;
};

// Ethernet's 1500-byte MTU less the IPv4 and UDP headers: larger datagrams get fragmented.
constexpr qsizetype maxFrameDatagramSize = 1472;
// Sets per bundle, as TUIO 1.1 senders bound the full-state resend.
constexpr qsizetype maxSetsPerBundle = 10;
// The fseq of a resent full state, which clients apply without ordering it.
constexpr qint32 redundantFrameId = -1;

// An OSC bundle with time tag 1 ("immediately") holding `messages` in order.
QByteArray buildOscBundle(const QList<QByteArray> &messages);
QByteArray buildSourceMessage(const QString &profileAddress, const QString &source);
QByteArray buildFseqMessage(const QString &profileAddress, qint32 frameId);

// The bundles of one frame of the profile at `profileAddress` ("/tuio/2Dcur" or "/tuio/2Dobj"):
// each repeats source and alive, carries at most maxSetsPerBundle of `sets` in order and ends with
// fseq. Sets move on to the next bundle before one would exceed maxFrameDatagramSize; a bundle
// whose source, alive and fseq leave no room still carries one set. No sets: one bundle.
QList<TuioFrameDatagram> buildTuioFrame(const QString &profileAddress, const QString &source,
                                        const QList<qint32> &alive,
                                        const QList<TuioSetMessage> &sets, qint32 frameId);

QList<TuioSetMessage> cursorSetMessages(const QList<TuioCursorState> &cursors);
QList<TuioSetMessage> objectSetMessages(const QList<TuioObjectState> &objects);
