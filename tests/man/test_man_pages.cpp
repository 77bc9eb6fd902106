// The manual pages of buslink-cli and actuator-sim: groff renders them without a
// warning, and each lists exactly the options and exit codes the program's own
// help lists, so the two cannot drift apart.
#include "PeerProcess.h"
#include "ProgramRun.h"

#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QtTest>

namespace {

QString manPage(const QString& name) { return QStringLiteral(BUSLINK_MAN_DIR "/") + name + QStringLiteral(".1"); }

// The long options a text names: --port, --word-order, ...
QSet<QString> longOptions(const QString& text)
{
    QSet<QString> names;
    static const QRegularExpression option(QStringLiteral(R"((?<![\w-])--[a-z][a-z-]*[a-z])"));
    for (auto it = option.globalMatch(text); it.hasNext();) names.insert(it.next().captured());
    return names;
}

// The options the help's option lists show: lines "  -h, --help   Show ...", up to the description.
QSet<QString> helpOptions(const QString& help)
{
    QSet<QString> names;
    for (const QString& line : help.split('\n'))
        if (line.startsWith(QLatin1String("  -"))) names += longOptions(line.trimmed().section(QStringLiteral("  "), 0, 0));
    return names;
}

QStringList sorted(const QSet<QString>& set)
{
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

} // namespace

class TestManPages : public QObject {
    Q_OBJECT
private slots:
    void pagesRenderWithoutWarnings_data();
    void pagesRenderWithoutWarnings();
    void pagesListTheHelpsOptions_data();
    void pagesListTheHelpsOptions();
};

void TestManPages::pagesRenderWithoutWarnings_data()
{
    QTest::addColumn<QString>("page");
    QTest::newRow("buslink-cli") << "buslink-cli";
    QTest::newRow("actuator-sim") << "actuator-sim";
}

void TestManPages::pagesRenderWithoutWarnings()
{
    QFETCH(QString, page);
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty()) QSKIP("groff is not installed (Debian package groff-base)");
    const ProgramRun r = runProgram(groff, {"-man", "-Tutf8", "-ww", "-z", manPage(page)}, 20000);
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString());
}

void TestManPages::pagesListTheHelpsOptions_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("commands");  // each one's --help is read too
    QTest::newRow("buslink-cli") << "buslink-cli" << QStringList{"read", "write", "scan", "serve", "init-db"};
    QTest::newRow("actuator-sim") << "actuator-sim" << QStringList{};
}

void TestManPages::pagesListTheHelpsOptions()
{
    QFETCH(QString, program);
    QFETCH(QStringList, commands);
    const QString groff = QStandardPaths::findExecutable(QStringLiteral("groff"));
    if (groff.isEmpty()) QSKIP("groff is not installed (Debian package groff-base)");
    const QString path = PeerProcess::binaryDir() + "/tools/" + program + "/" + program;
    QString help = runProgram(path, {"--help"}, 10000).out;
    for (const QString& command : commands) {
        const ProgramRun r = runProgram(path, {command, "--help"}, 10000);
        QCOMPARE(r.exitCode, 0);
        help += r.out;
    }
    QVERIFY(help.contains("Options:"));
    const ProgramRun page = runProgram(groff, {"-man", "-Tutf8", "-P-cbou", manPage(program)}, 20000);
    QCOMPARE(page.exitCode, 0);
    const QString text = page.out;
    // Every option of the help is in the page, and the page's OPTIONS section names no other.
    const QString optionsSection = text.section(QRegularExpression("\nOPTIONS\n"), 1).section(QRegularExpression("\n[A-Z][A-Z ]+\n"), 0, 0);
    QCOMPARE(sorted(longOptions(optionsSection)), sorted(helpOptions(help)));
    // The exit codes the help gives, with the same meaning first words.
    static const QRegularExpression exitLine(QStringLiteral(R"(^  (\d)  (\w+))"), QRegularExpression::MultilineOption);
    const QString exitSection = text.section(QRegularExpression("\nEXIT STATUS\n"), 1).section(QRegularExpression("\n[A-Z][A-Z ]+\n"), 0, 0);
    for (auto it = exitLine.globalMatch(help); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QVERIFY2(QRegularExpression("^ +" + m.captured(1) + "\\s+" + m.captured(2),
                                    QRegularExpression::CaseInsensitiveOption | QRegularExpression::MultilineOption)
                     .match(exitSection).hasMatch(),
                 qPrintable("exit code " + m.captured(1) + " " + m.captured(2)));
    }
}

QTEST_GUILESS_MAIN(TestManPages)
#include "test_man_pages.moc"
