#pragma once
// Master requests as values: which function, start offset and quantity a
// reference number maps to, how long the reply will be, and the request frame
// itself. Pure functions; the component sends what they build.
#include "Framing.h"
#include "../base/BoundedArray.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <vector>

namespace buslink {

enum class RequestKind { Read, SingleWrite, MultipleWrite };

// Largest requests, the Modbus standard's: 125 registers or 2000 coils or inputs
// in one read, 123 registers or 1968 coils in one write (each answer or request
// then fits one 256-byte frame).
constexpr int kMaxRegisterRead = 125;
constexpr int kMaxPointRead = 62;       // 32-bit points (two registers each)
constexpr int kMaxBitRead = 2000;
constexpr int kMaxRegisterWrite = 123;
constexpr int kMaxCoilWrite = 1968;
constexpr int kMaxWriteValues = kMaxCoilWrite;  // values one write may carry

// What a request asks for, or why it cannot be sent.
struct RequestPlan {
    bool ok = false;
    QString refusal;              // set when !ok
    qint16 FunctionCode = 0;
    qint32 StartOffset = 0;
    qint16 AddressRange = 0;
    bool SixDigitForm = false;
    qint16 PointKind = 0;         // PLCType EnType2 only
    int quantity = 0;             // items on the wire: bits, registers or 32-bit points
    int expectedReplyLength = 0;  // RTU bytes of the reply, check included
};

// The reference number A of a reference (a number or its text, blanks around it
// allowed) and whether it is written in the six-digit form. False when it is no
// number or does not fit 32 bits.
bool ReferenceNumber(const QVariant& reference, qint32& A, bool& sixDigitForm);

// Maps a reference for a request of `quantity` items (reads: bits, registers or
// points; multiple writes: the words or coils sent; single writes: ignored).
// Refused: references or PLC types without a mapping, offsets beyond 16 bits,
// quantities below 1 or beyond the limits above.
RequestPlan PlanRequest(qint32 plcType, RequestKind kind, const QVariant& reference, int quantity);

// PLCType EnType2 writes to 32-bit ranges (5 to 7) carry one value as two registers.
int WriteCount(qint32 plcType, const QVariant& reference, int n);
// A write of n values of this type goes out as a multiple write (else as a single write).
inline bool UsesMultipleWrite(qint16 ioType, int n) { return ioType == 3 || n != 1; }

// The words a multiple write sends for values 1..n of the working copy: registers
// (ioDFloat and 32-bit points packed as register pairs, high half first) or coil
// states (0 or 1). Throws BuslinkError for values that are no numbers.
std::vector<qint32> PackWriteValues(qint32 plcType, const RequestPlan& plan, qint16 ioType,
                                    const VariantArray& values, int n);

// Plans a multiple write of the values 1..n of the working copy and packs them
// into `words`; refused also when values are missing or are no numbers.
RequestPlan PlanMultipleWrite(qint32 plcType, const QVariant& reference, qint16 ioType, const VariantArray& values,
                              int n, std::vector<qint32>& words);

// A request as sent: the line form, and its bytes before the check (unit,
// function and fields), which the answer echoes.
struct RequestFrame {
    QByteArray line;
    QByteArray bytes;
};

// The frames (MBAP: the bytes alone; the sender adds the header). Binary fields that do not fit (unit beyond 0..255, values beyond
// 0..65535) throw BuslinkError(ErrOverflow) and nothing is built; ASCII fields
// keep their rightmost hex digits, so -2 goes out as FFFE.
RequestFrame ReadRequestFrame(Framing framing, qint32 unit, const RequestPlan& plan);
RequestFrame SingleWriteFrame(Framing framing, qint32 unit, const RequestPlan& plan, qint32 value);
RequestFrame MultipleWriteFrame(Framing framing, qint32 unit, const RequestPlan& plan,
                                const std::vector<qint32>& words);

// Reply length on the line from its RTU length: RTU bytes, ASCII characters (2L + 1),
// or MBAP bytes (the 6 header bytes before the unit id instead of the 2 CRC bytes).
inline int LineLength(Framing framing, int rtuLength)
{
    return framing == Framing::Ascii ? 2 * rtuLength + 1 : framing == Framing::Mbap ? rtuLength + 4 : rtuLength;
}
// The RTU length of a reply of this line length.
inline int RtuLengthOf(Framing framing, int lineLength)
{
    return framing == Framing::Ascii ? (lineLength - 1) / 2 : framing == Framing::Mbap ? lineLength - 4 : lineLength;
}

} // namespace buslink
