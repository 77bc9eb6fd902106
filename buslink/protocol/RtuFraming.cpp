#include "RtuFraming.h"

#include "FrameCodec.h"

#include <algorithm>

namespace buslink {

namespace {

int byteAt(QByteArrayView b, int i) { return quint8(b[i]); }

// The bytes 0 .. n-1 end in the CRC of the bytes before it.
bool crcHolds(QByteArrayView b, int n)
{
    const Crc crc = ComputeCRC(reinterpret_cast<const quint8*>(b.data()), n - 2);
    return byteAt(b, n - 2) == crc.low && byteAt(b, n - 1) == crc.high;
}

// What the bytes from one offset on can still become.
struct Candidate {
    enum State { Dead, Pending, Complete } state = Dead;
    int length = 0;         // Complete: the frame's length
    bool byHeader = false;  // Complete: the length came from the header, not from a CRC search
};

// Shortest length at which the CRC holds, 0 when none up to the bytes there are.
int searchByCrc(QByteArrayView b)
{
    quint16 crc = kCrcStart;
    crc = CrcStep(crc, quint8(b[0]));
    crc = CrcStep(crc, quint8(b[1]));
    for (int n = kMinRtuFrameLength; n <= b.size(); ++n) {
        if (byteAt(b, n - 2) == (crc & 0xFF) && byteAt(b, n - 1) == (crc >> 8)) return n;
        crc = CrcStep(crc, quint8(b[n - 2]));
    }
    return 0;
}

// `search`: whether a CRC search is wanted (a frame found by one could be taken here).
Candidate examine(QByteArrayView rest, bool silence, bool search, const RtuLengthRule& rule)
{
    const QByteArrayView head = rest.first(std::min<qsizetype>(rest.size(), kMaxRtuFrameLength));
    const int length = rule(head);
    const Candidate pending{silence ? Candidate::Dead : Candidate::Pending};
    if (length == kNoFrameStart) return {};
    if (length == kNeedMoreToTell) return pending;
    if (length == kLengthByCrc) {
        if (head.size() < kMinRtuFrameLength || !search) return pending;
        if (const int found = searchByCrc(head)) return {Candidate::Complete, found, false};
        // Every length up to the longest frame failed: nothing starts here.
        return head.size() >= kMaxRtuFrameLength ? Candidate{} : pending;
    }
    if (length < kMinRtuFrameLength || length > kMaxRtuFrameLength) return {};
    if (head.size() < length) return pending;
    return crcHolds(head, length) ? Candidate{Candidate::Complete, length, true} : Candidate{};
}

// What the first k bytes, about to be dropped, began with.
DroppedBytes whatWasDropped(QByteArrayView received, int k, const RtuLengthRule& rule)
{
    const QByteArrayView dropped = received.first(k);
    if (k < 2) return DroppedBytes::Noise;
    // A whole frame of a kind the rule does not take (a reply of another device).
    if (k >= kMinRtuFrameLength && crcHolds(dropped, k)) return DroppedBytes::UnexpectedFrame;
    const int length = rule(dropped.first(std::min(k, kMaxRtuFrameLength)));
    if (length == kNoFrameStart || length == kLengthByCrc) return DroppedBytes::Noise;
    if (length == kNeedMoreToTell || length > k) return DroppedBytes::Incomplete;
    return DroppedBytes::ChecksumError;
}

FrameSearch frameAt(QByteArrayView received, int k, int length, const RtuLengthRule& rule)
{
    return {FrameSearch::Kind::Frame, k, length, whatWasDropped(received, k, rule)};
}

FrameSearch drop(QByteArrayView received, int k, const RtuLengthRule& rule)
{
    return {FrameSearch::Kind::Drop, k, 0, whatWasDropped(received, k, rule)};
}

} // namespace

int RtuRequestLength(QByteArrayView head)
{
    if (head.size() < 1) return kNeedMoreToTell;
    if (byteAt(head, 0) > 247) return kNoFrameStart;
    if (head.size() < 2) return kNeedMoreToTell;
    // Fixed bytes plus the byte count found at `countAt`.
    const auto counted = [&](int countAt, int fixed) {
        if (head.size() <= countAt) return kNeedMoreToTell;
        const int length = fixed + byteAt(head, countAt);
        return length > kMaxRtuFrameLength ? kNoFrameStart : length;
    };
    const int fc = byteAt(head, 1);
    switch (fc) {
    case 1: case 2: case 3: case 4: case 5: case 6:
    case 8:  // diagnostics: sub-function and one data word
        return 8;
    case 7: case 11: case 12: case 17:
        return 4;
    case 15: case 16:
        return counted(6, 9);
    case 20: case 21:  // file records: byte count after the function
        return counted(2, 5);
    case 22:  // mask write: address, AND mask, OR mask
        return 10;
    case 23:  // read/write registers: byte count after read address, read and write quantities, write address
        return counted(10, 13);
    case 24:  // FIFO queue: pointer address
        return 6;
    case 43:  // encapsulated interface: device identification has MEI type 14, object access
        if (head.size() < 3) return kNeedMoreToTell;
        return byteAt(head, 2) == 0x0E ? 7 : kLengthByCrc;
    default:
        return (fc == 0 || fc >= 0x80) ? kNoFrameStart : kLengthByCrc;
    }
}

FrameSearch FindRtuFrame(QByteArrayView received, bool silence, const RtuLengthRule& rule)
{
    const int n = int(received.size());
    if (n == 0) return {};
    int firstOpen = -1;  // the earliest offset that may still become a frame
    for (int k = 0; k < n; ++k) {
        const Candidate c = examine(received.sliced(k), silence, silence || firstOpen < 0, rule);
        // A CRC found by search over many lengths is weak evidence: it must not cut
        // into a frame that is still arriving.
        if (c.state == Candidate::Complete && (c.byHeader || firstOpen < 0))
            return frameAt(received, k, c.length, rule);
        if (c.state == Candidate::Pending && firstOpen < 0) firstOpen = k;
    }
    if (silence || firstOpen < 0) return drop(received, n, rule);
    // Beyond the longest frame the bytes before the first open offset can never be part of one.
    if (n > kMaxRtuFrameLength && firstOpen > 0) return drop(received, firstOpen, rule);
    return {};
}

FrameSearch FindRtuRequest(QByteArrayView received, bool silence)
{
    return FindRtuFrame(received, silence, RtuRequestLength);
}

} // namespace buslink
