#include "tuio/tuiodecoder.h"

#include "tuio/osccodec.h"

#include <QSet>
#include <QVarLengthArray>

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

template <typename Table, typename Remove>
void pruneToAlive(const QByteArray &message, qint32 position, Table &table, Remove remove)
{
    QSet<int> alive;
    while (qsizetype(position) + 4 <= message.size())
        alive.insert(readInt32(message, position));
    for (auto it = table.begin(); it != table.end();) {
        if (alive.contains(it.key())) {
            ++it;
            continue;
        }
        remove(it.key());
        it = table.erase(it);
    }
}

} // namespace

bool isOscBundle(const QByteArray &data)
{
    return data.size() >= 8 && std::memcmp(data.constData(), bundleMarker, 8) == 0;
}

bool decodeTuioMessage(const QByteArray &message, TuioCursorTable &cursors,
                       TuioObjectTable &objects, TuioSessionSink *sink)
{
    const OscFrame frame = frameOscMessage(message);
    if (!frame.isMessage)
        return false;
    const bool isCursor = frame.address == QLatin1String("/tuio/2Dcur");
    const bool isObject = !isCursor && frame.address == QLatin1String("/tuio/2Dobj");
    if (!isCursor && !isObject)
        return true;

    qint32 position = frame.argumentPosition;
    const QString command = readOscString(message, position);
    if (command == QLatin1String("set")) {
        if (isCursor) {
            const int sid = readInt32(message, position);
            const float x = readFloat32(message, position);
            const float y = readFloat32(message, position);
            cursors.insert(sid, TuioCursorRecord{x, y});
            if (sink)
                sink->cursorUpdated(sid, x, y);
        } else {
            const int sid = readInt32(message, position);
            const int cid = readInt32(message, position);
            const float x = readFloat32(message, position);
            const float y = readFloat32(message, position);
            const float angle = readFloat32(message, position);
            objects.insert(sid, TuioObjectRecord{cid, x, y, angle});
            if (sink)
                sink->objectUpdated(sid, cid, x, y, angle);
        }
    } else if (command == QLatin1String("alive")) {
        if (isCursor) {
            pruneToAlive(message, position, cursors, [sink](int sid) {
                if (sink)
                    sink->cursorRemoved(sid);
            });
        } else {
            pruneToAlive(message, position, objects, [sink](int sid) {
                if (sink)
                    sink->objectRemoved(sid);
            });
        }
    }
    return true;
}

int decodeTuioDatagram(const QByteArray &datagram, TuioCursorTable &cursors,
                       TuioObjectTable &objects, TuioSessionSink *sink)
{
    if (!isOscBundle(datagram))
        return decodeTuioMessage(datagram, cursors, objects, sink) ? 1 : 0;

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

    int framed = 0;
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
        } else if (decodeTuioMessage(element, cursors, objects, sink)) {
            ++framed;
        }
    }
    return framed;
}
