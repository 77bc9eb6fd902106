// actuator-sim against pymodbus: the tool's discovery, conversion, upload, stroke
// and relays, through a Modbus stack that shares no code with the simulator.
#include "SimHarness.h"

#include <QProcess>
#include <QTest>

class SimPymodbusTest : public QObject {
    Q_OBJECT

private slots:
    void toolSequenceThroughPymodbus()
    {
        QProcess peer;
        peer.setProcessChannelMode(QProcess::MergedChannels);
        peer.start(PeerProcess::python(),
                   {PeerProcess::sourceDir() + "/sim/sim_pymodbus_peer.py", simulatorPath()});
        QVERIFY2(peer.waitForFinished(40000), "the pymodbus peer did not finish");
        const QByteArray output = peer.readAll();
        QVERIFY2(peer.exitCode() == 0 && output.contains("PASS"), output.constData());
    }
};

QTEST_GUILESS_MAIN(SimPymodbusTest)
#include "SimPymodbusTest.moc"
