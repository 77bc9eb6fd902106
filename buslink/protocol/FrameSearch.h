#pragma once
// What a framer makes of the bytes received so far: a frame found (after some
// bytes to drop), more bytes needed, or bytes to drop. Shared by the RTU and the
// ASCII framer (RtuFraming.h, AsciiFraming.h).
#include "Framing.h"

#include <QString>

namespace buslink {

// What dropped bytes were, for the frame trace.
enum class DroppedBytes {
    Noise,          // nothing that starts a frame
    Incomplete,     // the start of a frame cut short (by a silence, a new frame or the data's end)
    ChecksumError,  // a frame of full length whose CRC or LRC (or hex text) is bad
    BadLineEnding,  // an ASCII frame ended by LF without CR
    UnexpectedFrame,  // a frame with a good check that is not of the kind looked for (another device's reply)
};

struct FrameSearch {
    enum class Kind {
        NeedMore,  // nothing to act on yet: keep the bytes and wait for more
        Frame,     // a frame of `length` bytes starts at `offset`; the bytes before it are dropped
        Drop,      // the first `offset` bytes are dropped; nothing follows them yet
    };
    Kind kind = Kind::NeedMore;
    int offset = 0;                              // Frame: bytes before the frame; Drop: bytes to drop
    int length = 0;                              // Frame: the frame's length on the line
    DroppedBytes dropped = DroppedBytes::Noise;  // what the `offset` bytes were (when offset > 0)

    // Bytes the caller takes out of its buffer for this result (dropped bytes and the frame).
    int consumed() const { return offset + (kind == Kind::Frame ? length : 0); }
};

// The trace verdict for dropped bytes: "noise", "incomplete", "CRC error" / "LRC error", "bad line ending",
// "unexpected frame".
inline QString DroppedBytesVerdict(DroppedBytes what, Framing framing)
{
    switch (what) {
    case DroppedBytes::Noise: return QStringLiteral("noise");
    case DroppedBytes::Incomplete: return QStringLiteral("incomplete");
    case DroppedBytes::ChecksumError:
        return framing == Framing::Rtu ? QStringLiteral("CRC error") : QStringLiteral("LRC error");
    case DroppedBytes::BadLineEnding: return QStringLiteral("bad line ending");
    case DroppedBytes::UnexpectedFrame: return QStringLiteral("unexpected frame");
    }
    return QString();
}

} // namespace buslink
