#include "IniFile.h"

#include <QFile>
#include <QList>
#include <QSaveFile>

namespace buslink {

namespace {

QList<QByteArray> splitLines(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();  // the final line end
    for (QByteArray& line : lines)
        if (line.endsWith('\r')) line.chop(1);
    return lines;
}

// The section a line opens, or a null string when it opens none.
QString sectionOf(const QByteArray& line)
{
    const QByteArray t = line.trimmed();
    if (!t.startsWith('[')) return {};
    const int close = int(t.indexOf(']'));
    if (close < 0) return {};
    return QString::fromUtf8(t.mid(1, close - 1)).trimmed();
}

bool keyOf(const QByteArray& line, QString& key, QString& value)
{
    const QByteArray t = line.trimmed();
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('#')) return false;
    const int eq = int(t.indexOf('='));
    if (eq <= 0) return false;
    key = QString::fromUtf8(t.left(eq)).trimmed();
    value = QString::fromUtf8(t.mid(eq + 1)).trimmed();
    return true;
}

bool same(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

QString IniValue(const QByteArray& content, const QString& section, const QString& key,
                 const QString& defaultValue)
{
    bool inSection = false;
    for (const QByteArray& line : splitLines(content)) {
        const QString opened = sectionOf(line);
        if (!opened.isNull()) {
            inSection = same(opened, section);
            continue;
        }
        QString k, v;
        if (inSection && keyOf(line, k, v) && same(k, key)) {
            if (v.size() >= 2 && (v.front() == QLatin1Char('"') || v.front() == QLatin1Char('\'')) &&
                v.back() == v.front())
                v = v.mid(1, v.size() - 2);
            return v;
        }
    }
    return defaultValue;
}

QByteArray IniWithValue(const QByteArray& content, const QString& section, const QString& key,
                        const QString& value)
{
    const QByteArray eol = content.contains("\r\n") ? QByteArray("\r\n") : QByteArray("\n");
    QList<QByteArray> lines = splitLines(content);
    const QByteArray entry = key.toUtf8() + '=' + value.toUtf8();
    int sectionLine = -1;
    int lastInSection = -1;
    bool inSection = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QString opened = sectionOf(lines[i]);
        if (!opened.isNull()) {
            inSection = same(opened, section);
            if (inSection && sectionLine < 0) {
                sectionLine = i;
                lastInSection = i;
            }
            continue;
        }
        if (!inSection) continue;
        QString k, v;
        if (keyOf(lines[i], k, v) && same(k, key)) {
            lines[i] = entry;
            return lines.join(eol) + eol;
        }
        if (!lines[i].trimmed().isEmpty()) lastInSection = i;
    }
    if (sectionLine >= 0) {
        lines.insert(lastInSection + 1, entry);
    } else {
        if (!lines.isEmpty() && !lines.back().trimmed().isEmpty()) lines.append(QByteArray());
        lines.append('[' + section.toUtf8() + ']');
        lines.append(entry);
    }
    return lines.join(eol) + eol;
}

QString ReadIniString(const QString& path, const QString& section, const QString& key,
                      const QString& defaultValue, int maxChars)
{
    QFile file(path);
    QString value = defaultValue;
    if (file.open(QIODevice::ReadOnly)) value = IniValue(file.readAll(), section, key, defaultValue);
    const int nul = int(value.indexOf(QChar(0)));
    if (nul >= 0) value.truncate(nul);
    return value.left(maxChars);
}

bool WriteIniString(const QString& path, const QString& section, const QString& key, const QString& value)
{
    QByteArray content;
    QFile existing(path);
    if (existing.exists()) {
        if (!existing.open(QIODevice::ReadOnly)) return false;
        content = existing.readAll();
        existing.close();
        if (IniValue(content, section, key, QString()) == value && !value.isEmpty()) return true;
    }
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly)) return false;
    out.write(IniWithValue(content, section, key, value));
    return out.commit();
}

} // namespace buslink
