// Fuzzes finding and decoding master replies: the first bytes choose the
// framing, the request and the piece size; the rest arrive in pieces as received bytes.
#include "protocol/FrameCodec.h"
#include "protocol/MbapFraming.h"
#include "protocol/ReplyHandling.h"
#include "base/BuslinkError.h"

#include <cstdint>
#include <cstdlib>

using namespace buslink;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 6) return 0;
    static const int functions[] = {1, 2, 3, 4, 5, 6, 15, 16};
    // Bits 0 and 6 of the first byte choose RTU, ASCII or MBAP.
    const Framing framing = (data[0] & 0x40) ? Framing::Mbap : (data[0] & 1) ? Framing::Ascii : Framing::Rtu;
    const int fc = functions[data[1] % 8];
    const int q = 1 + data[2] % 125;
    const int rtuLength = fc <= 2 ? (q - 1) / 8 + 6 : fc <= 4 ? 2 * q + 5 : 8;
    QByteArray request;
    request.append(char(data[3]));
    request.append(char(fc));
    request.append(char(0));
    request.append(char(data[4]));
    request.append(char(q >> 8));
    request.append(char(q & 0xFF));
    const quint16 transaction = quint16(data[4] << 8 | data[3]);
    const ReplyExpectation expected{framing, request, LineLength(framing, rtuLength), transaction};

    DecodeContext context;
    context.plcType = 1 + (data[5] & 1);
    context.PointKind = qint16((data[5] >> 1) % 8);
    context.LastValueType = qint16((data[5] >> 4) % 6);
    context.RequestedQuantity = qint16(q);
    context.SixDigitForm = data[5] & 0x80;

    // With bit 1 of the first byte the rest is framed with a good check, so answers
    // that pass their check (and decoding) are reached as often as damaged ones.
    QByteArray line(reinterpret_cast<const char*>(data + 6), int(size - 6));
    if (data[0] & 2)
        line = framing == Framing::Rtu ? AppendCRC(line) : framing == Framing::Ascii ? AsciiFrame(line)
                                                                                      : MbapFrame(transaction, line);

    QByteArray buffer;
    VariantArray ReplyData(0, 2000);
    const int pieceSize = 1 + (data[0] >> 2) % 16;
    for (int i = 0; i < line.size(); i += pieceSize) {
        buffer.append(line.mid(i, pieceSize));
        const FoundReply found = FindReply(buffer, expected);
        if (found.skipped < 0 || found.skipped > buffer.size()) std::abort();
        if (found.verdict == ReplyVerdict::Incomplete) {
            if (found.bytesNeeded < 1) std::abort();
            buffer.remove(0, found.skipped);
            continue;
        }
        if (found.length < 1 || found.skipped + found.length > buffer.size()) std::abort();
        if (found.verdict == ReplyVerdict::Ok && fc <= 4) {
            try {
                DecodeReadReply(found.bytes, context, ReplyData);
            } catch (const BuslinkError&) {
            }
        }
        buffer.clear();
    }
    // Decoding copes with any bytes, not only those FindReply passes.
    try {
        DecodeReadReply(QByteArray(reinterpret_cast<const char*>(data), int(size)), context, ReplyData);
    } catch (const BuslinkError&) {
    }
    return 0;
}
