#include "tuio/tuioframes.h"

#include "tuio/osccodec.h"
#include "tuio/tuiomessages.h"

#include <QStringList>

namespace {

// "#bundle" and the 64-bit time tag.
constexpr qsizetype bundleHeaderSize = 16;
// Each bundle element is preceded by its size.
constexpr qsizetype elementSizeField = 4;

QByteArray buildAliveMessage(const QString &profileAddress, const QList<qint32> &alive)
{
    // The same bytes the single-message mode sends.
    return profileAddress.endsWith(QLatin1String("2Dobj")) ? buildObjectAlive(alive)
                                                           : buildCursorAlive(alive);
}

QString summaryText(const QString &profileAddress, qsizetype aliveCount,
                    const QList<TuioSetMessage> &sets, qint32 frameId)
{
    QStringList ids;
    ids.reserve(sets.size());
    for (const TuioSetMessage &set : sets)
        ids << QString::number(set.sid);
    return QStringLiteral("[TX] %1 alive %2 set [%3] fseq %4")
        .arg(profileAddress.section(QLatin1Char('/'), -1), QString::number(aliveCount),
             ids.join(QLatin1Char(',')), QString::number(frameId));
}

} // namespace

QByteArray buildOscBundle(const QList<QByteArray> &messages)
{
    QByteArray bundle;
    qsizetype size = bundleHeaderSize;
    for (const QByteArray &message : messages)
        size += elementSizeField + message.size();
    bundle.reserve(size);
    appendOscString(bundle, QStringLiteral("#bundle"));
    appendInt32(bundle, 0);
    appendInt32(bundle, 1);
    for (const QByteArray &message : messages) {
        appendInt32(bundle, qint32(message.size()));
        bundle += message;
    }
    return bundle;
}

QByteArray buildSourceMessage(const QString &profileAddress, const QString &source)
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("source"));
    appendOscString(arguments, source);
    return buildOscMessage(profileAddress, QStringLiteral(",ss"), arguments);
}

QByteArray buildFseqMessage(const QString &profileAddress, qint32 frameId)
{
    QByteArray arguments;
    appendOscString(arguments, QStringLiteral("fseq"));
    appendInt32(arguments, frameId);
    return buildOscMessage(profileAddress, QStringLiteral(",si"), arguments);
}

QList<TuioFrameDatagram> buildTuioFrame(const QString &profileAddress, const QString &source,
                                        const QList<qint32> &alive,
                                        const QList<TuioSetMessage> &sets, qint32 frameId)
{
    const QByteArray sourceMessage = buildSourceMessage(profileAddress, source);
    const QByteArray aliveMessage = buildAliveMessage(profileAddress, alive);
    const QByteArray fseqMessage = buildFseqMessage(profileAddress, frameId);
    const qsizetype fixedSize = bundleHeaderSize + 3 * elementSizeField + sourceMessage.size() +
                                aliveMessage.size() + fseqMessage.size();

    QList<TuioFrameDatagram> datagrams;
    qsizetype next = 0;
    do {
        QList<QByteArray> messages{sourceMessage, aliveMessage};
        QList<TuioSetMessage> carried;
        qsizetype size = fixedSize;
        while (next < sets.size() && carried.size() < maxSetsPerBundle) {
            const qsizetype added = elementSizeField + sets.at(next).message.size();
            if (!carried.isEmpty() && size + added > maxFrameDatagramSize)
                break;
            size += added;
            carried << sets.at(next);
            messages << sets.at(next).message;
            ++next;
        }
        messages << fseqMessage;
        datagrams << TuioFrameDatagram{buildOscBundle(messages),
                                       summaryText(profileAddress, alive.size(), carried, frameId)};
    } while (next < sets.size());
    return datagrams;
}

QList<TuioSetMessage> cursorSetMessages(const QList<TuioCursorState> &cursors)
{
    QList<TuioSetMessage> sets;
    sets.reserve(cursors.size());
    for (const TuioCursorState &cursor : cursors)
        sets << TuioSetMessage{cursor.sid, buildCursorSet(cursor.sid, cursor.x, cursor.y)};
    return sets;
}

QList<TuioSetMessage> objectSetMessages(const QList<TuioObjectState> &objects)
{
    QList<TuioSetMessage> sets;
    sets.reserve(objects.size());
    for (const TuioObjectState &object : objects)
        sets << TuioSetMessage{object.sid, buildObjectSet(object.sid, object.classId, object.x,
                                                          object.y, object.angle)};
    return sets;
}
