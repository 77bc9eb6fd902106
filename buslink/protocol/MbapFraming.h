#pragma once
// Modbus TCP framing: the MBAP header (transaction id, protocol id 0, length,
// unit id) before the PDU, no checksum. A TCP stream cannot be resynchronised
// once a header lies, so a header that breaks the rules makes the stream
// invalid and its connection is dropped. Pure functions over bytes.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace buslink {

constexpr int kMbapHeaderLength = 7;   // transaction id, protocol id, length, unit id
// The length field counts the unit id and the PDU: at least unit and function,
// at most unit and the largest PDU (253 bytes).
constexpr int kMinMbapLengthField = 2;
constexpr int kMaxMbapLengthField = 254;

// The ADU of `unitBytes` (unit, function, fields: an RTU frame without its CRC).
QByteArray MbapFrame(quint16 transactionId, QByteArrayView unitBytes);

struct MbapCut {
    enum Status { NeedMore, Frame, Invalid } status = NeedMore;
    int length = 0;             // Frame: bytes of the whole ADU
    quint16 transactionId = 0;  // Frame
    QByteArray unitBytes;       // Frame: unit, function, fields
    QString problem;            // Invalid: what broke the rules
};

// The ADU at the start of a TCP stream.
MbapCut CutMbapFrame(QByteArrayView stream);

} // namespace buslink
