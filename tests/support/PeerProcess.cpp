#include "PeerProcess.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>

PeerProcess::~PeerProcess() { stop(); }

bool PeerProcess::start(const QString& program, const QStringList& args,
                        const QString& readyMarker, int timeoutMs)
{
    // A new run starts with no output: a marker or line the previous run printed
    // must not be taken for this run's.
    seen.clear();
    proc.setProcessChannelMode(QProcess::MergedChannels);
    proc.start(program, args);
    if (!proc.waitForStarted(timeoutMs)) {
        lastError = program + ": " + proc.errorString();
        return false;
    }
    if (readyMarker.isEmpty()) return true;
    if (waitForOutput(readyMarker, timeoutMs)) return true;
    lastError = program + " did not become ready: " + QString::fromLocal8Bit(seen);
    return false;
}

bool PeerProcess::waitForOutput(const QString& text, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        seen += proc.readAll();
        if (seen.contains(text.toUtf8())) return true;
        if (deadline.hasExpired() || proc.state() == QProcess::NotRunning) {
            seen += proc.readAll();
            return seen.contains(text.toUtf8());
        }
        proc.waitForReadyRead(int(qBound(qint64(1), deadline.remainingTime(), qint64(100))));
    }
}

QByteArray PeerProcess::output()
{
    seen += proc.readAll();
    return seen;
}

void PeerProcess::send(const QByteArray& line)
{
    proc.write(line.endsWith('\n') ? line : line + '\n');
    proc.waitForBytesWritten(1000);
}

QByteArray PeerProcess::stop()
{
    if (proc.state() != QProcess::NotRunning) {
        proc.terminate();
        if (!proc.waitForFinished(3000)) {
            proc.kill();
            proc.waitForFinished(2000);
        }
    }
    return output();
}

QString PeerProcess::python()
{
    return QProcessEnvironment::systemEnvironment().value("BUSLINK_PYTHON", "/usr/bin/python3");
}

QString PeerProcess::sourceDir()
{
    return QProcessEnvironment::systemEnvironment().value("BUSLINK_TEST_SOURCE_DIR", QStringLiteral(BUSLINK_TESTS_SOURCE_DIR));
}

QString PeerProcess::binaryDir()
{
    // CTest sets the variable; a test started by hand from anywhere still finds the
    // peers of the build it belongs to.
    return QProcessEnvironment::systemEnvironment().value("BUSLINK_BINARY_DIR", QStringLiteral(BUSLINK_BUILD_DIR));
}
