#include "NumericConversions.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace buslink {

namespace {

BuslinkError overflow() { return BuslinkError(ErrOverflow, QStringLiteral("Overflow")); }
BuslinkError typeMismatch() { return BuslinkError(ErrTypeMismatch, QStringLiteral("Type mismatch")); }

// Just enough unsigned big-integer arithmetic to take the 24 leading bits of an
// exact decimal number: multiply by small factors, shift, compare, subtract.
class BigUnsigned {
public:
    explicit BigUnsigned(std::uint64_t v = 0)
    {
        while (v) {
            words.push_back(std::uint32_t(v));
            v >>= 32;
        }
    }
    void multiply(std::uint32_t factor)
    {
        std::uint64_t carry = 0;
        for (auto& w : words) {
            const std::uint64_t p = std::uint64_t(w) * factor + carry;
            w = std::uint32_t(p);
            carry = p >> 32;
        }
        if (carry) words.push_back(std::uint32_t(carry));
    }
    void shiftLeft(int bits)
    {
        if (bits <= 0 || words.empty()) return;
        const int wordShift = bits / 32, bitShift = bits % 32;
        words.insert(words.begin(), size_t(wordShift), 0);
        if (bitShift) {
            std::uint32_t carry = 0;
            for (size_t i = size_t(wordShift); i < words.size(); ++i) {
                const std::uint32_t next = words[i] >> (32 - bitShift);
                words[i] = (words[i] << bitShift) | carry;
                carry = next;
            }
            if (carry) words.push_back(carry);
        }
    }
    int compare(const BigUnsigned& o) const
    {
        const size_t a = significantWords(), b = o.significantWords();
        if (a != b) return a < b ? -1 : 1;
        for (size_t i = a; i-- > 0;)
            if (words[i] != o.words[i]) return words[i] < o.words[i] ? -1 : 1;
        return 0;
    }
    void subtract(const BigUnsigned& o)  // requires *this >= o
    {
        std::int64_t borrow = 0;
        for (size_t i = 0; i < words.size(); ++i) {
            std::int64_t d = std::int64_t(words[i]) - borrow - (i < o.words.size() ? std::int64_t(o.words[i]) : 0);
            borrow = d < 0 ? 1 : 0;
            if (d < 0) d += (std::int64_t(1) << 32);
            words[i] = std::uint32_t(d);
        }
    }

private:
    size_t significantWords() const
    {
        size_t n = words.size();
        while (n && words[n - 1] == 0) --n;
        return n;
    }
    std::vector<std::uint32_t> words;  // least significant first
};

BigUnsigned powerOfTen(int p, std::uint64_t start)
{
    BigUnsigned v(start);
    for (int i = 0; i < p; ++i) v.multiply(10);
    return v;
}

// Exact decimal form of |value| with at most 7 significant digits and at most
// 28 decimal places (the platform's decimal type): digits * 10^exponent.
// Returns false when nothing significant is left.
bool toSevenDigitDecimal(float value, std::uint64_t& digits, int& exponent)
{
    const double magnitude = std::fabs(double(value));
    char text[64];
    std::snprintf(text, sizeof text, "%.6e", magnitude);
    int exp10 = std::atoi(std::strchr(text, 'e') + 1);
    int significant = 7;
    if (6 - exp10 > 28) {  // more than 28 decimal places: fewer digits survive
        significant = 28 + exp10 + 1;
        if (significant < 1) {
            // Only the 28th decimal place can still round up to one unit.
            if (magnitude >= 0.5e-28) {
                digits = 1;
                exponent = -28;
                return true;
            }
            return false;
        }
        std::snprintf(text, sizeof text, "%.*e", significant - 1, magnitude);
        exp10 = std::atoi(std::strchr(text, 'e') + 1);
    }
    digits = 0;
    int count = 0;
    for (const char* c = text; *c && *c != 'e'; ++c) {
        if (*c >= '0' && *c <= '9') {
            digits = digits * 10 + std::uint64_t(*c - '0');
            ++count;
        }
    }
    exponent = exp10 - (count - 1);
    if (6 - exp10 > 28 && exponent < -28) {  // rounding may not add places beyond 28
        while (exponent < -28) {
            digits /= 10;
            ++exponent;
        }
    }
    return digits != 0;
}

double numericValue(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) return 0.0;
    bool ok = false;
    const double d = v.typeId() == QMetaType::QString ? v.toString().trimmed().toDouble(&ok) : v.toDouble(&ok);
    if (!ok && v.typeId() != QMetaType::Bool) throw typeMismatch();
    return v.typeId() == QMetaType::Bool ? (v.toBool() ? -1.0 : 0.0) : d;
}

qint32 roundToInt32(double v)
{
    const double r = std::rint(v);  // nearest, ties to even
    if (!(r >= -2147483648.0 && r <= 2147483647.0)) throw overflow();
    return qint32(r);
}

} // namespace

float LongFloatToDec(qint32 dlong1, qint32 dlong2)
{
    if (dlong1 == 0 && dlong2 == 0) return 0.0f;
    const quint32 high = quint32(dlong1) & 0xFFFF;
    const quint32 low = quint32(dlong2) & 0xFFFF;
    const int field = int((high >> 7) & 0xFF);
    if (field == 255) throw overflow();
    const int e = field - 127;
    const quint32 significand = (1u << 23) | ((high & 0x7F) << 16) | low;
    // The exponent field is always read as a normal exponent (no subnormal
    // reading): add the set bits one by one, rounding each sum to single.
    float sum = 0.0f;
    for (int k = 0; k <= 23; ++k) {
        if (significand & (1u << (23 - k))) sum += std::ldexp(1.0f, e - k);
    }
    return (high & 0x8000) ? -sum : sum;
}

qint16 DecToLongFloat(float Dec, qint32& dlong1, qint32& dlong2)
{
    if (Dec == 0.0f || std::isnan(Dec)) {
        dlong1 = dlong2 = 0;
        return 0;
    }
    if (std::isinf(Dec)) throw overflow();
    std::uint64_t digits = 0;
    int exponent = 0;
    if (!toSevenDigitDecimal(Dec, digits, exponent)) {
        // Nothing significant left in the decimal form: the value reads as zero.
        dlong1 = dlong2 = 0;
        return 0;
    }
    // d = numerator / denominator exactly.
    BigUnsigned numerator = powerOfTen(exponent > 0 ? exponent : 0, digits);
    BigUnsigned denominator = powerOfTen(exponent < 0 ? -exponent : 0, 1);
    // E: the largest integer with 2^E <= d. Start from the floating estimate and correct it exactly.
    int e = int(std::floor(std::log2(double(digits)) + exponent * std::log2(10.0)));
    const auto twoPowerAtMost = [&](int power) {  // 2^power <= d ?
        BigUnsigned lhs = denominator, rhs = numerator;
        if (power >= 0) lhs.shiftLeft(power);
        else rhs.shiftLeft(-power);
        return lhs.compare(rhs) <= 0;
    };
    while (!twoPowerAtMost(e)) --e;
    while (twoPowerAtMost(e + 1)) ++e;
    // M = floor(d * 2^(23 - E)), 24 bits, by restoring division.
    const int s = 23 - e;
    BigUnsigned remainder = numerator;
    BigUnsigned divisor = denominator;
    if (s >= 0) remainder.shiftLeft(s);
    else divisor.shiftLeft(-s);
    quint32 m = 0;
    for (int bit = 24; bit >= 0; --bit) {
        BigUnsigned shifted = divisor;
        shifted.shiftLeft(bit);
        if (shifted.compare(remainder) <= 0) {
            remainder.subtract(shifted);
            m |= (1u << bit);
        }
    }
    qint32 high = qint32(((e + 127) & 0xFF) * 128) | qint32((m >> 16) & 0x7F);
    if (Dec < 0) high |= 0x8000;
    dlong1 = high;
    dlong2 = qint32(m & 0xFFFF);
    return 0;
}

qint32 ByteToLong(const ByteArray& ByteArr, double& UnsignedLong)
{
    const double u = ByteArr[0] * 16777216.0 + ByteArr[1] * 65536.0 + ByteArr[2] * 256.0 + ByteArr[3];
    UnsignedLong = u;
    return qint32(std::int64_t((ByteArr[0] & 0x80) ? u - 4294967296.0 : u));
}

void LongToByte(qint32 LongVar, ByteArray& ByteArr, qint16 StartByteIndex)
{
    if (int(StartByteIndex) + 3 > 32767) throw overflow();
    const double u = LongVar >= 0 ? double(LongVar) : double(LongVar) + 4294967296.0;
    const auto b3 = quint32(std::trunc(u / 16777216.0));
    double rest = u - double(b3) * 16777216.0;
    const auto b2 = quint32(std::trunc(rest / 65536.0));
    rest -= double(b2) * 65536.0;
    const auto b1 = quint32(std::trunc(rest / 256.0));
    const auto b0 = quint32(rest - double(b1) * 256.0);
    ByteArr[StartByteIndex + 2] = quint8(b3);
    ByteArr[StartByteIndex + 3] = quint8(b2);
    ByteArr[StartByteIndex] = quint8(b1);
    ByteArr[StartByteIndex + 1] = quint8(b0);
}

void LongToUInteger(qint32 LongVar, IntArray& UIntegerArr, qint16 StartByteIndex)
{
    if (int(StartByteIndex) + 1 > 32767) throw overflow();
    const double u = LongVar >= 0 ? double(LongVar) : double(LongVar) + 4294967296.0;
    const double h = std::trunc(u / 65536.0);
    UIntegerArr[StartByteIndex] = qint32(h);
    UIntegerArr[StartByteIndex + 1] = qint32(u - h * 65536.0);
}

qint32 SignedIntToLong(const QVariant& SgnIntr)
{
    const double v = numericValue(SgnIntr);
    return roundToInt32(v < 0 ? v + 65536.0 : v);
}

qint32 LongToSIgnedInt(const QVariant& Lng1)
{
    const double v = numericValue(Lng1);
    return roundToInt32(v > 32767 ? v - 65536.0 : v);
}

} // namespace buslink
