#include "comm/communicationbase.h"

#include <QFile>
#include <QMutexLocker>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTextStream>

#include <array>
#include <limits>

namespace {

const QString kUtf8 = QStringLiteral("UTF-8");
const QString kAscii = QStringLiteral("ASCII");
const QString kUnicode = QStringLiteral("Unicode");

// "00" .. "FF", two UTF-16 units per byte value.
const std::array<char16_t, 512> &hexPairs()
{
    static const std::array<char16_t, 512> table = [] {
        std::array<char16_t, 512> t{};
        const char digits[] = "0123456789ABCDEF";
        for (int b = 0; b < 256; ++b) {
            t[size_t(2 * b)] = char16_t(digits[b >> 4]);
            t[size_t(2 * b + 1)] = char16_t(digits[b & 15]);
        }
        return t;
    }();
    return table;
}

// Value of an ASCII hex digit, or -1.
int hexValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

// Local time stamp of now. Converting to local time costs about 2 us (time zone
// look-up), so entries logged within the same millisecond share one conversion;
// the result is the value QDateTime::currentDateTime() gives for that millisecond.
QDateTime currentLocalTime()
{
    thread_local qint64 cachedMsecs = std::numeric_limits<qint64>::min();
    thread_local QDateTime cachedStamp;
    const qint64 msecs = QDateTime::currentMSecsSinceEpoch();
    if (msecs != cachedMsecs) {
        cachedStamp = QDateTime::fromMSecsSinceEpoch(msecs, Qt::LocalTime);
        cachedMsecs = msecs;
    }
    return cachedStamp;
}

QString csvQuoted(const QString &field)
{
    if (!field.contains(QLatin1Char('"')))
        return field;
    QString doubled = field;
    doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return doubled;
}

} // namespace

CommunicationBase::CommunicationBase(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<LogEntry>("LogEntry");
}

CommunicationBase::~CommunicationBase() = default;

int CommunicationBase::maxLogEntries() const
{
    return 100000;
}

LogEntry CommunicationBase::makeDataEntry(LogEntry::Direction direction,
                                          const QByteArray &data) const
{
    LogEntry entry;
    entry.timestamp = currentLocalTime();
    entry.direction = direction;
    entry.data = data;
    entry.text = decodeBytes(data);
    entry.hexText = toHexString(data);
    return entry;
}

void CommunicationBase::logTx(const QByteArray &data)
{
    addLogEntry(makeDataEntry(LogEntry::Tx, data));
    m_txBytes += data.size();
    emit countersUpdated();
}

void CommunicationBase::logRx(const QByteArray &data)
{
    addLogEntry(makeDataEntry(LogEntry::Rx, data));
    m_rxBytes += data.size();
    emit countersUpdated();
}

void CommunicationBase::logSystem(const QString &message)
{
    LogEntry entry;
    entry.timestamp = currentLocalTime();
    entry.direction = LogEntry::System;
    entry.text = message;
    entry.hexText = message;
    addLogEntry(entry);
}

void CommunicationBase::addLogEntry(const LogEntry &entry)
{
    {
        QMutexLocker locker(&m_entryLock);
        m_entries.append(entry);
        const int max = maxLogEntries();
        // Removing from the front only moves the list's begin pointer; the freed
        // slots are reused when the list next runs out of room at the end.
        if (max > 0 && m_entries.size() > max)
            m_entries.remove(0, m_entries.size() - max);
    }
    emit logEntryAdded(entry);
}

void CommunicationBase::clearLog()
{
    {
        QMutexLocker locker(&m_entryLock);
        m_entries.clear();
    }
    emit logCleared();
}

void CommunicationBase::resetCounters()
{
    m_txBytes = 0;
    m_rxBytes = 0;
    emit countersUpdated();
}

void CommunicationBase::addTxBytes(qint64 n)
{
    m_txBytes += n;
    emit countersUpdated();
}

void CommunicationBase::addRxBytes(qint64 n)
{
    m_rxBytes += n;
    emit countersUpdated();
}

bool CommunicationBase::exportToFile(const QString &fileName, bool useHex, bool asCsv)
{
    QMutexLocker locker(&m_entryLock);
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return false;

    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    out.setGenerateByteOrderMark(false);

    if (asCsv) {
        out << "Timestamp,Direction,Data\n";
        for (const LogEntry &entry : std::as_const(m_entries)) {
            out << '"' << formatTime(entry) << "\",\"" << directionTag(entry) << "\",\""
                << csvQuoted(useHex ? entry.hexText : entry.text) << "\"\n";
        }
    } else {
        for (const LogEntry &entry : std::as_const(m_entries)) {
            out << formatTime(entry) << ' ' << directionTag(entry) << ' '
                << (useHex ? entry.hexText : entry.text) << '\n';
        }
    }

    // A full disk or an I/O error shows up only when the buffers reach the device.
    out.flush();
    bool complete = out.status() == QTextStream::Ok;
    complete = file.flush() && complete;
    file.close();
    return complete && file.error() == QFileDevice::NoError;
}

QByteArray CommunicationBase::encodeText(const QString &text) const
{
    if (m_encoding.isEmpty() || m_encoding == kUtf8)
        return text.toUtf8();
    if (m_encoding == kAscii)
        return text.toLatin1();
    if (m_encoding == kUnicode) {
        QByteArray bytes(text.size() * 2, Qt::Uninitialized);
        char *out = bytes.data();
        for (const QChar c : text) {
            const char16_t u = c.unicode();
            *out++ = char(u & 0xff);
            *out++ = char(u >> 8);
        }
        return bytes;
    }
    QStringEncoder encoder(m_encoding.toUtf8().constData());
    if (!encoder.isValid())
        return text.toUtf8();
    return encoder.encode(text);
}

QString CommunicationBase::decodeBytes(const QByteArray &data) const
{
    if (data.isEmpty())
        return QString();
    if (m_encoding.isEmpty() || m_encoding == kUtf8)
        return QString::fromUtf8(data);
    if (m_encoding == kAscii)
        return QString::fromLatin1(data);
    if (m_encoding == kUnicode) {
        // Plain little-endian code units: no BOM detection, an odd last byte is dropped.
        const qsizetype units = data.size() / 2;
        QString text(units, Qt::Uninitialized);
        QChar *out = text.data();
        const auto *in = reinterpret_cast<const uchar *>(data.constData());
        for (qsizetype i = 0; i < units; ++i)
            out[i] = QChar(char16_t(in[2 * i] | (in[2 * i + 1] << 8)));
        return text;
    }
    QStringDecoder decoder(m_encoding.toUtf8().constData());
    if (!decoder.isValid())
        return QString::fromUtf8(data);
    return decoder.decode(data);
}

QList<LogEntry> CommunicationBase::entries() const
{
    QMutexLocker locker(&m_entryLock);
    return m_entries;
}

int CommunicationBase::entryCount() const
{
    QMutexLocker locker(&m_entryLock);
    return int(m_entries.size());
}

QStringList CommunicationBase::supportedEncodings()
{
    return {kUtf8, kAscii, QStringLiteral("GBK"), QStringLiteral("GB2312"), kUnicode};
}

QString CommunicationBase::toHexString(const QByteArray &data)
{
    if (data.isEmpty())
        return QString();
    const auto &pairs = hexPairs();
    QString hex(data.size() * 3 - 1, Qt::Uninitialized);
    auto *out = reinterpret_cast<char16_t *>(hex.data());
    const auto *in = reinterpret_cast<const uchar *>(data.constData());
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (i > 0)
            *out++ = u' ';
        *out++ = pairs[size_t(2 * in[i])];
        *out++ = pairs[size_t(2 * in[i] + 1)];
    }
    return hex;
}

bool CommunicationBase::isValidHexString(const QString &text)
{
    qsizetype digits = 0;
    for (const QChar c : text) {
        if (hexValue(c) >= 0)
            ++digits;
        else if (c != QLatin1Char(' ') && c != QLatin1Char('-'))
            return false;
    }
    return digits > 0 && digits % 2 == 0;
}

QString CommunicationBase::normalizeHexString(const QString &text)
{
    QString out;
    out.reserve(text.size() + text.size() / 2);
    qsizetype digits = 0;
    for (const QChar c : text) {
        if (hexValue(c) < 0)
            continue;
        if (digits > 0 && digits % 2 == 0)
            out += QLatin1Char(' ');
        out += c.toUpper();
        ++digits;
    }
    return out;
}

QByteArray CommunicationBase::hexStringToBytes(const QString &text)
{
    QByteArray bytes;
    bytes.reserve(text.size() / 2);
    int high = -1;
    for (const QChar c : text) {
        const int v = hexValue(c);
        if (v < 0)
            continue;
        if (high < 0) {
            high = v;
        } else {
            bytes.append(char((high << 4) | v));
            high = -1;
        }
    }
    if (bytes.isEmpty() || high >= 0)
        return QByteArray();
    return bytes;
}
