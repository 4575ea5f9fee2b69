#include "comm/communicationbase.h"

#include <QtTest>

#include <functional>
#include <optional>

namespace {

// Keeps `max` entries, or what the base keeps when none is given.
struct LimitedCore : CommunicationBase
{
    std::optional<int> max;
    int maxLogEntries() const override { return max ? *max : CommunicationBase::maxLogEntries(); }
};

using Operation = std::function<void(CommunicationBase &)>;

LogEntry entryAt(QTime time, int direction, const QString &text, const QString &hex = {})
{
    return {QDateTime(QDate(2024, 5, 6), time), direction, {}, text, hex.isNull() ? text : hex};
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

Q_DECLARE_METATYPE(Operation)
Q_DECLARE_METATYPE(std::optional<int>)

class TestCommunicationBase : public QObject
{
    Q_OBJECT

private slots:
    void signalsEntriesAndCounters_data()
    {
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QString>("events");
        // From tx=2 rx=3 and 2 entries; events show tx, rx, entry count and the new entry.
        auto row = [](const char *name, const char *events, Operation op) {
            QTest::newRow(name) << op << QString::fromUtf8(events);
        };
        row("logTx", "added 2 3 3 [TX] Hi|48 69, counters 4 3 3", [](auto &c) { c.logTx("Hi"); });
        row("logRx", "added 2 3 3 [RX] 中\ufffd|E4 B8 AD FF, counters 2 7 3",
            [](auto &c) { c.logRx("\xe4\xb8\xad\xff"); });
        row("empty logTx", "added 2 3 3 [TX] |, counters 2 3 3", [](auto &c) { c.logTx({}); });
        row("logSystem", "added 2 3 3 [SYS] 开始|开始", [](auto &c) { c.logSystem("开始"); });
        row("addTxBytes", "counters 12 3 2", [](auto &c) { c.addTxBytes(10); });
        row("addRxBytes", "counters 2 13 2", [](auto &c) { c.addRxBytes(10); });
        row("resetCounters", "counters 0 0 2", [](auto &c) { c.resetCounters(); });
        row("clearLog", "cleared 2 3 0", [](auto &c) { c.clearLog(); });
    }
    void signalsEntriesAndCounters()
    {
        QFETCH(Operation, operation);
        CommunicationBase core;
        QCOMPARE(QMetaType::fromName("LogEntry"), QMetaType::fromType<LogEntry>());
        core.logTx("ab");
        core.logRx("cde");
        // Receivers read the store, which needs the entry lock to be free while signals run.
        QStringList events;
        auto record = [&](const char *what) {
            return [&, what](const LogEntry &e = {}) {
                events << QString::asprintf("%s %lld %lld %d", what, core.txBytes(), core.rxBytes(),
                                            core.entryCount());
                if (e.timestamp.isValid())
                    events.last() += ' ' + directionTag(e) + ' ' + e.text + '|' + e.hexText;
            };
        };
        connect(&core, &CommunicationBase::logEntryAdded, this, record("added"));
        connect(&core, &CommunicationBase::countersUpdated, this, record("counters"));
        connect(&core, &CommunicationBase::logCleared, this, record("cleared"));
        operation(core);
        QTEST(events.join(", "), "events");
        const QDateTime stamp = core.entries().value(2).timestamp; // a new entry: local time now
        QVERIFY(!stamp.isValid() || (stamp.timeSpec() == Qt::LocalTime &&
                                     qAbs(stamp.msecsTo(QDateTime::currentDateTime())) < 2000));
    }

    // 100001 entries in; the first one kept tells which went.
    void storeLimit_data()
    {
        QTest::addColumn<std::optional<int>>("limit");
        QTest::addColumn<int>("kept");
        QTest::newRow("base keeps 100000") << std::optional<int>() << 100000;
        QTest::newRow("zero keeps all") << std::optional<int>(0) << 100001;
    }
    void storeLimit()
    {
        QFETCH(int, kept);
        LimitedCore core;
        QFETCH(std::optional<int>, limit);
        core.max = limit;
        for (int i = 0; i < 100001; ++i)
            core.addLogEntry(entryAt(QTime(12, 0), LogEntry::Rx, QString::number(i)));
        QCOMPARE(core.entryCount(), kept);
        QCOMPARE(core.entries().constFirst().text, QString::number(100001 - kept));
        QTemporaryDir dir;
        QVERIFY(core.exportToFile(dir.filePath("log.txt"), false, false));
        QCOMPARE(readAll(dir.filePath("log.txt")).count('\n'), kept);
    }

    void encodings_data()
    {
        QTest::addColumn<QString>("encoding");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("ways"); // 1 encode, 2 decode
        auto row = [](const char *name, const QString &encoding, const QString &text,
                      const QByteArray &bytes,
                      int ways = 3) { QTest::newRow(name) << encoding << text << bytes << ways; };
        const QString mixed = QStringLiteral("A中é");
        const QByteArray utf8("A\xe4\xb8\xad\xc3\xa9");
        row("UTF-8", "UTF-8", mixed, utf8);
        row("unknown name", "NoSuchCharset", mixed, utf8);
        row("ASCII", "ASCII", "Aé\u00ff", "A\xe9\xff");
        row("ascii", "ascii", "\ufffd", "\xe9", 2); // exact names only: this is US-ASCII
        row("Unicode", "Unicode", mixed, QByteArray("A\0\x2d\x4e\xe9\0", 6));
        row("Unicode odd byte", "Unicode", "ab", QByteArray("a\0b\0c", 5), 2);
        row("Unicode BOM", "Unicode", QStringLiteral("\ufeffA"), QByteArray::fromHex("fffe4100"));
        row("GBK", "GBK", "中文", "\xd6\xd0\xce\xc4");
    }
    void encodings()
    {
        QFETCH(QString, encoding);
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QFETCH(int, ways);
        CommunicationBase core;
        core.setEncoding(encoding);
        if (ways & 1)
            QCOMPARE(core.encodeText(text).toHex(' '), bytes.toHex(' '));
        if (ways & 2) {
            core.logRx(bytes); // new entries decode with the encoding in force
            QCOMPARE(core.decodeBytes(bytes), text);
            QCOMPARE(core.entries().constFirst().text, text);
        }
    }

    void exports_data()
    {
        QTest::addColumn<QList<LogEntry>>("entries");
        QTest::addColumn<bool>("useHex");
        QTest::addColumn<bool>("asCsv");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QByteArray>("content");
        using L = QList<LogEntry>;
        const LogEntry sys = entryAt(QTime(14, 3, 27, 815), LogEntry::System, "服务器模式");
        const LogEntry rx = entryAt(QTime(9, 0, 1, 2), LogEntry::Rx, "a\"b", "61 22 62");
        const LogEntry tx = entryAt(QTime(9, 0, 1, 3), LogEntry::Tx, "x\ny,\"z\"", "78");
        const LogEntry odd = entryAt(QTime(0, 0), 7, "?", "3F");
        auto row = [](const char *name, const L &entries, bool hex, bool csv, const char *content,
                      const QString &path = "export", bool ok = true) {
            // CSV content is written with ' for " to stay readable.
            QByteArray expected(content);
            if (csv)
                expected.replace('\'', '"').prepend("Timestamp,Direction,Data\n");
            QTest::newRow(name) << entries << hex << csv << path << ok << expected;
        };
        row("empty text", {}, false, false, "");
        row("empty CSV", {}, false, true, "");
        row("text", {sys, rx, odd}, false, false,
            "14:03:27.815 [SYS] 服务器模式\n09:00:01.002 [RX] a\"b\n00:00:00.000  ?\n");
        row("text hex", {sys, tx}, true, false,
            "14:03:27.815 [SYS] 服务器模式\n09:00:01.003 [TX] 78\n");
        row("CSV quoting", {rx, tx}, false, true,
            "'09:00:01.002','[RX]','a''b'\n'09:00:01.003','[TX]','x\ny,''z'''\n");
        row("CSV hex", {sys, odd}, true, true,
            "'14:03:27.815','[SYS]','服务器模式'\n'00:00:00.000','','3F'\n");
        row("missing directory", {rx, tx}, false, false, "", "missing/log", false);
        // A full disk must not pass for a finished export.
        row("full, one line", {rx}, false, false, "", "/dev/full", false);
        row("full, many lines", L(5000, rx), false, true, "", "/dev/full", false);
        row("full, nothing to write", {}, false, false, "", "/dev/full", true);
    }
    void exports()
    {
        QFETCH(QList<LogEntry>, entries);
        QFETCH(bool, useHex);
        QFETCH(bool, asCsv);
        QFETCH(QString, path);
        if (path == "/dev/full" && !QFile::exists(path))
            QSKIP("no /dev/full here");
        QTemporaryDir dir;
        QFile file(QDir(dir.path()).absoluteFilePath(path));
        if (path == "export") // replaced, not appended to
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old content") && file.flush());
        CommunicationBase core;
        for (const LogEntry &entry : entries)
            core.addLogEntry(entry);
        QTEST(core.exportToFile(file.fileName(), useHex, asCsv), "ok");
        QCOMPARE(core.entries().size(), entries.size());
        if (path == "export")
            QTEST(readAll(file.fileName()), "content"); // UTF-8 without byte-order mark
    }
};

QTEST_GUILESS_MAIN(TestCommunicationBase)
#include "tst_communicationbase.moc"
