#include "tuio/tuiosessions.h"

#include "tuio/tuioprofiles.h"

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
        return applyItemMessage(message);
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

const TuioItemTable &TuioSessions::items(TuioProfile profile) const
{
    static const TuioItemTable none;
    const int index = tuioItemIndex(profile);
    return index < 0 ? none : tuioItems[size_t(index)];
}

void TuioSessions::applyItemMessage(const TuioMessage &message)
{
    const int index = tuioItemIndex(message.profile);
    if (index < 0)
        return;
    TuioItemTable &table = tuioItems[size_t(index)];
    if (message.command == TuioCommand::Set) {
        int sid = 0;
        TuioItemRecord item;
        if (!readTuioItemSet(message, sid, item))
            return;
        table.insert(sid, item);
        if (sink)
            sink->itemUpdated(message.profile, sid, item);
    } else if (message.command == TuioCommand::Alive) {
        TuioSessionSink *const target = sink;
        const TuioProfile profile = message.profile;
        pruneToAlive(message, table, [target, profile](int sid) {
            if (target)
                target->itemRemoved(profile, sid);
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
    for (TuioItemTable &table : tuioItems)
        table.clear();
    framedInBatch = 0;
}
