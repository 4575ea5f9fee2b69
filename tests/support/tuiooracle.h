#pragma once

#include "tuio/osccodec.h"
#include "tuio/tuiosender.h"

#include <QRegularExpression>
#include <QStringList>

// A TUIO datagram put together with the OSC codec alone from its description: "cur set 0 0.5
// 0.25", "obj set 0 3 0.5 0.25 1.5", "cur alive 0 1", "obj fseq -1" (velocities and accelerations
// 0). Messages joined by ", " make a frame bundle, time tag 1, after the source message of
// "tactora@127.0.0.1": "cur alive 3, set 3 0.5 0.25, fseq 1".
inline QByteArray tuioDatagram(const QString &description)
{
    const QString profile = description.section(' ', 0, 0);
    const auto message = [&profile](QStringList f) {
        const bool set = f.at(0) == QLatin1String("set");
        // Fields before this index are integers, or the source name.
        const qsizetype ints = set ? (profile == QLatin1String("cur") ? 2 : 3) : f.size();
        f += QStringList(set ? (ints == 2 ? 3 : 5) : 0, QStringLiteral("0"));
        QString tags = QStringLiteral(",s");
        QByteArray arguments;
        appendOscString(arguments, f.at(0));
        for (qsizetype i = 1; i < f.size(); ++i) {
            const QChar tag = f.at(0) == QLatin1String("source") ? 's' : i < ints ? 'i' : 'f';
            tags += tag;
            tag == 's'   ? appendOscString(arguments, f.at(i))
            : tag == 'i' ? appendInt32(arguments, f.at(i).toInt())
                         : appendFloat32(arguments, f.at(i).toFloat());
        }
        return buildOscMessage(QStringLiteral("/tuio/2D") + profile, tags, arguments);
    };
    QStringList parts = description.section(' ', 1).split(QStringLiteral(", "));
    if (parts.size() == 1)
        return message(parts.at(0).split(' ', Qt::SkipEmptyParts));
    QByteArray bundle("#bundle\0\0\0\0\0\0\0\0\1", 16);
    for (const QString &part : QStringList{"source tactora@127.0.0.1"} + parts) {
        const QByteArray bytes = message(part.split(' ', Qt::SkipEmptyParts));
        appendInt32(bundle, qint32(bytes.size()));
        bundle += bytes;
    }
    return bundle;
}

// One step of a frame sender: "resend", "stop", or the sessions of one setLiveSessions call,
// "c3@0.5,0.25" a cursor, "o0#3@0.25,0.25,1.5" an object (sid, class id, x, y, angle), "-" none.
inline void frameStep(TuioSender &sender, const QString &step)
{
    if (step == QLatin1String("resend"))
        return sender.sendFullState();
    if (step == QLatin1String("stop"))
        return sender.stop();
    QList<TuioCursorState> cursors;
    QList<TuioObjectState> objects;
    static const QRegularExpression separators(QStringLiteral("[@#,]"));
    for (const QString &token : step.split(' ', Qt::SkipEmptyParts)) {
        const QStringList f = token.mid(1).split(separators);
        const auto num = [&f](int i) { return f.value(i).toFloat(); };
        if (token.startsWith('c'))
            cursors.append({f.at(0).toInt(), num(1), num(2)});
        else if (token.startsWith('o'))
            objects.append({f.at(0).toInt(), f.at(1).toInt(), num(2), num(3), num(4)});
    }
    sender.setLiveSessions(cursors, objects);
}
