#pragma once
// Request side of the simulator's RTU line: finding request frames in the bytes a
// master sends, and reading a request's function, table, offset and values.
// Replies are built by libmodbus (see main.cpp); this side is ours so that the
// simulator can see every request, including those meant for other units.
#include "SimTypes.h"

#include <cstdint>
#include <vector>

namespace actuatorsim {

using Frame = std::vector<std::uint8_t>;

std::uint16_t crc16(const std::uint8_t* data, std::size_t size);
bool hasValidCrc(const std::uint8_t* data, std::size_t size);

// Collects request frames from the bytes of the line. A frame is recognised by the
// length its function code implies and a correct CRC; bytes in front of a frame that
// do not start one are skipped one at a time. Bytes left over when the line has been
// quiet for the gap are given up (or taken as one frame of an unknown function when
// their CRC is right).
class RtuFramer {
public:
    explicit RtuFramer(int gapMs = 20) : gapMs(gapMs) {}
    // A new power-on: bytes still pending are dropped, the gap follows the new line
    // settings, and the count of discarded bytes carries on.
    void restart(int newGapMs)
    {
        buffer.clear();
        gapMs = newGapMs;
    }

    std::vector<Frame> feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs);
    std::vector<Frame> expire(std::int64_t nowMs);

    bool hasPending() const { return !buffer.empty(); }
    std::int64_t deadline() const { return lastByteMs + gapMs; }
    // Bytes skipped or given up so far.
    long discardedBytes() const { return discarded; }

private:
    std::vector<Frame> extract();

    std::vector<std::uint8_t> buffer;
    std::int64_t lastByteMs = 0;
    int gapMs;
    long discarded = 0;
};

// Inter-frame gap for a baud rate: four character times, at least 20 ms.
int frameGapMs(int baud);

// A decoded request. Bit values (coils) are 0 or 1.
struct Request {
    int unit = 0;
    int function = 0;
    Table table = Table::Coil;
    int offset = 0;
    int quantity = 0;
    bool isWrite = false;
    std::vector<std::uint16_t> values;  // the values of a write
};

enum class RequestCheck { Ok, IllegalFunction, IllegalValue };

struct ParsedRequest {
    RequestCheck check = RequestCheck::Ok;
    Request request;
};

// Reads a frame that has a valid CRC. Functions 1 to 6, 15 and 16 are served; any
// other is an illegal function; a quantity or byte count out of range is an illegal
// data value, as is a coil value other than FF00 or 0000.
ParsedRequest parseRequest(const Frame& frame);

}  // namespace actuatorsim
