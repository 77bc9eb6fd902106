// Fuzzes the request framers as a slave drives them: the first bytes choose the
// framing, the piece sizes and where silences fall; the rest arrive in pieces.
// Invariants: every result lies inside the bytes it was given and makes progress;
// no byte is lost or counted twice; an RTU frame is never joined across a silence,
// and a silence settles everything before it; what is kept never exceeds the longest
// frame; every frame found passes its check and, served, gives a well-formed reply.
#include "protocol/AsciiFraming.h"
#include "protocol/FrameCodec.h"
#include "protocol/RtuFraming.h"
#include "protocol/SlaveServing.h"
#include "scan/IoDatabaseService.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace buslink;

namespace {

void require(bool condition)
{
    if (!condition) std::abort();
}

void checkServed(const QByteArray& frame, Framing framing, bool gateway, IntArray& image, GatewayValueStore& service)
{
    const SlaveOutcome outcome = ServeSlaveRequest(frame, SlaveSetup{framing, gateway, 1}, image, &service);
    require(outcome.checkPassed);
    if (outcome.reply.isEmpty()) return;
    QByteArray reply;
    if (framing == Framing::Rtu) {
        require(HasGoodCRC(outcome.reply) && outcome.reply.size() <= kSlaveReplyBufferBytes + 2);
        reply = outcome.reply.chopped(2);
    } else {
        require(DecodeAsciiFrame(outcome.reply, reply) && reply.size() <= kSlaveReplyBufferBytes);
    }
    require(reply.size() >= 3 && (quint8(reply[1]) & 0x7F) == outcome.MAdd);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3) return 0;
    const Framing framing = (data[0] & 1) ? Framing::Ascii : Framing::Rtu;
    const bool gateway = data[0] & 2;
    const int maxPiece = 1 + (data[0] >> 2) % 32;
    const uint8_t silenceMask = data[1];  // piece i is followed by a silence when bit i % 8 is set
    const uint8_t pieceSeed = data[2];
    const QByteArray stream(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    static IntArray image(0, 50000);
    InMemoryIoDatabase service;
    QByteArray buffer;
    qint64 bufferStart = 0;  // stream position of buffer[0]
    int quiet = 0;           // leading buffer bytes a silence ended
    std::vector<qint64> silences;
    qint64 fed = 0;
    qint64 accounted = 0;
    const int longest = framing == Framing::Rtu ? kMaxRtuFrameLength : kMaxAsciiFrameLength;

    unsigned seed = pieceSeed;
    for (int piece = 0; fed < stream.size(); ++piece) {
        seed = seed * 1103515245u + 12345u;
        const int n = int(std::min<qint64>(1 + (seed >> 16) % maxPiece, stream.size() - fed));
        buffer += stream.mid(fed, n);
        fed += n;
        const bool silent = (silenceMask >> (piece % 8)) & 1;
        if (silent) {
            quiet = int(buffer.size());
            silences.push_back(fed);
        }
        for (;;) {
            const QByteArrayView view = quiet > 0 ? QByteArrayView(buffer).first(quiet) : QByteArrayView(buffer);
            const FrameSearch r =
                framing == Framing::Rtu ? FindRtuRequest(view, quiet > 0) : FindAsciiFrame(view, quiet > 0);
            if (r.kind == FrameSearch::Kind::NeedMore) {
                // An RTU silence settles everything before it.
                require(framing == Framing::Ascii || quiet == 0);
                if (quiet == 0) break;
                quiet = 0;
                continue;
            }
            require(r.offset >= 0 && r.length >= 0 && r.consumed() >= 1 && r.consumed() <= view.size());
            if (r.kind == FrameSearch::Kind::Frame) {
                require(r.length > 0);
                const QByteArray frame = buffer.mid(r.offset, r.length);
                const qint64 start = bufferStart + r.offset, end = start + r.length;
                if (framing == Framing::Rtu) {
                    require(r.length >= kMinRtuFrameLength && r.length <= kMaxRtuFrameLength && HasGoodCRC(frame));
                    for (qint64 s : silences) require(s <= start || s >= end);
                } else {
                    QByteArray decoded;
                    require(r.length <= kMaxAsciiFrameLength && DecodeAsciiFrame(frame, decoded));
                }
                checkServed(frame, framing, gateway, image, service);
            } else {
                require(r.length == 0);
            }
            buffer.remove(0, r.consumed());
            bufferStart += r.consumed();
            accounted += r.consumed();
            quiet = std::max(0, quiet - r.consumed());
        }
        require(buffer.size() <= longest);
        require(accounted + buffer.size() == fed);
    }
    return 0;
}
