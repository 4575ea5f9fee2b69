#pragma once

#include "tuio/tuiodecoder.h"
#include "tuio/tuiosender.h"

#include <QRegularExpression>
#include <QStringList>

// A notation for frame tests. A live-state step lists the sessions of one setLiveSessions call:
// "c3@0.5,0.25" a cursor, "o0#3@0.25,0.25,1.5" an object (sid, class id, x, y, angle), "-" none.
// "resend" resends the full state, "stop" stops the sender.
inline void runFrameScript(TuioSender &sender, const QStringList &steps)
{
    for (const QString &step : steps) {
        if (step == QLatin1String("resend")) {
            sender.sendFullState();
            continue;
        }
        if (step == QLatin1String("stop")) {
            sender.stop();
            continue;
        }
        QList<TuioCursorState> cursors;
        QList<TuioObjectState> objects;
        static const QRegularExpression separators(QStringLiteral("[@#,]"));
        for (const QString &token : step.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QStringList f = token.mid(1).split(separators);
            if (token.startsWith(QLatin1Char('c')))
                cursors.append({f.at(0).toInt(), f.at(1).toFloat(), f.at(2).toFloat()});
            else if (token.startsWith(QLatin1Char('o')))
                objects.append({f.at(0).toInt(), f.at(1).toInt(), f.at(2).toFloat(),
                                f.at(3).toFloat(), f.at(4).toFloat()});
        }
        sender.setLiveSessions(cursors, objects);
    }
}

// A received frame bundle in the same notation, "2Dcur alive [3] c3@0.5,0.25 fseq 1"; message
// kinds out of the TUIO 1.1 order show as "?". `sources` collects the source names.
inline QString describeFrame(const QByteArray &datagram, QStringList &sources)
{
    const QList<TuioMessage> messages = decodeTuioDatagram(datagram);
    QStringList out;
    const auto number = [](float value) { return QString::number(double(value)); };
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const TuioMessage &m = messages.at(i);
        const bool object = m.profile == TuioProfile::Object2D;
        const bool last = i == messages.size() - 1;
        if (i == 0 && m.command == TuioCommand::Source) {
            sources << m.source;
        } else if (i == 1 && m.command == TuioCommand::Alive) {
            QStringList ids;
            for (qsizetype w = 0; w < m.words.size(); ++w)
                ids << QString::number(m.intAt(w));
            out << QStringLiteral("%1 alive [%2]")
                       .arg(object ? "2Dobj" : "2Dcur", ids.join(QLatin1Char(' ')));
        } else if (!last && m.command == TuioCommand::Set && object) {
            out << QStringLiteral("o%1#%2@%3,%4,%5")
                       .arg(m.intAt(0))
                       .arg(m.intAt(1))
                       .arg(number(m.floatAt(2)), number(m.floatAt(3)), number(m.floatAt(4)));
        } else if (!last && m.command == TuioCommand::Set) {
            out << QStringLiteral("c%1@%2,%3")
                       .arg(m.intAt(0))
                       .arg(number(m.floatAt(1)), number(m.floatAt(2)));
        } else if (last && m.command == TuioCommand::Fseq) {
            out << QStringLiteral("fseq %1").arg(m.intAt(0));
        } else {
            out << QStringLiteral("?");
        }
    }
    return out.join(QLatin1Char(' '));
}
