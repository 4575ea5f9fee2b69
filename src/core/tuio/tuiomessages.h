#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

class QHostAddress;

// The datagrams the client sends, one TUIO message each; velocities and accelerations are 0.
QByteArray buildCursorSet(qint32 sid, float x, float y);
QByteArray buildCursorAlive(const QList<qint32> &sids);
QByteArray buildObjectSet(qint32 sid, qint32 cid, float x, float y, float angle);
QByteArray buildObjectAlive(const QList<qint32> &sids);

// The log text of a sent cursor set, e.g. "[TX] cursor s12 (0.50,0.25)".
QString cursorTxText(qint32 sid, float x, float y);
// The log text of a received datagram, e.g. "[127.0.0.1:50000] 52B", and its part before the
// size, "[127.0.0.1:50000] ".
QString datagramSummaryText(const QString &senderAddress, quint16 senderPort, qsizetype size);
QString datagramSummaryPrefix(const QString &senderAddress, quint16 senderPort);
// The log line of a send that could not be written.
QString sendFailureText(const QString &targetHost, int targetPort, const QString &error);

// The error named when the target field holds no literal address.
QString notLiteralAddressText();
// The target field's text as an address: literal IPv4 or IPv6 only, never a name lookup.
QHostAddress literalHostAddress(const QString &text);
