#include "tuio/osccodec.h"

#include <QtTest>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

namespace {

QByteArray hex(const char *spaced)
{
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

// The 52-byte cursor "set": session 7 at (0.5, 0.25), no motion.
const char *const kCursorSetHex = "2f 74 75 69 6f 2f 32 44 63 75 72 00"
                                  " 2c 73 69 66 66 66 66 66 00 00 00 00"
                                  " 73 65 74 00"
                                  " 00 00 00 07"
                                  " 3f 00 00 00 3e 80 00 00"
                                  " 00 00 00 00 00 00 00 00 00 00 00 00";
const char *const kCursorAliveHex = "2f 74 75 69 6f 2f 32 44 63 75 72 00"
                                    " 2c 73 00 00 61 6c 69 76 65 00 00 00";

// A heap copy of exactly the datagram's size, so AddressSanitizer flags any
// read beyond it (a QByteArray's own buffer carries a spare terminator).
struct ExactBuffer
{
    explicit ExactBuffer(const QByteArray &bytes)
        : storage(new char[size_t(qMax<qsizetype>(bytes.size(), 1))])
    {
        if (!bytes.isEmpty())
            std::memcpy(storage.get(), bytes.constData(), size_t(bytes.size()));
        data = QByteArray::fromRawData(storage.get(), bytes.size());
    }
    std::unique_ptr<char[]> storage;
    QByteArray data;
};

} // namespace

class TestOscCodec : public QObject
{
    Q_OBJECT

private slots:
    void oscStringPadding_data();
    void oscStringPadding();
    void int32BigEndian_data();
    void int32BigEndian();
    void float32BigEndian_data();
    void float32BigEndian();
    void tuioMessagesByteForByte_data();
    void tuioMessagesByteForByte();
    void cursorSetDecodes();
    void framing_data();
    void framing();
    void readsAtAndPastEnd_data();
    void readsAtAndPastEnd();
    void readOscStrings_data();
    void readOscStrings();
    void receiverLoopEnds();
    void truncatedMessagesStayInside();
};

void TestOscCodec::oscStringPadding_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("paddedLength");

    for (int n = 0; n <= 8; ++n)
        QTest::addRow("%d bytes", n) << QString(n, QLatin1Char('x')) << (n / 4 + 1) * 4;
    QTest::newRow("address /tuio/2Dcur") << QStringLiteral("/tuio/2Dcur") << 12;
    QTest::newRow("type tags ,sifffff") << QStringLiteral(",sifffff") << 12;
    QTest::newRow("type tags ,s") << QStringLiteral(",s") << 4;
    QTest::newRow("UTF-8 counts bytes") << QStringLiteral("中") << 4;
}

void TestOscCodec::oscStringPadding()
{
    QFETCH(QString, text);
    QFETCH(int, paddedLength);

    const QByteArray utf8 = text.toUtf8();
    QByteArray buffer("ab");
    appendOscString(buffer, text);
    QCOMPARE(buffer.size(), 2 + paddedLength);
    QCOMPARE(buffer.mid(2, utf8.size()), utf8);
    QCOMPARE(buffer.mid(2 + utf8.size()), QByteArray(paddedLength - utf8.size(), '\0'));
}

void TestOscCodec::int32BigEndian_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one") << 1 << hex("00 00 00 01");
    QTest::newRow("minus one") << -1 << hex("ff ff ff ff");
    QTest::newRow("byte order") << 0x12345678 << hex("12 34 56 78");
    QTest::newRow("minimum") << std::numeric_limits<qint32>::min() << hex("80 00 00 00");
    QTest::newRow("maximum") << std::numeric_limits<qint32>::max() << hex("7f ff ff ff");
}

void TestOscCodec::int32BigEndian()
{
    QFETCH(qint32, value);
    QFETCH(QByteArray, bytes);

    QByteArray buffer;
    appendInt32(buffer, value);
    QCOMPARE(buffer, bytes);
    qint32 position = 0;
    QCOMPARE(readInt32(buffer, position), value);
    QCOMPARE(position, 4);
}

void TestOscCodec::float32BigEndian_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one") << 1.0f << hex("3f 80 00 00");
    QTest::newRow("half") << 0.5f << hex("3f 00 00 00");
    QTest::newRow("negative") << -2.5f << hex("c0 20 00 00");
    QTest::newRow("negative zero") << -0.0f << hex("80 00 00 00");
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << hex("7f 80 00 00");
    QTest::newRow("smallest denormal")
        << std::numeric_limits<float>::denorm_min() << hex("00 00 00 01");
}

void TestOscCodec::float32BigEndian()
{
    QFETCH(float, value);
    QFETCH(QByteArray, bytes);

    QByteArray buffer;
    appendFloat32(buffer, value);
    QCOMPARE(buffer, bytes);
    qint32 position = 0;
    const float back = readFloat32(buffer, position);
    QCOMPARE(std::memcmp(&back, &value, sizeof value), 0);
    QCOMPARE(position, 4);
}

void TestOscCodec::tuioMessagesByteForByte_data()
{
    QTest::addColumn<QByteArray>("built");
    QTest::addColumn<QByteArray>("expected");

    QByteArray setArgs;
    appendOscString(setArgs, QStringLiteral("set"));
    appendInt32(setArgs, 7);
    for (float v : {0.5f, 0.25f, 0.0f, 0.0f, 0.0f})
        appendFloat32(setArgs, v);
    QTest::newRow("cursor set, 52 bytes")
        << buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(",sifffff"), setArgs)
        << hex(kCursorSetHex);

    QByteArray aliveArgs;
    appendOscString(aliveArgs, QStringLiteral("alive"));
    QTest::newRow("cursor alive, 24 bytes")
        << buildOscMessage(QStringLiteral("/tuio/2Dcur"), QStringLiteral(",s"), aliveArgs)
        << hex(kCursorAliveHex);
}

void TestOscCodec::tuioMessagesByteForByte()
{
    QFETCH(QByteArray, built);
    QFETCH(QByteArray, expected);

    QVERIFY(expected.size() == 52 || expected.size() == 24);
    QCOMPARE(built.toHex(' '), expected.toHex(' '));
}

void TestOscCodec::cursorSetDecodes()
{
    const ExactBuffer datagram(hex(kCursorSetHex));
    const OscFrame frame = frameOscMessage(datagram.data);
    QVERIFY(frame.isMessage);
    QCOMPARE(frame.address, QStringLiteral("/tuio/2Dcur"));
    QCOMPARE(frame.argumentPosition, 24);

    qint32 position = frame.argumentPosition;
    QCOMPARE(::readOscString(datagram.data, position), QStringLiteral("set"));
    QCOMPARE(readInt32(datagram.data, position), 7);
    QCOMPARE(readFloat32(datagram.data, position), 0.5f);
    QCOMPARE(readFloat32(datagram.data, position), 0.25f);
    QCOMPARE(position, 40);
}

void TestOscCodec::framing_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<bool>("isMessage");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("argumentPosition");

    QTest::newRow("empty") << QByteArray() << false << QString() << 0;
    QTest::newRow("3 bytes") << QByteArray("/a\0", 3) << false << QString() << 0;
    QTest::newRow("no NUL") << QByteArray("/tuio/2Dcur,s") << false << QString() << 0;
    QTest::newRow("first NUL at 8 of 12")
        << QByteArray("/abcdefg\0,s\0", 12) << false << QString() << 0;
    QTest::newRow("first NUL at 8 of 16")
        << QByteArray("/abcdefg\0\0\0\0,s\0\0", 16) << true << QStringLiteral("/abcdefg") << 16;
    QTest::newRow("leading NUL") << QByteArray("\0\0\0\0,s\0\0set\0", 12) << true << QString() << 8;
    QTest::newRow("type tags without NUL")
        << QByteArray("/tuio/2Dcur\0,sifffff", 20) << false << QString() << 0;
    QTest::newRow("tag area shorter than 4") << QByteArray("/ab\0,s", 6) << false << QString() << 0;
    QTest::newRow("tags without comma accepted")
        << QByteArray("/x\0\0sif\0", 8) << true << QStringLiteral("/x") << 8;
    QTest::newRow("empty tag string")
        << QByteArray("/x\0\0\0\0\0\0", 8) << true << QStringLiteral("/x") << 8;
    QTest::newRow("4-character address")
        << QByteArray("/abc\0\0\0\0,\0\0\0", 12) << true << QStringLiteral("/abc") << 12;
    QTest::newRow("argument position beyond odd size")
        << QByteArray("/x\0\0,sif\0", 9) << true << QStringLiteral("/x") << 12;
    QTest::newRow("UTF-8 address")
        << QByteArray("/\xe4\xb8\xad\0\0\0\0,\0\0\0", 12) << true << QStringLiteral("/中") << 12;

    // A bundle frames as a message addressed to the bundle marker; the zero
    // time tag ends its "type tags" at once.
    QByteArray bundle("#bundle\0", 8);
    bundle += hex("00 00 00 00 00 00 00 01 00 00 00 18");
    bundle += hex(kCursorAliveHex);
    QTest::newRow("#bundle") << bundle << true << QStringLiteral("#bundle") << 12;
}

void TestOscCodec::framing()
{
    QFETCH(QByteArray, datagram);
    QFETCH(bool, isMessage);
    QFETCH(QString, address);
    QFETCH(int, argumentPosition);

    const ExactBuffer exact(datagram);
    const OscFrame frame = frameOscMessage(exact.data);
    QCOMPARE(frame.isMessage, isMessage);
    if (isMessage) {
        QCOMPARE(frame.address, address);
        QCOMPARE(frame.argumentPosition, argumentPosition);
    }
}

void TestOscCodec::readsAtAndPastEnd_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("position");
    QTest::addColumn<bool>("readable");

    QTest::newRow("last four bytes") << 10 << 6 << true;
    QTest::newRow("three bytes left") << 10 << 7 << false;
    QTest::newRow("two bytes left") << 10 << 8 << false;
    QTest::newRow("at the end") << 10 << 10 << false;
    QTest::newRow("past the end") << 10 << 40 << false;
    QTest::newRow("negative") << 10 << -2 << false;
    QTest::newRow("near the 32-bit limit") << 10 << std::numeric_limits<qint32>::max() - 1 << false;
    QTest::newRow("empty datagram") << 0 << 0 << false;
}

void TestOscCodec::readsAtAndPastEnd()
{
    QFETCH(int, size);
    QFETCH(int, position);
    QFETCH(bool, readable);

    QByteArray bytes(size, '\x41');
    const ExactBuffer datagram(bytes);

    qint32 intPosition = position;
    const qint32 first = readInt32(datagram.data, intPosition);
    qint32 floatPosition = position;
    const float firstFloat = readFloat32(datagram.data, floatPosition);
    if (readable) {
        QCOMPARE(first, 0x41414141);
        QCOMPARE(intPosition, position + 4);
        QCOMPARE(firstFloat, 12.078431f);
        QCOMPARE(floatPosition, position + 4);
    } else {
        // Unchanged position: the same read yields the same result again.
        QCOMPARE(first, 0);
        QCOMPARE(intPosition, position);
        QCOMPARE(readInt32(datagram.data, intPosition), 0);
        QCOMPARE(intPosition, position);
        QCOMPARE(firstFloat, 0.0f);
        QCOMPARE(floatPosition, position);
    }
}

void TestOscCodec::readOscStrings_data()
{
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("nextPosition");

    QTest::newRow("set") << QByteArray("set\0", 4) << 0 << QStringLiteral("set") << 4;
    QTest::newRow("alive") << QByteArray("xxxxalive\0\0\0", 12) << 4 << QStringLiteral("alive")
                           << 12;
    QTest::newRow("empty string") << QByteArray("\0\0\0\0", 4) << 0 << QString() << 4;
    QTest::newRow("slot filled without NUL")
        << QByteArray("abcdef\0\0", 8) << 0 << QStringLiteral("abcdef") << 8;
    QTest::newRow("NUL is the last byte")
        << QByteArray("abcde\0", 6) << 0 << QStringLiteral("abcde") << 8;
    QTest::newRow("no NUL after position") << QByteArray("ab\0\0cdef", 8) << 4 << QString() << 4;
    QTest::newRow("position at size") << QByteArray("ab\0\0", 4) << 4 << QString() << 4;
    QTest::newRow("negative position") << QByteArray("ab\0\0", 4) << -1 << QString() << -1;
    QTest::newRow("unaligned position")
        << QByteArray("abcd\0\0\0\0", 8) << 1 << QStringLiteral("bcd") << 8;
}

void TestOscCodec::readOscStrings()
{
    QFETCH(QByteArray, datagram);
    QFETCH(int, position);
    QFETCH(QString, text);
    QFETCH(int, nextPosition);

    const ExactBuffer exact(datagram);
    qint32 at = position;
    QCOMPARE(::readOscString(exact.data, at), text);
    QCOMPARE(at, nextPosition);
}

void TestOscCodec::receiverLoopEnds()
{
    // 2 stray bytes after three floats: reading floats while they fit stops at 12.
    QByteArray block;
    for (float v : {1.0f, 2.0f, 3.0f})
        appendFloat32(block, v);
    block.append("\x01\x02", 2);
    const ExactBuffer datagram(block);

    qint32 position = 0;
    QList<float> values;
    for (int guard = 0; guard < 10 && position + 4 <= datagram.data.size(); ++guard)
        values << readFloat32(datagram.data, position);
    QCOMPARE(values, (QList<float>{1.0f, 2.0f, 3.0f}));
    QCOMPARE(position, 12);
    QCOMPARE(readFloat32(datagram.data, position), 0.0f);
    QCOMPARE(position, 12);
}

void TestOscCodec::truncatedMessagesStayInside()
{
    // Every prefix of a real datagram frames and reads without leaving the
    // buffer (checked by AddressSanitizer) and without a position past it.
    const QByteArray full = hex(kCursorSetHex);
    for (int size = 0; size <= full.size(); ++size) {
        const ExactBuffer datagram(full.left(size));
        const OscFrame frame = frameOscMessage(datagram.data);
        QCOMPARE(frame.isMessage, size >= 21);
        if (!frame.isMessage)
            continue;
        qint32 position = frame.argumentPosition;
        const QString command = ::readOscString(datagram.data, position);
        QCOMPARE(command, size >= 28 ? QStringLiteral("set") : QString());
        while (position + 4 <= size) {
            readFloat32(datagram.data, position);
        }
        QVERIFY(position <= qMax(size, frame.argumentPosition));
    }
}

QTEST_APPLESS_MAIN(TestOscCodec)
#include "tst_osccodec.moc"
