#include "tuio/osccodec.h"

#include <QtTest>

#include <vector>

namespace {

// Cursor "set" of session 7 at (0.5, 0.25) without motion, and cursor "alive" (fromHex skips the
// spaces).
const QByteArray kSet =
    QByteArray::fromHex("2f 74 75 69 6f 2f 32 44 63 75 72 00 2c 73 69 66 66 66 66 66 00 00 00 00"
                        " 73 65 74 00 00 00 00 07 3f 00 00 00 3e 80 00 00 00 00 00 00"
                        " 00 00 00 00 00 00 00 00");
const QByteArray kAlive =
    QByteArray::fromHex("2f 74 75 69 6f 2f 32 44 63 75 72 00 2c 73 00 00 61 6c 69 76 65 00 00 00");

// Exactly the datagram's bytes on the heap, so AddressSanitizer flags any read
// beyond them (a QByteArray's own buffer carries a spare terminator).
struct Exact : std::vector<char>
{
    explicit Exact(const QByteArray &bytes) : std::vector<char>(bytes.begin(), bytes.end()) {}
    QByteArray view() const { return QByteArray::fromRawData(data(), qsizetype(size())); }
};

} // namespace

class TestOscCodec : public QObject
{
    Q_OBJECT

private slots:
    void writers_data()
    {
        QTest::addColumn<QByteArray>("built");
        QTest::addColumn<QByteArray>("expected");
        QStringList texts{"中"}; // padded by bytes, not characters
        for (int n = 0; n <= 8; ++n)
            texts << QString(n, QLatin1Char('x'));
        for (const QString &text : texts) {
            QByteArray built;
            appendOscString(built, text);
            const QByteArray utf8 = text.toUtf8();
            QTest::newRow(qPrintable("pad " + text))
                << built << utf8 + QByteArray(4 - utf8.size() % 4, '\0');
        }
        QByteArray set, alive, minus;
        appendOscString(set, "set");
        appendInt32(set, 7);
        for (float v : {0.5f, 0.25f, 0.0f, 0.0f, 0.0f})
            appendFloat32(set, v);
        appendOscString(alive, "alive");
        appendFloat32(minus, -2.5f);
        QTest::newRow("float") << minus << QByteArray::fromHex("c0200000");
        QTest::newRow("set") << buildOscMessage("/tuio/2Dcur", ",sifffff", set) << kSet;
        QTest::newRow("alive") << buildOscMessage("/tuio/2Dcur", ",s", alive) << kAlive;
    }
    void writers()
    {
        QFETCH(QByteArray, built);
        QTEST(built, "expected");
    }

    // Framed and read the way the receiver does: command, session, then floats
    // while they fit. Shown as address|argument position|command|int|floats|end.
    void receive_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("seen");
        auto row = [](const char *name, const QByteArray &datagram, const char *seen) {
            QTest::newRow(name) << datagram << QString::fromUtf8(seen);
        };
        const QByteArray &set = kSet;
        row("3 bytes", QByteArray("/a\0", 3), "-");
        row("no NUL", "/tuio/2Dcur,s", "-");
        row("first NUL at 8 of 12", QByteArray("/abcdefg\0,s\0", 12), "-");
        row("type tags without NUL", set.left(20), "-");
        row("tag area under 4 bytes", QByteArray("/ab\0,s\0", 7), "-");
        row("first NUL at 8 of 16", QByteArray("/abcdefg\0\0\0\0,s\0\0", 16), "/abcdefg|16||0|16");
        row("leading NUL", QByteArray("\0\0\0\0,s\0\0set\0", 12), "|8|set|0|12");
        row("tags without comma", QByteArray("/x\0\0sif\0", 8), "/x|8||0|8");
        row("UTF-8 address", QByteArray("/\xe4\xb8\xad\0\0\0\0,\0\0\0", 12), "/中|12||0|12");
        row("cursor set", set, "/tuio/2Dcur|24|set|7|0.5|0.25|0|0|0|52");
        row("cursor alive", kAlive, "/tuio/2Dcur|16|alive|0|24");
        row("set cut in the session", set.left(30), "/tuio/2Dcur|24|set|0|28");
        row("command fills its slot", QByteArray("/x\0\0,\0\0\0abcdef\0\0", 16),
            "/x|8|abcdef|0|16");
        row("NUL is the last byte", QByteArray("/x\0\0,\0\0\0abcde\0", 14), "/x|8|abcde|0|16");
        row("no NUL after command", QByteArray("/x\0\0,\0\0\0abcd", 12), "/x|8||1633837924|12");
        // An empty bundle: the zero time tag ends its "type tags" at once.
        row("#bundle", QByteArray("#bundle\0", 8) + QByteArray::fromHex("0000000000000001"),
            "#bundle|12||0|16");
    }
    void receive()
    {
        QFETCH(QByteArray, datagram);
        const Exact exact(datagram);
        const QByteArray d = exact.view();
        const OscFrame frame = frameOscMessage(d);
        qint32 at = frame.argumentPosition;
        QStringList seen{frame.address, QString::number(at), readOscString(d, at),
                         QString::number(readInt32(d, at))};
        while (at + 4 <= d.size())
            seen << QString::number(readFloat32(d, at));
        QTEST(frame.isMessage ? seen.join('|') + '|' + QString::number(at) : "-", "seen");
    }

    void readsOutsideTheDatagram()
    {
        const Exact exact(QByteArray(10, 'A'));
        for (qint32 start : {-2, -1, 7, 10, 40, INT_MAX - 1}) {
            qint32 a = start, b = start, c = start;
            QCOMPARE(readInt32(exact.view(), a), 0);
            QCOMPARE(readFloat32(exact.view(), b), 0.0f);
            QCOMPARE(readOscString(exact.view(), c), QString());
            QCOMPARE(QList<qint32>({a, b, c}), QList<qint32>(3, start));
        }
    }
};

QTEST_APPLESS_MAIN(TestOscCodec)
#include "tst_osccodec.moc"
