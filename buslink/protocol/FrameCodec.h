#pragma once
// Modbus frame codec: CRC-16 for RTU, LRC and hexadecimal text for ASCII, and
// the bit test used to unpack status bytes. Pure functions, no state.
#include <QByteArray>
#include <QString>

namespace buslink {

struct Crc {
    quint16 value = 0;
    quint8 low = 0;   // sent first
    quint8 high = 0;
};

// CRC-16/MODBUS one byte at a time: start from kCrcStart, feed each byte; the value
// is sent low byte first.
constexpr quint16 kCrcStart = 0xFFFF;
quint16 CrcStep(quint16 crc, quint8 byte);
// CRC-16/MODBUS of bytes 0 .. n-1 (n is clamped to the data's size).
Crc ComputeCRC(const QByteArray& bytes, int n);
Crc ComputeCRC(const quint8* bytes, int n);
// The frame followed by its CRC, low byte first.
QByteArray AppendCRC(const QByteArray& frame);
QByteArray AppendCRC(const char* bytes, int n);
// True when the last two bytes are the CRC of the bytes before them.
bool HasGoodCRC(const QByteArray& frame);

// LRC of an ASCII frame text without its check: ":" then hex digit pairs; two upper-case hex digits.
QString MakeLRC(const QString& msg);
// Digit value of a hexadecimal character. Upper- and lower-case letters both count.
int HexDigitValue(QChar c);
int HexDigitValue(char c);
// True for 0-9, A-F and a-f.
bool IsHexDigit(char c);
// The byte the hex pair at text[i], text[i+1] stands for; -1 when there is no such pair.
int HexByteAt(const QByteArray& text, int i);
// Hex digits weighted 1, 16, 256, ... from the right; empty text gives 0.
qint32 HexTextToNumber(const QString& t);
qint32 HexTextToNumber(const char* t, int length);
// Upper-case hex of the value, left-padded with "0" to width, or its rightmost digits when longer.
QString HexField(qint64 value, int width);
// ":" + hex pairs of the bytes + LRC + CR LF.
QByteArray AsciiFrame(const QByteArray& bytes);

// Decodes in place the n hex-digit characters that follow the colon at index 0:
// afterwards bytes 0 .. n/2-1 hold the frame's bytes, the LRC byte last.
void HexPairsToBytes(QByteArray& received, int n);
// LRC of the decoded bytes before the LRC byte (n = count of hex digits they came from).
quint8 BytesLRC(const QByteArray& decoded, int n);

// 1 when bit b (0 = least significant) of v is set, else 0.
int BitIsSet(int v, int b);

} // namespace buslink
