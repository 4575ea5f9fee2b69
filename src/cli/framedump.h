#pragma once

#include "tuio/tuiodecoder.h"

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QString>

// The received TUIO stream as one line per frame, like a TUIO dump: time, source, sender,
// profile, fseq, alive ids and set values; as text or one JSON object per line. A frame is a
// profile's messages in one bundle, or an unbundled sender's messages up to its fseq.
class FrameDump
{
public:
    explicit FrameDump(bool json) : json(json) {}

    // Appends the lines of the frames this datagram completes to `out`.
    void feed(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
              qint64 wallNs, QByteArray &out);
    // Unbundled frames still waiting for their fseq.
    void flush(QByteArray &out);

private:
    struct Frame
    {
        QString profile;
        QString source;
        QString sender;
        qint64 wallNs = 0;
        bool hasFseq = false;
        qint32 fseq = 0;
        bool hasAlive = false;
        QList<qint32> alive;
        QList<QList<double>> sets;
        bool empty() const { return !hasFseq && !hasAlive && sets.isEmpty(); }
    };

    void add(Frame &frame, const TuioMessage &message);
    void write(const Frame &frame, QByteArray &out) const;

    bool json = false;
    QList<TuioMessage> messages;
    // Unbundled frames per "sender profile", and the source each sender named last.
    QHash<QString, Frame> pending;
    QHash<QString, QString> sources;
};
