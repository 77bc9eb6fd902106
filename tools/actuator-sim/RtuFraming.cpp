#include "RtuFraming.h"

#include <algorithm>
#include <cmath>

namespace actuatorsim {

namespace {
constexpr int kNeedMore = 0;
constexpr int kUnknownLength = -1;
constexpr std::size_t kMaxBuffered = 512;

// Length of the request that starts the buffer, from its function code.
int expectedLength(const std::vector<std::uint8_t>& b)
{
    if (b.size() < 2) return kNeedMore;
    switch (b[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6: return 8;
    case 7: case 11: case 12: case 17: return 4;
    case 15: case 16: return b.size() < 7 ? kNeedMore : 9 + b[6];
    case 20: case 21: return b.size() < 3 ? kNeedMore : 5 + b[2];
    case 22: return 10;
    case 23: return b.size() < 11 ? kNeedMore : 13 + b[10];
    case 24: return 6;
    default: return kUnknownLength;
    }
}

int word(const Frame& f, std::size_t at) { return (f[at] << 8) | f[at + 1]; }
}  // namespace

std::uint16_t crc16(const std::uint8_t* data, std::size_t size)
{
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
    }
    return crc;
}

bool hasValidCrc(const std::uint8_t* data, std::size_t size)
{
    if (size < 3) return false;
    const std::uint16_t crc = crc16(data, size - 2);
    return data[size - 2] == (crc & 0xFF) && data[size - 1] == (crc >> 8);
}

int frameGapMs(int baud)
{
    if (baud <= 0) return 20;
    const int fourCharacters = int(std::ceil(4.0 * 11.0 * 1000.0 / baud));
    return std::max(20, fourCharacters);
}

std::vector<Frame> RtuFramer::feed(const std::uint8_t* data, std::size_t size, std::int64_t nowMs)
{
    if (size > 0) lastByteMs = nowMs;
    buffer.insert(buffer.end(), data, data + size);
    if (buffer.size() > kMaxBuffered) {
        const std::size_t excess = buffer.size() - kMaxBuffered;
        buffer.erase(buffer.begin(), buffer.begin() + long(excess));
        discarded += long(excess);
    }
    return extract();
}

std::vector<Frame> RtuFramer::extract()
{
    std::vector<Frame> frames;
    while (buffer.size() >= 4) {
        const int length = expectedLength(buffer);
        if (length == kNeedMore || length == kUnknownLength) break;
        if (buffer.size() < std::size_t(length)) break;
        if (hasValidCrc(buffer.data(), std::size_t(length))) {
            frames.emplace_back(buffer.begin(), buffer.begin() + length);
            buffer.erase(buffer.begin(), buffer.begin() + length);
            continue;
        }
        // Not a frame here: look for one starting at the next byte.
        buffer.erase(buffer.begin());
        ++discarded;
    }
    return frames;
}

std::vector<Frame> RtuFramer::expire(std::int64_t nowMs)
{
    std::vector<Frame> frames;
    if (buffer.empty() || nowMs - lastByteMs < gapMs) return frames;
    while (!buffer.empty()) {
        if (buffer.size() >= 4 && hasValidCrc(buffer.data(), buffer.size())) {
            frames.push_back(buffer);
            buffer.clear();
            break;
        }
        buffer.erase(buffer.begin());
        ++discarded;
        for (auto& frame : extract()) frames.push_back(std::move(frame));
    }
    return frames;
}

ParsedRequest parseRequest(const Frame& f)
{
    ParsedRequest parsed;
    Request& r = parsed.request;
    r.unit = f.size() > 0 ? f[0] : 0;
    r.function = f.size() > 1 ? f[1] : 0;
    auto illegal = [&](RequestCheck check) {
        parsed.check = check;
        return parsed;
    };
    if (f.size() < 8) return illegal(RequestCheck::IllegalFunction);
    r.offset = word(f, 2);
    switch (r.function) {
    case 1: case 2: case 3: case 4: {
        r.table = r.function == 1   ? Table::Coil
                  : r.function == 2 ? Table::DiscreteInput
                  : r.function == 3 ? Table::HoldingRegister
                                    : Table::InputRegister;
        r.quantity = word(f, 4);
        const int limit = r.function <= 2 ? 2000 : 125;
        if (r.quantity < 1 || r.quantity > limit) return illegal(RequestCheck::IllegalValue);
        return parsed;
    }
    case 5: {
        r.table = Table::Coil;
        r.quantity = 1;
        r.isWrite = true;
        const int value = word(f, 4);
        if (value != 0xFF00 && value != 0) return illegal(RequestCheck::IllegalValue);
        r.values = {std::uint16_t(value ? 1 : 0)};
        return parsed;
    }
    case 6:
        r.table = Table::HoldingRegister;
        r.quantity = 1;
        r.isWrite = true;
        r.values = {std::uint16_t(word(f, 4))};
        return parsed;
    case 15: {
        r.table = Table::Coil;
        r.isWrite = true;
        r.quantity = word(f, 4);
        const std::size_t bytes = f[6];
        if (r.quantity < 1 || r.quantity > 1968 || bytes != std::size_t((r.quantity + 7) / 8) ||
            f.size() != 9 + bytes)
            return illegal(RequestCheck::IllegalValue);
        for (int i = 0; i < r.quantity; ++i) r.values.push_back(std::uint16_t((f[7 + i / 8] >> (i % 8)) & 1));
        return parsed;
    }
    case 16: {
        r.table = Table::HoldingRegister;
        r.isWrite = true;
        r.quantity = word(f, 4);
        const std::size_t bytes = f[6];
        if (r.quantity < 1 || r.quantity > 123 || bytes != std::size_t(2 * r.quantity) || f.size() != 9 + bytes)
            return illegal(RequestCheck::IllegalValue);
        for (int i = 0; i < r.quantity; ++i) r.values.push_back(std::uint16_t(word(f, 7 + 2 * std::size_t(i))));
        return parsed;
    }
    default:
        return illegal(RequestCheck::IllegalFunction);
    }
}

}  // namespace actuatorsim
