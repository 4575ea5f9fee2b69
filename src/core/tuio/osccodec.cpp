#include "tuio/osccodec.h"

#include <QtEndian>

#include <cstring>
#include <limits>

namespace {

// Index of the first NUL at or after `from`, or -1.
qsizetype findNul(const QByteArray &data, qsizetype from)
{
    if (from < 0 || from >= data.size())
        return -1;
    const char *begin = data.constData();
    const void *hit = std::memchr(begin + from, 0, size_t(data.size() - from));
    return hit ? static_cast<const char *>(hit) - begin : -1;
}

// The first multiple of 4 after the NUL at `nulIndex`.
qsizetype paddedEnd(qsizetype nulIndex)
{
    return (nulIndex + 4) & ~qsizetype(3);
}

bool hasFourBytesAt(const QByteArray &data, qint32 position)
{
    return position >= 0 && qsizetype(position) + 4 <= data.size();
}

} // namespace

QByteArray buildOscMessage(const QString &address, const QString &typeTags,
                           const QByteArray &arguments)
{
    QByteArray message;
    message.reserve(address.size() + typeTags.size() + arguments.size() + 8);
    appendOscString(message, address);
    appendOscString(message, typeTags);
    message.append(arguments);
    return message;
}

void appendOscString(QByteArray &buffer, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    buffer.append(utf8);
    // One to four NULs: at least one terminates, the rest reach the next multiple of 4.
    buffer.append(4 - (utf8.size() & 3), '\0');
}

void appendInt32(QByteArray &buffer, qint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    buffer.append(bytes, 4);
}

void appendFloat32(QByteArray &buffer, float value)
{
    quint32 bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    char bytes[4];
    qToBigEndian(bits, bytes);
    buffer.append(bytes, 4);
}

OscFrame frameOscMessage(const QByteArray &data)
{
    OscFrame frame;
    if (data.size() < 4)
        return frame;
    const qsizetype addressEnd = findNul(data, 0);
    if (addressEnd < 0)
        return frame;
    const qsizetype tagStart = paddedEnd(addressEnd);
    if (tagStart + 4 > data.size())
        return frame;
    const qsizetype tagEnd = findNul(data, tagStart);
    if (tagEnd < 0)
        return frame;
    const qsizetype argumentPosition = paddedEnd(tagEnd);
    // A read position is 32-bit; a larger datagram cannot come over UDP anyway.
    if (argumentPosition > std::numeric_limits<qint32>::max())
        return frame;
    frame.isMessage = true;
    frame.address = QString::fromUtf8(data.constData(), addressEnd);
    frame.typeTagPosition = qint32(tagStart);
    frame.typeTagSize = qint32(tagEnd - tagStart);
    frame.argumentPosition = qint32(argumentPosition);
    return frame;
}

qint32 readInt32(const QByteArray &data, qint32 &position)
{
    if (!hasFourBytesAt(data, position))
        return 0;
    const qint32 value = qFromBigEndian<qint32>(data.constData() + position);
    position += 4;
    return value;
}

float readFloat32(const QByteArray &data, qint32 &position)
{
    if (!hasFourBytesAt(data, position))
        return 0.0f;
    const quint32 bits = qFromBigEndian<quint32>(data.constData() + position);
    position += 4;
    float value = 0.0f;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

QString readOscString(const QByteArray &data, qint32 &position)
{
    const qsizetype end = findNul(data, position);
    if (end < 0)
        return QString();
    const qsizetype next = paddedEnd(end);
    if (next > std::numeric_limits<qint32>::max())
        return QString();
    const QString text = QString::fromUtf8(data.constData() + position, end - position);
    position = qint32(next);
    return text;
}
