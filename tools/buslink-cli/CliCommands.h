#pragma once
// The subcommands of buslink-cli and what they share: the options, the component
// opened on the line they name, and a transaction repeated as --retries allows.
//
// Adding a subcommand: write `int RunFoo(CliSession&, const QStringList& args)`
// in its own file (FooCommand.cpp), list that file in CMakeLists.txt, declare the
// function below, add its line to the table in CliCommands.cpp and its options to
// the table in CommandLine.cpp. Commands that need no line (init-db) simply never
// call session.link().
#include "ExitCodes.h"
#include "ReadOutput.h"
#include "ValueTypes.h"
#include "shell/Buslink.h"

#include <QString>
#include <QStringList>
#include <QTextStream>
#include <functional>
#include <memory>

namespace cli {

struct CliOptions {
    // The line.
    QString port;                                // a device path, or a port number (1 without --port)
    QString settings = QStringLiteral("9600,e,8,1");
    int unit = 1;
    bool ascii = false;                          // --mode ascii
    bool trace = false;
    // Transactions (read, write; the time-out also for scan).
    ValueType type = ValueType::Word;
    buslink::WordOrder wordOrder = buslink::WordOrder::HighWordFirst;
    int timeoutMs = 0;                           // 0: the component's own (2000 ms)
    int retries = 0;
    // read
    int pollMs = 0;                              // 0: read once
    qint64 pollCount = 0;                        // 0: until stopped
    OutputFormat output = OutputFormat::Text;
    // init-db, scan
    QString folder;
    bool sample = false;
    int intervalMs = 500;
    double seconds = 0;                          // 0: until stopped
    qint64 updates = 0;                          // 0: until stopped
    // serve
    QString image;
    bool gateway = false;
    qint64 requests = 0;                         // 0: until stopped
};

// A failure reported as one line; usage errors add the command's usage line.
struct CliError {
    int exitCode;
    QString text;
    QString usage;  // printed on a second line when not empty
};

// Points the component at the line the options name (a device path or a port number;
// port 1 without --port), applies the settings and opens the port. Throws CliError.
void OpenLine(buslink::Buslink& link, const CliOptions& options);

class CliSession {
public:
    CliSession(const CliOptions& options, QTextStream& out, QTextStream& err);
    ~CliSession();

    const CliOptions& options() const { return opts; }
    QTextStream& out() { return output; }
    QTextStream& err() { return errors; }

    // The component, configured from the options and with its port open; throws CliError.
    buslink::Buslink& link();

    // Runs one transaction (attempt returns ReadPLC's or WritePLC's result), repeated up to
    // --retries more times after no reply or a damaged reply, never after an exception reply
    // or a refusal. Returns the exit code of the last try; failureText() then says why.
    int transact(const QString& address, const std::function<qint16(buslink::Buslink&)>& attempt);
    // The cause of the last failed transaction, in one line.
    QString failureText() const;

private:
    void onFrame(const buslink::FrameTraceEntry& entry);
    // The cause of the last failure, without the count of tries.
    QString causeText() const;

    CliOptions opts;
    QTextStream& output;
    QTextStream& errors;
    std::unique_ptr<buslink::Buslink> component;
    int lastTries = 0;
    QString lastAddress;
};

using CommandFunction = int (*)(CliSession& session, const QStringList& args);

struct CliCommand {
    const char* name;
    const char* arguments;    // the positional arguments, as the usage line shows them
    const char* summary;      // one line for the program's help
    const char* description;  // the command's own help
    unsigned bit;             // the command's bit in the option table (CommandLine.cpp)
    CommandFunction run;
};

// The subcommands, in the order the help lists them.
const QList<CliCommand>& Commands();
const CliCommand* FindCommand(const QString& name);

// Subcommands (one file each).
int RunRead(CliSession& session, const QStringList& args);
int RunWrite(CliSession& session, const QStringList& args);
int RunInitDb(CliSession& session, const QStringList& args);
int RunServe(CliSession& session, const QStringList& args);
int RunScan(CliSession& session, const QStringList& args);

// A usage error of the command (or of the whole line, for nullptr).
CliError UsageError(const QString& text, const CliCommand* command = nullptr);
CliError UsageError(const QString& text, const char* commandName);
// The reference number an address resolves to, for printing; empty when it does not resolve.
QString ReferenceText(const QVariant& address, int offset);

} // namespace cli
