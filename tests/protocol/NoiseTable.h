#pragma once
// The noise table: what a slave meets on a real line (garbage, frames cut short,
// damaged checks, wrong line endings, frames back to back, a broadcast after noise),
// each row ending in a good request, built in RTU and in ASCII form. A row is a list
// of parts; each part says what must become of it, so the same table drives the pure
// framers and the component in slave mode.
#include "protocol/FrameCodec.h"
#include "protocol/FrameSearch.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace noise {

using buslink::DroppedBytes;
using buslink::Framing;

struct Part {
    enum Kind {
        Garbage,    // bytes as they stand
        Request,    // a good frame: found, and served (reply, effect) by a slave with unit 1
        Truncated,  // the first `keep` bytes of a request (ASCII: those bytes as text, no end)
        BadCheck,   // a request whose CRC or LRC is damaged
        LfOnly,     // ASCII: a request ended by LF alone; RTU: a request whose last byte became LF
    };
    Kind kind = Garbage;
    QByteArray body;       // Garbage: the bytes; otherwise the request before its check
    QByteArray reply;      // Request: the reply before its check; empty when none is due
    int keep = 0;          // Truncated
    int effectIndex = 0;   // Request: the image element it writes (0: none) ...
    int effectValue = 0;   // ... and the value
};

inline Part garbage(const QByteArray& bytes) { return {Part::Garbage, bytes, {}, 0, 0, 0}; }
inline Part request(const char* body, const char* reply, int index = 0, int value = 0)
{
    return {Part::Request, QByteArray::fromHex(body), QByteArray::fromHex(reply), 0, index, value};
}
inline Part truncated(const char* body, int keep) { return {Part::Truncated, QByteArray::fromHex(body), {}, keep, 0, 0}; }
inline Part badCheck(const char* body) { return {Part::BadCheck, QByteArray::fromHex(body), {}, 0, 0, 0}; }
inline Part lfOnly(const char* body) { return {Part::LfOnly, QByteArray::fromHex(body), {}, 0, 0, 0}; }

inline QByteArray framed(const QByteArray& body, Framing framing)
{
    return framing == Framing::Rtu ? buslink::AppendCRC(body) : buslink::AsciiFrame(body);
}

// The part as it goes on the line.
inline QByteArray lineOf(const Part& p, Framing framing)
{
    const bool rtu = framing == Framing::Rtu;
    QByteArray f = p.kind == Part::Garbage ? p.body : framed(p.body, framing);
    switch (p.kind) {
    case Part::Garbage:
    case Part::Request:
        break;
    case Part::Truncated:
        f = f.left(rtu ? p.keep : 1 + 2 * p.keep);
        break;
    case Part::BadCheck:
        if (rtu) f[f.size() - 1] = char(f[f.size() - 1] ^ 0x5A);
        else f[f.size() - 3] = f[f.size() - 3] == '0' ? '1' : '0';  // the LRC's low digit
        break;
    case Part::LfOnly:
        if (rtu) f[f.size() - 1] = f[f.size() - 1] == '\n' ? char('\n' ^ 0x5A) : '\n';
        else f.remove(f.size() - 2, 1);
        break;
    }
    return f;
}

// What the framer must report for a part that is not a request.
inline DroppedBytes verdictOf(const Part& p, Framing framing)
{
    switch (p.kind) {
    case Part::Truncated: return DroppedBytes::Incomplete;
    case Part::BadCheck: return DroppedBytes::ChecksumError;
    case Part::LfOnly: return framing == Framing::Rtu ? DroppedBytes::ChecksumError : DroppedBytes::BadLineEnding;
    default: return DroppedBytes::Noise;
    }
}

struct Row {
    const char* name;
    QList<Part> parts;
};

// Garbage longer than the longest frame, with no ':' in it.
inline QByteArray longGarbage()
{
    QByteArray g;
    quint32 x = 12345;
    for (int i = 0; i < 300; ++i) {
        x = x * 1103515245u + 12345u;
        const char c = char((x >> 16) & 0xFF);
        g.append(c == ':' ? char(0x3B) : c);
    }
    return g;
}

// The slave's image holds 40001 = 5 and 40010 = 1234; the closing request reads 40010.
constexpr int kInitialIndex = 40001, kInitialValue = 5;
constexpr int kWatchedIndex = 40002;  // 0 unless a request of the row writes it
inline QList<Row> rows()
{
    const Part good = request("010300090001", "01030204D2");
    const Part write99 = request("010600010063", "010600010063", kWatchedIndex, 99);
    return {
        {"three stray bytes", {garbage(QByteArray::fromHex("55AA13")), good}},
        {"text and a line end", {garbage("xyz\r\n"), good}},
        {"write of registers cut short", {truncated("01100000000204000A000B", 9), good}},
        {"function 0x11 cut after two bytes", {truncated("0111", 2), good}},
        {"bad checksum", {badCheck("010300000002"), good}},
        {"write ended by LF alone", {lfOnly("010600010063"), good}},
        {"two requests in one burst", {write99, good}},
        {"broadcast after noise",
         {garbage(QByteArray::fromHex("55AA13")), request("000600010007", "", kWatchedIndex, 7), good}},
        {"request for another unit", {request("020300090001", ""), good}},
        {"probe of an unsupported function", {request("0111", "019101"), good}},
        {"a stray byte that reads as a header", {garbage(QByteArray::fromHex("01")), good}},
        {"line ends between frames", {garbage("\r\n"), write99, garbage("\r\n"), good}},
        {"garbage longer than the longest frame", {garbage(longGarbage()), good}},
    };
}

inline QByteArray lineOf(const Row& row, Framing framing)
{
    QByteArray line;
    for (const Part& p : row.parts) line += lineOf(p, framing);
    return line;
}

// The ways the line is delivered: in one piece, in two halves, byte by byte.
enum class Delivery { Whole, Halves, ByteByByte };
inline QList<QByteArray> pieces(const QByteArray& line, Delivery delivery)
{
    if (delivery == Delivery::Whole) return {line};
    if (delivery == Delivery::Halves) return {line.left(line.size() / 2), line.mid(line.size() / 2)};
    QList<QByteArray> out;
    for (char c : line) out << QByteArray(1, c);
    return out;
}
inline const char* deliveryName(Delivery d)
{
    return d == Delivery::Whole ? "whole" : d == Delivery::Halves ? "halves" : "byte by byte";
}

// What the line must come to: each request as a frame, every other part dropped
// with its verdict; garbage may be taken for anything but a request ("*").
struct Seen {
    bool frame = false;
    QByteArray bytes;
    QString verdict;  // frames: "ok"
};
inline QList<Seen> expectedSeen(const Row& row, Framing framing)
{
    QList<Seen> out;
    for (const Part& p : row.parts) {
        if (p.kind == Part::Request) out << Seen{true, lineOf(p, framing), QStringLiteral("ok")};
        else if (p.kind == Part::Garbage) out << Seen{false, lineOf(p, framing), QStringLiteral("*")};
        else out << Seen{false, lineOf(p, framing), buslink::DroppedBytesVerdict(verdictOf(p, framing), framing)};
    }
    return out;
}
// Drops in a row are one (a framer may give up on a long stretch in steps); their
// verdict is the common one, or "mixed".
inline QList<Seen> mergedDrops(const QList<Seen>& seen)
{
    QList<Seen> out;
    for (const Seen& s : seen) {
        if (!s.frame && !out.isEmpty() && !out.back().frame) {
            out.back().bytes += s.bytes;
            if (out.back().verdict != s.verdict) out.back().verdict = QStringLiteral("mixed");
        } else {
            out << s;
        }
    }
    return out;
}
// The merged results against the expectation (no two drops in a row there).
inline bool matches(const QList<Seen>& merged, const QList<Seen>& expected)
{
    if (merged.size() != expected.size()) return false;
    for (int i = 0; i < merged.size(); ++i) {
        const Seen& m = merged[i];
        const Seen& e = expected[i];
        if (m.frame != e.frame || m.bytes != e.bytes) return false;
        if (e.verdict != QStringLiteral("*") && m.verdict != e.verdict) return false;
    }
    return true;
}

} // namespace noise
