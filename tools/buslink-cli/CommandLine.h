#pragma once
// buslink-cli's command line, parsed with QCommandLineParser: options anywhere on
// the line (GNU style, --name VALUE or --name=VALUE), "--" ends the options, and a
// negative number is a value, not an option. Every option value is checked here,
// before any command runs.
#include "CliCommands.h"

#include <QStringList>

namespace cli {

struct ParsedLine {
    const CliCommand* command = nullptr;  // nullptr with help or version alone
    CliOptions options;
    QStringList arguments;                // the command's positional arguments
    bool help = false;                    // --help: the command's help, or the program's
    bool version = false;
};

// Parses the whole line (the program name first); throws CliError (exit code 2) on usage errors.
ParsedLine ParseCommandLine(const QStringList& line);

QString ProgramHelp();
QString CommandHelp(const CliCommand& command);
QString VersionText();

} // namespace cli
