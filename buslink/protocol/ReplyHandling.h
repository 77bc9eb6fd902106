#pragma once
// Master replies as values: finding the answer to a request among the bytes
// received (garbage before it, a reply still arriving, an exception frame, a
// bad check) and decoding a read reply into the reply table. Pure functions.
#include "RequestBuilding.h"
#include "../base/BoundedArray.h"

#include <QByteArray>
#include <QString>

namespace buslink {

// What the answer to a request must look like.
struct ReplyExpectation {
    Framing framing = Framing::Rtu;
    QByteArray request;        // the request's bytes before its check: unit, function, fields
    int expectedLength = 0;    // line length of a normal answer: RTU or MBAP bytes, or ASCII characters
    quint16 transactionId = 0; // MBAP: the request's transaction id, which the answer repeats
};

enum class ReplyVerdict {
    Incomplete,     // no answer yet; more bytes may complete one
    Ok,             // a normal answer with a good check
    ChecksumError,  // an answer of the right unit and function whose CRC or LRC fails
    Exception,      // a well-formed exception answer (function code with bit 7 set)
};

// A whole frame with a good check that is no answer to the request: from another
// unit, for another function, or with another byte count or echo (a late answer to
// an earlier request, or a neighbour's traffic on a shared line).
struct StrayFrame {
    int unit = -1;          // -1: none
    int function = 0;
    int byteCount = -1;     // read answers: the byte count it carries
};

struct FoundReply {
    ReplyVerdict verdict = ReplyVerdict::Incomplete;
    int skipped = 0;        // leading bytes that start no answer to this request
    int length = 0;         // line length of the frame found (from `skipped` on)
    QByteArray bytes;       // the frame's bytes before its check (ASCII decoded)
    int exceptionCode = 0;  // Exception: the code the device gave
    int bytesNeeded = 0;    // Incomplete: fewest further bytes that could complete an answer
    StrayFrame stray;       // the last stray frame among the skipped bytes
};

// Why a stray frame was no answer to the request, for the trace and the outcome:
// "reply from unit 2, expected unit 1", "reply for function 4, expected function 3",
// "bad byte count: 4, expected 2", "the reply does not echo the request".
QString DescribeStrayFrame(const StrayFrame& stray, const QByteArray& request, int expectedRtuLength);

// Line length of an exception answer: 5 bytes RTU, 11 characters ASCII, 9 bytes MBAP.
inline int ExceptionFrameLength(Framing framing) { return LineLength(framing, 5); }

// Looks for the answer to the request at the start of `received`. An answer has
// the request's unit and function code; a read answer the byte count of the
// quantity asked for; a write answer echoes the request's address and value or
// quantity. Bytes that cannot start such an answer (garbage, a stray frame for
// another unit or function, a late answer to another request) are skipped.
FoundReply FindReply(const QByteArray& received, const ReplyExpectation& expected);

// What the request asked for, so a read answer can be decoded.
struct DecodeContext {
    qint32 plcType = 1;
    qint32 StartOffset = 0;
    bool SixDigitForm = false;
    qint16 PointKind = 0;
    qint16 RequestedQuantity = 0;
    qint16 LastValueType = 0;
};

struct DecodedReply {
    qint32 MAdd = 0;        // reference of the first value
    int count = 0;          // values reported
    QString key;            // "unit;MAdd"
};

// Decodes a read answer's bytes (before the check) into ReplyData from index 1;
// entries beyond the answer keep their values. Throws BuslinkError when a value
// cannot be represented (a float pattern whose exponent field is 255).
DecodedReply DecodeReadReply(const QByteArray& bytes, const DecodeContext& context, VariantArray& ReplyData);

} // namespace buslink
