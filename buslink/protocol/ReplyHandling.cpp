#include "ReplyHandling.h"

#include "FrameCodec.h"
#include "conversions/NumericConversions.h"
#include "base/BuslinkTypes.h"
#include "base/VariantAssign.h"

#include <cmath>

namespace buslink {

namespace {

quint8 at(const QByteArray& b, int i) { return quint8(b[i]); }

// "unit;reference" in decimal, written into one buffer.
QString PointKeyText(int unit, qint32 reference)
{
    char text[24];
    char* end = text + sizeof text;
    char* p = end;
    const auto digits = [&p](qint64 v) {
        const bool negative = v < 0;
        quint64 rest = negative ? quint64(-v) : quint64(v);
        do *--p = char('0' + rest % 10); while (rest /= 10);
        if (negative) *--p = '-';
    };
    digits(reference);
    *--p = ';';
    digits(unit);
    return QString::fromLatin1(p, end - p);
}

// Whether the first bytes of a frame can begin the normal answer to the request:
// same unit and function, and the byte count (reads) or the echo (writes).
bool headerFits(const quint8* head, int k, const QByteArray& request, int expectedRtuLength)
{
    if (request.size() < 2 || k < 2) return false;
    if (head[0] != at(request, 0) || head[1] != at(request, 1)) return false;
    const int fc = at(request, 1);
    if (fc >= 1 && fc <= 4) return k < 3 || head[2] == expectedRtuLength - 5;
    const int echo = qMin(k, qMin(6, int(request.size())));
    for (int i = 2; i < echo; ++i)
        if (head[i] != at(request, i)) return false;
    return true;
}

bool isExceptionHeader(const quint8* head, const QByteArray& request)
{
    return request.size() >= 2 && head[0] == at(request, 0) && head[1] == (at(request, 1) | 0x80);
}

FoundReply incomplete(int skipped, int needed)
{
    FoundReply r;
    r.skipped = skipped;
    r.bytesNeeded = qMax(1, needed);
    return r;
}

FoundReply complete(ReplyVerdict verdict, int skipped, int length, QByteArray bytes)
{
    FoundReply r;
    r.verdict = verdict;
    r.skipped = skipped;
    r.length = length;
    r.bytes = std::move(bytes);
    if (verdict == ReplyVerdict::Exception && r.bytes.size() >= 3) r.exceptionCode = at(r.bytes, 2);
    return r;
}

FoundReply findRtu(const QByteArray& b, const ReplyExpectation& e)
{
    const int size = int(b.size());
    const int shortest = qMin(ExceptionFrameLength(Framing::Rtu), e.expectedLength);
    const auto* data = reinterpret_cast<const quint8*>(b.constData());
    for (int p = 0;; ++p) {
        const int avail = size - p;
        if (avail == 1 && e.request.size() >= 1 && data[p] != at(e.request, 0)) continue;  // cannot start an answer
        if (avail < 2) return incomplete(p, shortest - qMax(avail, 0));
        const quint8* head = data + p;
        int length = 0;
        ReplyVerdict good = ReplyVerdict::Ok;
        if (isExceptionHeader(head, e.request)) {
            length = ExceptionFrameLength(Framing::Rtu);
            good = ReplyVerdict::Exception;
        } else if (headerFits(head, avail, e.request, e.expectedLength)) {
            length = e.expectedLength;
        } else {
            continue;
        }
        if (avail < length) return incomplete(p, length - avail);
        const Crc crc = ComputeCRC(head, length - 2);
        const bool sound = head[length - 2] == crc.low && head[length - 1] == crc.high;
        return complete(sound ? good : ReplyVerdict::ChecksumError, p, length, b.mid(p, length - 2));
    }
}

// Decodes the hex pairs after the colon at `from`: the whole pairs of hex digits there are, at most `pairs`.
int decodePairs(const QByteArray& b, int from, int pairs, quint8* out)
{
    int k = 0;
    for (; k < pairs; ++k) {
        const int i = from + 1 + 2 * k;
        const int value = HexByteAt(b, i);
        if (value < 0) break;
        out[k] = quint8(value);
    }
    return k;
}

FoundReply findAscii(const QByteArray& b, const ReplyExpectation& e)
{
    const int size = int(b.size());
    const int expectedRtu = (e.expectedLength - 1) / 2;
    const int shortest = qMin(ExceptionFrameLength(Framing::Ascii), e.expectedLength);
    for (int p = 0;; ++p) {
        const int avail = size - p;
        if (avail <= 0) return incomplete(p, shortest);
        if (b[p] != ':') continue;
        if (avail < 5) return incomplete(p, shortest - avail);
        quint8 head[6];
        const int k = decodePairs(b, p, 6, head);
        if (k < 2) continue;  // not hex digits after the colon
        int length = 0;
        ReplyVerdict good = ReplyVerdict::Ok;
        if (isExceptionHeader(head, e.request)) {
            length = ExceptionFrameLength(Framing::Ascii);
            good = ReplyVerdict::Exception;
        } else if (headerFits(head, k, e.request, expectedRtu)) {
            length = e.expectedLength;
        } else {
            continue;
        }
        if (avail < length) return incomplete(p, length - avail);
        // A frame is hex digits closed by CR LF; anything else there is no frame.
        bool wellFormed = b[p + length - 2] == '\r' && b[p + length - 1] == '\n';
        for (int i = p + 1; wellFormed && i < p + length - 2; ++i) wellFormed = IsHexDigit(b[i]);
        if (!wellFormed) continue;
        QByteArray frame = b.mid(p, length);
        const int n = length - 3;
        HexPairsToBytes(frame, n);
        const bool sound = BytesLRC(frame, n) == at(frame, n / 2 - 1);
        return complete(sound ? good : ReplyVerdict::ChecksumError, p, length, frame.left(n / 2 - 1));
    }
}

qint32 word(const QByteArray& b, int hi) { return at(b, hi) * 256 + at(b, hi + 1); }

int roundHalfEven(double v) { return int(std::nearbyint(v)); }

} // namespace

FoundReply FindReply(const QByteArray& received, const ReplyExpectation& expected)
{
    if (expected.request.size() < 2 || expected.expectedLength < 1) return incomplete(int(received.size()), 1);
    return expected.framing == Framing::Ascii ? findAscii(received, expected) : findRtu(received, expected);
}

DecodedReply DecodeReadReply(const QByteArray& B, const DecodeContext& c, VariantArray& ReplyData)
{
    DecodedReply d;
    const int n = int(B.size());
    if (n < 2) return d;
    const int fc = at(B, 1);
    int k = 1;
    if (c.plcType == EnStdModbus && (fc == 3 || fc == 4)) {
        for (int i = 4; i <= n - 1 && ReplyData.hasIndex(k); i += 2) SetWholeNumber(ReplyData[k++], word(B, i - 1));
        if (fc == 3) d.MAdd = c.StartOffset + (c.SixDigitForm ? 400001 : 40001);
        else d.MAdd = c.StartOffset + (c.SixDigitForm ? 300001 : 30001);
    } else if (c.plcType == EnType2 && fc > 2) {
        d.MAdd = c.StartOffset;
        if (c.PointKind == 3) {
            for (int i = 4; i <= n - 1 && ReplyData.hasIndex(k); i += 2) SetWholeNumber(ReplyData[k++], word(B, i - 1));
        } else if (c.PointKind == 5) {
            ByteArray four(0, 3);
            double unsignedValue = 0;
            for (int i = 4; i + 2 <= n - 1 && ReplyData.hasIndex(k); i += 4) {
                for (int j = 0; j < 4; ++j) four[j] = at(B, i - 1 + j);
                ReplyData[k++] = ByteToLong(four, unsignedValue);
            }
        } else if (c.PointKind == 7) {
            for (int i = 4; i + 2 <= n - 1 && ReplyData.hasIndex(k); i += 4)
                ReplyData[k++] = LongFloatToDec(word(B, i - 1), word(B, i + 1));
        }
    }
    if (fc <= 2) {
        for (int i = 4; i <= n && ReplyData.hasIndex(k + 7); ++i) {
            for (int b = 0; b < 8; ++b) ReplyData[k + b] = qint16(BitIsSet(at(B, i - 1), b));
            k += 8;
        }
    }

    d.count = roundHalfEven((n - 3) / 2.0);
    if (c.plcType == EnType2 && (c.PointKind == 5 || c.PointKind == 7)) d.count = roundHalfEven(d.count / 2.0);
    if (fc == 1) {
        d.MAdd = c.StartOffset + 1;
        d.count = c.RequestedQuantity;
    } else if (fc == 2) {
        d.MAdd = c.StartOffset + (c.SixDigitForm ? 100001 : 10001);
        d.count = c.RequestedQuantity;
    }
    // "unit;reference", written in place: this runs for every reply a scan takes.
    d.key = PointKeyText(at(B, 0), d.MAdd);

    const int last = ReplyData.upperBound();
    switch (c.LastValueType) {
    case ioFloat: {
        const int pairs = roundHalfEven(d.count / 2.0);
        for (int j = 1; j <= pairs && 2 * j <= last; ++j)
            ReplyData[j] = ReplyData[2 * j - 1].toDouble() + ReplyData[2 * j].toDouble() / 10000.0;
        d.count = pairs;
        break;
    }
    case ioDFloat:
        for (int j = 1; j <= d.count / 2 && 2 * j <= last; ++j)
            ReplyData[j] = LongFloatToDec(ReplyData[2 * j - 1].toInt(), ReplyData[2 * j].toInt());
        break;
    case ioSignedWord:
        for (int i = 1; i <= d.count && i <= last; ++i) ReplyData[i] = LongToSIgnedInt(ReplyData[i]);
        break;
    default:
        break;
    }
    return d;
}

} // namespace buslink
