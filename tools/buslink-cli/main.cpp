// buslink-cli: a command-line host of the component.
//
//   buslink-cli [--port DEVICE|N] [--settings 9600,e,8,1] [--unit N] [--mode rtu|ascii]
//               [--type word|float|dfloat|signed] [--trace] COMMAND ARGS...
//
// The common options are parsed here; each subcommand lives in its own file and
// is found through the table in CliCommands.cpp. Values go to standard output,
// failures (one line) and the frame trace to standard error.
#include "CliCommands.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

QString usage()
{
    QString text = QStringLiteral(
        "usage: buslink-cli [--port DEVICE|N] [--settings 9600,e,8,1] [--unit N] [--mode rtu|ascii]\n"
        "                   [--type word|float|dfloat|signed] [--trace] COMMAND ARGS...\n"
        "commands:\n");
    for (const cli::CliCommand& c : cli::Commands())
        text += QStringLiteral("  %1 %2\n").arg(QLatin1String(c.name), QLatin1String(c.usage));
    return text;
}

// Parses the common options up to the command name; the rest are the command's arguments.
cli::CliOptions parseOptions(QStringList& args)
{
    cli::CliOptions o;
    const auto value = [&](const QString& option) {
        if (args.isEmpty()) throw cli::CliError{cli::kUsage, option + QStringLiteral(" needs a value")};
        return args.takeFirst();
    };
    while (!args.isEmpty() && args.first().startsWith(QLatin1String("--"))) {
        const QString option = args.takeFirst();
        if (option == QLatin1String("--port")) {
            o.port = value(option);
        } else if (option == QLatin1String("--settings")) {
            o.settings = value(option);
        } else if (option == QLatin1String("--unit")) {
            bool ok = false;
            o.unit = value(option).toInt(&ok);
            if (!ok || o.unit < 0 || o.unit > 255) throw cli::CliError{cli::kUsage, QStringLiteral("--unit takes 0 to 255")};
        } else if (option == QLatin1String("--mode")) {
            o.mode = value(option);
            if (o.mode != QLatin1String("rtu") && o.mode != QLatin1String("ascii"))
                throw cli::CliError{cli::kUsage, QStringLiteral("--mode takes rtu or ascii")};
        } else if (option == QLatin1String("--type")) {
            o.type = value(option);
            if (!QStringList{"word", "float", "dfloat", "signed"}.contains(o.type))
                throw cli::CliError{cli::kUsage, QStringLiteral("--type takes word, float, dfloat or signed")};
        } else if (option == QLatin1String("--trace")) {
            o.trace = true;
        } else if (option == QLatin1String("--help")) {
            throw cli::CliError{cli::kUsage, QString()};
        } else {
            throw cli::CliError{cli::kUsage, QStringLiteral("unknown option %1").arg(option)};
        }
    }
    return o;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    try {
        const cli::CliOptions options = parseOptions(args);
        if (args.isEmpty()) throw cli::CliError{cli::kUsage, QStringLiteral("no command given")};
        const QString name = args.takeFirst();
        for (const cli::CliCommand& command : cli::Commands()) {
            if (name == QLatin1String(command.name)) {
                cli::CliSession session(options, out, err);
                return command.run(session, args);
            }
        }
        throw cli::CliError{cli::kUsage, QStringLiteral("unknown command %1").arg(name)};
    } catch (const cli::CliError& e) {
        if (!e.text.isEmpty()) err << "buslink-cli: " << e.text << Qt::endl;
        if (e.exitCode == cli::kUsage) err << usage();
        err.flush();
        return e.exitCode;
    }
}
