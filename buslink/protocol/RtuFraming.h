#pragma once
// Finding RTU frames in the bytes received so far. A frame's length comes from
// its header (a length rule), or for functions the rule does not know from a
// search for a CRC that holds; a silence on the line ends whatever was received.
// Pure functions over bytes: the caller keeps the buffer, takes out what each
// result consumes and asks again.
#include "FrameSearch.h"

#include <QByteArrayView>
#include <functional>

namespace buslink {

// Longest RTU frame: unit, function, 252 bytes and the CRC.
constexpr int kMaxRtuFrameLength = 256;
// Shortest: unit, function and the CRC.
constexpr int kMinRtuFrameLength = 4;

// What a length rule says of the frame that would start at head[0] (`head` holds
// the bytes received from there on, at most kMaxRtuFrameLength of them).
constexpr int kNeedMoreToTell = 0;  // the header is not complete yet
constexpr int kNoFrameStart = -1;   // no frame can start here
constexpr int kLengthByCrc = -2;    // a function the rule does not know: its length is searched by CRC
// Otherwise the frame's length in bytes, CRC included (kMinRtuFrameLength .. kMaxRtuFrameLength).
using RtuLengthRule = std::function<int(QByteArrayView head)>;

// Length rule for requests a master sends: units 0 to 247; functions 1 to 6, 8 and 22
// to 24 fixed, 15, 16, 20, 21 and 23 from their byte count, 7, 11, 12 and 17 without
// data, 43 (device identification) 7 bytes; function 0 and codes with bit 7 set never
// start a request; other codes are searched by CRC.
int RtuRequestLength(QByteArrayView head);

// The first frame in `received`; `silence` says the line went quiet after these bytes.
//  - Frame: the earliest offset where a frame whose length (from the rule) and CRC hold
//    is complete; the bytes before it are dropped. A frame found by CRC search is taken
//    only where no earlier offset may still become a frame.
//  - Drop: on a silence, everything that is not a frame; without one, the bytes that
//    can no longer be part of any frame once more than the longest frame waits.
//  - NeedMore: wait for further bytes (never after a silence, except on no bytes).
// `dropped` tells what the dropped bytes began with: noise, a frame cut short, a frame
// whose CRC fails, or a well-formed frame the rule does not take (UnexpectedFrame).
FrameSearch FindRtuFrame(QByteArrayView received, bool silence, const RtuLengthRule& rule);

// FindRtuFrame with RtuRequestLength.
FrameSearch FindRtuRequest(QByteArrayView received, bool silence);

} // namespace buslink
