// libFuzzer target: decodes an arbitrary datagram as the TUIO receiver does (bundles
// included) and runs the frame analysis on it, then frames and reads it step by step, checking
// the codec's bounds rules.
#include "tuio/osccodec.h"
#include "tuio/tuiodecoder.h"
#include "tuio/tuioframeanalysis.h"
#include "tuio/tuioprofiles.h"
#include "tuio/tuiosessions.h"

#include <QCoreApplication>
#include <QSet>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

// A read that does not fit must yield 0 and leave the position alone; one that
// fits must advance by exactly 4.
void readNumbers(const QByteArray &datagram, qint32 &position, bool asInt)
{
    const qint32 before = position;
    const bool fits = before >= 0 && qint64(before) + 4 <= datagram.size();
    const double value =
        asInt ? double(readInt32(datagram, position)) : double(readFloat32(datagram, position));
    require(fits ? position == before + 4 : (position == before && value == 0.0));
}

void readStringAt(const QByteArray &datagram, qint32 position)
{
    const qint32 before = position;
    const QString text = readOscString(datagram, position);
    if (position == before) {
        require(text.isEmpty());
        return;
    }
    // Consumed up to the first NUL after the start, then to the next multiple of 4.
    require(before >= 0 && before < datagram.size());
    const void *nul =
        std::memchr(datagram.constData() + before, 0, size_t(datagram.size() - before));
    require(nul != nullptr);
    const qsizetype nulIndex = static_cast<const char *>(nul) - datagram.constData();
    require(position == ((nulIndex + 4) & ~qsizetype(3)));
    require(text.isEmpty() == (nulIndex == before));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // No copy: the sanitizer sees the exact end of the input.
    const QByteArray datagram =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));

    // The receiver's whole path first, bundles and nesting included: decoding, then the tables.
    TuioSessions sessions;
    sessions.processDatagram(datagram);
    for (const TuioMessage &message : decodeTuioDatagram(datagram))
        require(message.words.size() <= qsizetype(size / 4));
    // The other profiles' tables hold exactly the sets that fit their profile, less what an
    // alive of the profile left out.
    QSet<int> model[tuioItemProfileCount];
    for (const TuioMessage &message : sessions.lastDecoded()) {
        const int index = tuioItemIndex(message.profile);
        int sid = 0;
        TuioItemRecord item;
        if (index < 0) {
            require(!readTuioItemSet(message, sid, item));
        } else if (message.command == TuioCommand::Alive) {
            QSet<int> listed;
            for (quint32 word : message.words)
                listed.insert(qint32(word));
            model[index].intersect(listed);
        } else if (message.command == TuioCommand::Set && readTuioItemSet(message, sid, item)) {
            require(message.tags() == tuioSetTags(message.profile));
            model[index].insert(sid);
        }
    }
    for (int index = 0; index < tuioItemProfileCount; ++index) {
        const TuioItemTable &table = sessions.items(tuioItemProfile(index));
        require(table.size() == model[index].size());
        for (auto it = table.cbegin(); it != table.cend(); ++it)
            require(model[index].contains(it.key()));
    }

    // The analysis keeps its state across inputs as across datagrams; its update timer needs an
    // application object.
    static int argc = 1;
    static char name[] = "fuzz_osccodec";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static TuioFrameAnalysis analysis;
    static qint64 arrivalNs = 0;
    static int inputs = 0;
    arrivalNs += 7000000;
    analysis.analyse(datagram, sessions.lastDecoded(), QHostAddress(QHostAddress::LocalHost),
                     quint16(size % 4), arrivalNs);
    // Snapshots decode every kept hit again: now and then.
    if (++inputs % 16 == 0)
        for (const TuioSourceStats &stats : analysis.snapshot(arrivalNs))
            require(stats.frames >= 0 && stats.aliveSessions >= 0 && stats.fseqGaps >= 0);

    const OscFrame frame = frameOscMessage(datagram);
    if (!frame.isMessage) {
        require(frame.address.isEmpty() && frame.argumentPosition == 0);
        return 0;
    }
    require(size >= 8);
    require(frame.argumentPosition >= 8 && frame.argumentPosition % 4 == 0);
    require(qint64(frame.argumentPosition) <= qint64(size) + 3);

    // Receiver order: the command, the session id, then numbers to the end.
    qint32 position = frame.argumentPosition;
    readStringAt(datagram, position);
    const QString command = readOscString(datagram, position);
    readNumbers(datagram, position, true);
    int guard = 0;
    while (position + 4 <= datagram.size()) {
        readNumbers(datagram, position, (guard & 1) != 0);
        require(++guard <= int(size / 4));
    }
    readNumbers(datagram, position, false);

    // Strings and numbers at positions the input picks, unaligned and negative included.
    if (size >= 2) {
        const qint32 picked = qint32(int8_t(data[0])) * 4 + data[1] % 4;
        readStringAt(datagram, picked);
        qint32 at = picked;
        readNumbers(datagram, at, true);
    }
    (void)command;
    return 0;
}
