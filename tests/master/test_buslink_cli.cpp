// buslink-cli end to end: against the libmodbus slave for reads, writes,
// exception replies and the trace; against a device the test plays for a
// damaged reply; exit codes and one-line reasons for every failure.
#include "PeerProcess.h"
#include "ProgramRun.h"
#include "PtyPair.h"
#include "protocol/FrameCodec.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using Run = ProgramRun;

class TestBuslinkCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void readPrintsOneLinePerValue();
    void writeThenRead_data();
    void writeThenRead();
    void failuresExitWithAReason_data();
    void failuresExitWithAReason();
    void traceShowsEveryFrame();
    void checksumErrorIsReported();
    void usageErrors_data();
    void usageErrors();

private:
    Run cli(const QStringList& args, const QString& port = QString());
    QString program() const { return PeerProcess::binaryDir() + "/tools/buslink-cli/buslink-cli"; }

    std::unique_ptr<SocatPair> line;
    PeerProcess peer;
};

void TestBuslinkCli::initTestCase()
{
    QVERIFY(QFileInfo(program()).isExecutable());
    line = std::make_unique<SocatPair>();
    QVERIFY(line->isValid());
    QVERIFY2(peer.start(PeerProcess::binaryDir() + "/tests/master/buslink_libmodbus_slave", {line->endB(), "1", "9600,e,8,1"}),
             qPrintable(peer.errorText()));
}

void TestBuslinkCli::cleanupTestCase() { peer.stop(); }

Run TestBuslinkCli::cli(const QStringList& args, const QString& port)
{
    return runProgram(program(), QStringList{"--port", port.isEmpty() ? line->endA() : port} + args, 10000);
}

void TestBuslinkCli::readPrintsOneLinePerValue()
{
    const Run r = cli({"read", "40001", "3"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString("40001 0\n40002 1\n40003 2\n"));
    QCOMPARE(r.err, QString());
    const Run six = cli({"--unit", "1", "read", "300005"});
    QCOMPARE(six.exitCode, 0);
    QCOMPARE(six.out, QString("300005 1004\n"));
    const Run coils = cli({"read", "1;00001", "4"});
    QCOMPARE(coils.exitCode, 0);
    QCOMPARE(coils.out, QString("1 1\n2 0\n3 0\n4 1\n"));
}

void TestBuslinkCli::writeThenRead_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("printed");
    QTest::newRow("words") << "word" << "40801" << QStringList{"1", "2", "3"} << "40801 1\n40802 2\n40803 3\n";
    QTest::newRow("one word") << "word" << "40811" << QStringList{"300"} << "40811 300\n";
    QTest::newRow("signed") << "signed" << "40821" << QStringList{"-5", "7"} << "40821 -5\n40822 7\n";
    QTest::newRow("fixed point") << "float" << "40831" << QStringList{"12.5"} << "40831 12.5\n";
    QTest::newRow("floats") << "dfloat" << "40841" << QStringList{"0.375", "-2.5"} << "40841 0.375\n40843 -2.5\n";
    QTest::newRow("coils") << "word" << "00501" << QStringList{"1", "1", "0"} << "501 1\n502 1\n503 0\n";
}

void TestBuslinkCli::writeThenRead()
{
    QFETCH(QString, type);
    QFETCH(QString, address);
    QFETCH(QStringList, values);
    QFETCH(QString, printed);
    const Run w = cli(QStringList{"--type", type, "write", address} + values);
    QCOMPARE(w.exitCode, 0);
    QCOMPARE(w.err, QString());
    const Run r = cli({"--type", type, "read", address, QString::number(values.size())});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, printed);
}

void TestBuslinkCli::failuresExitWithAReason_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("reason");
    QTest::newRow("exception reply") << QStringList{"read", "40995", "10"} << "exception reply 2: illegal data address";
    QTest::newRow("exception to a write") << QStringList{"write", "2500", "1"} << "exception reply 2: illegal data address";
    QTest::newRow("address not resolved") << QStringList{"read", "NoSuchTag"} << "address not resolved or not accessible: NoSuchTag";
    QTest::newRow("no mapping") << QStringList{"read", "20001"} << "address not resolved or not accessible: 20001";
    QTest::newRow("no reply") << QStringList{"--unit", "9", "read", "40001"} << "no reply from unit 9";
    QTest::newRow("port that does not exist") << QStringList{"--port", "/dev/buslink-none", "read", "40001"} << "Cannot open port";
}

void TestBuslinkCli::failuresExitWithAReason()
{
    QFETCH(QStringList, args);
    QFETCH(QString, reason);
    const Run r = cli(args);
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY2(r.err.startsWith("buslink-cli: ") && r.err.contains(reason), qPrintable(r.err));
}

void TestBuslinkCli::traceShowsEveryFrame()
{
    const Run r = cli({"--trace", "read", "40005", "1"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString("40005 4\n"));
    const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY2(QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} > 01 03 00 04 00 01 C5 CB$)").match(lines[0]).hasMatch(), qPrintable(lines[0]));
    QVERIFY2(QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3} < 01 03 02 00 04 B9 87  ok$)").match(lines[1]).hasMatch(), qPrintable(lines[1]));
    const Run e = cli({"--trace", "read", "40995", "10"});
    QCOMPARE(e.exitCode, 1);
    QVERIFY2(e.err.contains("  exception 2 (illegal data address)\n"), qPrintable(e.err));
}

void TestBuslinkCli::checksumErrorIsReported()
{
    PtyPair device;
    QProcess p;
    p.start(program(), {"--port", device.devicePath(), "--settings", "9600,n,8,1", "read", "40001"});
    QVERIFY(p.waitForStarted());
    const QByteArray request = device.read(8, 5000);
    QCOMPARE(request.toHex(), QByteArray("010300000001840a"));
    QByteArray reply = buslink::AppendCRC(QByteArray::fromHex("0103020007"));
    reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 1);
    QVERIFY(device.write(reply));
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 1);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains("checksum error in the reply (CRC error)"), qPrintable(err));
}

void TestBuslinkCli::usageErrors_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no command") << QStringList{};
    QTest::newRow("unknown command") << QStringList{"erase"};
    QTest::newRow("unknown option") << QStringList{"--fast", "read", "40001"};
    QTest::newRow("bad mode") << QStringList{"--mode", "tcp", "read", "40001"};
    QTest::newRow("read without address") << QStringList{"read"};
    QTest::newRow("write without value") << QStringList{"write", "40001"};
    QTest::newRow("value that is no number") << QStringList{"write", "40001", "ten"};
}

void TestBuslinkCli::usageErrors()
{
    QFETCH(QStringList, args);
    const Run r = cli(args);
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("usage: buslink-cli"));
}

QTEST_GUILESS_MAIN(TestBuslinkCli)
#include "test_buslink_cli.moc"
