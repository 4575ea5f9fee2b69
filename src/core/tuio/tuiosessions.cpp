#include "tuio/tuiosessions.h"

#include <QSet>

namespace {

template <typename Table, typename Remove>
void pruneToAlive(const TuioMessage &message, Table &table, Remove remove)
{
    QSet<int> alive;
    for (quint32 word : message.words)
        alive.insert(qint32(word));
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

TuioSessions::TuioSessions(QObject *parent) : QObject(parent) {}

void TuioSessions::applyMessage(const TuioMessage &message)
{
    const bool isCursor = message.profile == TuioProfile::Cursor2D;
    if (!isCursor && message.profile != TuioProfile::Object2D)
        return;
    if (message.command == TuioCommand::Set) {
        if (isCursor) {
            const int sid = message.intAt(0);
            const float x = message.floatAt(1);
            const float y = message.floatAt(2);
            tuioCursors.insert(sid, TuioCursorRecord{x, y});
            if (sink)
                sink->cursorUpdated(sid, x, y);
        } else {
            const int sid = message.intAt(0);
            const int cid = message.intAt(1);
            const float x = message.floatAt(2);
            const float y = message.floatAt(3);
            const float angle = message.floatAt(4);
            tuioObjects.insert(sid, TuioObjectRecord{cid, x, y, angle});
            if (sink)
                sink->objectUpdated(sid, cid, x, y, angle);
        }
    } else if (message.command == TuioCommand::Alive) {
        TuioSessionSink *const target = sink;
        if (isCursor)
            pruneToAlive(message, tuioCursors, [target](int sid) {
                if (target)
                    target->cursorRemoved(sid);
            });
        else
            pruneToAlive(message, tuioObjects, [target](int sid) {
                if (target)
                    target->objectRemoved(sid);
            });
    }
}

void TuioSessions::processDatagram(const QByteArray &datagram)
{
    decodeTuioDatagram(datagram, decoded);
    for (const TuioMessage &message : std::as_const(decoded))
        applyMessage(message);
    framedInBatch += int(decoded.size());
}

void TuioSessions::endBatch()
{
    if (framedInBatch == 0)
        return;
    framedInBatch = 0;
    emit batchApplied();
}

void TuioSessions::clear()
{
    tuioCursors.clear();
    tuioObjects.clear();
    framedInBatch = 0;
}
