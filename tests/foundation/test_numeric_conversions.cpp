// Conversions between host values and register images.
#include "ErrorNumber.h"
#include "conversions/NumericConversions.h"
#include "conversions/RegisterWords.h"

#include <QtTest>
#include <cmath>
#include <cstring>
#include <limits>

using namespace buslink;

namespace {

quint32 bitsOf(float f)
{
    quint32 b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}
} // namespace

class TestNumericConversions : public QObject {
    Q_OBJECT
private slots:
    void longFloatToDec_data();
    void longFloatToDec();
    void longFloatToDecFailsOnExponent255();
    void decToLongFloat_data();
    void decToLongFloat();
    void decToLongFloatRoundTripsSevenDigitValues();
    void decToLongFloatRefusesInfinity();
    void byteToLong_data();
    void byteToLong();
    void byteToLongNeedsIndexesFromZero();
    void longToByte_data();
    void longToByte();
    void longToByteKeepsEarlierStoresOnSubscriptError();
    void longToUInteger_data();
    void longToUInteger();
    void signedImages_data();
    void signedImages();
    void signedImagesRefuseText();
    void ieeeFloatRegisters_data();
    void ieeeFloatRegisters();
    void ieeeFloatKeepsNaNPayloads();
    void int32Registers_data();
    void int32Registers();
};

void TestNumericConversions::longFloatToDec_data()
{
    QTest::addColumn<qint32>("high");
    QTest::addColumn<qint32>("low");
    QTest::addColumn<float>("value");
    QTest::newRow("1.0") << 0x3F80 << 0 << 1.0f;
    QTest::newRow("-2.5") << 0xC020 << 0 << -2.5f;
    QTest::newRow("zero") << 0 << 0 << 0.0f;
    QTest::newRow("100") << 0x42C8 << 0 << 100.0f;
    QTest::newRow("0.1 pattern") << 0x3DCC << 0xCCCD << 0.1f;
    QTest::newRow("field 0 is a normal exponent") << 0x8000 << 0 << -std::ldexp(1.0f, -127);
    QTest::newRow("upper bits ignored") << (0x3F80 | 0x10000) << 0x20000 << 1.0f;
}

void TestNumericConversions::longFloatToDec()
{
    QFETCH(qint32, high);
    QFETCH(qint32, low);
    QFETCH(float, value);
    const float got = LongFloatToDec(high, low);
    QCOMPARE(bitsOf(got), bitsOf(value));
}

void TestNumericConversions::longFloatToDecFailsOnExponent255()
{
    QCOMPARE(errorNumberOf([] { LongFloatToDec(0x7F80, 0); }), int(ErrOverflow));
    QCOMPARE(errorNumberOf([] { LongFloatToDec(0xFFC0, 1); }), int(ErrOverflow));
}

void TestNumericConversions::decToLongFloat_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<qint32>("high");
    QTest::addColumn<qint32>("low");
    QTest::newRow("zero") << 0.0f << 0 << 0;
    QTest::newRow("NaN") << std::nanf("") << 0 << 0;
    QTest::newRow("0.1 truncated") << 0.1f << 0x3DCC << 0xCCCC;
    QTest::newRow("-2.5") << -2.5f << 0xC020 << 0;
    QTest::newRow("100") << 100.0f << 0x42C8 << 0;
    QTest::newRow("1.0") << 1.0f << 0x3F80 << 0;
    // 2^24 reads as 1.677722E+07 to seven digits, so the low half is 2, not 0.
    QTest::newRow("2^24") << 16777216.0f << 0x4B80 << 2;
    QTest::newRow("below every decimal place") << 1e-30f << 0 << 0;
}

void TestNumericConversions::decToLongFloat()
{
    QFETCH(float, value);
    QFETCH(qint32, high);
    QFETCH(qint32, low);
    qint32 h = -1, l = -1;
    QCOMPARE(DecToLongFloat(value, h, l), qint16(0));
    QCOMPARE(h, high);
    QCOMPARE(l, low);
}

// Values with at most 7 significant digits come back as the float nearest
// below the decimal, so converting back gives the value to 7 digits.
void TestNumericConversions::decToLongFloatRoundTripsSevenDigitValues()
{
    const float values[] = {20000000.0f, 12.3456f, -7.5f, 3.14159f, 1234567.0f, 0.001f, -99999.99f, 6.5e20f, 1.5e-20f};
    for (float v : values) {
        qint32 h = 0, l = 0;
        DecToLongFloat(v, h, l);
        const float back = LongFloatToDec(h, l);
        QVERIFY2(std::fabs(back - v) <= std::fabs(v) * 2.5e-7f, qPrintable(QString::number(double(v))));
        // Truncated, never rounded up past the 7-digit decimal.
        const double decimal = QString::number(double(std::fabs(v)), 'g', 7).toDouble();
        QVERIFY2(std::fabs(double(back)) <= decimal, qPrintable(QString::number(double(v))));
    }
    qint32 h = 0, l = 0;
    DecToLongFloat(20000000.0f, h, l);
    QCOMPARE(LongFloatToDec(h, l), 20000000.0f);
}

void TestNumericConversions::decToLongFloatRefusesInfinity()
{
    qint32 h = 0, l = 0;
    QCOMPARE(errorNumberOf([&] { DecToLongFloat(INFINITY, h, l); }), int(ErrOverflow));
}

void TestNumericConversions::byteToLong_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<qint32>("result");
    QTest::addColumn<double>("unsignedValue");
    QTest::newRow("all ones") << QByteArray::fromHex("ffffffff") << -1 << 4294967295.0;
    QTest::newRow("sign bit and 1") << QByteArray::fromHex("80000001") << -2147483647 << 2147483649.0;
    QTest::newRow("positive") << QByteArray::fromHex("12345678") << 0x12345678 << double(0x12345678);
}

void TestNumericConversions::byteToLong()
{
    QFETCH(QByteArray, bytes);
    QFETCH(qint32, result);
    QFETCH(double, unsignedValue);
    ByteArray arr(0, 3);
    for (int i = 0; i < 4; ++i) arr[i] = quint8(bytes[i]);
    double u = 0;
    QCOMPARE(ByteToLong(arr, u), result);
    QCOMPARE(u, unsignedValue);
}

void TestNumericConversions::byteToLongNeedsIndexesFromZero()
{
    ByteArray fromOne(1, 4);
    double u = 0;
    QCOMPARE(errorNumberOf([&] { ByteToLong(fromOne, u); }), int(ErrSubscriptOutOfRange));
}

void TestNumericConversions::longToByte_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("0x12345678") << 0x12345678 << QByteArray::fromHex("56781234");
    QTest::newRow("-2") << -2 << QByteArray::fromHex("fffeffff");
    QTest::newRow("1") << 1 << QByteArray::fromHex("00010000");
}

void TestNumericConversions::longToByte()
{
    QFETCH(qint32, value);
    QFETCH(QByteArray, bytes);
    ByteArray arr(0, 5);
    LongToByte(value, arr, 2);
    for (int i = 0; i < 4; ++i) QCOMPARE(int(arr[2 + i]), int(quint8(bytes[i])));
    QCOMPARE(errorNumberOf([&] { LongToByte(value, arr, 32765); }), int(ErrOverflow));
}

void TestNumericConversions::longToByteKeepsEarlierStoresOnSubscriptError()
{
    // Indexes 0..2 exist: the high word's two stores (at +2, then +3) come first, so
    // index 2 is written before index 3 fails.
    ByteArray arr(0, 2);
    QCOMPARE(errorNumberOf([&] { LongToByte(0x12345678, arr, 0); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(int(arr[2]), 0x12);
    QCOMPARE(int(arr[0]), 0);
}

void TestNumericConversions::longToUInteger_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<qint32>("high");
    QTest::addColumn<qint32>("low");
    QTest::newRow("-2") << -2 << 65535 << 65534;
    QTest::newRow("65536") << 65536 << 1 << 0;
    QTest::newRow("0x12345678") << 0x12345678 << 0x1234 << 0x5678;
}

void TestNumericConversions::longToUInteger()
{
    QFETCH(qint32, value);
    QFETCH(qint32, high);
    QFETCH(qint32, low);
    IntArray words(1, 2);
    LongToUInteger(value, words, 1);
    QCOMPARE(words[1], high);
    QCOMPARE(words[2], low);
    IntArray tooShort(1, 1);
    QCOMPARE(errorNumberOf([&] { LongToUInteger(value, tooShort, 1); }), int(ErrSubscriptOutOfRange));
    QCOMPARE(tooShort[1], high);
}

void TestNumericConversions::signedImages_data()
{
    QTest::addColumn<QVariant>("input");
    QTest::addColumn<qint32>("toUnsigned");
    QTest::addColumn<qint32>("toSigned");
    QTest::newRow("-1") << QVariant(-1) << 65535 << -1;
    QTest::newRow("65535") << QVariant(65535) << 65535 << -1;
    QTest::newRow("32768") << QVariant(32768) << 32768 << -32768;
    QTest::newRow("32767") << QVariant(32767) << 32767 << 32767;
    QTest::newRow("text number") << QVariant(QStringLiteral(" -2")) << 65534 << -2;
    QTest::newRow("half to even") << QVariant(2.5) << 2 << 2;
}

void TestNumericConversions::signedImages()
{
    QFETCH(QVariant, input);
    QFETCH(qint32, toUnsigned);
    QFETCH(qint32, toSigned);
    QCOMPARE(SignedIntToLong(input), toUnsigned);
    QCOMPARE(LongToSIgnedInt(input), toSigned);
}

void TestNumericConversions::signedImagesRefuseText()
{
    QCOMPARE(errorNumberOf([] { SignedIntToLong(QStringLiteral("pump")); }), int(ErrTypeMismatch));
    QCOMPARE(errorNumberOf([] { LongToSIgnedInt(QStringLiteral("pump")); }), int(ErrTypeMismatch));
    QCOMPARE(errorNumberOf([] { SignedIntToLong(1e12); }), int(ErrOverflow));
}

// IEEE single precision bit for bit over two registers, in both word orders: unlike
// DecToLongFloat and LongFloatToDec, nearest rounding, subnormals, infinities and
// negative zero all keep their patterns.
void TestNumericConversions::ieeeFloatRegisters_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<quint16>("highWord");
    QTest::addColumn<quint16>("lowWord");
    QTest::newRow("1.0") << 1.0f << quint16(0x3F80) << quint16(0x0000);
    QTest::newRow("-2.5") << -2.5f << quint16(0xC020) << quint16(0x0000);
    QTest::newRow("0.1 nearest, not truncated") << 0.1f << quint16(0x3DCC) << quint16(0xCCCD);
    QTest::newRow("123456.79") << 123456.79f << quint16(0x47F1) << quint16(0x2065);
    QTest::newRow("negative zero") << -0.0f << quint16(0x8000) << quint16(0x0000);
    QTest::newRow("smallest subnormal") << std::numeric_limits<float>::denorm_min() << quint16(0x0000) << quint16(0x0001);
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << quint16(0x7F7F) << quint16(0xFFFF);
    QTest::newRow("minus infinity") << -std::numeric_limits<float>::infinity() << quint16(0xFF80) << quint16(0x0000);
}

void TestNumericConversions::ieeeFloatRegisters()
{
    QFETCH(float, value);
    QFETCH(quint16, highWord);
    QFETCH(quint16, lowWord);
    const RegisterPair big{highWord, lowWord};
    const RegisterPair little{lowWord, highWord};
    QCOMPARE(FloatToRegisters(value, WordOrder::HighWordFirst), big);
    QCOMPARE(FloatToRegisters(value, WordOrder::LowWordFirst), little);
    QCOMPARE(bitsOf(RegistersToFloat(big, WordOrder::HighWordFirst)), bitsOf(value));
    QCOMPARE(bitsOf(RegistersToFloat(little, WordOrder::LowWordFirst)), bitsOf(value));
    // Read in the other word order, the same registers are another number.
    QCOMPARE(bitsOf(RegistersToFloat(big, WordOrder::LowWordFirst)), (quint32(lowWord) << 16) | highWord);
}

void TestNumericConversions::ieeeFloatKeepsNaNPayloads()
{
    const RegisterPair quiet{0x7FC0, 0x0001};
    const float nan = RegistersToFloat(quiet, WordOrder::HighWordFirst);
    QVERIFY(std::isnan(nan));
    QCOMPARE(FloatToRegisters(nan, WordOrder::HighWordFirst), quiet);
    QCOMPARE(FloatToRegisters(nan, WordOrder::LowWordFirst), (RegisterPair{0x0001, 0x7FC0}));
}

void TestNumericConversions::int32Registers_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<quint16>("highWord");
    QTest::addColumn<quint16>("lowWord");
    QTest::newRow("0x12345678") << 0x12345678 << quint16(0x1234) << quint16(0x5678);
    QTest::newRow("-2") << -2 << quint16(0xFFFF) << quint16(0xFFFE);
    QTest::newRow("65536") << 65536 << quint16(0x0001) << quint16(0x0000);
    QTest::newRow("most negative") << std::numeric_limits<qint32>::min() << quint16(0x8000) << quint16(0x0000);
    QTest::newRow("most positive") << std::numeric_limits<qint32>::max() << quint16(0x7FFF) << quint16(0xFFFF);
}

void TestNumericConversions::int32Registers()
{
    QFETCH(qint32, value);
    QFETCH(quint16, highWord);
    QFETCH(quint16, lowWord);
    const RegisterPair big{highWord, lowWord};
    const RegisterPair little{lowWord, highWord};
    QCOMPARE(Int32ToRegisters(value, WordOrder::HighWordFirst), big);
    QCOMPARE(Int32ToRegisters(value, WordOrder::LowWordFirst), little);
    QCOMPARE(RegistersToInt32(big, WordOrder::HighWordFirst), value);
    QCOMPARE(RegistersToInt32(little, WordOrder::LowWordFirst), value);
    const quint32 pattern = (quint32(highWord) << 16) | lowWord;
    QCOMPARE(RegistersToUint32(big, WordOrder::HighWordFirst), pattern);
    QCOMPARE(Uint32ToRegisters(pattern, WordOrder::LowWordFirst), little);
}

QTEST_GUILESS_MAIN(TestNumericConversions)
#include "test_numeric_conversions.moc"
