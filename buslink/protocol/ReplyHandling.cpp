#include "ReplyHandling.h"

#include "FrameCodec.h"
#include "MbapFraming.h"
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

FoundReply incomplete(int skipped, int needed, const StrayFrame& stray)
{
    FoundReply r;
    r.skipped = skipped;
    r.bytesNeeded = qMax(1, needed);
    r.stray = stray;
    return r;
}

FoundReply complete(ReplyVerdict verdict, int skipped, int length, QByteArray bytes, const StrayFrame& stray)
{
    FoundReply r;
    r.verdict = verdict;
    r.skipped = skipped;
    r.length = length;
    r.bytes = std::move(bytes);
    r.stray = stray;
    if (verdict == ReplyVerdict::Exception && r.bytes.size() >= 3) r.exceptionCode = at(r.bytes, 2);
    return r;
}

// Bytes (before the check) of a reply-shaped frame whose header is `head` (k bytes of
// it known): from its function code, as any device answers; 0 when the function has
// no fixed answer shape, -1 when more of the header is needed.
int replyBodyLength(const quint8* head, int k)
{
    if (k < 2) return -1;
    const int fc = head[1];
    if (fc & 0x80) return 3;
    switch (fc) {
    case 1: case 2: case 3: case 4: case 12: case 17: case 20: case 21: case 23:
        return k < 3 ? -1 : 3 + head[2];
    case 5: case 6: case 8: case 11: case 15: case 16:
        return 6;
    case 7:
        return 3;
    case 22:
        return 8;
    default:
        return 0;
    }
}

StrayFrame strayOf(const quint8* head, int bodyLength)
{
    StrayFrame s;
    s.unit = head[0];
    s.function = head[1];
    const int fc = head[1];
    if (bodyLength >= 3 && ((fc >= 1 && fc <= 4) || fc == 12 || fc == 17 || fc == 20 || fc == 21 || fc == 23))
        s.byteCount = head[2];
    return s;
}

enum class CutKind { NoStart, NeedMore, Answer, Stray };

struct Cut {
    CutKind kind = CutKind::NoStart;
    int need = 0;                 // NeedMore: bytes still missing
    int length = 0;               // Answer, Stray: line length
    ReplyVerdict verdict = ReplyVerdict::Ok;
    bool checkHolds = false;
    QByteArray bytes;             // Answer: the bytes before the check
    StrayFrame stray;
};

// What may start at one position of an RTU line.
struct RtuReplyFramer {
    const ReplyExpectation& e;
    int shortest() const { return qMin(ExceptionFrameLength(Framing::Rtu), e.expectedLength); }

    Cut operator()(const QByteArray& b, int p) const
    {
        Cut cut;
        const int avail = int(b.size()) - p;
        const auto* head = reinterpret_cast<const quint8*>(b.constData()) + p;
        if (avail < 2) {
            // One byte: only the answer's unit could begin it.
            if (head[0] == at(e.request, 0)) {
                cut.kind = CutKind::NeedMore;
                cut.need = shortest() - avail;
            }
            return cut;
        }
        int length = 0;
        if (isExceptionHeader(head, e.request)) {
            length = ExceptionFrameLength(Framing::Rtu);
            cut.verdict = ReplyVerdict::Exception;
        } else if (headerFits(head, avail, e.request, e.expectedLength)) {
            length = e.expectedLength;
        }
        if (length > 0) {
            if (avail < length) {
                cut.kind = CutKind::NeedMore;
                cut.need = length - avail;
                return cut;
            }
            const Crc crc = ComputeCRC(head, length - 2);
            cut.kind = CutKind::Answer;
            cut.length = length;
            cut.checkHolds = head[length - 2] == crc.low && head[length - 1] == crc.high;
            cut.bytes = b.mid(p, length - 2);
            return cut;
        }
        // No answer starts here; a stray frame might.
        const int body = replyBodyLength(head, avail);
        if (body <= 0 || avail < body + 2) return cut;
        const Crc crc = ComputeCRC(head, body);
        if (head[body] != crc.low || head[body + 1] != crc.high) return cut;
        cut.kind = CutKind::Stray;
        cut.length = body + 2;
        cut.stray = strayOf(head, body);
        return cut;
    }
};

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

// What may start at one position of an ASCII line: a frame is ":" hex digits CR LF.
struct AsciiReplyFramer {
    const ReplyExpectation& e;
    int shortest() const { return qMin(ExceptionFrameLength(Framing::Ascii), e.expectedLength); }

    Cut operator()(const QByteArray& b, int p) const
    {
        Cut cut;
        const int size = int(b.size());
        const int avail = size - p;
        if (b[p] != ':') return cut;
        // The frame runs to the first character that is no hex digit; a ":" there starts another.
        int end = p + 1;
        while (end < size && IsHexDigit(b[end])) ++end;
        const int digits = end - p - 1;
        quint8 head[6];
        const int k = decodePairs(b, p, 6, head);
        const int expectedRtu = (e.expectedLength - 1) / 2;
        int length = 0;
        if (k >= 2 && isExceptionHeader(head, e.request)) {
            length = ExceptionFrameLength(Framing::Ascii);
            cut.verdict = ReplyVerdict::Exception;
        } else if (k >= 2 && headerFits(head, k, e.request, expectedRtu)) {
            length = e.expectedLength;
        }
        if (end == size) {
            // Still arriving: wait for it only when it could become the answer.
            const bool couldBeAnswer = k < 2 ? (digits < 4) : length > 0 && avail < length;
            if (couldBeAnswer) {
                cut.kind = CutKind::NeedMore;
                cut.need = length > 0 ? length - avail : shortest() - avail;
            }
            return cut;
        }
        const bool closed = end + 1 < size ? b[end] == '\r' && b[end + 1] == '\n' : b[end] == '\r';
        if (!closed || digits % 2 != 0 || digits < 6) return cut;
        if (end + 1 >= size) {  // CR in, LF not yet
            if (length > 0) {
                cut.kind = CutKind::NeedMore;
                cut.need = 1;
            }
            return cut;
        }
        const int frameLength = end + 2 - p;
        QByteArray frame = b.mid(p, frameLength);
        HexPairsToBytes(frame, digits);
        const bool sound = BytesLRC(frame, digits) == at(frame, digits / 2 - 1);
        if (length > 0 && frameLength == length) {
            cut.kind = CutKind::Answer;
            cut.length = length;
            cut.checkHolds = sound;
            cut.bytes = frame.left(digits / 2 - 1);
            return cut;
        }
        if (!sound) return cut;
        const auto* body = reinterpret_cast<const quint8*>(frame.constData());
        cut.kind = CutKind::Stray;
        cut.length = frameLength;
        cut.stray = strayOf(body, digits / 2 - 1);
        return cut;
    }
};

// The search both framings share. At each position a frame may start: the answer
// (or its exception) is taken when its check holds; a whole stray frame with a good
// check is stepped over and remembered; anything else is stepped over a byte at a
// time. An answer still arriving is waited for unless a complete good answer follows
// it; an answer whose check fails ends the search unless a good one follows.
template <typename Framer>
FoundReply findIn(const QByteArray& b, const Framer& framer)
{
    const int size = int(b.size());
    StrayFrame stray;
    int pendingAt = -1, pendingNeed = 0;
    StrayFrame strayAtPending;
    int badAt = -1, badLength = 0;
    QByteArray badBytes;
    ReplyVerdict badKind = ReplyVerdict::ChecksumError;
    for (int p = 0; p < size;) {
        const auto cut = framer(b, p);
        switch (cut.kind) {
        case CutKind::NoStart:
            ++p;
            continue;
        case CutKind::NeedMore:
            if (pendingAt < 0) {
                pendingAt = p;
                pendingNeed = cut.need;
                strayAtPending = stray;
            }
            ++p;
            continue;
        case CutKind::Answer:
            if (cut.checkHolds) return complete(cut.verdict, p, cut.length, cut.bytes, stray);
            if (badAt < 0 && pendingAt < 0) {
                badAt = p;
                badLength = cut.length;
                badBytes = cut.bytes;
                badKind = cut.verdict;
            }
            ++p;
            continue;
        case CutKind::Stray:
            if (badAt < 0 && pendingAt < 0) stray = cut.stray;
            p += cut.length;
            continue;
        }
    }
    Q_UNUSED(badKind);
    if (badAt >= 0) return complete(ReplyVerdict::ChecksumError, badAt, badLength, badBytes, stray);
    if (pendingAt >= 0) return incomplete(pendingAt, pendingNeed, strayAtPending);
    return incomplete(size, framer.shortest(), stray);
}

// MBAP answers follow each other whole on a TCP stream: there is nothing to
// resynchronise on, so the search steps from one ADU to the next. An ADU of
// another transaction (a late answer) or of the right one from another unit or
// function is a stray frame; a header that breaks the rules makes every byte
// after it garbage.
FoundReply findMbap(const QByteArray& b, const ReplyExpectation& e)
{
    StrayFrame stray;
    const int size = int(b.size());
    const int expectedRtu = e.expectedLength - 4;
    for (int p = 0; p < size;) {
        const MbapCut cut = CutMbapFrame(QByteArrayView(b).sliced(p));
        if (cut.status == MbapCut::Invalid) return incomplete(size, 1, stray);
        if (cut.status == MbapCut::NeedMore) {
            const int avail = size - p;
            const int length = avail >= 6 ? 6 + (quint8(b[p + 4]) << 8 | quint8(b[p + 5])) : qMin(ExceptionFrameLength(Framing::Mbap), e.expectedLength);
            return incomplete(p, length - avail, stray);
        }
        const auto* head = reinterpret_cast<const quint8*>(cut.unitBytes.constData());
        const int k = int(cut.unitBytes.size());
        if (cut.transactionId == e.transactionId && k >= 2) {
            if (isExceptionHeader(head, e.request) && k == 3)
                return complete(ReplyVerdict::Exception, p, cut.length, cut.unitBytes, stray);
            if (headerFits(head, k, e.request, expectedRtu) && k == expectedRtu - 2)
                return complete(ReplyVerdict::Ok, p, cut.length, cut.unitBytes, stray);
        }
        if (k >= 2) stray = strayOf(head, k);
        p += cut.length;
    }
    return incomplete(size, qMin(ExceptionFrameLength(Framing::Mbap), e.expectedLength), stray);
}

qint32 word(const QByteArray& b, int hi) { return at(b, hi) * 256 + at(b, hi + 1); }

int roundHalfEven(double v) { return int(std::nearbyint(v)); }

} // namespace

FoundReply FindReply(const QByteArray& received, const ReplyExpectation& expected)
{
    if (expected.request.size() < 2 || expected.expectedLength < 1)
        return incomplete(int(received.size()), 1, StrayFrame());
    if (expected.framing == Framing::Ascii) return findIn(received, AsciiReplyFramer{expected});
    if (expected.framing == Framing::Mbap) return findMbap(received, expected);
    return findIn(received, RtuReplyFramer{expected});
}

QString DescribeStrayFrame(const StrayFrame& stray, const QByteArray& request, int expectedRtuLength)
{
    if (stray.unit < 0 || request.size() < 2) return QString();
    const int unit = at(request, 0), fc = at(request, 1);
    if (stray.unit != unit) return QStringLiteral("reply from unit %1, expected unit %2").arg(stray.unit).arg(unit);
    if ((stray.function & 0x7F) != fc)
        return QStringLiteral("reply for function %1, expected function %2").arg(stray.function & 0x7F).arg(fc);
    if (stray.byteCount >= 0)
        return QStringLiteral("bad byte count: %1, expected %2").arg(stray.byteCount).arg(expectedRtuLength - 5);
    return QStringLiteral("the reply does not echo the request");
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
