#pragma once

#include <QByteArray>
#include <QString>

// OSC 1.0 subset used by TUIO 1.x: one message per datagram, arguments of
// type s, i and f. Every number is big-endian, every string NUL-padded to a
// multiple of 4 bytes. The functions are stateless and never read outside the
// buffer they are given.

// Address and type tags as OSC strings, then the argument block unchanged.
QByteArray buildOscMessage(const QString &address, const QString &typeTags,
                           const QByteArray &arguments);
void appendOscString(QByteArray &buffer, const QString &text);
void appendInt32(QByteArray &buffer, qint32 value);
void appendFloat32(QByteArray &buffer, float value);

struct OscFrame
{
    bool isMessage = false;
    QString address;
    // The type tag string, leading comma included, without its NULs.
    qint32 typeTagPosition = 0;
    qint32 typeTagSize = 0;
    qint32 argumentPosition = 0;
};

// Locates address and type tags; the tag string itself is not examined.
OscFrame frameOscMessage(const QByteArray &data);

// Reads past the end yield 0, 0.0 or empty text and leave the position alone.
qint32 readInt32(const QByteArray &data, qint32 &position);
float readFloat32(const QByteArray &data, qint32 &position);
QString readOscString(const QByteArray &data, qint32 &position);
