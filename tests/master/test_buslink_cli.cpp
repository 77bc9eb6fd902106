// buslink-cli end to end: against the libmodbus slave for reads, writes,
// exception replies and the trace; against a silent device for time-outs and
// retries; against a device the test plays for a damaged reply. One table of
// command lines holds the options, outputs, limits and exit codes.
#include "PeerProcess.h"
#include "ProgramRun.h"
#include "PtyPair.h"
#include "protocol/FrameCodec.h"

#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

using Run = ProgramRun;

namespace {

// A pattern of the table, matched against the whole output: <ts> stands for a
// poll's timestamp, <usage> for the usage line that follows a usage error.
QRegularExpression wholeOutput(QString pattern)
{
    pattern.replace(QStringLiteral("<ts>"), QStringLiteral(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})"));
    pattern.replace(QStringLiteral("<usage>"), QStringLiteral(R"(usage: buslink-cli \[options\] [^\n]*\n)"));
    return QRegularExpression(QRegularExpression::anchoredPattern(pattern), QRegularExpression::DotMatchesEverythingOption);
}

} // namespace

class TestBuslinkCli : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void readPrintsOneLinePerValue();
    void writeThenRead_data();
    void writeThenRead();
    void commandLines_data();
    void commandLines();
    void traceShowsEveryFrame();
    void checksumErrorIsReported();
    void interruptedPollEndsWithASummary();

private:
    Run cli(const QStringList& args, const QString& port = QString());
    QString program() const { return PeerProcess::binaryDir() + "/tools/buslink-cli/buslink-cli"; }

    std::unique_ptr<SocatPair> line;
    PeerProcess peer;
    PtyPair silent;  // a device that never answers; the test counts the requests it saw
};

void TestBuslinkCli::initTestCase()
{
    QVERIFY(QFileInfo(program()).isExecutable());
    QVERIFY(silent.isValid());
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
    QTest::newRow("ieee32") << "ieee32" << "40871" << QStringList{"0.1", "-3e-40", "inf"} << "40871 0.1\n40873 -3e-40\n40875 inf\n";
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

void TestBuslinkCli::commandLines_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("toSilentDevice");  // else to the libmodbus slave
    QTest::addColumn<QString>("out");          // patterns of the whole output (see wholeOutput)
    QTest::addColumn<QString>("err");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("requests");         // requests the silent device saw; -1: not counted

    // Options anywhere, help and version.
    QTest::newRow("options after the command") << QStringList{"read", "40001", "3", "--unit", "1", "--timeout", "1500"}
                                               << false << "40001 0\n40002 1\n40003 2\n" << "" << 0 << -1;
    QTest::newRow("--name=value") << QStringList{"read", "--type=word", "40005", "--unit=1"} << false << "40005 4\n" << "" << 0 << -1;
    QTest::newRow("negative value after --") << QStringList{"write", "--type", "signed", "--", "40891", "-3"} << false << "" << "" << 0 << -1;
    QTest::newRow("version") << QStringList{"--version"} << false << R"(buslink-cli \d+\.\d+\.\d+\n)" << "" << 0 << -1;
    QTest::newRow("program help") << QStringList{"--help"} << false
                                  << R"(Usage: buslink-cli \[options\] COMMAND \[ARGS\.\.\.\]\n.*  read .*  write .*  scan .*  serve .*  init-db .*--port .*Exit status:\n  0  success\n.*  5  line error.*)"
                                  << "" << 0 << -1;
    QTest::newRow("read help") << QStringList{"read", "--help"} << false
                               << R"(Usage: buslink-cli \[options\] read ADDRESS \[COUNT\]\n.*--poll <MS>.*--output <FORMAT>.*Value types.*  float   fixed point, not IEEE.*  ieee32  IEEE 754.*Exit status:.*  3  the device answered with an exception reply\n.*)"
                               << "" << 0 << -1;
    QTest::newRow("serve help after its options") << QStringList{"serve", "--unit", "3", "--help"} << false
                                                  << R"(Usage: buslink-cli \[options\] serve\n.*--requests <N>.*)" << "" << 0 << -1;

    // ieee32 in both word orders, against registers the slave holds (register i holds i)
    // and against what was written; --type word shows the registers as they lie.
    QTest::newRow("ieee32 big, as held") << QStringList{"read", "40501", "--type", "ieee32"} << false << "40501 8.963425e-38\n" << "" << 0 << -1;
    QTest::newRow("ieee32 little, as held") << QStringList{"read", "40501", "--type", "ieee32", "--word-order", "little"}
                                            << false << "40501 9.000159e-38\n" << "" << 0 << -1;
    QTest::newRow("ieee32 big write") << QStringList{"write", "40851", "1.5", "-0.1", "--type", "ieee32"} << false << "" << "" << 0 << -1;
    QTest::newRow("ieee32 big on the wire") << QStringList{"read", "40851", "4"} << false
                                            << "40851 16320\n40852 0\n40853 48588\n40854 52429\n" << "" << 0 << -1;
    QTest::newRow("ieee32 little write") << QStringList{"write", "40861", "1.5", "--type", "ieee32", "--word-order", "little"}
                                         << false << "" << "" << 0 << -1;
    QTest::newRow("ieee32 little on the wire") << QStringList{"read", "40861", "2"} << false << "40861 0\n40862 16320\n" << "" << 0 << -1;
    QTest::newRow("ieee32 little read back") << QStringList{"read", "40861", "--type", "ieee32", "--word-order", "little"}
                                             << false << "40861 1.5\n" << "" << 0 << -1;
    QTest::newRow("ieee32 on coils") << QStringList{"read", "1", "--type", "ieee32"} << false << ""
                                     << "buslink-cli: --type ieee32 needs registers \\(3xxxx or 4xxxx\\), not 1\n" << 2 << -1;

    // Output formats and polling.
    QTest::newRow("csv") << QStringList{"read", "40001", "3", "--output", "csv"} << false << "time,40001,40002,40003\n<ts>,0,1,2\n"
                         << "" << 0 << -1;
    QTest::newRow("json") << QStringList{"read", "30001", "2", "--output", "json"} << false
                          << R"(\{"time":"<ts>","values":\[\{"reference":"30001","value":1000\},\{"reference":"30002","value":1001\}\]\}\n)"
                          << "" << 0 << -1;
    QTest::newRow("2000 coils") << QStringList{"read", "1", "2000", "--output", "csv"} << false
                                << R"(time,1,2,3,[\d,]*,2000\n<ts>,1,0,0,1,[01,]*\n)" << "" << 0 << -1;
    QTest::newRow("poll with count") << QStringList{"read", "40003", "--poll", "50", "--count", "3"} << false
                                     << "(<ts> 40003=2\n){3}" << "buslink-cli: 3 polls, 0 failed\n" << 0 << -1;
    QTest::newRow("poll as csv") << QStringList{"read", "40003", "2", "--poll", "50", "--count", "2", "--output", "csv"} << false
                                 << "time,40003,40004\n(<ts>,2,3\n){2}" << "buslink-cli: 2 polls, 0 failed\n" << 0 << -1;
    QTest::newRow("poll without replies") << QStringList{"read", "40001", "--timeout", "100", "--poll", "50", "--count", "2"} << true
                                          << "" << "(buslink-cli: <ts> no reply from unit 1 within 100 ms\n){2}buslink-cli: 2 polls, 2 failed\n"
                                          << 1 << 2;

    // Limits, checked before anything is allocated or sent.
    QTest::newRow("126 registers") << QStringList{"read", "40001", "126"} << false << ""
                                   << "buslink-cli: count out of range: 126 registers \\(1 to 125 in one read\\)\n" << 2 << -1;
    QTest::newRow("2001 coils") << QStringList{"read", "1", "2001"} << false << ""
                                << "buslink-cli: count out of range: 2001 coils or inputs \\(1 to 2000 in one read\\)\n" << 2 << -1;
    QTest::newRow("largest count") << QStringList{"read", "40001", "2147483647"} << false << ""
                                   << "buslink-cli: count out of range: 2147483647 registers \\(1 to 125 in one read\\)\n" << 2 << -1;
    QTest::newRow("count beyond 32 bits") << QStringList{"read", "40001", "100000000000"} << false << ""
                                          << "buslink-cli: count out of range: 100000000000 registers \\(1 to 125 in one read\\)\n" << 2 << -1;
    QTest::newRow("two-register values") << QStringList{"read", "40001", "63", "--type", "ieee32"} << false << ""
                                         << "buslink-cli: count out of range: 63 two-register values \\(1 to 62 in one read\\)\n" << 2 << -1;
    QTest::newRow("value beyond a register") << QStringList{"write", "40001", "70000"} << false << ""
                                             << "buslink-cli: value out of range: value 70000 \\(0 to 65535\\)\n" << 2 << -1;
    QTest::newRow("signed beyond 16 bits") << QStringList{"write", "40001", "40000", "--type", "signed"} << false << ""
                                           << "buslink-cli: value out of range: 40000 \\(-32768 to 32767\\)\n<usage>" << 2 << -1;
    QTest::newRow("beyond single precision") << QStringList{"write", "40001", "1e39", "--type", "ieee32"} << false << ""
                                             << "buslink-cli: value out of range: 1e39 [^\n]*\n<usage>" << 2 << -1;
    QTest::newRow("NaN as dfloat") << QStringList{"write", "40001", "nan", "--type", "dfloat"} << false << ""
                                   << "buslink-cli: value out of range: nan \\(only --type ieee32 carries NaN and infinity\\)\n<usage>" << 2 << -1;
    QTest::newRow("address not resolved") << QStringList{"read", "NoSuchTag"} << false << ""
                                          << "buslink-cli: address not resolved: \"NoSuchTag\"\n" << 2 << -1;
    QTest::newRow("no mapping") << QStringList{"read", "20001"} << false << "" << "buslink-cli: no mapping for 20001\n" << 2 << -1;

    // Usage errors: one line naming the cause, then the usage line.
    const auto usage = [](const char* name, const QStringList& args, const QString& cause) {
        QTest::newRow(name) << args << false << "" << "buslink-cli: " + cause + "\n<usage>" << 2 << -1;
    };
    usage("no command", {}, "no command given");
    usage("unknown command", {"erase"}, "unknown command: erase");
    usage("unknown option", {"--fast", "read", "40001"}, "unknown option --fast");
    usage("option of another command", {"read", "40001", "--image", "x"}, "--image is not an option of read");
    usage("missing option value", {"read", "40001", "--unit"}, "missing value after '--unit'");
    usage("bad mode", {"--mode", "tcp", "read", "40001"}, "--mode takes rtu or ascii: tcp");
    usage("read without address", {"read"}, "read needs an ADDRESS");
    usage("count no number", {"read", "40001", "ten"}, "COUNT takes a whole number from 1 on: ten");
    usage("write without value", {"write", "40001"}, "write needs ADDRESS VALUE \\[VALUE\\.\\.\\.\\]");
    usage("value that is no number", {"write", "40001", "ten"}, "not a whole number: ten");
    usage("unit 256", {"read", "40001", "--unit", "256"}, "--unit out of range: 256 \\(0 to 255\\)");
    usage("serve unit 999", {"serve", "--unit", "999"}, "--unit out of range: 999 \\(1 to 247\\)");
    usage("serve unit -1", {"serve", "--unit", "-1"}, "--unit out of range: -1 \\(1 to 247\\)");
    usage("serve requests -5", {"serve", "--requests", "-5"}, "--requests out of range: -5 \\(0 to 2147483647\\)");
    usage("serve seconds -1", {"serve", "--seconds", "-1"}, "--seconds out of range: -1 [^\n]*");
    usage("timeout 0", {"read", "40001", "--timeout", "0"}, "--timeout out of range: 0 \\(1 to 60000\\)");
    usage("timeout no number", {"read", "40001", "--timeout", "2s"}, "--timeout takes a whole number: 2s");
    usage("retries 101", {"read", "40001", "--retries", "101"}, "--retries out of range: 101 \\(0 to 100\\)");
    usage("poll 0", {"read", "40001", "--poll", "0"}, "--poll out of range: 0 \\(1 to 3600000\\)");
    usage("count without poll", {"read", "40001", "--count", "3"}, "--count needs --poll");
    usage("output xml", {"read", "40001", "--output", "xml"}, "--output takes text, csv or json: xml");
    usage("type double", {"read", "40001", "--type", "double"}, "--type takes word, signed, float, dfloat or ieee32: double");
    usage("word order without ieee32", {"read", "40001", "--word-order", "little"}, "--word-order applies to --type ieee32 only");
    usage("two fixed-point values", {"write", "40001", "1", "2", "--type", "float"}, "--type float writes one value at a time");
    usage("port 0", {"--port", "0", "read", "40001"}, "--port out of range: 0 [^\n]*");
    QTest::newRow("settings no settings") << QStringList{"--settings", "fast", "read", "40001"} << false << ""
                                          << "buslink-cli: Invalid property value: settings \"fast\"\n" << 2 << -1;

    // The other exit codes: exception reply 3, no reply 1, line error 5 (4: checksumErrorIsReported).
    QTest::newRow("exception reply") << QStringList{"read", "40995", "10"} << false << ""
                                     << "buslink-cli: exception 2: illegal data address\n" << 3 << -1;
    QTest::newRow("exception to a write") << QStringList{"write", "2500", "1"} << false << ""
                                          << "buslink-cli: exception 2: illegal data address\n" << 3 << -1;
    QTest::newRow("exception not retried") << QStringList{"read", "40995", "10", "--retries", "3", "--trace"} << false << ""
                                           << "[^\n]* > 01 03 03 E2 00 0A 65 BF\n[^\n]* < 01 83 02 C0 F1  exception 2 \\(illegal data address\\)\n"
                                              "buslink-cli: exception 2: illegal data address\n"
                                           << 3 << -1;
    QTest::newRow("no reply") << QStringList{"--unit", "9", "read", "40001", "--timeout", "300"} << true << ""
                              << "buslink-cli: no reply from unit 9 within 300 ms\n" << 1 << 1;
    QTest::newRow("retries") << QStringList{"read", "40001", "--timeout", "200", "--retries", "2"} << true << ""
                             << "buslink-cli: no reply from unit 1 within 200 ms \\(3 tries\\)\n" << 1 << 3;
    QTest::newRow("retries traced") << QStringList{"write", "40001", "7", "--timeout", "150", "--retries", "1", "--trace"} << true << ""
                                    << "[^\n]* > 01 06 00 00 00 07 C8 08\n[^\n]* retry 1 of 1 after: no reply from unit 1 within 150 ms\n"
                                       "[^\n]* > 01 06 00 00 00 07 C8 08\nbuslink-cli: no reply from unit 1 within 150 ms \\(2 tries\\)\n"
                                    << 1 << 2;
    QTest::newRow("port that does not exist") << QStringList{"--port", "/dev/buslink-none", "read", "40001"} << false << ""
                                              << "buslink-cli: Cannot open port [^\n]*/dev/buslink-none[^\n]*\n" << 5 << -1;
    // A pseudo-terminal carries bytes without framing, so data bits and parity mean nothing
    // there and are not refused (ASCII lines use 7 data bits); a real line names what it refuses.
    QTest::newRow("7 data bits on a pseudo-terminal") << QStringList{"--settings", "9600,e,7,1", "read", "40001"} << false
                                                       << "40001 0\n" << "" << 0 << -1;
    QTest::newRow("malformed settings") << QStringList{"--settings", "9600,e,9,1", "read", "40001"} << false << ""
                                        << "buslink-cli: [^\n]*9600,e,9,1[^\n]*\n" << 2 << -1;
}

void TestBuslinkCli::commandLines()
{
    QFETCH(QStringList, args);
    QFETCH(bool, toSilentDevice);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QFETCH(int, exitCode);
    QFETCH(int, requests);
    silent.read(0, 20);  // nothing left from an earlier row
    const Run r = cli(args, toSilentDevice ? silent.devicePath() : QString());
    QVERIFY2(wholeOutput(out).match(r.out).hasMatch(), qPrintable("stdout: " + r.out));
    QVERIFY2(wholeOutput(err).match(r.err).hasMatch(), qPrintable("stderr: " + r.err));
    QCOMPARE(r.exitCode, exitCode);
    if (requests >= 0) {
        const QByteArray seen = silent.read(0, 100);
        QCOMPARE(seen.size() % 8, 0);  // whole requests of 8 bytes
        QCOMPARE(int(seen.size() / 8), requests);
    }
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
    QCOMPARE(e.exitCode, 3);
    QVERIFY2(e.err.contains("  exception 2 (illegal data address)\n"), qPrintable(e.err));
}

void TestBuslinkCli::checksumErrorIsReported()
{
    PtyPair device;
    QProcess p;
    p.start(program(), {"--port", device.devicePath(), "--settings", "9600,n,8,1", "read", "40001", "--trace"});
    QVERIFY(p.waitForStarted());
    const QByteArray request = device.read(8, 5000);
    QCOMPARE(request.toHex(), QByteArray("010300000001840a"));
    QByteArray reply = buslink::AppendCRC(QByteArray::fromHex("0103020007"));
    reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 1);
    QVERIFY(device.write(reply));
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitCode(), 4);
    const QString err = QString::fromUtf8(p.readAllStandardError());
    QVERIFY2(err.contains("  CRC error\n"), qPrintable(err));  // the trace's verdict
    QVERIFY2(err.endsWith("\nbuslink-cli: checksum error (CRC) in the reply from unit 1\n"), qPrintable(err));
}

// Ctrl+C ends a poll that has no end of its own: the polls printed so far, a summary, exit 0.
void TestBuslinkCli::interruptedPollEndsWithASummary()
{
    QProcess p;
    p.start(program(), {"read", "40002", "--poll", "100", "--port", line->endA()});
    QVERIFY(p.waitForStarted());
    QByteArray out;
    QDeadlineTimer deadline(10000);
    while (out.count('\n') < 2 && !deadline.hasExpired() && p.state() == QProcess::Running) {
        p.waitForReadyRead(200);
        out += p.readAllStandardOutput();
    }
    QVERIFY2(out.count('\n') >= 2, out.constData());
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(5000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    out += p.readAllStandardOutput();
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QRegularExpressionMatch summary = QRegularExpression(R"(^buslink-cli: (\d+) polls, 0 failed\n$)").match(err);
    QVERIFY2(summary.hasMatch(), qPrintable(err));
    QCOMPARE(out.count('\n'), summary.captured(1).toInt());  // every poll counted was printed
    for (const QByteArray& l : out.split('\n'))
        if (!l.isEmpty()) QVERIFY2(l.endsWith(" 40002=1"), l.constData());
}

QTEST_GUILESS_MAIN(TestBuslinkCli)
#include "test_buslink_cli.moc"
