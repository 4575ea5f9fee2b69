#pragma once

#include "comm/logentry.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

// Record keeper of the traffic log: bounded entry store, byte counters, log
// display settings, text encodings and exports.
class CommunicationBase : public QObject
{
    Q_OBJECT

public:
    explicit CommunicationBase(QObject *parent = nullptr);
    ~CommunicationBase() override;

    // Number of entries kept; 0 or less keeps everything.
    virtual int maxLogEntries() const;

    void logTx(const QByteArray &data);
    void logRx(const QByteArray &data);
    void logSystem(const QString &message);
    void addLogEntry(const LogEntry &entry);
    void addTxBytes(qint64 n);
    void addRxBytes(qint64 n);

    // False when the file cannot be opened or did not receive all of its content.
    bool exportToFile(const QString &fileName, bool useHex, bool asCsv);

    QByteArray encodeText(const QString &text) const;
    QString decodeBytes(const QByteArray &data) const;

    bool showTimestamp() const { return m_showTimestamp; }
    bool autoScroll() const { return m_autoScroll; }
    bool hexDisplay() const { return m_hexDisplay; }
    QString encoding() const { return m_encoding; }
    qint64 txBytes() const { return m_txBytes; }
    qint64 rxBytes() const { return m_rxBytes; }

    // A copy of the stored log, oldest first, taken under the entry lock. Keep it
    // short-lived: while it is alive the next add copies the whole store.
    QList<LogEntry> entries() const;
    int entryCount() const;

    static QStringList supportedEncodings();
    static QString toHexString(const QByteArray &data);
    static bool isValidHexString(const QString &text);
    static QString normalizeHexString(const QString &text);
    static QByteArray hexStringToBytes(const QString &text);

public slots:
    void clearLog();
    void resetCounters();
    // Affect later entries and rows only; nothing is emitted.
    void setShowTimestamp(bool on) { m_showTimestamp = on; }
    void setAutoScroll(bool on) { m_autoScroll = on; }
    void setHexDisplay(bool on) { m_hexDisplay = on; }
    void setEncoding(const QString &name) { m_encoding = name; }

signals:
    void logEntryAdded(LogEntry entry);
    void logCleared();
    void countersUpdated();
    void connectionStatusChanged(bool connected);

private:
    LogEntry makeDataEntry(LogEntry::Direction direction, const QByteArray &data) const;

    bool m_showTimestamp = true;
    bool m_autoScroll = true;
    bool m_hexDisplay = false;
    QString m_encoding = QStringLiteral("UTF-8");
    qint64 m_txBytes = 0;
    qint64 m_rxBytes = 0;
    QList<LogEntry> m_entries;
    mutable QMutex m_entryLock;
};
