// buslink-cli: a command-line host of the component.
//
//   buslink-cli [options] COMMAND [ARGS...]      (buslink-cli --help, buslink-cli COMMAND --help)
//
// The command line is parsed in CommandLine.cpp; each subcommand lives in its own
// file and is found through the table in CliCommands.cpp. Values go to standard
// output; failures (one line naming the cause, a usage line after usage errors),
// the frame trace and summaries go to standard error.
#include "CliCommands.h"
#include "CommandLine.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("buslink-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    try {
        const cli::ParsedLine line = cli::ParseCommandLine(app.arguments());
        if (line.version) {
            out << cli::VersionText();
            return cli::kOk;
        }
        if (line.help) {
            out << (line.command ? cli::CommandHelp(*line.command) : cli::ProgramHelp());
            return cli::kOk;
        }
        cli::CliSession session(line.options, out, err);
        return line.command->run(session, line.arguments);
    } catch (const cli::CliError& e) {
        out.flush();
        err << "buslink-cli: " << e.text << Qt::endl;
        if (!e.usage.isEmpty()) err << e.usage << Qt::endl;
        return e.exitCode;
    }
}
