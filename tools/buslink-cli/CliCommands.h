#pragma once
// The subcommands of buslink-cli and what they share: the common options, the
// component opened on the line they name, and the outcome of the last request
// as the frame trace saw it.
//
// Adding a subcommand: write `int RunFoo(CliSession&, const QStringList& args)`
// in its own file (FooCommand.cpp), list that file in CMakeLists.txt, declare the
// function below, and add one line for it to the table in CliCommands.cpp. Commands that need no line (init-db) simply
// never call session.link().
#include "shell/Buslink.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <memory>

namespace cli {

// Exit codes.
constexpr int kOk = 0;
constexpr int kFailed = 1;   // the operation failed on the line or the address did not resolve
constexpr int kUsage = 2;    // the command line is wrong

struct CliOptions {
    QString port;                                // a device path, or a port number
    QString settings = QStringLiteral("9600,e,8,1");
    int unit = 1;
    QString mode = QStringLiteral("rtu");        // rtu | ascii
    QString type = QStringLiteral("word");       // word | float | dfloat | signed
    bool trace = false;
};

// Points the component at the line the options name (a device path or a port number;
// port 1 without --port), applies the settings and opens the port. Throws BuslinkError.
void OpenLine(buslink::Buslink& link, const CliOptions& options);

// A usage or set-up problem, reported as one line.
struct CliError {
    int exitCode;
    QString text;
};

class CliSession {
public:
    CliSession(const CliOptions& options, QTextStream& out, QTextStream& err);
    ~CliSession();

    const CliOptions& options() const { return opts; }
    QTextStream& out() { return output; }
    QTextStream& err() { return errors; }
    // The value-type code of --type.
    qint16 ioType() const;

    // The component, configured from the options and with its port open; throws CliError.
    buslink::Buslink& link();

    // Call before each operation; afterwards failureReason() explains a result of 0.
    void beginOperation();
    QString failureReason(const QString& address) const;

private:
    void onFrame(const buslink::FrameTraceEntry& entry);

    CliOptions opts;
    QTextStream& output;
    QTextStream& errors;
    std::unique_ptr<buslink::Buslink> component;
    int framesSent = 0;
    QString lastVerdict;
};

using CommandFunction = int (*)(CliSession& session, const QStringList& args);

struct CliCommand {
    const char* name;
    const char* usage;     // arguments after the name
    CommandFunction run;
};

// The subcommands, in the order the usage text lists them.
const QList<CliCommand>& Commands();

// Subcommands (one file each).
int RunRead(CliSession& session, const QStringList& args);
int RunWrite(CliSession& session, const QStringList& args);
int RunInitDb(CliSession& session, const QStringList& args);
int RunServe(CliSession& session, const QStringList& args);
int RunScan(CliSession& session, const QStringList& args);

// Shared helpers for commands.
// The reference number an address resolves to, for printing; empty when it does not resolve.
QString ReferenceText(const QVariant& address, int offset);
// A value as printed: integers plainly, floats in their shortest exact form.
QString ValueText(const QVariant& value);

} // namespace cli
