#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QVarLengthArray>

enum class TuioProfile : quint8
{
    Other,
    Cursor2D,
    Object2D,
    // The other profiles of the TUIO 1.1 protocol, in its order.
    Blob2D,
    Cursor25D,
    Object25D,
    Blob25D,
    Cursor3D,
    Object3D,
    Blob3D
};

enum class TuioCommand : quint8
{
    Other,
    Set,
    Alive,
    Fseq,
    Source
};

// One OSC message of a received datagram. Only the nine TUIO 1.1 profiles are read past their
// address: their command, and the 32-bit words after it as they stand (a set's arguments, an
// alive's ids, an fseq's frame id), whatever the type tags claim.
struct TuioMessage
{
    QString address;
    TuioProfile profile = TuioProfile::Other;
    TuioCommand command = TuioCommand::Other;
    // The name a source message carries, "name@address" in the TUIO 1.1 protocol.
    QString source;
    QVarLengthArray<quint32, 12> words;
    // As on the wire, e.g. ",sifffff"; the words above do not depend on it.
    QVarLengthArray<char, 16> typeTags;

    QByteArrayView tags() const { return QByteArrayView(typeTags.constData(), typeTags.size()); }

    // A word that is not there reads as 0, as the OSC readers do.
    qint32 intAt(qsizetype index) const;
    float floatAt(qsizetype index) const;
};

// True for a datagram or bundle element that starts with the OSC bundle marker "#bundle".
bool isOscBundle(const QByteArray &data);

// Decodes one OSC message; false when the bytes do not frame as one.
bool decodeTuioMessage(const QByteArray &message, TuioMessage &decoded);

// Decodes a received datagram into `messages` (cleared first): a single message, or the message
// elements of a bundle in order, nested bundles included. A broken element size ends its bundle
// and keeps what came before. Bytes that do not frame as a message are left out.
void decodeTuioDatagram(const QByteArray &datagram, QList<TuioMessage> &messages);
QList<TuioMessage> decodeTuioDatagram(const QByteArray &datagram);

// A datagram's messages as one line of text, e.g.
// "/tuio/2Dcur set 3 0.5 0.25 0 0 0 | /tuio/2Dcur fseq 12": each word as its type tag says.
QString tuioDatagramText(const QList<TuioMessage> &messages);
