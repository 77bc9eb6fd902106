#pragma once
// Running a command-line program of the project to its end, for tests of its output.
#include <QProcess>
#include <QString>
#include <QStringList>

struct ProgramRun {
    int exitCode = -1;  // -1 when the program did not end normally (or was killed at the time-out)
    QString out;
    QString err;
};

inline ProgramRun runProgram(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished(2000);
    }
    ProgramRun r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit && p.state() == QProcess::NotRunning ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}
