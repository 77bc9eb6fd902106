// The RTU and ASCII framers as pure functions over bytes: the request length
// table, single results for chosen byte strings, the noise table delivered whole,
// in halves and byte by byte, and what a silence on the line does.
#include "NoiseTable.h"
#include "protocol/AsciiFraming.h"
#include "protocol/RtuFraming.h"

#include <QtTest>

using namespace buslink;
using noise::Seen;

Q_DECLARE_METATYPE(Framing)
Q_DECLARE_METATYPE(FrameSearch::Kind)
Q_DECLARE_METATYPE(DroppedBytes)
Q_DECLARE_METATYPE(noise::Delivery)

using Pieces = QList<QPair<QByteArray, bool>>;  // bytes, and whether a silence follows them

namespace {

QByteArray rtu(const char* hex) { return AppendCRC(QByteArray::fromHex(hex)); }
QByteArray hex(const char* h) { return QByteArray::fromHex(h); }

FrameSearch find(Framing framing, QByteArrayView bytes, bool silence)
{
    return framing == Framing::Rtu ? FindRtuRequest(bytes, silence) : FindAsciiFrame(bytes, silence);
}

// Feeds the pieces to a framer as a slave does: after each piece every result is
// acted on until more bytes are needed; a piece marked silent ends with a silence.
// Checks on the way that every result stays inside the bytes and makes progress.
QList<Seen> run(Framing framing, const Pieces& pieces)
{
    QList<Seen> seen;
    QByteArray buffer;
    int quiet = 0;
    for (const auto& [bytes, silent] : pieces) {
        buffer += bytes;
        if (silent) quiet = int(buffer.size());
        for (;;) {
            const QByteArrayView view = quiet > 0 ? QByteArrayView(buffer).first(quiet) : QByteArrayView(buffer);
            const FrameSearch r = find(framing, view, quiet > 0);
            if (r.kind == FrameSearch::Kind::NeedMore) {
                if (quiet == 0) break;
                quiet = 0;
                continue;
            }
            if (r.offset < 0 || r.consumed() < 1 || r.consumed() > view.size()) {
                qWarning("result out of bounds: offset %d length %d of %d", r.offset, r.length, int(view.size()));
                return {};
            }
            if (r.offset > 0) seen << Seen{false, buffer.left(r.offset), DroppedBytesVerdict(r.dropped, framing)};
            if (r.kind == FrameSearch::Kind::Frame) seen << Seen{true, buffer.mid(r.offset, r.length), "ok"};
            buffer.remove(0, r.consumed());
            quiet = qMax(0, quiet - r.consumed());
        }
    }
    return seen;
}

QString show(const QList<Seen>& seen)
{
    QStringList out;
    for (const Seen& s : seen) out << (s.frame ? "frame " : "drop ") + s.bytes.toHex(' ') + " (" + s.verdict + ")";
    return out.join("\n");
}

} // namespace

class TestFraming : public QObject {
    Q_OBJECT
private slots:
    void rtuRequestLength_data();
    void rtuRequestLength();
    void singleResults_data();
    void singleResults();
    void noiseTable_data();
    void noiseTable();
    void silences_data();
    void silences();
    void asciiDecoding();
};

void TestFraming::rtuRequestLength_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<int>("length");
    const QByteArray data(250, char(0));
    QTest::newRow("nothing yet") << QByteArray() << kNeedMoreToTell;
    QTest::newRow("unit only") << hex("01") << kNeedMoreToTell;
    for (int fc : {1, 2, 3, 4, 5, 6, 8}) QTest::addRow("function %d", fc) << (hex("01") + char(fc)) << 8;
    for (int fc : {7, 11, 12, 17}) QTest::addRow("function %d", fc) << (hex("01") + char(fc)) << 4;
    QTest::newRow("function 15 before its byte count") << hex("010F00000010") << kNeedMoreToTell;
    QTest::newRow("function 15 with 2 bytes") << hex("010F0000001002") << 11;
    QTest::newRow("function 16 with 246 bytes") << hex("01100000007BF6") << 255;
    QTest::newRow("function 16 with 247 bytes: the longest frame") << hex("01100000007BF7") << 256;
    QTest::newRow("function 16 with 248 bytes: longer than any frame") << hex("01100000007CF8") << kNoFrameStart;
    QTest::newRow("function 20") << hex("011407") << 12;
    QTest::newRow("function 21") << hex("01150D") << 18;
    QTest::newRow("function 22") << hex("0116") << 10;
    QTest::newRow("function 23 before its byte count") << hex("0117000000010000") << kNeedMoreToTell;
    QTest::newRow("function 23") << hex("01170000000100000001" "02") << 15;
    QTest::newRow("function 24") << hex("0118") << 6;
    QTest::newRow("function 43 device identification") << hex("012B0E") << 7;
    QTest::newRow("function 43 other interface") << hex("012B0D") << kLengthByCrc;
    QTest::newRow("unknown function") << hex("0141") << kLengthByCrc;
    QTest::newRow("function 0") << hex("0100") << kNoFrameStart;
    QTest::newRow("exception reply 0x83") << hex("0183") << kNoFrameStart;
    QTest::newRow("function 0xFF") << hex("01FF") << kNoFrameStart;
    QTest::newRow("broadcast") << hex("0003") << 8;
    QTest::newRow("unit 247") << hex("F703") << 8;
    QTest::newRow("unit 248") << hex("F8") << kNoFrameStart;
}

void TestFraming::rtuRequestLength()
{
    QFETCH(QByteArray, head);
    QFETCH(int, length);
    QCOMPARE(RtuRequestLength(head), length);
}

void TestFraming::singleResults_data()
{
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<bool>("silence");
    QTest::addColumn<FrameSearch::Kind>("kind");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("length");
    QTest::addColumn<DroppedBytes>("dropped");

    const auto R = Framing::Rtu;
    const auto A = Framing::Ascii;
    const auto need = FrameSearch::Kind::NeedMore;
    const auto frame = FrameSearch::Kind::Frame;
    const auto drop = FrameSearch::Kind::Drop;
    const auto noise = DroppedBytes::Noise;
    const auto incomplete = DroppedBytes::Incomplete;
    const auto bad = DroppedBytes::ChecksumError;
    const QByteArray g = rtu("010300090001");
    QByteArray damaged = g;
    damaged[7] = char(damaged[7] ^ 1);
    const QByteArray cutWrite = rtu("01100000000204000A000B").left(9);

    QTest::newRow("rtu request") << R << g << false << frame << 0 << 8 << noise;
    QTest::newRow("rtu request and the start of the next") << R << g + hex("0103") << false << frame << 0 << 8 << noise;
    QTest::newRow("rtu request still arriving") << R << g.left(7) << false << need << 0 << 0 << noise;
    QTest::newRow("rtu request cut by a silence") << R << g.left(7) << true << drop << 7 << 0 << incomplete;
    QTest::newRow("rtu bad CRC: may be noise before a frame") << R << damaged << false << need << 0 << 0 << noise;
    QTest::newRow("rtu bad CRC ended by a silence") << R << damaged << true << drop << 8 << 0 << bad;
    QTest::newRow("rtu bad CRC, then a request") << R << damaged + g << false << frame << 8 << 8 << bad;
    QTest::newRow("rtu noise ended by a silence") << R << hex("55AA13") << true << drop << 3 << 0 << noise;
    QTest::newRow("rtu bytes that start nothing go at once") << R << hex("FFFAF8") << false << drop << 3 << 0 << noise;
    QTest::newRow("rtu another device's reply") << R << rtu("0103020005") << true << drop << 7 << 0
                                                << DroppedBytes::UnexpectedFrame;
    QTest::newRow("rtu unknown function found by CRC") << R << rtu("0141") << false << frame << 0 << 4 << noise;
    QTest::newRow("rtu unknown function with data") << R << rtu("0141AABBCC") + g << false << frame << 0 << 7 << noise;
    QTest::newRow("rtu device identification") << R << rtu("012B0E0100") << false << frame << 0 << 7 << noise;
    QTest::newRow("rtu write cut short, then a request") << R << cutWrite + g << false << frame << 9 << 8 << incomplete;
    // A CRC search over many lengths must not cut into a frame still arriving ...
    QTest::newRow("rtu no search frame inside a frame still arriving")
        << R << hex("01100000000204") + rtu("0541") << false << need << 0 << 0 << noise;
    // ... unless a silence says it will not arrive.
    QTest::newRow("rtu search frame after a silence")
        << R << hex("01100000000204") + rtu("0541") << true << frame << 7 << 4 << incomplete;
    QTest::newRow("rtu exception reply heard on the line") << R << rtu("018302") << true << drop << 5 << 0
                                                           << DroppedBytes::UnexpectedFrame;
    QTest::newRow("rtu longer than the longest frame: the dead front goes")
        << R << QByteArray(300, char(0x01)) << false << drop << 293 << 0 << bad;

    const QByteArray a = ":010300090001F2\r\n";
    QTest::newRow("ascii request") << A << a << false << frame << 0 << 17 << noise;
    QTest::newRow("ascii lower case") << A << QByteArray(":010300090001f2\r\n") << false << frame << 0 << 17 << noise;
    QTest::newRow("ascii noise, then a request") << A << "xyz\r\n" + a << false << frame << 5 << 17 << noise;
    QTest::newRow("ascii noise waits for a colon") << A << QByteArray("xyz") << false << need << 0 << 0 << noise;
    QTest::newRow("ascii noise ended by a silence") << A << QByteArray("xyz") << true << drop << 3 << 0 << noise;
    QTest::newRow("ascii request still arriving") << A << a.left(10) << false << need << 0 << 0 << noise;
    QTest::newRow("ascii a pause inside a frame keeps it") << A << a.left(10) << true << need << 0 << 0 << noise;
    QTest::newRow("ascii noise before a frame still arriving, silence")
        << A << "zz" + a.left(10) << true << drop << 2 << 0 << noise;
    QTest::newRow("ascii a colon drops the unfinished frame") << A << a.left(10) + a << false << drop << 10 << 0
                                                              << incomplete;
    QTest::newRow("ascii LF alone") << A << QByteArray(":010300090001F2\n") + a << false << drop << 16 << 0
                                    << DroppedBytes::BadLineEnding;
    QTest::newRow("ascii bad LRC") << A << QByteArray(":010300090001F3\r\n") << false << drop << 17 << 0 << bad;
    QTest::newRow("ascii bad hex") << A << QByteArray(":01030009000GF2\r\n") << false << drop << 17 << 0 << bad;
    QTest::newRow("ascii odd digit count") << A << QByteArray(":010300090001F\r\n") << false << drop << 16 << 0 << bad;
    QTest::newRow("ascii too short") << A << QByteArray(":01FF\r\n") << false << drop << 7 << 0 << bad;
    QTest::newRow("ascii CR alone, then a frame") << A << QByteArray(":010300090001F2\r") + a << false << drop << 16 << 0
                                                  << incomplete;
    QTest::newRow("ascii longer than the longest frame")
        << A << ":" + QByteArray(600, '0') << false << drop << kMaxAsciiFrameLength << 0 << incomplete;
    QTest::newRow("ascii noise longer than the longest frame")
        << A << QByteArray(600, 'x') << false << drop << 600 << 0 << noise;
}

void TestFraming::singleResults()
{
    QFETCH(Framing, framing);
    QFETCH(QByteArray, received);
    QFETCH(bool, silence);
    QFETCH(FrameSearch::Kind, kind);
    QFETCH(int, offset);
    QFETCH(int, length);
    QFETCH(DroppedBytes, dropped);
    const FrameSearch r = find(framing, received, silence);
    QCOMPARE(r.kind, kind);
    QCOMPARE(r.offset, offset);
    QCOMPARE(r.length, length);
    if (offset > 0) QCOMPARE(DroppedBytesVerdict(r.dropped, framing), DroppedBytesVerdict(dropped, framing));
}

void TestFraming::noiseTable_data()
{
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<int>("row");
    QTest::addColumn<noise::Delivery>("delivery");
    const QList<noise::Row> rows = noise::rows();
    for (const Framing framing : {Framing::Rtu, Framing::Ascii})
        for (int i = 0; i < rows.size(); ++i)
            for (const auto d : {noise::Delivery::Whole, noise::Delivery::Halves, noise::Delivery::ByteByByte})
                QTest::addRow("%s, %s, %s", framing == Framing::Rtu ? "rtu" : "ascii", rows[i].name,
                              noise::deliveryName(d))
                    << framing << i << d;
}

// No silence is signalled (as on a pseudo-terminal): the framer alone must find every request.
void TestFraming::noiseTable()
{
    QFETCH(Framing, framing);
    QFETCH(int, row);
    QFETCH(noise::Delivery, delivery);
    const noise::Row r = noise::rows()[row];
    Pieces pieces;
    for (const QByteArray& p : noise::pieces(noise::lineOf(r, framing), delivery)) pieces << qMakePair(p, false);
    const QList<Seen> seen = noise::mergedDrops(run(framing, pieces));
    const QList<Seen> expected = noise::expectedSeen(r, framing);
    QVERIFY2(noise::matches(seen, expected), qPrintable("seen:\n" + show(seen) + "\nexpected:\n" + show(expected)));
}

void TestFraming::silences_data()
{
    QTest::addColumn<Framing>("framing");
    QTest::addColumn<Pieces>("pieces");
    QTest::addColumn<QString>("expected");                      // as show() prints it

    const QByteArray g = rtu("010300090001");
    const auto s = [](const QByteArray& b) { return b.toHex(' '); };
    QTest::newRow("stray bytes, silence, request")
        << Framing::Rtu << Pieces{{hex("55AA13"), true}, {g, false}}
        << QString("drop 55 aa 13 (noise)\nframe " + s(g) + " (ok)");
    QTest::newRow("a request cut by a silence is not joined to what follows")
        << Framing::Rtu << Pieces{{g.left(4), true}, {g.mid(4), true}}
        << QString("drop " + s(g.left(4)) + " (incomplete)\ndrop " + s(g.mid(4)) + " (incomplete)");
    QTest::newRow("two requests in one burst before a silence")
        << Framing::Rtu << Pieces{{g + rtu("010600010063"), true}}
        << QString("frame " + s(g) + " (ok)\nframe " + s(rtu("010600010063")) + " (ok)");
    QTest::newRow("bad CRC, request, noise, silence")
        << Framing::Rtu << Pieces{{g.left(7) + QByteArray(1, 0) + g + hex("55"), true}}
        << QString("drop " + s(g.left(7) + QByteArray(1, 0)) + " (CRC error)\nframe " + s(g) + " (ok)\ndrop 55 (noise)");
    QTest::newRow("a silence after part of a later burst leaves the rest alone")
        << Framing::Rtu << Pieces{{hex("55"), true}, {g.left(3), false}, {g.mid(3), false}}
        << QString("drop 55 (noise)\nframe " + s(g) + " (ok)");
    QTest::newRow("ascii: a pause inside a frame does not end it")
        << Framing::Ascii
        << Pieces{{"zz:0103", true}, {"00090001F2\r\n", true}}
        << QString("drop 7a 7a (noise)\nframe " + s(":010300090001F2\r\n") + " (ok)");
}

void TestFraming::silences()
{
    QFETCH(Framing, framing);
    QFETCH(Pieces, pieces);
    QFETCH(QString, expected);
    QCOMPARE(show(run(framing, pieces)), expected);
}

void TestFraming::asciiDecoding()
{
    QByteArray bytes;
    QVERIFY(DecodeAsciiFrame(":0103020000FA\r\n", bytes));
    QCOMPARE(bytes.toHex(), QByteArray("0103020000"));
    QVERIFY(DecodeAsciiFrame(AsciiFrame(hex("0111")), bytes));
    QCOMPARE(bytes.toHex(), QByteArray("0111"));
    bytes = "kept";
    QVERIFY(!DecodeAsciiFrame(":0103020000FB\r\n", bytes));
    QVERIFY(!DecodeAsciiFrame("0103020000FA\r\n", bytes));
    QVERIFY(!DecodeAsciiFrame(":0103020000FA\n", bytes));
    QCOMPARE(bytes, QByteArray("kept"));  // untouched when the frame is bad
}

QTEST_GUILESS_MAIN(TestFraming)
#include "test_framing.moc"
