// Arbitrary line bytes into the simulator: framing, request decoding, serving and
// reply building must neither crash nor produce a reply without a good CRC.
#include "RtuFraming.h"
#include "Simulator.h"

#include <cstdlib>

using namespace actuatorsim;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Simulator sim([] {
        SimOptions options;
        options.strokeSeconds = 1.0;
        return options;
    }());
    RtuFramer framer(20);
    std::int64_t now = 0;
    auto serve = [&](const std::vector<Frame>& frames) {
        for (const Frame& frame : frames) {
            for (const Outgoing& out : sim.handleFrame(frame, now))
                if (!hasValidCrc(out.bytes.data(), out.bytes.size())) std::abort();
        }
    };
    // Feed in chunks whose sizes come from the input itself, with the clock moving.
    std::size_t at = 0;
    while (at < size) {
        const std::size_t chunk = 1 + data[at] % 16;
        const std::size_t take = std::min(chunk, size - at);
        serve(framer.feed(data + at, take, now));
        at += take;
        now += data[at - 1] % 40;
        sim.model().advance(10);
        serve(framer.expire(now));
    }
    serve(framer.expire(now + 1000));
    return 0;
}
