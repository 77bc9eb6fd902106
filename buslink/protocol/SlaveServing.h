#pragma once
// Serving one request of a remote master in the slave modes, as pure functions
// over bytes: the request frame and the register image (or, as a gateway, the
// I/O database service) go in, the framed reply (or none) comes out. The
// component collects the frames from its port with the framers (RtuFraming.h,
// AsciiFraming.h) and sends the replies (SlaveMode.cpp).
#include "Framing.h"
#include "../base/BoundedArray.h"

#include <QByteArray>
#include <QByteArrayView>

namespace buslink {

// Where a gateway slave's values live: the I/O database service implements it.
class GatewayValueStore {
public:
    virtual ~GatewayValueStore() = default;
    // Stores values 1..count of `values` under `key` (text "unit;reference").
    virtual void update(const QVariant& key, const VariantArray& values, int count) = 0;
    // Fills values from index 1 with `count` values kept under `key` (count may be fractional for float reads).
    virtual qint16 read(const QVariant& key, VariantArray& values, const QVariant& count) = 0;
};

// The largest quantities one request may ask for, as the Modbus standard sets them.
constexpr int kMaxServedRegisterRead = 125;
constexpr int kMaxServedBitRead = 2000;
constexpr int kMaxServedRegisterWrite = 123;
constexpr int kMaxServedCoilWrite = 1968;
// Reply bytes before the check: unit, function, byte count and up to 250 data bytes.
constexpr int kSlaveReplyBufferBytes = 3 + 250;

// Exception codes of the replies.
constexpr int kIllegalFunction = 1;
constexpr int kIllegalDataAddress = 2;
constexpr int kIllegalDataValue = 3;
constexpr int kDeviceFailure = 4;
constexpr int kGatewayTargetFailed = 11;  // over TCP: no device behind this unit id

struct SlaveSetup {
    Framing framing = Framing::Rtu;
    bool gateway = false;   // PLCType EnType2: registers are kept by the I/O database service
    qint16 ownUnit = 1;     // DefaultUnit: the unit a standard slave answers for
    bool readOnly = false;  // every write is answered with exception 1 and changes nothing
};

struct SlaveOutcome {
    bool checkPassed = false;  // CRC or LRC (and frame layout) good
    qint32 MAdd = -2;          // the frame's function code; -2 when the check failed
    qint16 quan = 0;           // the quantity reported with CommCompleteEx
    QByteArray reply;          // the framed reply; empty when nothing is to be sent
    int exceptionCode = 0;     // the exception the request raised (0: none); broadcasts get no reply all the same
};

// Checks one request frame and serves it: reads from and writes to `image`
// (indexed by reference number) or, as a gateway, `service`. Functions served:
// 1 to 6, 15 and 16. A request the slave cannot serve gets an exception reply:
// 1 for any other function, 2 for references outside the image (or, as a gateway,
// of no kind or splitting a two-register value), 3 for a quantity of 0 or above the
// limits above, a byte count that disagrees with the quantity or a frame of the wrong
// length, 4 for a value that cannot be sent (a register outside 0..65535, a failing
// service). Frames for another unit (standard slave) get no reply; nor do broadcasts
// (unit 0), whose writes are carried out.
SlaveOutcome ServeSlaveRequest(const QByteArray& frame, const SlaveSetup& setup, IntArray& image,
                               GatewayValueStore* service);

// The outcome of a frame that failed its check (CRC, LRC or hex text): MAdd -2, quan
// the request's quantity for functions 15 and 16 (else 0), no reply.
SlaveOutcome FailedCheckOutcome(QByteArrayView frame, Framing framing);

} // namespace buslink
