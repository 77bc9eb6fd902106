#include "AsciiFraming.h"

#include "FrameCodec.h"

namespace buslink {

namespace {

FrameSearch drop(int k, DroppedBytes what) { return {FrameSearch::Kind::Drop, k, 0, what}; }

int hexByteAt(QByteArrayView text, int i)
{
    if (!IsHexDigit(text[i]) || !IsHexDigit(text[i + 1])) return -1;
    return HexDigitValue(text[i]) * 16 + HexDigitValue(text[i + 1]);
}

} // namespace

bool DecodeAsciiFrame(QByteArrayView frame, QByteArray& bytes)
{
    const int n = int(frame.size());
    if (n < kMinAsciiFrameLength || frame[0] != ':' || frame[n - 2] != '\r' || frame[n - 1] != '\n') return false;
    const int digits = n - 3;
    if (digits % 2 != 0) return false;
    QByteArray decoded;
    decoded.reserve(digits / 2);
    int sum = 0;
    for (int i = 1; i < 1 + digits; i += 2) {
        const int b = hexByteAt(frame, i);
        if (b < 0) return false;
        decoded.append(char(b));
        sum += b;
    }
    // The LRC is the two's complement of the other bytes' sum: all of them add up to 0.
    if ((sum & 0xFF) != 0) return false;
    decoded.chop(1);
    bytes = decoded;
    return true;
}

FrameSearch FindAsciiFrame(QByteArrayView received, bool silence)
{
    const int n = int(received.size());
    if (n == 0) return {};
    const int start = int(received.indexOf(':'));
    if (start < 0) return (silence || n > kMaxAsciiFrameLength) ? drop(n, DroppedBytes::Noise) : FrameSearch{};
    for (int i = start + 1; i < n; ++i) {
        const char c = received[i];
        if (c == ':') return drop(i, DroppedBytes::Incomplete);
        if (i - start >= kMaxAsciiFrameLength) return drop(i, DroppedBytes::Incomplete);
        if (c != '\n') continue;
        if (received[i - 1] != '\r') return drop(i + 1, DroppedBytes::BadLineEnding);
        const int length = i + 1 - start;
        QByteArray ignored;
        if (!DecodeAsciiFrame(received.sliced(start, length), ignored)) return drop(i + 1, DroppedBytes::ChecksumError);
        return {FrameSearch::Kind::Frame, start, length, DroppedBytes::Noise};
    }
    // Noise before an unfinished frame goes at a silence, or when it would keep more than the longest frame.
    if (start > 0 && (silence || n > kMaxAsciiFrameLength)) return drop(start, DroppedBytes::Noise);
    return {};
}

} // namespace buslink
