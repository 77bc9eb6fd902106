// The pure parts of the actuator link: the settings text, the connection
// checks, the cause line of a failed connection, the busy wait's reset rhythm,
// and waits that never spin a core.
#include "link/ConnectionFailure.h"
#include "link/ConnectionSettings.h"
#include "link/RegisterAccess.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <ctime>
#include <limits>

using namespace kestrel2;

namespace {
// CPU time this process has used, in milliseconds.
double cpuMs() { return double(std::clock()) * 1000.0 / CLOCKS_PER_SEC; }
} // namespace

class TestLinkCore : public QObject {
    Q_OBJECT
private slots:
    void settingsText_data();
    void settingsText();
    void validation_data();
    void validation();
    void portOpenCause_data();
    void portOpenCause();
    void noReplyCause_data();
    void noReplyCause();
    void busyWaitResetRhythm_data();
    void busyWaitResetRhythm();
    void busyWaitOutlastsTheReplyTimeOutWithoutSpinning();
    void pauseSleepsWithoutEventsOrSpinning_data();
    void pauseSleepsWithoutEventsOrSpinning();
};

void TestLinkCore::settingsText_data()
{
    QTest::addColumn<QString>("baud");
    QTest::addColumn<QString>("parity");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<QString>("expected");
    QTest::newRow("9600 even 2") << "9600" << "Even" << "2" << "9600,e,8,2";
    QTest::newRow("115200 none 1") << "115200" << "None" << "1" << "115200,n,8,1";
    QTest::newRow("300 odd 1") << "300" << "Odd" << "1" << "300,o,8,1";
    QTest::newRow("19200 even 1") << "19200" << "Even" << "1" << "19200,e,8,1";
}

void TestLinkCore::settingsText()
{
    QFETCH(QString, baud);
    QFETCH(QString, parity);
    QFETCH(QString, stop);
    QFETCH(QString, expected);
    QCOMPARE(SettingsText(BaudEntries().indexOf(baud), ParityEntries().indexOf(parity), StopBitEntries().indexOf(stop)),
             expected);
}

void TestLinkCore::validation_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stop");
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("message");  // empty: every check passes
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("slaveAddress");

    const QString parityMessage = "You must select a parity option ";
    const QString baudMessage = "You must enter a Baud rate ";
    const QString addressMessage = "You must enter a Address in the range of 1 to 247";
    const QString stopMessage = "you must select the number of stop bits";
    const QString portMessage = "you must select a Communications prot from your PC";

    // Nothing chosen at all: only the first check speaks.
    QTest::newRow("nothing chosen") << -1 << -1 << -1 << -1 << "" << parityMessage << "cmbParity" << 0;
    QTest::newRow("parity only") << -1 << -1 << 2 << -1 << "" << baudMessage << "CmbBaud" << 0;
    QTest::newRow("address empty") << 0 << 5 << 2 << 0 << "" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 12abc") << 0 << 5 << 2 << 0 << "12abc" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 0") << 0 << 5 << 2 << 0 << "0" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 248") << 0 << 5 << 2 << 0 << "248" << addressMessage << "txtaddress" << 0;
    // Texts that pass as numbers but are no whole slave address.
    QTest::newRow("address 12.5") << 0 << 5 << 2 << 0 << "12.5" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 0.6") << 0 << 5 << 2 << 0 << "0.6" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 1e2") << 0 << 5 << 2 << 0 << "1e2" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address -5") << 0 << 5 << 2 << 0 << "-5" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address +5") << 0 << 5 << 2 << 0 << "+5" << addressMessage << "txtaddress" << 0;
    QTest::newRow("address blank") << 0 << 5 << 2 << 0 << "   " << addressMessage << "txtaddress" << 0;
    QTest::newRow("address 99999999999") << 0 << 5 << 2 << 0 << "99999999999" << addressMessage << "txtaddress" << 0;
    // Address checked before the stop bits, stop bits before the port.
    QTest::newRow("bad address, no stop") << -1 << 5 << 2 << -1 << "x" << addressMessage << "txtaddress" << 0;
    QTest::newRow("no stop bits") << -1 << 5 << 2 << -1 << "1" << stopMessage << "cmbStop" << 0;
    QTest::newRow("no port") << -1 << 5 << 2 << 0 << "1" << portMessage << "cmbComPort" << 0;
    QTest::newRow("address 1") << 0 << 5 << 2 << 0 << "1" << "" << "" << 1;
    QTest::newRow("address 247") << 3 << 9 << 0 << 1 << "247" << "" << "" << 247;
    QTest::newRow("address with blanks") << 1 << 0 << 1 << 0 << " 12 " << "" << "" << 12;
    QTest::newRow("address with leading zeros") << 1 << 0 << 1 << 0 << "007" << "" << "" << 7;
}

void TestLinkCore::validation()
{
    QFETCH(int, port);
    QFETCH(int, baud);
    QFETCH(int, parity);
    QFETCH(int, stop);
    QFETCH(QString, address);
    QFETCH(QString, message);
    QFETCH(QString, focus);
    QFETCH(int, slaveAddress);

    const std::optional<ValidationFailure> failure = ValidateConnection({port, baud, parity, stop, address});
    if (message.isEmpty()) {
        QVERIFY2(!failure, failure ? qPrintable(failure->message) : "");
        QCOMPARE(SlaveAddressFromText(address).value_or(0), slaveAddress);
    } else {
        QVERIFY(failure);
        QCOMPARE(failure->message, message);
        QCOMPARE(failure->focusControl, focus);
    }
}

void TestLinkCore::portOpenCause_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QString>("componentError");
    QTest::addColumn<QString>("cause");
    QTest::newRow("missing device") << "/dev/ttyUSB1" << false
                                    << "Cannot open port 1 (/dev/ttyUSB1): No such file or directory"
                                    << "cannot open /dev/ttyUSB1: no such device";
    QTest::newRow("missing, whatever the text") << "/dev/ttyUSB1" << false << "Some other wording"
                                                << "cannot open /dev/ttyUSB1: no such device";
    QTest::newRow("no permission") << "/dev/ttyS0" << true << "Cannot open port 2 (/dev/ttyS0): Permission denied"
                                   << "cannot open /dev/ttyS0: permission denied (your user needs access to the device)";
    QTest::newRow("locked by another program")
        << "/dev/ttyUSB0" << true << "Cannot open port 1 (/dev/ttyUSB0): Permission error while locking the device"
        << "cannot open /dev/ttyUSB0: the device is in use by another program";
    QTest::newRow("busy") << "/dev/ttyUSB0" << true << "Cannot open port 1 (/dev/ttyUSB0): Device or resource busy"
                          << "cannot open /dev/ttyUSB0: the device is in use by another program";
    QTest::newRow("not a terminal") << "/tmp/notes.txt" << true
                                    << "Cannot open port 3 (/tmp/notes.txt): Inappropriate ioctl for device."
                                    << "cannot open /tmp/notes.txt: inappropriate ioctl for device";
    QTest::newRow("a text without the device") << "/dev/ttyUSB0" << true << "Invalid settings 9600,x,8,1"
                                                << "cannot open /dev/ttyUSB0: invalid settings 9600,x,8,1";
    QTest::newRow("no reason at all") << "/dev/ttyUSB0" << true << "" << "cannot open /dev/ttyUSB0: unknown error";
}

void TestLinkCore::portOpenCause()
{
    QFETCH(QString, device);
    QFETCH(bool, exists);
    QFETCH(QString, componentError);
    QFETCH(QString, cause);
    QCOMPARE(PortOpenCause(device, exists, componentError), cause);
}

void TestLinkCore::noReplyCause_data()
{
    using buslink::Outcome;
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("exceptionCode");
    QTest::addColumn<QString>("cause");
    const QString where = "address 17 on port 2 (/dev/ttyS0, 19200,e,8,1)";
    QTest::newRow("time-out") << Outcome::NoReply << 0 << "no reply from " + where;
    QTest::newRow("checksum") << Outcome::ChecksumError << 0 << "a damaged reply from " + where;
    QTest::newRow("too short") << Outcome::BadReply << 0 << "a damaged reply from " + where;
    QTest::newRow("another unit answered") << Outcome::OtherUnitOrFunction << 0 << "a damaged reply from " + where;
    QTest::newRow("line gone") << Outcome::LineLost << 0 << "the serial line /dev/ttyS0 is gone";
    QTest::newRow("exception 2") << Outcome::Exception << 2 << where + " answered with exception 2 (illegal data address)";
    QTest::newRow("exception 4") << Outcome::Exception << 4 << where + " answered with exception 4 (slave device failure)";
}

void TestLinkCore::noReplyCause()
{
    QFETCH(buslink::Outcome, outcome);
    QFETCH(int, exceptionCode);
    QFETCH(QString, cause);
    QCOMPARE(NoReplyCause(LinkDescription{2, "/dev/ttyS0", "19200,e,8,1", 17}, outcome, exceptionCode), cause);
}

void TestLinkCore::busyWaitResetRhythm_data()
{
    QTest::addColumn<int>("busyPolls");      // polls that read busy (-1: busy until a reset)
    QTest::addColumn<QList<int>>("resetAt"); // the busy poll at which each reset came

    QTest::newRow("idle") << 0 << QList<int>{};
    QTest::newRow("busy 500 polls") << 500 << QList<int>{};
    QTest::newRow("busy 501 polls") << 501 << QList<int>{501};
    QTest::newRow("busy 1001 polls") << 1001 << QList<int>{501};
    QTest::newRow("busy 1002 polls") << 1002 << QList<int>{501, 1002};
    QTest::newRow("reset frees it") << -1 << QList<int>{501};
}

void TestLinkCore::busyWaitResetRhythm()
{
    QFETCH(int, busyPolls);
    QFETCH(QList<int>, resetAt);

    int polls = 0;
    bool freed = false;
    QList<int> resets;
    int waits = 0;
    const int made = BusyWait(
        [&] {
            const bool busy = busyPolls < 0 ? !freed : polls < busyPolls;
            if (busy) ++polls;
            return busy;
        },
        [&] {
            resets.append(polls);
            freed = true;
        },
        [&] { ++waits; });
    QCOMPARE(resets, resetAt);
    QCOMPARE(made, int(resetAt.size()));
    QCOMPARE(waits, polls);  // one wait after every busy poll, none once idle
}

void TestLinkCore::busyWaitOutlastsTheReplyTimeOutWithoutSpinning()
{
    // The component gives a reply up after two seconds at most; the polls before a
    // reset must take longer, and must wait rather than burn the processor.
    bool freed = false;
    QElapsedTimer clock;
    const double cpuBefore = cpuMs();
    clock.start();
    BusyWait([&] { return !freed; }, [&] { freed = true; });
    const qint64 elapsed = clock.elapsed();
    const double cpu = cpuMs() - cpuBefore;
    QVERIFY2(elapsed >= 2500, qPrintable(QString("the reset came after %1 ms").arg(elapsed)));
    QVERIFY2(elapsed < 8000, qPrintable(QString("the reset came after %1 ms").arg(elapsed)));
    QVERIFY2(cpu < elapsed * 0.25, qPrintable(QString("%1 ms of CPU in %2 ms").arg(cpu).arg(elapsed)));
}

void TestLinkCore::pauseSleepsWithoutEventsOrSpinning_data()
{
    QTest::addColumn<double>("seconds");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("atMostMs");
    QTest::newRow("0.06 s") << 0.06 << 60 << 400;
    QTest::newRow("0.25 s") << 0.25 << 250 << 800;
    QTest::newRow("zero") << 0.0 << 0 << 50;
    QTest::newRow("negative") << -1.0 << 0 << 50;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0 << 50;
}

void TestLinkCore::pauseSleepsWithoutEventsOrSpinning()
{
    QFETCH(double, seconds);
    QFETCH(int, atLeastMs);
    QFETCH(int, atMostMs);

    bool eventRan = false;
    QTimer::singleShot(0, this, [&] { eventRan = true; });
    QElapsedTimer clock;
    const double cpuBefore = cpuMs();
    clock.start();
    Pause(seconds);
    const qint64 elapsed = clock.elapsed();
    const double cpu = cpuMs() - cpuBefore;
    QVERIFY2(elapsed >= atLeastMs, qPrintable(QString("returned after %1 ms").arg(elapsed)));
    QVERIFY2(elapsed <= atMostMs, qPrintable(QString("returned after %1 ms").arg(elapsed)));
    QVERIFY(!eventRan);  // the pause processes no events
    QVERIFY2(cpu <= 20 + elapsed * 0.2, qPrintable(QString("%1 ms of CPU in %2 ms").arg(cpu).arg(elapsed)));
    QTRY_VERIFY(eventRan);
}

QTEST_GUILESS_MAIN(TestLinkCore)
#include "test_link_core.moc"
