#include "tuio/tuiomessages.h"

#include "tuio/osccodec.h"

#include <QHostAddress>

#include <charconv>

namespace {

const QString cursorAddress = QStringLiteral("/tuio/2Dcur");
const QString objectAddress = QStringLiteral("/tuio/2Dobj");

QByteArray buildAlive(const QString &address, const QList<qint32> &sids)
{
    QByteArray arguments;
    arguments.reserve(8 + 4 * sids.size());
    appendOscString(arguments, QStringLiteral("alive"));
    for (qint32 sid : sids)
        appendInt32(arguments, sid);
    return buildOscMessage(address, QStringLiteral(",s") + QString(sids.size(), QLatin1Char('i')),
                           arguments);
}

} // namespace

QByteArray buildCursorSet(qint32 sid, float x, float y)
{
    QByteArray arguments;
    arguments.reserve(28);
    appendOscString(arguments, QStringLiteral("set"));
    appendInt32(arguments, sid);
    appendFloat32(arguments, x);
    appendFloat32(arguments, y);
    for (int i = 0; i < 3; ++i)
        appendFloat32(arguments, 0.0f);
    return buildOscMessage(cursorAddress, QStringLiteral(",sifffff"), arguments);
}

QByteArray buildCursorAlive(const QList<qint32> &sids)
{
    return buildAlive(cursorAddress, sids);
}

QByteArray buildObjectSet(qint32 sid, qint32 cid, float x, float y, float angle)
{
    QByteArray arguments;
    arguments.reserve(44);
    appendOscString(arguments, QStringLiteral("set"));
    appendInt32(arguments, sid);
    appendInt32(arguments, cid);
    appendFloat32(arguments, x);
    appendFloat32(arguments, y);
    appendFloat32(arguments, angle);
    for (int i = 0; i < 5; ++i)
        appendFloat32(arguments, 0.0f);
    return buildOscMessage(objectAddress, QStringLiteral(",siiffffffff"), arguments);
}

QByteArray buildObjectAlive(const QList<qint32> &sids)
{
    return buildAlive(objectAddress, sids);
}

namespace {

// printf's "%.2f" (0.125 -> "0.12", exact binary value rounded) whatever the user's locale;
// QString::asprintf rounds ties away from zero and snprintf follows LC_NUMERIC.
QString fixed2(float value)
{
    char text[64];
    const auto result =
        std::to_chars(text, text + sizeof text, double(value), std::chars_format::fixed, 2);
    return QString::fromLatin1(text, int(result.ptr - text));
}

} // namespace

QString cursorTxText(qint32 sid, float x, float y)
{
    return QStringLiteral("[TX] cursor s%1 (%2,%3)")
        .arg(QString::number(sid), fixed2(x), fixed2(y));
}

QString datagramSummaryText(const QString &senderAddress, quint16 senderPort, qsizetype size)
{
    return datagramSummaryPrefix(senderAddress, senderPort) + QString::number(size) +
           QLatin1Char('B');
}

QString datagramSummaryPrefix(const QString &senderAddress, quint16 senderPort)
{
    return QStringLiteral("[%1:%2] ").arg(senderAddress, QString::number(senderPort));
}

QString sendFailureText(const QString &targetHost, int targetPort, const QString &error)
{
    // One pass: a "%2" in the host text or the error stays as it is.
    return QStringLiteral("发送失败 -> %1:%2: %3")
        .arg(targetHost, QString::number(targetPort), error);
}

QString notLiteralAddressText()
{
    return QStringLiteral("目标地址不是IP地址");
}

QHostAddress literalHostAddress(const QString &text)
{
    return QHostAddress(text);
}
