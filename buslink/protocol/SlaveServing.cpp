#include "SlaveServing.h"

#include "AsciiFraming.h"
#include "FrameCodec.h"
#include "conversions/NumericConversions.h"
#include "conversions/VariantNumbers.h"

#include <QString>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <vector>

namespace buslink {

namespace {

constexpr int kMaxReplyDataBytes = kSlaveReplyBufferBytes - 3;
static_assert(kMaxReplyDataBytes >= 2 * kMaxServedRegisterRead && kMaxReplyDataBytes * 8 >= kMaxServedBitRead);

// The request cannot be served: the reply carries this exception code.
struct Exception {
    int code;
};

// The request's bytes without the check; false when the check (or the ASCII text) is bad.
bool decodeFrame(const QByteArray& frame, Framing framing, QByteArray& bytes)
{
    if (framing == Framing::Rtu) {
        if (frame.size() < 4 || !HasGoodCRC(frame)) return false;
        bytes = frame.left(frame.size() - 2);
        return true;
    }
    if (framing == Framing::Mbap) {  // the ADU's unit id and PDU: TCP has checked them
        bytes = frame;
        return true;
    }
    return DecodeAsciiFrame(frame, bytes);
}

// Byte i of the request as it stands on the line, undecoded (-1: not there).
int rawByteAt(QByteArrayView frame, Framing framing, int i)
{
    if (framing != Framing::Ascii) return i < frame.size() ? quint8(frame[i]) : -1;
    const int colon = int(frame.indexOf(':'));
    const int at = (colon < 0 ? 0 : colon) + 1 + 2 * i;
    if (at + 1 >= frame.size() || !IsHexDigit(frame[at]) || !IsHexDigit(frame[at + 1])) return -1;
    return HexDigitValue(frame[at]) * 16 + HexDigitValue(frame[at + 1]);
}

int byteAt(const QByteArray& d, int i) { return quint8(d[i]); }
int wordAt(const QByteArray& d, int i) { return byteAt(d, i) * 256 + byteAt(d, i + 1); }

void appendWord(QByteArray& out, qint64 v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// Unit, function, two words: reads and single writes.
void requireFixedLength(const QByteArray& d)
{
    if (d.size() != 6) throw Exception{kIllegalDataValue};
}

void requireQuantity(int quantity, int most)
{
    if (quantity < 1 || quantity > most) throw Exception{kIllegalDataValue};
}

// Elements first .. first + count - 1 all exist.
void requireRange(const IntArray& image, qint64 first, int count)
{
    if (!image.hasIndex(int(first)) || !image.hasIndex(int(first + count - 1))) throw Exception{kIllegalDataAddress};
}

// Bit reply data: bit k of byte j is item 8j + k; an item is ON when its element holds exactly 1.
void appendBits(QByteArray& out, const IntArray& image, int first, int count)
{
    requireQuantity(count, kMaxServedBitRead);
    requireRange(image, first, count);
    const int byteCount = (count + 7) / 8;
    out.append(char(byteCount));
    for (int j = 0; j < byteCount; ++j) {
        int byte = 0;
        for (int k = 0; k < 8 && 8 * j + k < count; ++k)
            if (image[first + 8 * j + k] == 1) byte |= 1 << k;
        out.append(char(byte));
    }
}

void appendRegister(QByteArray& out, qint64 value)
{
    if (value < 0 || value > 65535) throw Exception{kDeviceFailure};
    appendWord(out, value);
}

// The items of a write of several coils or registers (functions 15 and 16).
// Function 15 comes either with packed bits (byte count = quantity / 8 rounded up,
// as standard masters send it) or with one 16-bit value per coil (byte count =
// 2 x quantity); function 16 always with one 16-bit value per register.
std::vector<qint32> multipleWriteItems(const QByteArray& d, int functionCode)
{
    if (d.size() < 7) throw Exception{kIllegalDataValue};
    const int quantity = wordAt(d, 4);
    const int byteCount = byteAt(d, 6);
    requireQuantity(quantity, functionCode == 15 ? kMaxServedCoilWrite : kMaxServedRegisterWrite);
    if (d.size() != 7 + byteCount) throw Exception{kIllegalDataValue};
    std::vector<qint32> items;
    items.reserve(size_t(quantity));
    if (byteCount == 2 * quantity) {
        for (int i = 0; i < quantity; ++i) items.push_back(wordAt(d, 7 + 2 * i));
    } else if (functionCode == 15 && byteCount == (quantity + 7) / 8) {
        for (int i = 0; i < quantity; ++i) items.push_back((byteAt(d, 7 + i / 8) >> (i % 8)) & 1);
    } else {
        throw Exception{kIllegalDataValue};
    }
    return items;
}

// Reply to functions 5, 6, 15 and 16: unit, function, then the request's four bytes as received.
QByteArray echoReply(quint8 unit, const QByteArray& d)
{
    QByteArray out;
    out.append(char(unit));
    out.append(d.mid(1, 5));
    return out;
}

QByteArray serveStandard(const QByteArray& d, quint8 replyUnit, IntArray& image)
{
    const bool broadcast = byteAt(d, 0) == 0;
    const int fc = byteAt(d, 1);
    QByteArray out;
    out.append(char(replyUnit));
    out.append(char(fc));
    switch (fc) {
    case 1:
    case 2:
        requireFixedLength(d);
        if (broadcast) return {};
        appendBits(out, image, (fc == 1 ? 0 : 10000) + wordAt(d, 2) + 1, wordAt(d, 4));
        return out;
    case 3:
    case 4: {
        requireFixedLength(d);
        if (broadcast) return {};
        const int quantity = wordAt(d, 4);
        requireQuantity(quantity, kMaxServedRegisterRead);
        const int first = (fc == 3 ? 40000 : 30000) + wordAt(d, 2) + 1;
        requireRange(image, first, quantity);
        out.append(char(2 * quantity));
        for (int i = 0; i < quantity; ++i) appendRegister(out, image[first + i]);
        return out;
    }
    case 5:
    case 6: {
        requireFixedLength(d);
        const int index = (fc == 5 ? 0 : 40000) + wordAt(d, 2) + 1;
        const int field = wordAt(d, 4);
        requireRange(image, index, 1);
        image[index] = fc == 5 ? (field == 0xFF00 ? 1 : 0) : field;
        return broadcast ? QByteArray() : echoReply(replyUnit, d);
    }
    case 15:
    case 16: {
        const std::vector<qint32> items = multipleWriteItems(d, fc);
        const int first = (fc == 15 ? 0 : 40000) + wordAt(d, 2) + 1;
        requireRange(image, first, int(items.size()));
        for (size_t i = 0; i < items.size(); ++i) image[first + int(i)] = items[i];
        return broadcast ? QByteArray() : echoReply(replyUnit, d);
    }
    default:
        throw Exception{kIllegalFunction};
    }
}

QByteArray serveGateway(const QByteArray& d, IntArray& image, GatewayValueStore& service)
{
    const int unit = byteAt(d, 0);
    const bool broadcast = unit == 0;
    const int fc = byteAt(d, 1);
    if (!(fc >= 1 && fc <= 6) && fc != 15 && fc != 16) throw Exception{kIllegalFunction};
    if (d.size() < 6) throw Exception{kIllegalDataValue};
    const int a = wordAt(d, 2);
    const int field = wordAt(d, 4);
    const int kind = a / 1000;
    const QString key = QStringLiteral("%1;%2").arg(unit).arg(a);
    QByteArray out;
    out.append(char(unit));
    out.append(char(fc));

    if (fc >= 1 && fc <= 4) {
        requireFixedLength(d);
        if (broadcast) return {};
        const int n = field;
        if (kind == 1) {
            appendBits(out, image, a, n);
            return out;
        }
        requireQuantity(n, kMaxServedRegisterRead);
        if (kind != 3 && kind != 5 && kind != 7) throw Exception{kIllegalDataAddress};
        // Two registers per value for kinds 5 and 7: an odd count would split a value.
        if (kind != 3 && n % 2 != 0) throw Exception{kIllegalDataAddress};
        out.append(char(2 * n));
        if (kind == 3) {
            VariantArray values(1, n);
            service.read(key, values, n);
            for (int i = 1; i <= n; ++i) appendRegister(out, VariantToInt32(values[i]));
        } else if (kind == 5) {
            VariantArray values(1, n);
            service.read(key, values, n);
            IntArray words(0, 1);
            for (int j = 1; j <= n / 2; ++j) {
                LongToUInteger(VariantToInt32(values[j]), words, 0);
                appendWord(out, words[0]);
                appendWord(out, words[1]);
            }
        } else {
            VariantArray values(1, n / 2);
            service.read(key, values, double(n) / 2.0);
            for (int j = 1; j <= n / 2; ++j) {
                qint32 high = 0, low = 0;
                DecToLongFloat(float(VariantNumber(values[j])), high, low);
                appendWord(out, high);
                appendWord(out, low);
            }
        }
        return out;
    }

    if (fc == 5 || fc == 6) {
        requireFixedLength(d);
        const qint32 stored = fc == 5 ? (field == 0xFF00 ? 1 : 0) : field;
        requireRange(image, a, 1);
        image[a] = stored;
        VariantArray one(1, 1);
        one[1] = stored;
        service.update(key, one, 1);
        return broadcast ? QByteArray() : echoReply(quint8(unit), d);
    }

    const std::vector<qint32> items = multipleWriteItems(d, fc);
    const int n = int(items.size());
    if (kind == 5 || kind == 7) {
        // Groups of four bytes, one value each: convert all before storing any.
        if (byteAt(d, 6) != 2 * n) throw Exception{kIllegalDataValue};
        if (n % 2 != 0) throw Exception{kIllegalDataAddress};
        std::vector<QVariant> values;
        for (int g = 0; g < n / 2; ++g) {
            if (kind == 5) {
                ByteArray bytes(0, 3);
                for (int b = 0; b < 4; ++b) bytes[b] = quint8(d[7 + 4 * g + b]);
                double unsignedValue = 0;
                values.emplace_back(ByteToLong(bytes, unsignedValue));
            } else {
                values.emplace_back(LongFloatToDec(items[size_t(2 * g)], items[size_t(2 * g + 1)]));
            }
        }
        for (const QVariant& v : values) {
            VariantArray one(1, 1);
            one[1] = v;
            service.update(key, one, 1);
        }
    } else if (kind == 1 || kind == 3) {
        if (kind == 3 && byteAt(d, 6) != 2 * n) throw Exception{kIllegalDataValue};
        requireRange(image, a, n);
        VariantArray values(1, n);
        for (int i = 0; i < n; ++i) {
            image[a + i] = items[size_t(i)];
            values[i + 1] = items[size_t(i)];
        }
        service.update(key, values, n);
    } else {
        throw Exception{kIllegalDataAddress};
    }
    return broadcast ? QByteArray() : echoReply(quint8(unit), d);
}

QByteArray exceptionReply(quint8 unit, int fc, int code)
{
    QByteArray out;
    out.append(char(unit));
    out.append(char(fc | 0x80));
    out.append(char(code));
    return out;
}

} // namespace

SlaveOutcome FailedCheckOutcome(QByteArrayView frame, Framing framing)
{
    SlaveOutcome outcome;
    const int fc = rawByteAt(frame, framing, 1);
    if (fc == 15 || fc == 16) {
        const int high = rawByteAt(frame, framing, 4), low = rawByteAt(frame, framing, 5);
        outcome.quan = qint16(high < 0 || low < 0 ? 0 : high * 256 + low);
    }
    return outcome;
}

SlaveOutcome ServeSlaveRequest(const QByteArray& frame, const SlaveSetup& setup, IntArray& image,
                               GatewayValueStore* service)
{
    QByteArray d;
    if (!decodeFrame(frame, setup.framing, d) || d.size() < 2) return FailedCheckOutcome(frame, setup.framing);
    SlaveOutcome outcome;
    outcome.checkPassed = true;
    outcome.MAdd = byteAt(d, 1);
    outcome.quan = qint16(std::nearbyint((int(d.size()) - 3) / 2.0));  // halves to even

    const int unit = byteAt(d, 0);
    const int fc = byteAt(d, 1);
    const bool tcp = setup.framing == Framing::Mbap;
    // Over TCP the unit id names the device behind a gateway: 0 and 255 (what gateways
    // send) mean this device, and there is no broadcast.
    const bool thisDevice = tcp && (unit == 0 || unit == 255);
    if (thisDevice) d[0] = char(quint8(std::abs(int(setup.ownUnit))));
    if (fc == 0 || fc >= 0x80) return outcome;
    // A standard slave answers its own unit; a gateway every unit. Function 0 and
    // codes with bit 7 set are no requests (an exception reply looks like that).
    if (!setup.gateway && !thisDevice && unit != setup.ownUnit && unit != 0) {
        // A TCP client would wait for an answer that never comes: say nobody is there.
        if (tcp) outcome.reply = exceptionReply(quint8(unit), fc, kGatewayTargetFailed);
        return outcome;
    }
    const quint8 replyUnit = setup.gateway || thisDevice ? quint8(unit) : quint8(std::abs(int(setup.ownUnit)));
    const bool broadcast = unit == 0 && !tcp;

    QByteArray body;
    try {
        if (setup.readOnly && (fc == 5 || fc == 6 || fc == 15 || fc == 16)) throw Exception{kIllegalFunction};
        if (!setup.gateway) body = serveStandard(d, replyUnit, image);
        else if (service) body = serveGateway(d, image, *service);
        else throw Exception{kDeviceFailure};
    } catch (const Exception& e) {
        outcome.exceptionCode = e.code;
    } catch (const std::exception&) {
        // A value that does not convert, or the service failing.
        outcome.exceptionCode = kDeviceFailure;
    }
    if (outcome.exceptionCode != 0) body = broadcast ? QByteArray() : exceptionReply(replyUnit, fc, outcome.exceptionCode);
    if (body.isEmpty()) return outcome;
    if (thisDevice) body[0] = char(unit);  // the answer names the unit id the request gave
    outcome.reply = setup.framing == Framing::Rtu ? AppendCRC(body) : tcp ? body : AsciiFrame(body);
    return outcome;
}

} // namespace buslink
