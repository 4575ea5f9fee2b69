#include "tuio/tuiodecoder.h"

#include "tuio/osccodec.h"
#include "tuio/tuioprofiles.h"

#include <QStringList>

#include <cstring>

namespace {

const char bundleMarker[8] = {'#', 'b', 'u', 'n', 'd', 'l', 'e', '\0'};
// Marker and time tag.
constexpr qint32 bundleHeaderSize = 16;

// A view of bytes inside the datagram; the readers bound themselves to its size.
QByteArray slice(const QByteArray &data, qint32 start, qint32 length)
{
    return QByteArray::fromRawData(data.constData() + start, length);
}

TuioCommand commandOf(const QString &text)
{
    if (text == QLatin1String("set"))
        return TuioCommand::Set;
    if (text == QLatin1String("alive"))
        return TuioCommand::Alive;
    if (text == QLatin1String("fseq"))
        return TuioCommand::Fseq;
    if (text == QLatin1String("source"))
        return TuioCommand::Source;
    return TuioCommand::Other;
}

QLatin1String commandText(TuioCommand command)
{
    switch (command) {
    case TuioCommand::Set:
        return QLatin1String("set");
    case TuioCommand::Alive:
        return QLatin1String("alive");
    case TuioCommand::Fseq:
        return QLatin1String("fseq");
    case TuioCommand::Source:
        return QLatin1String("source");
    default:
        return QLatin1String("?");
    }
}

QString messageText(const TuioMessage &message)
{
    QString text = message.address;
    if (message.profile == TuioProfile::Other)
        return text;
    text += QLatin1Char(' ') + commandText(message.command);
    if (message.command == TuioCommand::Source)
        return text + QLatin1Char(' ') + message.source;
    // Tag 0 is the comma and tag 1 the command.
    for (qsizetype i = 0; i < message.words.size(); ++i) {
        const char tag = i + 2 < message.typeTags.size() ? message.typeTags[i + 2] : 'i';
        text += QLatin1Char(' ');
        if (tag == 'f')
            text += QString::number(double(message.floatAt(i)), 'g', 6);
        else if (tag == 'i')
            text += QString::number(message.intAt(i));
        else
            text += QStringLiteral("%1:0x%2")
                        .arg(QLatin1Char(tag))
                        .arg(message.words[i], 8, 16, QLatin1Char('0'));
    }
    return text;
}

} // namespace

qint32 TuioMessage::intAt(qsizetype index) const
{
    return index < words.size() ? qint32(words[index]) : 0;
}

float TuioMessage::floatAt(qsizetype index) const
{
    if (index >= words.size())
        return 0.0f;
    float value = 0.0f;
    std::memcpy(&value, &words[index], sizeof value);
    return value;
}

bool isOscBundle(const QByteArray &data)
{
    return data.size() >= 8 && std::memcmp(data.constData(), bundleMarker, 8) == 0;
}

bool decodeTuioMessage(const QByteArray &message, TuioMessage &decoded)
{
    OscFrame frame = frameOscMessage(message);
    if (!frame.isMessage)
        return false;
    decoded.address = std::move(frame.address);
    decoded.typeTags.resize(frame.typeTagSize);
    std::memcpy(decoded.typeTags.data(), message.constData() + frame.typeTagPosition,
                size_t(frame.typeTagSize));
    decoded.source.clear();
    decoded.words.clear();
    decoded.command = TuioCommand::Other;
    if (decoded.address == QLatin1String("/tuio/2Dcur"))
        decoded.profile = TuioProfile::Cursor2D;
    else if (decoded.address == QLatin1String("/tuio/2Dobj"))
        decoded.profile = TuioProfile::Object2D;
    else
        decoded.profile = tuioItemProfileOf(decoded.address);
    if (decoded.profile == TuioProfile::Other)
        return true;

    qint32 position = frame.argumentPosition;
    decoded.command = commandOf(readOscString(message, position));
    if (decoded.command == TuioCommand::Source) {
        decoded.source = readOscString(message, position);
        return true;
    }
    while (position >= 0 && qsizetype(position) + 4 <= message.size())
        decoded.words.append(quint32(readInt32(message, position)));
    return true;
}

void decodeTuioDatagram(const QByteArray &datagram, QList<TuioMessage> &messages)
{
    messages.clear();
    const auto decodeElement = [&messages](const QByteArray &bytes) {
        messages.emplaceBack();
        if (!decodeTuioMessage(bytes, messages.last()))
            messages.removeLast();
    };
    if (!isOscBundle(datagram)) {
        decodeElement(datagram);
        return;
    }

    // Open bundles as [next element, end) ranges; a stack instead of recursion, because a
    // datagram can nest thousands of bundles.
    struct Range
    {
        qint32 next;
        qint32 end;
    };
    QVarLengthArray<Range, 8> open;
    const qint32 size = qint32(datagram.size());
    if (size >= bundleHeaderSize)
        open.append(Range{bundleHeaderSize, size});

    while (!open.isEmpty()) {
        Range &bundle = open.last();
        qint32 position = bundle.next;
        if (position + 4 > bundle.end) {
            open.removeLast();
            continue;
        }
        const qint32 length = readInt32(datagram, position);
        if (length < 0 || length % 4 != 0 || length > bundle.end - position) {
            open.removeLast();
            continue;
        }
        bundle.next = position + length;
        const QByteArray element = slice(datagram, position, length);
        if (isOscBundle(element)) {
            if (length >= bundleHeaderSize)
                open.append(Range{position + bundleHeaderSize, position + length});
        } else {
            decodeElement(element);
        }
    }
}

QList<TuioMessage> decodeTuioDatagram(const QByteArray &datagram)
{
    QList<TuioMessage> messages;
    decodeTuioDatagram(datagram, messages);
    return messages;
}

QString tuioDatagramText(const QList<TuioMessage> &messages)
{
    QStringList parts;
    parts.reserve(messages.size());
    for (const TuioMessage &message : messages)
        parts << messageText(message);
    return parts.join(QStringLiteral(" | "));
}
