// buslink-cli serve [--image FILE] [--gateway] [--requests N] [--seconds S]:
// runs the component in a slave mode on the line of the line options and answers
// a remote master from a register image, printing one line per request handled.
// The image file has "REFERENCE VALUE" lines, as `read` prints them (40001 1234);
// blank lines and lines starting with # are skipped.
#include "CliCommands.h"

#include "StopSignal.h"
#include "base/BuslinkError.h"

#include <QFile>
#include <QRegularExpression>

namespace cli {

namespace {

// A reference number as an index of the slave image (six-digit forms to five digits).
bool imageIndex(const QString& text, int& index)
{
    bool ok = false;
    const qlonglong reference = text.toLongLong(&ok);
    if (!ok || reference < 0) return false;
    qlonglong i = reference;
    if (text.size() == 6) i = (reference / 100000) * 10000 + reference % 100000;
    if (i > 50000) return false;
    index = int(i);
    return true;
}

void loadImage(buslink::Buslink& link, const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        throw CliError{kFailed, QStringLiteral("cannot read %1: %2").arg(path, file.errorString()), QString()};
    int lineNumber = 0;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList fields = line.split(QRegularExpression(QStringLiteral("\\s+")));
        int index = 0;
        bool ok = false;
        const qlonglong value = fields.value(1).toLongLong(&ok);
        if (fields.size() != 2 || !imageIndex(fields[0], index) || !ok || value < -2147483648LL ||
            value > 2147483647LL)
            throw CliError{kUsage, QStringLiteral("%1:%2: expected REFERENCE VALUE, got \"%3\"")
                                       .arg(path).arg(lineNumber).arg(line), QString()};
        buslink::VariantArray v(1, 1);
        v[1] = qint32(value);
        link.SetModData(index, v);
    }
}

} // namespace

int RunServe(CliSession& session, const QStringList& args)
{
    if (!args.isEmpty()) throw UsageError(QStringLiteral("serve takes no arguments: %1").arg(args.first()), "serve");
    const CliOptions& options = session.options();
    const QString& image = options.image;
    const bool gateway = options.gateway;
    const qint64 requests = options.requests;

    buslink::Buslink link;
    link.InitProperties();
    QByteArray request;
    QByteArray reply;
    try {
        link.setAddress(options.unit);
        link.setPLCType(gateway ? buslink::EnType2 : buslink::EnStdModbus);
    } catch (const buslink::BuslinkError& e) {
        throw CliError{kUsage, e.text(), QString()};
    }
    try {
        // Set before the line opens: on a network endpoint a slave listens rather than connects.
        link.setModBusMode(options.ascii ? buslink::SlaveAscii : buslink::SlaveRtu);
    } catch (const buslink::BuslinkError& e) {
        throw CliError{kLineError, e.text(), QString()};
    }
    OpenLine(link, options);
    try {
        if (!image.isEmpty()) loadImage(link, image);
    } catch (const buslink::BuslinkError& e) {
        throw CliError{kFailed, QStringLiteral("%1: %2").arg(image, e.text()), QString()};
    }

    link.setFrameTrace([&](const buslink::FrameTraceEntry& entry) {
        if (options.trace) {
            session.err() << (entry.sent ? "> " : "< ") << entry.bytes.toHex(' ').toUpper() << Qt::endl;
        }
        (entry.sent ? reply : request) = entry.bytes;
    });
    StopSignal stop;
    qint64 handled = 0;
    const bool ascii = options.ascii;
    const auto shown = [ascii](const QByteArray& frame) {
        return ascii ? QString::fromLatin1(frame).trimmed() : QString::fromLatin1(frame.toHex(' ').toUpper());
    };
    QObject::connect(&link, &buslink::Buslink::CommCompleteEx, &link,
                     [&](const buslink::VariantArray&, qint32 MAdd, qint16 quan, const QString&, qint16) {
                         if (requests > 0 && handled >= requests) return;  // stopping: the loop ends next
                         QTextStream& out = session.out();
                         if (MAdd == -2) out << "checksum error: " << shown(request);
                         else out << "function " << MAdd << " quantity " << quan << ": " << shown(request);
                         out << " -> " << (reply.isEmpty() ? QStringLiteral("no reply") : shown(reply)) << Qt::endl;
                         request.clear();
                         reply.clear();
                         if (requests > 0 && ++handled >= requests) stop.stop();
                     });
    session.out() << "serving unit " << options.unit << " on " << link.devicePath() << " ("
                  << (ascii ? "ascii" : "rtu") << (gateway ? ", gateway" : "") << ")" << Qt::endl;
    stop.run(options.seconds);
    return kOk;
}

} // namespace cli
