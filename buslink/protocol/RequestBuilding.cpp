#include "RequestBuilding.h"

#include "FrameCodec.h"
#include "conversions/NumericConversions.h"
#include "conversions/VariantNumbers.h"
#include "base/BuslinkTypes.h"
#include "base/BuslinkError.h"

#include <QVarLengthArray>

#include <cmath>
#include <cstdlib>

namespace buslink {

namespace {

RequestPlan refused(const QString& why)
{
    RequestPlan p;
    p.refusal = why;
    return p;
}

float floatValue(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) return 0.0f;
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    if (!ok) throw BuslinkError(ErrTypeMismatch, QStringLiteral("Type mismatch"));
    return float(d);
}

struct Mapping {
    qint16 function;
    qint32 offset;
    qint16 pointKind;
};

// The mapping tables. False: no row for this range and kind.
bool mapStandard(RequestKind kind, qint32 A, bool six, qint16 range, Mapping& m)
{
    const qint32 base = six ? 100000 : 10000;
    switch (range) {
    case 0:
        m = {qint16(kind == RequestKind::Read ? 1 : kind == RequestKind::SingleWrite ? 5 : 15), A - 1, 0};
        return true;
    case 1:
        if (kind != RequestKind::Read) return false;
        m = {2, A - (base + 1), 0};
        return true;
    case 3:
        if (kind != RequestKind::Read) return false;
        m = {4, A - (3 * base + 1), 0};
        return true;
    case 4:
        m = {qint16(kind == RequestKind::Read ? 3 : kind == RequestKind::SingleWrite ? 6 : 16), A - (4 * base + 1), 0};
        return true;
    default:
        return false;
    }
}

bool mapType2(RequestKind kind, qint32 A, qint16 range, Mapping& m)
{
    switch (kind) {
    case RequestKind::Read:
        switch (range) {
        case 1: m = {1, A, 1}; return true;
        case 3: m = {3, A, 3}; return true;
        case 5: m = {3, A, 5}; return true;
        case 7: m = {3, A, 7}; return true;
        default: return false;
        }
    case RequestKind::SingleWrite:
        switch (range) {
        case 0: m = {5, A - 1, 1}; return true;
        case 1: m = {5, A, 1}; return true;
        case 3: m = {6, A, 3}; return true;
        default: return false;  // range 4 has no sound offset; 5 and 7 take two registers
        }
    case RequestKind::MultipleWrite:
        switch (range) {
        case 0: m = {15, A - 1, 1}; return true;
        case 3: m = {16, A, 3}; return true;
        case 5: m = {16, A, 5}; return true;
        case 7: m = {16, A, 7}; return true;
        default: return false;
        }
    }
    return false;
}

// Collects the fields of a request: RTU checks that each fits, ASCII keeps the
// low bits (the rightmost hex digits).
class FieldWriter {
public:
    explicit FieldWriter(Framing f) : framing(f) {}
    void byte(qint64 v, const char* what = "byte")
    {
        if (framing != Framing::Ascii && (v < 0 || v > 255)) overflow(what, v, 255);
        bytes.append(char(v & 0xFF));
    }
    void word(qint64 v, const char* what = "value")
    {
        if (framing != Framing::Ascii && (v < 0 || v > 65535)) overflow(what, v, 65535);
        bytes.append(char((v >> 8) & 0xFF));
        bytes.append(char(v & 0xFF));
    }
    RequestFrame finish() const
    {
        const QByteArray plain(bytes.constData(), bytes.size());
        if (framing == Framing::Ascii) return RequestFrame{AsciiFrame(plain), plain};
        // MBAP: the header carries the connection's transaction id; the sender puts it in front.
        if (framing == Framing::Mbap) return RequestFrame{plain, plain};
        return RequestFrame{AppendCRC(bytes.constData(), int(bytes.size())), plain};
    }

private:
    [[noreturn]] static void overflow(const char* what, qint64 v, int highest)
    {
        throw BuslinkError(ErrOverflow, QStringLiteral("value out of range: %1 %2 (0 to %3)")
                                            .arg(QLatin1String(what)).arg(v).arg(highest));
    }
    Framing framing;
    QVarLengthArray<char, 280> bytes;  // the largest request fits without a heap allocation
};

} // namespace

bool ReferenceNumber(const QVariant& reference, qint32& A, bool& sixDigitForm)
{
    if (!reference.isValid() || reference.isNull()) return false;
    const int type = reference.typeId();
    switch (type) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt: {
        // The usual case, a whole number: its text is its digits (and sign), no conversion needed.
        const qint64 v = type == QMetaType::Int ? qint64(qvariant_cast<int>(reference)) : reference.toLongLong();
        if (v < -2147483648LL || v > 2147483647LL) return false;
        A = qint32(v);
        int characters = v < 0 ? 2 : 1;
        for (qint64 rest = v < 0 ? -v : v; rest >= 10; rest /= 10) ++characters;
        sixDigitForm = characters == 6;
        return true;
    }
    default:
        break;
    }
    const QString text = reference.toString().trimmed();
    bool ok = false;
    const double d = reference.typeId() == QMetaType::QString ? text.toDouble(&ok) : reference.toDouble(&ok);
    if (!ok || !std::isfinite(d)) return false;
    const double r = std::nearbyint(d);
    if (r < -2147483648.0 || r > 2147483647.0) return false;
    A = qint32(r);
    sixDigitForm = text.size() == 6;
    return true;
}

RequestPlan PlanRequest(qint32 plcType, RequestKind kind, const QVariant& reference, int quantity)
{
    qint32 A = 0;
    bool six = false;
    if (!ReferenceNumber(reference, A, six))
        return refused(QStringLiteral("\"%1\" is not a reference number").arg(reference.toString()));
    if (A < 0) return refused(QStringLiteral("%1 is not a reference number").arg(A));

    RequestPlan p;
    p.SixDigitForm = six;
    Mapping m{};
    if (plcType == EnStdModbus) {
        p.AddressRange = qint16(six ? A / 100000 : A / 10000);
        if (!mapStandard(kind, A, six, p.AddressRange, m)) return refused(QStringLiteral("no mapping for %1").arg(A));
    } else if (plcType == EnType2) {
        p.AddressRange = qint16(A / 1000);
        if (!mapType2(kind, A, p.AddressRange, m)) return refused(QStringLiteral("no mapping for %1").arg(A));
        p.PointKind = m.pointKind;
    } else {
        return refused(QStringLiteral("no address mapping for PLC type %1").arg(plcType));
    }
    p.FunctionCode = m.function;
    p.StartOffset = m.offset;
    if (p.StartOffset < 0 || p.StartOffset > 65535)
        return refused(QStringLiteral("%1 maps to no offset on the wire").arg(A));

    const bool points = plcType == EnType2 && (p.PointKind == 5 || p.PointKind == 7);
    switch (kind) {
    case RequestKind::Read: {
        const bool bits = p.FunctionCode <= 2;
        const int limit = bits ? kMaxBitRead : points ? kMaxPointRead : kMaxRegisterRead;
        if (quantity < 1 || quantity > limit)
            return refused(QStringLiteral("count out of range: %1 %2 (1 to %3 in one read)")
                               .arg(quantity)
                               .arg(bits ? QStringLiteral("coils or inputs") : points ? QStringLiteral("32-bit points") : QStringLiteral("registers"))
                               .arg(limit));
        p.quantity = quantity;
        p.expectedReplyLength = bits ? (quantity - 1) / 8 + 6 : points ? 4 * quantity + 5 : 2 * quantity + 5;
        break;
    }
    case RequestKind::SingleWrite:
        p.quantity = 1;
        p.expectedReplyLength = 8;
        break;
    case RequestKind::MultipleWrite: {
        const int limit = p.FunctionCode == 15 ? kMaxCoilWrite : kMaxRegisterWrite;
        if (quantity < 1 || quantity > limit)
            return refused(QStringLiteral("count out of range: %1 %2 (1 to %3 in one write)")
                               .arg(quantity)
                               .arg(p.FunctionCode == 15 ? QStringLiteral("coils") : QStringLiteral("registers"))
                               .arg(limit));
        p.quantity = quantity;
        p.expectedReplyLength = 8;
        break;
    }
    }
    p.ok = true;
    return p;
}

int WriteCount(qint32 plcType, const QVariant& reference, int n)
{
    qint32 A = 0;
    bool six = false;
    if (plcType != EnType2 || !ReferenceNumber(reference, A, six)) return n;
    const int range = A / 1000;
    if (range >= 5 && range <= 7) return qMin(2 * n, 2);
    return n;
}

std::vector<qint32> PackWriteValues(qint32 plcType, const RequestPlan& plan, qint16 ioType,
                                    const VariantArray& values, int n)
{
    std::vector<qint32> words;
    words.reserve(size_t(2 * qMax(n, 0)));
    const bool floats = (plcType == EnStdModbus && plan.AddressRange == 4 && ioType == ioDFloat)
                        || (plcType == EnType2 && plan.PointKind == 7);
    const bool longs = plcType == EnType2 && plan.PointKind == 5;
    // Standard ioDFloat writes double the count here; EnType2 points come doubled already.
    const int count = plcType == EnStdModbus && floats ? n : (floats || longs) ? n / 2 : n;
    for (int k = 1; k <= count; ++k) {
        if (floats) {
            qint32 high = 0, low = 0;
            DecToLongFloat(floatValue(values[k]), high, low);
            words.push_back(high);
            words.push_back(low);
        } else if (longs) {
            IntArray pair(0, 1);
            LongToUInteger(VariantToInt32(values[k]), pair, 0);
            words.push_back(pair[0]);
            words.push_back(pair[1]);
        } else if (plan.FunctionCode == 15) {
            words.push_back(VariantToInt32(values[k]) != 0 ? 1 : 0);
        } else {
            words.push_back(VariantToInt32(values[k]));
        }
    }
    return words;
}

RequestPlan PlanMultipleWrite(qint32 plcType, const QVariant& reference, qint16 ioType, const VariantArray& values,
                              int n, std::vector<qint32>& words)
{
    words.clear();
    const RequestPlan mapping = PlanRequest(plcType, RequestKind::MultipleWrite, reference, 1);
    if (!mapping.ok) return mapping;
    if (n < 1 || n > kMaxWriteValues)
        return refused(QStringLiteral("count out of range: %1 values (1 to %2 in one write)").arg(n).arg(kMaxWriteValues));
    try {
        words = PackWriteValues(plcType, mapping, ioType, values, n);
    } catch (const BuslinkError&) {
        words.clear();
        return refused(QStringLiteral("value out of range: the values to write are no numbers or lie beyond their range"));
    }
    return PlanRequest(plcType, RequestKind::MultipleWrite, reference, int(words.size()));
}

RequestFrame ReadRequestFrame(Framing framing, qint32 unit, const RequestPlan& plan)
{
    FieldWriter w(framing);
    w.byte(framing != Framing::Ascii ? std::abs(qint64(unit)) : unit, "unit");
    w.byte(plan.FunctionCode);
    w.word(plan.StartOffset, "offset");
    w.word(plan.quantity, "quantity");
    return w.finish();
}

RequestFrame SingleWriteFrame(Framing framing, qint32 unit, const RequestPlan& plan, qint32 value)
{
    if (plan.FunctionCode == 5) value = value != 0 ? 0xFF00 : 0;
    FieldWriter w(framing);
    w.byte(unit, "unit");
    w.byte(plan.FunctionCode);
    w.word(plan.StartOffset, "offset");
    w.word(value, "value");
    return w.finish();
}

RequestFrame MultipleWriteFrame(Framing framing, qint32 unit, const RequestPlan& plan,
                                const std::vector<qint32>& words)
{
    const int n = int(words.size());
    FieldWriter w(framing);
    w.byte(unit, "unit");
    w.byte(plan.FunctionCode);
    w.word(plan.StartOffset, "offset");
    w.word(n, "quantity");
    if (plan.FunctionCode == 15) {
        // Coil states, eight to a byte, the first coil in the least significant bit.
        const int byteCount = (n + 7) / 8;
        w.byte(byteCount);
        for (int b = 0; b < byteCount; ++b) {
            int packed = 0;
            for (int bit = 0; bit < 8 && 8 * b + bit < n; ++bit)
                if (words[size_t(8 * b + bit)] != 0) packed |= 1 << bit;
            w.byte(packed);
        }
    } else {
        w.byte(2 * n);
        for (qint32 v : words) w.word(v, "value");
    }
    return w.finish();
}

} // namespace buslink
