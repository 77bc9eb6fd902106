#pragma once
// Finding ASCII frames in the characters received so far: ":" starts a frame
// (and drops an unfinished one), CR LF ends it; characters outside a frame are
// dropped. Pure functions over bytes: the caller keeps the buffer, takes out what
// each result consumes and asks again.
#include "FrameSearch.h"

#include <QByteArray>
#include <QByteArrayView>

namespace buslink {

// Longest ASCII frame: ":", 255 bytes (LRC included) as hex pairs, CR LF.
constexpr int kMaxAsciiFrameLength = 1 + 2 * 255 + 2;
// Shortest: ":", unit, function and LRC as hex pairs, CR LF.
constexpr int kMinAsciiFrameLength = 1 + 2 * 3 + 2;

// The bytes an ASCII frame carries (unit, function, data; without the LRC): false
// unless it is ":", at least three hex pairs (either case) whose last is the LRC of
// the others, CR LF.
bool DecodeAsciiFrame(QByteArrayView frame, QByteArray& bytes);

// The first frame in `received`; `silence` says the line went quiet after these bytes.
//  - Frame: ":" ... CR LF with good hex pairs and LRC; the characters before it are dropped.
//  - Drop: a frame cut short by a new ":" (Incomplete), ended by LF alone (BadLineEnding),
//    with bad hex or LRC (ChecksumError), or longer than the longest frame (Incomplete);
//    characters outside a frame (Noise) with the frame after them, on a silence, or when
//    more than the longest frame waits.
//  - NeedMore: wait for further characters.
// A silence drops no unfinished frame: ASCII allows pauses between characters.
FrameSearch FindAsciiFrame(QByteArrayView received, bool silence);

} // namespace buslink
