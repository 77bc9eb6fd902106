#include "SlaveServing.h"

#include "conversions/NumericConversions.h"
#include "conversions/VariantNumbers.h"
#include "FrameCodec.h"

#include <QString>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <vector>

namespace buslink {

namespace {

constexpr int kReplyBufferBytes = 126;                     // unit, function, count and the data
constexpr int kMaxReplyDataBytes = kReplyBufferBytes - 3;  // 123
constexpr int kMaxReadRegisters = kMaxReplyDataBytes / 2;  // 61
constexpr int kMaxReadBits = kMaxReplyDataBytes * 8;       // 984

// The request could not be served; nothing is sent.
struct Refused {};

// The request's bytes without the check; false when the check (or the ASCII text) is bad.
bool decodeFrame(const QByteArray& frame, SlaveFraming framing, QByteArray& bytes)
{
    if (framing == SlaveFraming::Rtu) {
        if (frame.size() < 4 || !HasGoodCRC(frame)) return false;
        bytes = frame.left(frame.size() - 2);
        return true;
    }
    // ":" hex pairs (the last is the LRC) CR LF.
    const int n = int(frame.size()) - 3;
    if (n < 4 || n % 2 != 0 || frame[0] != ':') return false;
    QByteArray decoded;
    decoded.reserve(n / 2);
    for (int i = 1; i <= n; i += 2) {
        const int b = HexByteAt(frame, i);
        if (b < 0) return false;
        decoded.append(char(b));
    }
    if (BytesLRC(decoded, n) != quint8(decoded.back())) return false;
    bytes = decoded.left(decoded.size() - 1);
    return true;
}

// Function code and quantity field read straight from an undecoded frame (-1: not there).
int rawFunctionCode(const QByteArray& frame, SlaveFraming framing)
{
    if (framing == SlaveFraming::Rtu) return frame.size() > 1 ? quint8(frame[1]) : -1;
    return HexByteAt(frame, 3);
}

int rawQuantity(const QByteArray& frame, SlaveFraming framing)
{
    if (framing == SlaveFraming::Rtu) return frame.size() > 5 ? quint8(frame[4]) * 256 + quint8(frame[5]) : 0;
    const int high = HexByteAt(frame, 9), low = HexByteAt(frame, 11);
    return (high < 0 || low < 0) ? 0 : high * 256 + low;
}

int byteAt(const QByteArray& d, int i) { return quint8(d[i]); }
int wordAt(const QByteArray& d, int i) { return byteAt(d, i) * 256 + byteAt(d, i + 1); }

void appendWord(QByteArray& out, qint64 v)
{
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// Elements first .. first + count - 1 all exist.
void requireRange(const IntArray& image, qint64 first, int count)
{
    if (count <= 0) return;
    if (!image.hasIndex(int(first)) || !image.hasIndex(int(first + count - 1))) throw Refused{};
}

// Bit reply data: bit k of byte j is item 8j + k; an item is ON when its element holds exactly 1.
void appendBits(QByteArray& out, const IntArray& image, int first, int count)
{
    if (count > kMaxReadBits) throw Refused{};
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
    if (value < 0 || value > 65535) throw Refused{};
    appendWord(out, value);
}

// The items of a write of several coils or registers (functions 15 and 16).
// Function 15 comes either with packed bits (byte count = quantity / 8 rounded up,
// as standard masters send it) or with one 16-bit value per coil (byte count =
// 2 x quantity); function 16 always with one 16-bit value per register.
std::vector<qint32> multipleWriteItems(const QByteArray& d, int functionCode)
{
    if (d.size() < 7) throw Refused{};
    const int quantity = wordAt(d, 4);
    const int byteCount = byteAt(d, 6);
    if (d.size() != 7 + byteCount) throw Refused{};
    std::vector<qint32> items;
    items.reserve(size_t(quantity));
    if (byteCount == 2 * quantity) {
        for (int i = 0; i < quantity; ++i) items.push_back(wordAt(d, 7 + 2 * i));
    } else if (functionCode == 15 && byteCount == (quantity + 7) / 8) {
        for (int i = 0; i < quantity; ++i) items.push_back((byteAt(d, 7 + i / 8) >> (i % 8)) & 1);
    } else {
        throw Refused{};
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

QByteArray serveStandard(const QByteArray& d, const SlaveSetup& setup, IntArray& image)
{
    const int unit = byteAt(d, 0);
    if (unit != setup.ownUnit && unit != 0) return {};
    const bool broadcast = unit == 0;
    const quint8 replyUnit = quint8(std::abs(int(setup.ownUnit)));
    const int fc = byteAt(d, 1);
    const int a = wordAt(d, 2);
    const int field = wordAt(d, 4);  // quantity, or the value of a single write
    QByteArray out;
    out.append(char(replyUnit));
    out.append(char(fc));
    switch (fc) {
    case 1:
    case 2:
        if (broadcast || d.size() != 6) throw Refused{};
        appendBits(out, image, (fc == 1 ? 0 : 10000) + a + 1, field);
        return out;
    case 3:
    case 4: {
        if (broadcast || d.size() != 6 || field > kMaxReadRegisters) throw Refused{};
        const int first = (fc == 3 ? 40000 : 30000) + a + 1;
        requireRange(image, first, field);
        out.append(char(2 * field));
        for (int i = 0; i < field; ++i) appendRegister(out, image[first + i]);
        return out;
    }
    case 5:
    case 6: {
        if (d.size() != 6) throw Refused{};
        const int index = (fc == 5 ? 0 : 40000) + a + 1;
        requireRange(image, index, 1);
        image[index] = fc == 5 ? (field == 0xFF00 ? 1 : 0) : field;
        return broadcast ? QByteArray() : echoReply(replyUnit, d);
    }
    case 15:
    case 16: {
        const std::vector<qint32> items = multipleWriteItems(d, fc);
        const int first = (fc == 15 ? 0 : 40000) + a + 1;
        requireRange(image, first, int(items.size()));
        for (size_t i = 0; i < items.size(); ++i) image[first + int(i)] = items[i];
        return broadcast ? QByteArray() : echoReply(replyUnit, d);
    }
    default:
        return {};
    }
}

QByteArray serveGateway(const QByteArray& d, IntArray& image, GatewayValueStore& service)
{
    const int unit = byteAt(d, 0);
    const bool broadcast = unit == 0;
    const int fc = byteAt(d, 1);
    const int a = wordAt(d, 2);
    const int field = wordAt(d, 4);
    const int kind = a / 1000;
    const QString key = QStringLiteral("%1;%2").arg(unit).arg(a);
    QByteArray out;
    out.append(char(unit));
    out.append(char(fc));

    if (fc >= 1 && fc <= 4) {
        if (broadcast || d.size() != 6) throw Refused{};
        const int n = field;
        if (kind == 1) {
            appendBits(out, image, a, n);
            return out;
        }
        if (kind != 3 && kind != 5 && kind != 7) throw Refused{};
        // Two registers per value for kinds 5 and 7: an odd count would split a value.
        if (n > kMaxReadRegisters || (kind != 3 && n % 2 != 0)) throw Refused{};
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
        if (d.size() != 6) throw Refused{};
        const qint32 stored = fc == 5 ? (field == 0xFF00 ? 1 : 0) : field;
        requireRange(image, a, 1);
        image[a] = stored;
        VariantArray one(1, 1);
        one[1] = stored;
        service.update(key, one, 1);
        return broadcast ? QByteArray() : echoReply(quint8(unit), d);
    }

    if (fc == 15 || fc == 16) {
        const std::vector<qint32> items = multipleWriteItems(d, fc);
        const int n = int(items.size());
        if (kind == 5 || kind == 7) {
            // Groups of four bytes, one value each: convert all before storing any.
            if (byteAt(d, 6) != 2 * n || n % 2 != 0) throw Refused{};
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
            if (kind == 3 && byteAt(d, 6) != 2 * n) throw Refused{};
            requireRange(image, a, n);
            VariantArray values(1, n);
            for (int i = 0; i < n; ++i) {
                image[a + i] = items[size_t(i)];
                values[i + 1] = items[size_t(i)];
            }
            service.update(key, values, n);
        } else {
            throw Refused{};
        }
        return broadcast ? QByteArray() : echoReply(quint8(unit), d);
    }
    return {};
}

} // namespace

int MinimumSlaveRequestLength(SlaveFraming framing)
{
    return framing == SlaveFraming::Rtu ? 8 : 17;
}

int SlaveRequestLength(const QByteArray& waiting, SlaveFraming framing)
{
    const int fc = rawFunctionCode(waiting, framing);
    if (fc != 15 && fc != 16) return MinimumSlaveRequestLength(framing);
    // unit, function, address, quantity, byte count, the data, the check.
    if (framing == SlaveFraming::Rtu)
        return waiting.size() > 6 ? 9 + quint8(waiting[6]) : MinimumSlaveRequestLength(framing);
    const int byteCount = HexByteAt(waiting, 13);
    return byteCount < 0 ? MinimumSlaveRequestLength(framing) : 19 + 2 * byteCount;
}

SlaveOutcome ServeSlaveRequest(const QByteArray& frame, const SlaveSetup& setup, IntArray& image,
                               GatewayValueStore* service)
{
    SlaveOutcome outcome;
    QByteArray d;
    if (!decodeFrame(frame, setup.framing, d) || d.size() < 6) {
        const int fc = rawFunctionCode(frame, setup.framing);
        outcome.quan = qint16((fc == 15 || fc == 16) ? rawQuantity(frame, setup.framing) : 0);
        return outcome;
    }
    outcome.checkPassed = true;
    outcome.MAdd = byteAt(d, 1);
    outcome.quan = qint16(std::nearbyint((int(d.size()) - 3) / 2.0));;  // halves to even
    QByteArray body;
    try {
        if (setup.gateway) {
            if (service) body = serveGateway(d, image, *service);
        } else {
            body = serveStandard(d, setup, image);
        }
    } catch (const Refused&) {
        body.clear();
    } catch (const std::exception&) {
        // A value that does not convert, or the service failing: no reply.
        body.clear();
    }
    if (body.isEmpty()) return outcome;
    outcome.reply = setup.framing == SlaveFraming::Rtu ? AppendCRC(body) : AsciiFrame(body);
    return outcome;
}

} // namespace buslink
