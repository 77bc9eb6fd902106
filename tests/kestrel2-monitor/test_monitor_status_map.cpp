// The live-status decoding and the torque profile texts, from tables.
#include "config/ParameterMap.h"
#include "link/RegisterAccess.h"
#include "monitor/ActivationTracker.h"
#include "monitor/PercentGauge.h"
#include "monitor/StatusMap.h"
#include "monitor/TorqueProfileData.h"

#include <QtTest>

using namespace kestrel2;

Q_DECLARE_METATYPE(QList<qint32>)

class TestMonitorStatusMap : public QObject {
    Q_OBJECT
private slots:
    void captionsInColumnOrder();
    void indicationColours_data();
    void indicationColours();
    void tickColoursFollowTheInputs();
    void gaugePercent_data();
    void gaugePercent();
    void gaugeText_data();
    void gaugeText();
    void relayText_data();
    void relayText();
    void takeValuesNeedsTheWholeBlock();
    void tagNameAsShown_data();
    void tagNameAsShown();
    void operationCounts_data();
    void operationCounts();
    void profileCsv();
    void defaultSuffix_data();
    void defaultSuffix();
    void profileDate();
    void activationSteps_data();
    void activationSteps();
};

void TestMonitorStatusMap::captionsInColumnOrder()
{
    const QStringList status = StatusCaptions();
    QCOMPARE(status.size(), StatusCount);
    QCOMPARE(status.first(), QStringLiteral("Actuator moving"));
    QCOMPARE(status.at(2), QStringLiteral("Fully open"));
    QCOMPARE(status.last(), QStringLiteral("Selector switch in local"));
    const QStringList alarms = AlarmCaptions();
    QCOMPARE(alarms.size(), AlarmCount);
    QCOMPARE(alarms.first(), QStringLiteral("Thermostat tripped"));
    QCOMPARE(alarms.at(5), QStringLiteral("Motion inhibit timer active"));
    QCOMPARE(alarms.at(14), QStringLiteral("Digital input #4 active"));
    QCOMPARE(alarms.last(), QStringLiteral("Slow mode"));
    QCOMPARE(StatusFirstInput + StatusCount, AlarmFirstInput);
}

void TestMonitorStatusMap::indicationColours_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QColor>("status");
    QTest::addColumn<QColor>("alarm");
    const QColor grey(161, 161, 161);
    QTest::newRow("1 active") << 1 << QColor(255, 255, 0) << QColor(255, 0, 0);
    QTest::newRow("0") << 0 << grey << grey;
    QTest::newRow("2 is not active") << 2 << grey << grey;
    QTest::newRow("-1 is not active") << -1 << grey << grey;
    QTest::newRow("257 (low byte 1) is not active") << 257 << grey << grey;
}

void TestMonitorStatusMap::indicationColours()
{
    QFETCH(qint32, value);
    QFETCH(QColor, status);
    QFETCH(QColor, alarm);
    QCOMPARE(StatusColour(value), status);
    QCOMPARE(AlarmColour(value), alarm);
    QCOMPARE(DesignColour(), QColor(64, 64, 64));
}

void TestMonitorStatusMap::tickColoursFollowTheInputs()
{
    // Sixteen inputs read from 10001: only the first eight are status.
    const QList<qint32> fromStatus{1, 0, 1, 0, 0, 1, 0, 0, 1, 1, 1, 1, 1, 1, 1, 1};
    const QList<QColor> status = StatusColours(fromStatus);
    QCOMPARE(status.size(), StatusCount);
    QCOMPARE(status.at(0), StatusActiveColour());
    QCOMPARE(status.at(1), InactiveColour());
    QCOMPARE(status.at(2), StatusActiveColour());
    QCOMPARE(status.at(5), StatusActiveColour());
    QCOMPARE(status.at(7), InactiveColour());

    QList<qint32> fromAlarms(AlarmCount, 0);
    fromAlarms[15] = 1;  // slow mode, the last label
    fromAlarms[3] = 2;
    const QList<QColor> alarms = AlarmColours(fromAlarms);
    QCOMPARE(alarms.size(), AlarmCount);
    QCOMPARE(alarms.at(15), AlarmActiveColour());
    QCOMPARE(alarms.at(3), InactiveColour());
    QCOMPARE(alarms.count(InactiveColour()), 15);
}

void TestMonitorStatusMap::gaugePercent_data()
{
    QTest::addColumn<qint32>("reg");
    QTest::addColumn<double>("percent");
    QTest::newRow("500") << 500 << 50.0;
    QTest::newRow("1200") << 1200 << 120.0;
    QTest::newRow("0") << 0 << 0.0;
    QTest::newRow("1000 full") << 1000 << 100.0;
    QTest::newRow("5 tenths") << 5 << 0.5;
    QTest::newRow("65526 unsigned read of -10") << 65526 << -1.0;
    QTest::newRow("-10 signed read") << -10 << -1.0;
    QTest::newRow("32767") << 32767 << 3276.7;
    QTest::newRow("32768") << 32768 << -3276.8;
}

void TestMonitorStatusMap::gaugePercent()
{
    QFETCH(qint32, reg);
    QFETCH(double, percent);
    QCOMPARE(GaugePercent(reg), percent);
}

void TestMonitorStatusMap::gaugeText_data()
{
    QTest::addColumn<double>("percent");
    QTest::addColumn<QString>("text");
    QTest::newRow("50") << 50.0 << "50 %";
    QTest::newRow("49.6 rounds") << 49.6 << "50 %";
    QTest::newRow("0.4") << 0.4 << "0 %";
    QTest::newRow("120") << 120.0 << "120 %";
    QTest::newRow("-1") << -1.0 << "-1 %";
}

void TestMonitorStatusMap::gaugeText()
{
    QFETCH(double, percent);
    QFETCH(QString, text);
    QCOMPARE(PercentGauge::formatPercent(percent), text);
}

void TestMonitorStatusMap::relayText_data()
{
    QTest::addColumn<qint32>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("1") << 1 << "ON";
    QTest::newRow("0") << 0 << "OFF";
    QTest::newRow("255") << 255 << "OFF";
    QTest::newRow("65280") << 65280 << "OFF";
}

void TestMonitorStatusMap::relayText()
{
    QFETCH(qint32, value);
    QFETCH(QString, text);
    QCOMPARE(RelayText(value), text);
    QCOMPARE(RelayTexts({value, 1, 0, value}), QStringList({text, "ON", "OFF", text}));
}

void TestMonitorStatusMap::takeValuesNeedsTheWholeBlock()
{
    buslink::IntArray values(1, 4);
    for (int k = 1; k <= 4; ++k) values[k] = 10 * k;
    QCOMPARE(TakeValues(values, 4).value(), QList<qint32>({10, 20, 30, 40}));
    QCOMPARE(TakeValues(values, 2, 3).value(), QList<qint32>({30, 40}));
    QVERIFY(!TakeValues(values, 5).has_value());
    QVERIFY(!TakeValues(buslink::IntArray(), 1).has_value());
    QVERIFY(!TakeValues(buslink::IntArray(0, 3), 4).has_value());  // indexed from 0: element 4 missing
}

void TestMonitorStatusMap::tagNameAsShown_data()
{
    QTest::addColumn<QList<qint32>>("registers");
    QTest::addColumn<QString>("shown");
    QTest::newRow("0x4241 gives A then B") << QList<qint32>{0x4241, 0x4443, 0x4645, 0x4847, 0x4A49, 0x4C4B}
                                           << "ABCDEFGHIJKL";
    QTest::newRow("NUL tail dropped") << QList<qint32>{0x5846, 0x3120, 0x0030, 0, 0, 0} << "FX 10";
    QTest::newRow("blanks kept") << QList<qint32>{0x2020, 0x4120, 0x2020, 0x2020, 0x2020, 0x2020}
                                 << "   A        ";
    QTest::newRow("line break dropped") << QList<qint32>{0x0A41, 0x0D42, 0x4343, 0x2020, 0x2020, 0x2020}
                                        << "ABCC      ";
    QTest::newRow("latin-1 high byte") << QList<qint32>{0xE9E0, 0x2020, 0x2020, 0x2020, 0x2020, 0x2020}
                                       << QString::fromUtf8("àé          ");
}

void TestMonitorStatusMap::tagNameAsShown()
{
    QFETCH(QList<qint32>, registers);
    QFETCH(QString, shown);
    QCOMPARE(DisplayableTagName(DecodeTagName(registers)), shown);
}

void TestMonitorStatusMap::operationCounts_data()
{
    QTest::addColumn<qint32>("first");
    QTest::addColumn<qint32>("second");
    QTest::addColumn<QString>("text");
    QTest::newRow("100 + 20") << 100 << 20 << "120";
    QTest::newRow("7 + 3") << 7 << 3 << "10";
    QTest::newRow("0 + 0") << 0 << 0 << "0";
    QTest::newRow("65535 + 65535") << 65535 << 65535 << "131070";
    QTest::newRow("no 32-bit wrap") << 2147483647 << 1 << "2147483648";
}

void TestMonitorStatusMap::operationCounts()
{
    QFETCH(qint32, first);
    QFETCH(qint32, second);
    QFETCH(QString, text);
    QCOMPARE(OperationCountText(first, second), text);
}

void TestMonitorStatusMap::profileCsv()
{
    QList<double> open, closed;
    for (int k = 0; k < ProfilePoints; ++k) {
        open.append(20 + k);
        closed.append(k == 10 ? 101 : 30);
    }
    const QDateTime readAt(QDate(2003, 3, 5), QTime(14, 5, 7));
    const QStringList lines = ProfileCsv("FV-101 INLET", readAt, open, closed).split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 2 + 1 + ProfilePoints + 1);  // tag, time, header, eleven rows, empty tail
    QCOMPARE(lines.at(0), QStringLiteral("Tag name,FV-101 INLET"));
    QCOMPARE(lines.at(1), QStringLiteral("Time of reading,2003-03-05T14:05:07"));
    QCOMPARE(lines.at(2), QStringLiteral("Valve position % open,Open stroke torque % rated,Closed stroke torque % rated"));
    QCOMPARE(lines.at(3), QStringLiteral("0,20,30"));
    QCOMPARE(lines.at(8), QStringLiteral("50,25,30"));
    QCOMPARE(lines.at(13), QStringLiteral("100,30,101"));
    QCOMPARE(lines.last(), QString());
    // A tag with a comma or a quote stays one field; a profile never read says so.
    QCOMPARE(ProfileCsv("PUMP 7, \"N\"", QDateTime(), open, closed).section("\r\n", 0, 1),
             QStringLiteral("Tag name,\"PUMP 7, \"\"N\"\"\"\r\nTime of reading,not read"));
    QCOMPARE(PositionCategories(), QStringList({"0", "10", "20", "30", "40", "50", "60", "70", "80", "90", "100"}));
}

void TestMonitorStatusMap::defaultSuffix_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("result");
    QTest::newRow("no suffix") << "/tmp/profile" << "/tmp/profile.csv";
    QTest::newRow("has csv") << "/tmp/profile.csv" << "/tmp/profile.csv";
    QTest::newRow("other suffix kept") << "/tmp/profile.txt" << "/tmp/profile.txt";
    QTest::newRow("dot in folder") << "/tmp/v1.2/profile" << "/tmp/v1.2/profile.csv";
    QTest::newRow("cancelled") << "" << "";
}

void TestMonitorStatusMap::defaultSuffix()
{
    QFETCH(QString, name);
    QFETCH(QString, result);
    QCOMPARE(WithDefaultSuffix(name, "csv"), result);
}

void TestMonitorStatusMap::profileDate()
{
    // The profile window stamps its display with the tool's date pattern.
    QCOMPARE(FormatDateStamp(QDateTime(QDate(2003, 3, 5), QTime(14, 5))),
             QStringLiteral("Wednesday,  March   05,    2003        02:05 PM"));
    QCOMPARE(FormatDateStamp(QDateTime(QDate(2003, 3, 5), QTime(0, 7))),
             QStringLiteral("Wednesday,  March   05,    2003        12:07 AM"));
}

void TestMonitorStatusMap::activationSteps_data()
{
    // Each row: a sequence of changes and the steps expected. A = the window became active;
    // D- = it lost the activation to another window of the tool, DM = to one of the tool's
    // modal dialogs, DO = to another program; T = another window of the tool became active
    // while this one was inactive.
    QTest::addColumn<QString>("changes");
    QTest::addColumn<QString>("steps");
    QTest::newRow("user moves away and back") << "A- D- A-" << "act deact act";
    QTest::newRow("prompt round trip ignored") << "A- DM A-" << "act none none";
    QTest::newRow("two prompts in a row") << "A- DM A- DM A-" << "act none none none none";
    QTest::newRow("away after a prompt") << "A- DM A- D-" << "act none none deact";
    QTest::newRow("to another window while a dialog is up elsewhere") << "A- D- AM" << "act deact act";
    QTest::newRow("another program and back") << "A- DO A-" << "act none none";
    QTest::newRow("another program twice") << "A- DO A- DO A-" << "act none none none none";
    QTest::newRow("another program, back to another tool window") << "A- DO T A-" << "act none deact act";
    QTest::newRow("prompt closes onto another tool window") << "A- DM T A-" << "act none deact act";
    QTest::newRow("tool windows after a plain move change nothing") << "A- D- T T A-" << "act deact none none act";
    QTest::newRow("a tool window while active is none of its business") << "A- T D-" << "act none deact";
}

void TestMonitorStatusMap::activationSteps()
{
    QFETCH(QString, changes);
    QFETCH(QString, steps);
    ActivationTracker tracker;
    QStringList seen;
    for (const QString& change : changes.split(' ')) {
        ActivationStep step = ActivationStep::None;
        if (change == "T") {
            step = tracker.otherToolWindowActivated();
        } else {
            const ActivationTarget target = change.at(1) == 'M'   ? ActivationTarget::ToolDialog
                                            : change.at(1) == 'O' ? ActivationTarget::OtherProgram
                                                                  : ActivationTarget::ToolWindow;
            step = tracker.changed(change.at(0) == 'A', target);
        }
        switch (step) {
        case ActivationStep::Activate: seen << "act"; break;
        case ActivationStep::Deactivate: seen << "deact"; break;
        case ActivationStep::None: seen << "none"; break;
        }
    }
    QCOMPARE(seen.join(' '), steps);
}

QTEST_GUILESS_MAIN(TestMonitorStatusMap)
#include "test_monitor_status_map.moc"
