#pragma once
// Serving one request of a remote master in the slave modes, as pure functions
// over bytes: the request frame and the register image (or, as a gateway, the
// I/O database service) go in, the framed reply (or none) comes out. The
// component only collects frames from its port and sends the replies
// (SlaveMode.cpp).
#include "base/BoundedArray.h"

#include <QByteArray>

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

enum class SlaveFraming { Rtu, Ascii };

// Fewest bytes (RTU) or characters (ASCII) a request frame has: 8 or 17.
int MinimumSlaveRequestLength(SlaveFraming framing);

// Length of the request frame that starts `waiting`, taken from its header (the
// byte count of functions 15 and 16); `waiting` should hold at least the minimum.
int SlaveRequestLength(const QByteArray& waiting, SlaveFraming framing);

struct SlaveSetup {
    SlaveFraming framing = SlaveFraming::Rtu;
    bool gateway = false;   // PLCType EnType2: registers are kept by the I/O database service
    qint16 ownUnit = 1;     // DefaultUnit: the unit a standard slave answers for
};

struct SlaveOutcome {
    bool checkPassed = false;  // CRC or LRC (and frame layout) good
    qint32 MAdd = -2;          // the frame's function code; -2 when the check failed
    qint16 quan = 0;           // the quantity reported with CommCompleteEx
    QByteArray reply;          // the framed reply; empty when nothing is to be sent
};

// Checks one request frame and serves it: reads from and writes to `image`
// (indexed by reference number) or, as a gateway, `service`. Requests that the
// data model cannot serve (image indexes out of range, replies longer than the
// 126-byte reply buffer, register values outside 0..65535, inconsistent byte
// counts) change nothing and get no reply; so do broadcasts (unit 0), whose
// writes are carried out.
SlaveOutcome ServeSlaveRequest(const QByteArray& frame, const SlaveSetup& setup, IntArray& image,
                               GatewayValueStore* service);

} // namespace buslink
