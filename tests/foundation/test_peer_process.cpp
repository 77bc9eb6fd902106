// The peer-process fixture that starts the simulators and independent peers of
// the end-to-end tests.
#include "PeerProcess.h"

#include <QtTest>

class TestPeerProcess : public QObject {
    Q_OBJECT
private slots:
    void restartReadsOnlyTheNewRunsOutput();
};

void TestPeerProcess::restartReadsOnlyTheNewRunsOutput()
{
    // A peer that announces a different line on each run, like a simulator that
    // opens a new pseudo-terminal every time it starts.
    const QString script = QStringLiteral("sleep 0.2; echo PORT run-$1; echo READY; sleep 30");
    PeerProcess peer;
    QVERIFY2(peer.start("/bin/sh", {"-c", script, "sh", "one"}, "READY", 5000), qPrintable(peer.errorText()));
    QVERIFY(peer.output().contains("PORT run-one"));
    peer.stop();
    // The second run must wait for its own marker and show only its own lines.
    QVERIFY2(peer.start("/bin/sh", {"-c", script, "sh", "two"}, "READY", 5000), qPrintable(peer.errorText()));
    QVERIFY(peer.output().contains("PORT run-two"));
    QVERIFY(!peer.output().contains("PORT run-one"));
    peer.stop();
}

QTEST_GUILESS_MAIN(TestPeerProcess)
#include "test_peer_process.moc"
