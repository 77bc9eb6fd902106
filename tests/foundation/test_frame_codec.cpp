// Frame codec: CRC-16, LRC, hexadecimal fields and bit tests, against known
// vectors and against an independent Modbus implementation.
#include "PeerProcess.h"
#include "protocol/FrameCodec.h"

#include <QProcess>
#include <QtTest>

using namespace buslink;

class TestFrameCodec : public QObject {
    Q_OBJECT
private slots:
    void crcVectors_data();
    void crcVectors();
    void crcMatchesIndependentImplementation();
    void lrcVectors_data();
    void lrcVectors();
    void asciiRequestFrame();
    void hexDigits_data();
    void hexDigits();
    void hexFieldKeepsRightmostDigits_data();
    void hexFieldKeepsRightmostDigits();
    void decodesReceivedAsciiFrame_data();
    void decodesReceivedAsciiFrame();
    void bitIsSet_data();
    void bitIsSet();
};

void TestFrameCodec::crcVectors_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("crc");
    QTest::addColumn<QByteArray>("onTheLine");
    QTest::newRow("read 40001 x1") << QByteArray::fromHex("010300000001") << 0x0A84 << QByteArray::fromHex("01030000000184 0a");
    QTest::newRow("write 42 to 40001") << QByteArray::fromHex("01060000002a") << 0x1508 << QByteArray::fromHex("01060000002a0815");
    QTest::newRow("reply 42") << QByteArray::fromHex("0103 02 002a") << 0x9B39 << QByteArray::fromHex("010302002a399b");
}

void TestFrameCodec::crcVectors()
{
    QFETCH(QByteArray, data);
    QFETCH(int, crc);
    QFETCH(QByteArray, onTheLine);
    const Crc c = ComputeCRC(data, int(data.size()));
    QCOMPARE(int(c.value), crc);
    QCOMPARE(int(c.low), crc & 0xFF);
    QCOMPARE(int(c.high), crc >> 8);
    QCOMPARE(AppendCRC(data), onTheLine);
    QVERIFY(HasGoodCRC(onTheLine));
    QByteArray damaged = onTheLine;
    damaged[damaged.size() - 1] = char(damaged[damaged.size() - 1] ^ 0x01);
    QVERIFY(!HasGoodCRC(damaged));
    // One byte at a time comes to the same value.
    quint16 running = kCrcStart;
    for (char b : data) running = CrcStep(running, quint8(b));
    QCOMPARE(int(running), crc);
}

// CRC and LRC of a set of frames compared with what pymodbus computes.
void TestFrameCodec::crcMatchesIndependentImplementation()
{
    QList<QByteArray> frames;
    for (int len = 1; len <= 40; len += 3) {
        QByteArray f;
        for (int i = 0; i < len; ++i) f.append(char((i * 37 + len * 11) & 0xFF));
        frames << f;
    }
    frames << QByteArray::fromHex("11030000006b0003") << QByteArray(256, char(0xFF)) << QByteArray(7, '\0');
    QStringList hexes;
    for (const QByteArray& f : frames) hexes << QString::fromLatin1(f.toHex());
    const QString script = QStringLiteral(
        "import sys\n"
        "from pymodbus.utilities import computeCRC, computeLRC\n"
        "for h in sys.argv[1:]:\n"
        "    b = bytes.fromhex(h)\n"
        "    print(computeCRC(b), computeLRC(b))\n");
    QProcess python;
    python.start(PeerProcess::python(), QStringList{"-c", script} + hexes);
    QVERIFY2(python.waitForFinished(30000), "python did not finish");
    const QStringList lines = QString::fromLatin1(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), frames.size());
    for (int i = 0; i < frames.size(); ++i) {
        const QStringList parts = lines[i].split(' ');
        // pymodbus gives the CRC as the 16-bit number whose big-endian bytes go on the line.
        const Crc c = ComputeCRC(frames[i], int(frames[i].size()));
        QCOMPARE(parts[0].toInt(), (c.low << 8) | c.high);
        QString text = ":";
        for (char b : frames[i]) text += HexField(quint8(b), 2);
        QCOMPARE(MakeLRC(text).toInt(nullptr, 16), parts[1].toInt());
    }
}

void TestFrameCodec::lrcVectors_data()
{
    QTest::addColumn<QString>("msg");
    QTest::addColumn<QString>("lrc");
    QTest::newRow("read 40001") << ":010300000001" << "FB";
    QTest::newRow("read 17 regs") << ":11030000006B0003" << "7E";
    QTest::newRow("nothing after colon") << ":" << "00";
    QTest::newRow("odd digit at end") << ":0103F" << "ED";  // 01 + 03 + 0F = 0x13
    QTest::newRow("lower case digits") << ":11030000006b0003" << "7E";
}

void TestFrameCodec::lrcVectors()
{
    QFETCH(QString, msg);
    QFETCH(QString, lrc);
    QCOMPARE(MakeLRC(msg), lrc);
}

void TestFrameCodec::asciiRequestFrame()
{
    const QByteArray frame = AsciiFrame(QByteArray::fromHex("010300000001"));
    QCOMPARE(frame, QByteArray(":010300000001FB\r\n"));
    QCOMPARE(frame.size(), 17);
}

void TestFrameCodec::hexDigits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("FF") << "FF" << 255;
    QTest::newRow("0A") << "0A" << 10;
    QTest::newRow("ff lower case") << "ff" << 255;
    QTest::newRow("1234") << "1234" << 0x1234;
    QTest::newRow("empty") << "" << 0;
}

void TestFrameCodec::hexDigits()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    QCOMPARE(HexTextToNumber(text), value);
}

void TestFrameCodec::hexFieldKeepsRightmostDigits_data()
{
    QTest::addColumn<qint64>("value");
    QTest::addColumn<int>("width");
    QTest::addColumn<QString>("field");
    QTest::newRow("padded") << qint64(10) << 4 << "000A";
    QTest::newRow("minus two") << qint64(-2) << 4 << "FFFE";
    QTest::newRow("too wide") << qint64(0x12345) << 4 << "2345";
    QTest::newRow("byte") << qint64(255) << 2 << "FF";
}

void TestFrameCodec::hexFieldKeepsRightmostDigits()
{
    QFETCH(qint64, value);
    QFETCH(int, width);
    QFETCH(QString, field);
    QCOMPARE(HexField(value, width), field);
}

void TestFrameCodec::decodesReceivedAsciiFrame_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("sound");
    QTest::newRow("reply 0") << QByteArray(":0103020000FA\r\n") << QByteArray::fromHex("0103020000fa") << true;
    QTest::newRow("lower case") << QByteArray(":0103020000fa\r\n") << QByteArray::fromHex("0103020000fa") << true;
    QTest::newRow("bad lrc") << QByteArray(":0103020000FB\r\n") << QByteArray::fromHex("0103020000fb") << false;
}

void TestFrameCodec::decodesReceivedAsciiFrame()
{
    QFETCH(QByteArray, received);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, sound);
    const int n = int(received.size()) - 3;
    HexPairsToBytes(received, n);
    QCOMPARE(received.left(n / 2), bytes);
    QCOMPARE(BytesLRC(received, n) == quint8(received[n / 2 - 1]), sound);
}

void TestFrameCodec::bitIsSet_data()
{
    QTest::addColumn<int>("v");
    QTest::addColumn<int>("b");
    QTest::addColumn<int>("set");
    QTest::newRow("5 bit 0") << 5 << 0 << 1;
    QTest::newRow("5 bit 1") << 5 << 1 << 0;
    QTest::newRow("5 bit 2") << 5 << 2 << 1;
    QTest::newRow("0x8000 bit 15") << 0x8000 << 15 << 1;
}

void TestFrameCodec::bitIsSet()
{
    QFETCH(int, v);
    QFETCH(int, b);
    QFETCH(int, set);
    QCOMPARE(BitIsSet(v, b), set);
}

QTEST_GUILESS_MAIN(TestFrameCodec)
#include "test_frame_codec.moc"
