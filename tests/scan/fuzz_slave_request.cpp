// Fuzzes the slave request serving: any bytes, as an RTU frame (with and
// without a valid CRC) and as an ASCII frame, to the standard and the gateway
// slave. A reply must be a well-formed frame no longer than the reply buffer:
// a normal reply for the request's function, or an exception 1 to 4.
#include "protocol/AsciiFraming.h"
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "protocol/SlaveServing.h"

#include <cstdint>
#include <cstdlib>

using namespace buslink;

namespace {
void checkReply(const SlaveOutcome& outcome, Framing framing)
{
    if (outcome.reply.isEmpty()) return;
    if (!outcome.checkPassed) std::abort();
    QByteArray reply;
    if (framing == Framing::Rtu) {
        if (!HasGoodCRC(outcome.reply) || outcome.reply.size() > kSlaveReplyBufferBytes + 2) std::abort();
        reply = outcome.reply.chopped(2);
    } else if (!DecodeAsciiFrame(outcome.reply, reply) || reply.size() > kSlaveReplyBufferBytes) {
        std::abort();
    }
    if (reply.size() < 3 || (quint8(reply[1]) & 0x7F) != outcome.MAdd) std::abort();
    const bool exception = quint8(reply[1]) & 0x80;
    if (exception != (outcome.exceptionCode != 0)) std::abort();
    if (exception && (reply.size() != 3 || reply[2] != outcome.exceptionCode || reply[2] < 1 || reply[2] > 4))
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static IntArray image(0, 50000);
    InMemoryIoDatabase store;  // fresh each run, so long runs do not pile up points
    InMemoryIoDatabase* service = &store;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool gateway : {false, true}) {
        const SlaveSetup rtuSetup{Framing::Rtu, gateway, 1};
        checkReply(ServeSlaveRequest(bytes, rtuSetup, image, service), Framing::Rtu);
        checkReply(ServeSlaveRequest(AppendCRC(bytes), rtuSetup, image, service), Framing::Rtu);
        const SlaveSetup asciiSetup{Framing::Ascii, gateway, 1};
        checkReply(ServeSlaveRequest(bytes, asciiSetup, image, service), Framing::Ascii);
        checkReply(ServeSlaveRequest(AsciiFrame(bytes), asciiSetup, image, service), Framing::Ascii);
        FailedCheckOutcome(bytes, Framing::Rtu);
        FailedCheckOutcome(bytes, Framing::Ascii);
    }
    return 0;
}
