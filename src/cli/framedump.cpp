#include "framedump.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

const QString tuioPrefix = QStringLiteral("/tuio/");

QString senderText(const QHostAddress &address, quint16 port)
{
    const QString text = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(address.toString())
                             : address.toString();
    return QStringLiteral("%1:%2").arg(text).arg(port);
}

QString number(double value)
{
    return QString::number(value, 'g', 7);
}

} // namespace

void FrameDump::feed(const QByteArray &datagram, const QHostAddress &sender, quint16 senderPort,
                     qint64 wallNs, QByteArray &out)
{
    decodeTuioDatagram(datagram, messages);
    const QString from = senderText(sender, senderPort);
    const bool bundled = isOscBundle(datagram);
    QList<Frame> frames;
    for (const TuioMessage &message : messages) {
        if (!message.address.startsWith(tuioPrefix))
            continue;
        const QString profile = message.address.mid(tuioPrefix.size());
        if (message.command == TuioCommand::Source) {
            sources.insert(from, message.source);
            for (Frame &frame : frames)
                frame.source = message.source;
            continue;
        }
        Frame *frame = nullptr;
        if (bundled) {
            for (Frame &candidate : frames)
                if (candidate.profile == profile)
                    frame = &candidate;
            if (!frame) {
                frames.append(Frame());
                frame = &frames.last();
            }
        } else {
            frame = &pending[from + QLatin1Char(' ') + profile];
        }
        if (frame->empty()) {
            frame->profile = profile;
            frame->sender = from;
            frame->source = sources.value(from);
            frame->wallNs = wallNs;
        }
        add(*frame, message);
        if (!bundled && frame->hasFseq) {
            write(*frame, out);
            *frame = {};
        }
    }
    for (const Frame &frame : frames)
        write(frame, out);
}

void FrameDump::flush(QByteArray &out)
{
    for (const Frame &frame : std::as_const(pending))
        if (!frame.empty())
            write(frame, out);
    pending.clear();
}

void FrameDump::add(Frame &frame, const TuioMessage &message)
{
    switch (message.command) {
    case TuioCommand::Fseq:
        frame.hasFseq = true;
        frame.fseq = message.intAt(0);
        break;
    case TuioCommand::Alive:
        frame.hasAlive = true;
        frame.alive.clear();
        for (qsizetype i = 0; i < message.words.size(); ++i)
            frame.alive.append(message.intAt(i));
        break;
    case TuioCommand::Set: {
        // The tags after ",s" (the command) say how each word reads.
        QList<double> values;
        for (qsizetype i = 0; i < message.words.size(); ++i) {
            const char tag = i + 2 < message.typeTags.size() ? message.typeTags[i + 2] : 'i';
            values.append(tag == 'f' ? double(message.floatAt(i)) : double(message.intAt(i)));
        }
        frame.sets.append(values);
        break;
    }
    default:
        break;
    }
}

void FrameDump::write(const Frame &frame, QByteArray &out) const
{
    if (json) {
        QJsonObject object;
        object.insert(QStringLiteral("time"), double(frame.wallNs / 1000) / 1e6);
        object.insert(QStringLiteral("source"), frame.source);
        object.insert(QStringLiteral("sender"), frame.sender);
        object.insert(QStringLiteral("profile"), frame.profile);
        if (frame.hasFseq)
            object.insert(QStringLiteral("fseq"), frame.fseq);
        if (frame.hasAlive) {
            QJsonArray alive;
            for (const qint32 id : frame.alive)
                alive.append(id);
            object.insert(QStringLiteral("alive"), alive);
        }
        QJsonArray sets;
        for (const QList<double> &values : frame.sets) {
            QJsonArray set;
            for (const double value : values)
                set.append(value);
            sets.append(set);
        }
        object.insert(QStringLiteral("set"), sets);
        out += QJsonDocument(object).toJson(QJsonDocument::Compact);
        out += '\n';
        return;
    }
    QString line = QDateTime::fromMSecsSinceEpoch(frame.wallNs / 1000000)
                       .toString(QStringLiteral("HH:mm:ss.zzz")) +
                   QLatin1Char(' ') +
                   (frame.source.isEmpty() ? QStringLiteral("-") : frame.source) +
                   QLatin1Char(' ') + frame.sender + QLatin1Char(' ') + frame.profile;
    if (frame.hasFseq)
        line += QStringLiteral(" fseq ") + QString::number(frame.fseq);
    if (frame.hasAlive) {
        QStringList ids;
        for (const qint32 id : frame.alive)
            ids << QString::number(id);
        line += QStringLiteral(" alive [") + ids.join(QLatin1Char(' ')) + QLatin1Char(']');
    }
    for (const QList<double> &values : frame.sets) {
        QStringList texts;
        for (const double value : values)
            texts << number(value);
        line += QStringLiteral(" set (") + texts.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    out += line.toUtf8();
    out += '\n';
}
