#include "FrameCodec.h"

#include <array>
#include <cstring>

namespace buslink {

namespace {
// CRC-16/MODBUS byte-table entry for one byte value.
constexpr quint16 tableEntry(quint16 byte)
{
    quint16 crc = byte;
    for (int i = 0; i < 8; ++i)
        crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    return crc;
}

// The byte table, built at compile time: one lookup per byte, as the check runs over
// every frame sent and received.
struct ByteTable {
    std::array<quint16, 256> entry{};
    constexpr ByteTable()
    {
        for (int i = 0; i < 256; ++i) entry[size_t(i)] = tableEntry(quint16(i));
    }
};
constexpr ByteTable kTable;
static_assert(kTable.entry[1] == 0xC0C1 && kTable.entry[16] == 0xCC01 && kTable.entry[128] == 0xA001);
} // namespace

quint16 CrcStep(quint16 crc, quint8 byte)
{
    return quint16((crc >> 8) ^ kTable.entry[quint8(crc ^ byte)]);
}

Crc ComputeCRC(const quint8* bytes, int n)
{
    quint16 crc = kCrcStart;
    for (int i = 0; i < n; ++i) crc = quint16((crc >> 8) ^ kTable.entry[quint8(crc ^ bytes[i])]);
    return Crc{crc, quint8(crc & 0xFF), quint8(crc >> 8)};
}

Crc ComputeCRC(const QByteArray& bytes, int n)
{
    if (n > bytes.size()) n = int(bytes.size());
    if (n < 0) n = 0;
    return ComputeCRC(reinterpret_cast<const quint8*>(bytes.constData()), n);
}

QByteArray AppendCRC(const char* bytes, int n)
{
    const Crc crc = ComputeCRC(reinterpret_cast<const quint8*>(bytes), n);
    QByteArray out(n + 2, Qt::Uninitialized);  // one allocation, filled in place
    std::memcpy(out.data(), bytes, size_t(n));
    out[n] = char(crc.low);
    out[n + 1] = char(crc.high);
    return out;
}

QByteArray AppendCRC(const QByteArray& frame)
{
    return AppendCRC(frame.constData(), int(frame.size()));
}

bool HasGoodCRC(const QByteArray& frame)
{
    if (frame.size() < 3) return false;
    const int n = int(frame.size()) - 2;
    const Crc crc = ComputeCRC(frame, n);
    return quint8(frame[n]) == crc.low && quint8(frame[n + 1]) == crc.high;
}

int HexDigitValue(char c)
{
    // Received frames may carry lower-case digits; they mean the same as upper case.
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    const int code = static_cast<unsigned char>(c);
    return code > 64 ? code - 55 : code - 48;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

int HexByteAt(const QByteArray& text, int i)
{
    if (i < 0 || i + 1 >= text.size() || !IsHexDigit(text[i]) || !IsHexDigit(text[i + 1])) return -1;
    return HexDigitValue(text[i]) * 16 + HexDigitValue(text[i + 1]);
}

int HexDigitValue(QChar c)
{
    return c.unicode() < 256 ? HexDigitValue(char(c.unicode())) : int(c.unicode()) - 55;
}

qint32 HexTextToNumber(const char* t, int length)
{
    qint64 value = 0;
    for (int i = 0; i < length; ++i) value = value * 16 + HexDigitValue(t[i]);
    return qint32(value);
}

qint32 HexTextToNumber(const QString& t)
{
    qint64 value = 0;
    for (QChar c : t) value = value * 16 + HexDigitValue(c);
    return qint32(value);
}

QString MakeLRC(const QString& msg)
{
    int sum = 0;
    for (int i = 1; i < msg.size(); i += 2) sum += HexTextToNumber(msg.mid(i, 2));
    return HexField((-sum) & 0xFF, 2);
}

QString HexField(qint64 value, int width)
{
    QString digits = QString::number(quint64(value), 16).toUpper();
    if (digits.size() > width) return digits.right(width);
    return digits.rightJustified(width, QLatin1Char('0'));
}

QByteArray AsciiFrame(const QByteArray& bytes)
{
    QString text = QStringLiteral(":");
    for (char b : bytes) text += HexField(quint8(b), 2);
    text += MakeLRC(text);
    return text.toLatin1() + "\r\n";
}

void HexPairsToBytes(QByteArray& received, int n)
{
    // Never read past what was received, whatever count the caller gives.
    if (n > received.size() - 1) n = int(received.size()) - 1;
    for (int k = 0; 2 * k + 1 <= n; ++k) {
        const int digits = (2 * k + 2 <= n) ? 2 : 1;
        received[k] = char(HexTextToNumber(received.constData() + 2 * k + 1, digits) & 0xFF);
    }
}

quint8 BytesLRC(const QByteArray& decoded, int n)
{
    int sum = 0;
    for (int i = 0; i <= n / 2 - 2 && i < decoded.size(); ++i) sum += quint8(decoded[i]);
    return quint8((-sum) & 0xFF);
}

int BitIsSet(int v, int b)
{
    return (b >= 0 && b < 31 && ((1 << b) & v) > 0) ? 1 : 0;
}

} // namespace buslink
