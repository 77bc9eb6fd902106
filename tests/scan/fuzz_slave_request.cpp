// Fuzzes the slave request serving: any bytes, as an RTU frame (with and
// without a valid CRC) and as an ASCII frame, to the standard and the gateway
// slave. A reply must be a well-formed frame no longer than the reply buffer.
#include "protocol/FrameCodec.h"
#include "scan/IoDatabaseService.h"
#include "protocol/SlaveServing.h"

#include <cstdint>
#include <cstdlib>

using namespace buslink;

namespace {
void checkReply(const SlaveOutcome& outcome, SlaveFraming framing)
{
    if (outcome.reply.isEmpty()) return;
    if (!outcome.checkPassed) std::abort();
    if (framing == SlaveFraming::Rtu) {
        if (!HasGoodCRC(outcome.reply) || outcome.reply.size() > 126 + 2) std::abort();
    } else {
        if (!outcome.reply.startsWith(':') || !outcome.reply.endsWith("\r\n") || outcome.reply.size() > 1 + 2 * 127 + 2)
            std::abort();
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static IntArray image(0, 50000);
    InMemoryIoDatabase store;  // fresh each run, so long runs do not pile up points
    InMemoryIoDatabase* service = &store;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    for (bool gateway : {false, true}) {
        const SlaveSetup rtuSetup{SlaveFraming::Rtu, gateway, 1};
        checkReply(ServeSlaveRequest(bytes, rtuSetup, image, service), SlaveFraming::Rtu);
        checkReply(ServeSlaveRequest(AppendCRC(bytes), rtuSetup, image, service), SlaveFraming::Rtu);
        const SlaveSetup asciiSetup{SlaveFraming::Ascii, gateway, 1};
        checkReply(ServeSlaveRequest(bytes, asciiSetup, image, service), SlaveFraming::Ascii);
        checkReply(ServeSlaveRequest(AsciiFrame(bytes), asciiSetup, image, service), SlaveFraming::Ascii);
        SlaveRequestLength(bytes, SlaveFraming::Rtu);
        SlaveRequestLength(bytes, SlaveFraming::Ascii);
    }
    return 0;
}
