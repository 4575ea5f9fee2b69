// libFuzzer target: reads arbitrary bytes as a capture file through libpcap and the reader's own
// link, IP and UDP parsing, checking what it hands on against the rules of its API.
#include "capture/capturereader.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // libpcap reads from a stream; fmemopen refuses an empty buffer.
    if (size == 0)
        return 0;
    FILE *file = fmemopen(const_cast<uint8_t *>(data), size, "rb");
    if (!file)
        return 0;
    const QString name = QStringLiteral("input");
    CaptureReader reader;
    // The port filter comes from the input too.
    reader.setPortFilter(quint16(data[size - 1] % 3 == 0 ? 0 : 3333));
    if (!reader.open(file, name)) {
        require(reader.hasError() && reader.errorString().startsWith(name + QStringLiteral(": ")));
        return 0;
    }
    CapturePacket packet;
    qint64 last = 0;
    qint64 datagrams = 0;
    while (reader.next(packet)) {
        require(packet.number > last && packet.number == reader.recordCount());
        require(packet.payload.size() <= 65535 - 8 && qsizetype(size) > packet.payload.size());
        require(!packet.sender.isNull() && !packet.destination.isNull());
        last = packet.number;
        ++datagrams;
    }
    require(!reader.hasError() ||
            reader.errorString().startsWith(name + QStringLiteral(": packet ")));
    // Every record is handed on or counted once.
    require(datagrams + reader.skips().total() == reader.recordCount());
    return 0;
}
