#include "comm/communicationbase.h"

#include <QtTest>

#include <QFile>
#include <QTemporaryDir>
#include <QThread>

namespace {

class KeepAllCore : public CommunicationBase
{
public:
    explicit KeepAllCore(int limit) : m_limit(limit) {}
    int maxLogEntries() const override { return m_limit; }

private:
    int m_limit = 0;
};

LogEntry entryAt(const QTime &time, int direction, const QString &text,
                 const QString &hexText = QString())
{
    LogEntry entry;
    entry.timestamp = QDateTime(QDate(2024, 5, 6), time);
    entry.direction = direction;
    entry.text = text;
    entry.hexText = hexText.isNull() ? text : hexText;
    return entry;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return file.readAll();
}

// Records the core's signals in emission order, with the counters each receiver saw.
struct SignalLog
{
    explicit SignalLog(CommunicationBase &core)
    {
        QObject::connect(&core, &CommunicationBase::logEntryAdded, [this, &core](LogEntry e) {
            events << QStringLiteral("added tx=%1 rx=%2").arg(core.txBytes()).arg(core.rxBytes());
            entries << e;
        });
        QObject::connect(&core, &CommunicationBase::logCleared,
                         [this] { events << QStringLiteral("cleared"); });
        QObject::connect(&core, &CommunicationBase::countersUpdated, [this, &core] {
            events
                << QStringLiteral("counters tx=%1 rx=%2").arg(core.txBytes()).arg(core.rxBytes());
        });
    }
    QStringList events;
    QList<LogEntry> entries;
};

} // namespace

class TestCommunicationBase : public QObject
{
    Q_OBJECT

private slots:
    void logEntryValueAndMetaType();
    void formatTimeAndTag_data();
    void formatTimeAndTag();
    void dataEntries_data();
    void dataEntries();
    void systemEntry();
    void signalOrderAndCounters_data();
    void signalOrderAndCounters();
    void clearAndResetAreIndependent();
    void receiverMayCallBack();
    void storeLimit();
    void subclassWithoutLimit_data();
    void subclassWithoutLimit();
    void entriesFromAnotherThread();
    void encodeText_data();
    void encodeText();
    void decodeBytes_data();
    void decodeBytes();
    void supportedEncodings();
    void toHexString_data();
    void toHexString();
    void hexInput_data();
    void hexInput();
    void exportFormats_data();
    void exportFormats();
    void exportReplacesContent();
    void exportToMissingDirectory();
    void exportToFullDevice_data();
    void exportToFullDevice();
};

void TestCommunicationBase::logEntryValueAndMetaType()
{
    const LogEntry empty;
    QVERIFY(empty.timestamp.isNull());
    QCOMPARE(empty.direction, 0);
    QVERIFY(empty.data.isEmpty() && empty.text.isEmpty() && empty.hexText.isEmpty());

    CommunicationBase core;
    const QMetaType type = QMetaType::fromName("LogEntry");
    QVERIFY(type.isValid());
    QCOMPARE(type, QMetaType::fromType<LogEntry>());
    const QVariant wrapped = QVariant::fromValue(entryAt(QTime(1, 2, 3), LogEntry::Rx, "x"));
    QCOMPARE(wrapped.value<LogEntry>().text, QStringLiteral("x"));
}

void TestCommunicationBase::formatTimeAndTag_data()
{
    QTest::addColumn<QDateTime>("timestamp");
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("tag");

    const QDate day(2024, 5, 6);
    QTest::newRow("tx afternoon") << QDateTime(day, QTime(14, 3, 27, 815)) << 0 << "14:03:27.815"
                                  << "[TX]";
    QTest::newRow("rx midnight") << QDateTime(day, QTime(0, 0, 0, 5)) << 1 << "00:00:00.005"
                                 << "[RX]";
    QTest::newRow("sys last ms") << QDateTime(day, QTime(23, 59, 59, 999)) << 2 << "23:59:59.999"
                                 << "[SYS]";
    QTest::newRow("unknown direction") << QDateTime(day, QTime(9, 8, 7, 60)) << 3 << "09:08:07.060"
                                       << "";
    QTest::newRow("negative direction") << QDateTime(day, QTime(10, 0)) << -1 << "10:00:00.000"
                                        << "";
    QTest::newRow("null time stamp") << QDateTime() << 0 << ""
                                     << "[TX]";
}

void TestCommunicationBase::formatTimeAndTag()
{
    QFETCH(QDateTime, timestamp);
    QFETCH(int, direction);
    QFETCH(QString, time);
    QFETCH(QString, tag);

    LogEntry entry;
    entry.timestamp = timestamp;
    entry.direction = direction;
    QCOMPARE(formatTime(entry), time);
    QCOMPARE(directionTag(entry), tag);
    if (timestamp.isValid())
        QCOMPARE(formatTime(entry), timestamp.toString(QStringLiteral("HH:mm:ss.zzz")));
}

void TestCommunicationBase::dataEntries_data()
{
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hexText");

    QTest::newRow("tx Hello") << true << QByteArray("Hello") << "Hello"
                              << "48 65 6C 6C 6F";
    QTest::newRow("rx summary") << false << QByteArray("[1:2] 3B") << "[1:2] 3B"
                                << "5B 31 3A 32 5D 20 33 42";
    QTest::newRow("rx UTF-8") << false << QByteArray("\xe4\xb8\xad") << "中"
                              << "E4 B8 AD";
    QTest::newRow("tx empty") << true << QByteArray() << ""
                              << "";
}

void TestCommunicationBase::dataEntries()
{
    QFETCH(bool, sent);
    QFETCH(QByteArray, data);
    QFETCH(QString, text);
    QFETCH(QString, hexText);

    CommunicationBase core;
    const QDateTime before = QDateTime::currentDateTime();
    sent ? core.logTx(data) : core.logRx(data);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(core.entryCount(), 1);
    const LogEntry entry = core.entries().constFirst();
    QCOMPARE(entry.direction, sent ? int(LogEntry::Tx) : int(LogEntry::Rx));
    QCOMPARE(entry.data, data);
    QCOMPARE(entry.text, text);
    QCOMPARE(entry.hexText, hexText);
    QVERIFY(entry.timestamp >= before && entry.timestamp <= after);
    QCOMPARE(entry.timestamp.timeSpec(), Qt::LocalTime);
    QCOMPARE(core.txBytes(), sent ? data.size() : 0);
    QCOMPARE(core.rxBytes(), sent ? 0 : data.size());
}

void TestCommunicationBase::systemEntry()
{
    CommunicationBase core;
    core.logTx("abc");
    SignalLog log(core);
    core.logSystem(QStringLiteral("服务器模式"));

    QCOMPARE(log.events, QStringList{"added tx=3 rx=0"});
    const LogEntry entry = core.entries().constLast();
    QCOMPARE(entry.direction, int(LogEntry::System));
    QVERIFY(entry.data.isEmpty());
    QCOMPARE(entry.text, QStringLiteral("服务器模式"));
    QCOMPARE(entry.hexText, QStringLiteral("服务器模式"));
    QCOMPARE(core.txBytes(), 3);
}

void TestCommunicationBase::signalOrderAndCounters_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<qint64>("tx");
    QTest::addColumn<qint64>("rx");

    // The core starts with tx=2 rx=3.
    QTest::newRow("logTx") << "logTx" << QStringList{"added tx=2 rx=3", "counters tx=6 rx=3"} << 6LL
                           << 3LL;
    QTest::newRow("logRx") << "logRx" << QStringList{"added tx=2 rx=3", "counters tx=2 rx=7"} << 2LL
                           << 7LL;
    QTest::newRow("empty logTx") << "emptyTx"
                                 << QStringList{"added tx=2 rx=3", "counters tx=2 rx=3"} << 2LL
                                 << 3LL;
    QTest::newRow("addTxBytes") << "addTxBytes" << QStringList{"counters tx=12 rx=3"} << 12LL
                                << 3LL;
    QTest::newRow("addRxBytes") << "addRxBytes" << QStringList{"counters tx=2 rx=13"} << 2LL
                                << 13LL;
    QTest::newRow("resetCounters") << "reset" << QStringList{"counters tx=0 rx=0"} << 0LL << 0LL;
    QTest::newRow("clearLog") << "clear" << QStringList{"cleared"} << 2LL << 3LL;
}

void TestCommunicationBase::signalOrderAndCounters()
{
    QFETCH(QString, operation);
    QFETCH(QStringList, events);
    QFETCH(qint64, tx);
    QFETCH(qint64, rx);

    CommunicationBase core;
    core.logTx("ab");
    core.logRx("cde");
    SignalLog log(core);

    if (operation == "logTx")
        core.logTx("wxyz");
    else if (operation == "logRx")
        core.logRx("wxyz");
    else if (operation == "emptyTx")
        core.logTx(QByteArray());
    else if (operation == "addTxBytes")
        core.addTxBytes(10);
    else if (operation == "addRxBytes")
        core.addRxBytes(10);
    else if (operation == "reset")
        core.resetCounters();
    else if (operation == "clear")
        core.clearLog();

    QCOMPARE(log.events, events);
    QCOMPARE(core.txBytes(), tx);
    QCOMPARE(core.rxBytes(), rx);
}

void TestCommunicationBase::clearAndResetAreIndependent()
{
    CommunicationBase core;
    core.logTx("12345");
    core.logRx("67");
    core.resetCounters();
    QCOMPARE(core.entryCount(), 2);
    QCOMPARE(core.entries().constFirst().text, QStringLiteral("12345"));

    core.logRx("890");
    core.clearLog();
    QCOMPARE(core.entryCount(), 0);
    QCOMPARE(core.rxBytes(), 3);
    QCOMPARE(core.txBytes(), 0);
}

void TestCommunicationBase::receiverMayCallBack()
{
    // The entry lock is free while signals run, and the new entry is already stored.
    CommunicationBase core;
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    int seenCount = -1;
    bool exported = false;
    connect(&core, &CommunicationBase::logEntryAdded, this, [&](const LogEntry &) {
        seenCount = core.entryCount();
        exported = core.exportToFile(dir.filePath("cb.txt"), false, false);
        core.clearLog();
    });
    core.logRx("x");
    QCOMPARE(seenCount, 1);
    QVERIFY(exported);
    QVERIFY(readAll(dir.filePath("cb.txt")).endsWith(" [RX] x\n"));
    QCOMPARE(core.entryCount(), 0);
}

void TestCommunicationBase::storeLimit()
{
    CommunicationBase core;
    QCOMPARE(core.maxLogEntries(), 100000);
    for (int i = 0; i < 100001; ++i)
        core.addLogEntry(entryAt(QTime(12, 0), LogEntry::Rx, QString::number(i)));

    QCOMPARE(core.entryCount(), 100000);
    const QList<LogEntry> stored = core.entries();
    QCOMPARE(stored.constFirst().text, QStringLiteral("1"));
    QCOMPARE(stored.constLast().text, QStringLiteral("100000"));

    QTemporaryDir dir;
    const QString path = dir.filePath("log.txt");
    QVERIFY(core.exportToFile(path, false, false));
    const QByteArray content = readAll(path);
    QCOMPARE(content.count('\n'), 100000);
    QVERIFY(content.startsWith("12:00:00.000 [RX] 1\n"));
}

void TestCommunicationBase::subclassWithoutLimit_data()
{
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("added");
    QTest::addColumn<int>("kept");
    QTest::addColumn<QString>("oldest");

    QTest::newRow("zero keeps all") << 0 << 100001 << 100001 << "0";
    QTest::newRow("negative keeps all") << -5 << 100001 << 100001 << "0";
    QTest::newRow("limit of three") << 3 << 10 << 3 << "7";
    QTest::newRow("under the limit") << 3 << 2 << 2 << "0";
}

void TestCommunicationBase::subclassWithoutLimit()
{
    QFETCH(int, limit);
    QFETCH(int, added);
    QFETCH(int, kept);
    QFETCH(QString, oldest);

    KeepAllCore core(limit);
    for (int i = 0; i < added; ++i)
        core.logTx(QByteArray::number(i));
    QCOMPARE(core.entryCount(), kept);
    QCOMPARE(core.entries().constFirst().text, oldest);
}

void TestCommunicationBase::entriesFromAnotherThread()
{
    // Queued delivery needs the registered meta-type.
    CommunicationBase core;
    QStringList received;
    connect(&core, &CommunicationBase::logEntryAdded, this,
            [&](const LogEntry &entry) { received << entry.text; });
    std::unique_ptr<QThread> worker(QThread::create([&core] {
        for (int i = 0; i < 3; ++i)
            core.logSystem(QStringLiteral("w%1").arg(i));
    }));
    worker->start();
    QVERIFY(worker->wait(10000));
    QTRY_COMPARE(received, (QStringList{"w0", "w1", "w2"}));
    QCOMPARE(core.entryCount(), 3);
}

void TestCommunicationBase::encodeText_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("roundTrips");

    const QString mixed = QStringLiteral("A中é");
    QTest::newRow("UTF-8") << "UTF-8" << mixed << QByteArray("A\xe4\xb8\xad\xc3\xa9") << true;
    QTest::newRow("empty name is UTF-8")
        << "" << mixed << QByteArray("A\xe4\xb8\xad\xc3\xa9") << true;
    QTest::newRow("ASCII is Latin-1")
        << "ASCII" << QStringLiteral("Aé") << QByteArray("A\xe9") << true;
    QTest::newRow("ASCII beyond Latin-1") << "ASCII" << mixed << QByteArray("A?\xe9") << false;
    QTest::newRow("Unicode") << "Unicode" << mixed << QByteArray("A\0\x2d\x4e\xe9\0", 6) << true;
    QTest::newRow("GBK") << "GBK" << QStringLiteral("中文") << QByteArray("\xd6\xd0\xce\xc4")
                         << true;
    QTest::newRow("GB2312") << "GB2312" << QStringLiteral("中a") << QByteArray("\xd6\xd0\x61")
                            << true;
    QTest::newRow("unknown name falls back to UTF-8")
        << "NoSuchCharset" << mixed << QByteArray("A\xe4\xb8\xad\xc3\xa9") << true;
}

void TestCommunicationBase::encodeText()
{
    QFETCH(QString, encoding);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, roundTrips);

    CommunicationBase core;
    core.setEncoding(encoding);
    QCOMPARE(core.encodeText(text).toHex(' '), bytes.toHex(' '));
    if (roundTrips)
        QCOMPARE(core.decodeBytes(bytes), text);

    // New entries decode with the encoding in force when they are logged.
    core.logRx(bytes);
    QCOMPARE(core.entries().constFirst().text, core.decodeBytes(bytes));
}

void TestCommunicationBase::decodeBytes_data()
{
    QTest::addColumn<QString>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("Unicode odd byte dropped") << "Unicode" << QByteArray("a\0b\0c", 5) << "ab";
    QTest::newRow("Unicode keeps a BOM") << "Unicode"
                                         << QByteArray("\xff\xfe"
                                                       "A\0",
                                                       4)
                                         << QStringLiteral("\ufeffA");
    QTest::newRow("Unicode single byte") << "Unicode" << QByteArray("a") << "";
    QTest::newRow("ASCII 0xE9") << "ASCII" << QByteArray("\xe9") << QStringLiteral("\u00e9");
    QTest::newRow("ASCII NUL and 0xFF")
        << "ASCII" << QByteArray("\0\xff", 2) << QString::fromUtf16(u"\u0000\u00ff", 2);
    QTest::newRow("UTF-8 invalid byte") << "UTF-8" << QByteArray("a\xff") << "a\ufffd";
    QTest::newRow("GBK") << "GBK" << QByteArray("\xd6\xd0") << "中";
    // Names are matched exactly; the lower-case one goes to the platform's US-ASCII.
    QTest::newRow("lower-case ascii is not Latin-1") << "ascii" << QByteArray("\xe9") << "\ufffd";
    QTest::newRow("empty data") << "GBK" << QByteArray() << "";
}

void TestCommunicationBase::decodeBytes()
{
    QFETCH(QString, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);

    CommunicationBase core;
    core.setEncoding(encoding);
    QCOMPARE(core.decodeBytes(bytes), text);
}

void TestCommunicationBase::supportedEncodings()
{
    QCOMPARE(CommunicationBase::supportedEncodings(),
             (QStringList{"UTF-8", "ASCII", "GBK", "GB2312", "Unicode"}));
}

void TestCommunicationBase::toHexString_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("hex");

    QTest::newRow("empty") << QByteArray() << "";
    QTest::newRow("zero byte") << QByteArray(1, '\0') << "00";
    QTest::newRow("Hello") << QByteArray("Hello") << "48 65 6C 6C 6F";
    QTest::newRow("high bytes") << QByteArray("\xff\x0a\x80") << "FF 0A 80";
}

void TestCommunicationBase::toHexString()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, hex);

    QCOMPARE(CommunicationBase::toHexString(bytes), hex);
}

void TestCommunicationBase::hexInput_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("normalized");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty") << "" << false << "" << QByteArray();
    QTest::newRow("pair") << "ab" << true << "AB" << QByteArray("\xab");
    QTest::newRow("separators") << "0a-1B 2c" << true << "0A 1B 2C" << QByteArray("\x0a\x1b\x2c");
    QTest::newRow("odd digit alone") << "ab-cd e" << false << "AB CD E" << QByteArray();
    QTest::newRow("only separators") << " - " << false << "" << QByteArray();
    QTest::newRow("0x prefix") << "0x1F" << false << "01 F" << QByteArray();
    QTest::newRow("letter outside hex") << "G1 2" << false << "12" << QByteArray("\x12");
    QTest::newRow("tab is no separator") << "AB\tCD" << false << "AB CD" << QByteArray("\xab\xcd");
    QTest::newRow("full-width digits") << "１２" << false << "" << QByteArray();
}

void TestCommunicationBase::hexInput()
{
    QFETCH(QString, input);
    QFETCH(bool, valid);
    QFETCH(QString, normalized);
    QFETCH(QByteArray, bytes);

    QCOMPARE(CommunicationBase::isValidHexString(input), valid);
    QCOMPARE(CommunicationBase::normalizeHexString(input), normalized);
    QCOMPARE(CommunicationBase::hexStringToBytes(input), bytes);
}

void TestCommunicationBase::exportFormats_data()
{
    QTest::addColumn<QList<LogEntry>>("entries");
    QTest::addColumn<bool>("useHex");
    QTest::addColumn<bool>("asCsv");
    QTest::addColumn<QByteArray>("content");

    const LogEntry sys = entryAt(QTime(14, 3, 27, 815), LogEntry::System, "服务器模式");
    const LogEntry rx = entryAt(QTime(9, 0, 1, 2), LogEntry::Rx, "a\"b", "61 22 62");
    const LogEntry multiLine = entryAt(QTime(9, 0, 1, 3), LogEntry::Tx, "x\ny,\"z\"", "78");
    const LogEntry odd = entryAt(QTime(9, 0, 1, 4), 7, "?");

    QTest::newRow("empty text") << QList<LogEntry>{} << false << false << QByteArray();
    QTest::newRow("empty CSV") << QList<LogEntry>{} << false << true
                               << QByteArray("Timestamp,Direction,Data\n");
    QTest::newRow("text") << QList<LogEntry>{sys, rx} << false << false
                          << QByteArray("14:03:27.815 [SYS] 服务器模式\n"
                                        "09:00:01.002 [RX] a\"b\n");
    QTest::newRow("text hex keeps system message")
        << QList<LogEntry>{sys, rx} << true << false
        << QByteArray("14:03:27.815 [SYS] 服务器模式\n09:00:01.002 [RX] 61 22 62\n");
    QTest::newRow("CSV quoting") << QList<LogEntry>{rx, multiLine, odd} << false << true
                                 << QByteArray("Timestamp,Direction,Data\n"
                                               "\"09:00:01.002\",\"[RX]\",\"a\"\"b\"\n"
                                               "\"09:00:01.003\",\"[TX]\",\"x\ny,\"\"z\"\"\"\n"
                                               "\"09:00:01.004\",\"\",\"?\"\n");
    QTest::newRow("CSV hex") << QList<LogEntry>{sys, rx} << true << true
                             << QByteArray("Timestamp,Direction,Data\n"
                                           "\"14:03:27.815\",\"[SYS]\",\"服务器模式\"\n"
                                           "\"09:00:01.002\",\"[RX]\",\"61 22 62\"\n");
}

void TestCommunicationBase::exportFormats()
{
    QFETCH(QList<LogEntry>, entries);
    QFETCH(bool, useHex);
    QFETCH(bool, asCsv);
    QFETCH(QByteArray, content);

    CommunicationBase core;
    for (const LogEntry &entry : entries)
        core.addLogEntry(entry);
    QTemporaryDir dir;
    const QString path = dir.filePath("export");
    QVERIFY(core.exportToFile(path, useHex, asCsv));
    // UTF-8 without a byte-order mark; "\n" is the line end on this platform.
    QCOMPARE(readAll(path), content);
    QCOMPARE(core.entryCount(), entries.size());
}

void TestCommunicationBase::exportReplacesContent()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("old.csv");
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'z'));
    }
    CommunicationBase core;
    QVERIFY(core.exportToFile(path, false, true));
    QCOMPARE(readAll(path), QByteArray("Timestamp,Direction,Data\n"));
}

void TestCommunicationBase::exportToMissingDirectory()
{
    CommunicationBase core;
    core.logRx("kept");
    core.logSystem("too");
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/sub/log.txt");
    for (bool asCsv : {false, true})
        QVERIFY(!core.exportToFile(path, false, asCsv));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(core.entryCount(), 2);
    QCOMPARE(core.entries().constFirst().text, QStringLiteral("kept"));
    QCOMPARE(core.entries().constLast().text, QStringLiteral("too"));
}

void TestCommunicationBase::exportToFullDevice_data()
{
    QTest::addColumn<int>("entries");
    QTest::addColumn<bool>("asCsv");
    QTest::addColumn<bool>("result");

    QTest::newRow("one line, text") << 1 << false << false;
    QTest::newRow("header only, CSV") << 0 << true << false;
    QTest::newRow("many lines, CSV") << 5000 << true << false;
    QTest::newRow("nothing to write") << 0 << false << true;
}

void TestCommunicationBase::exportToFullDevice()
{
    QFETCH(int, entries);
    QFETCH(bool, asCsv);
    QFETCH(bool, result);

    if (!QFile::exists("/dev/full"))
        QSKIP("no /dev/full on this system");
    CommunicationBase core;
    for (int i = 0; i < entries; ++i)
        core.logRx("[127.0.0.1:50000] 52B");
    QCOMPARE(core.exportToFile("/dev/full", false, asCsv), result);
    QCOMPARE(core.entryCount(), entries);
}

QTEST_GUILESS_MAIN(TestCommunicationBase)
#include "tst_communicationbase.moc"
