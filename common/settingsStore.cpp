#include "common/settingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QVariant>
#include <cctype>
#include <optional>

namespace {

QString GroupPath(const QString& key)
{
    QString path = key;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

#ifdef Q_OS_WIN

// The registry itself, through QSettings.
QVariant ReadValue(const QString& key, const QString& name)
{
    QSettings root(QStringLiteral("HKEY_LOCAL_MACHINE"), QSettings::NativeFormat);
    root.beginGroup(GroupPath(key));
    return root.value(name);
}

void WriteValue(const QString& key, const QString& name, const QVariant& value)
{
    QSettings root(QStringLiteral("HKEY_LOCAL_MACHINE"), QSettings::NativeFormat);
    if (!root.isWritable())
        return;
    root.beginGroup(GroupPath(key));
    root.setValue(name, value);
    root.endGroup();
    root.sync(); // errors are deliberately not reported
}

#else

// The INI file is read and written here, not by QSettings: QSettings takes
// an unquoted value with a comma for a list and cuts one at a semicolon, and
// operators edit this file by hand. A value is read as written, up to the
// end of its line; only a value in double quotes has escapes (\\, \", \n,
// \xHH, ...), the form QSettings writes too. Section and key names follow
// QSettings: "[a/b/c]" + "name" or "[a]" + "b\c\name", %XX escapes.

QString UnescapeName(const QString& text)
{
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == QLatin1Char('%')) {
            const bool wide = text.mid(i + 1, 1) == QLatin1String("U");
            const int digits = wide ? 4 : 2;
            bool ok = false;
            const uint code = text.mid(i + 1 + (wide ? 1 : 0), digits).toUInt(&ok, 16);
            if (ok && text.mid(i + 1 + (wide ? 1 : 0), digits).size() == digits) {
                out += QChar(char16_t(code));
                i += digits + (wide ? 1 : 0);
                continue;
            }
        }
        out += c == QLatin1Char('\\') ? QLatin1Char('/') : c;
    }
    return out;
}

QString EscapeName(const QString& name)
{
    QString out;
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u > 0x20 && u < 0x7F && !QStringView(u"%=[];\\/\"#").contains(c))
            out += c;
        else if (u <= 0xFF)
            out += QLatin1Char('%') + QStringLiteral("%1").arg(uint(u), 2, 16, QLatin1Char('0')).toUpper();
        else
            out += QStringLiteral("%U") + QStringLiteral("%1").arg(uint(u), 4, 16, QLatin1Char('0')).toUpper();
    }
    return out;
}

// One "name=value" line found in the file.
struct TIniEntry {
    qsizetype line = -1; // index in the file's lines, -1: not there
    QString raw; // the text after '=', blanks at both ends removed
};

bool IsComment(QStringView t)
{
    return t.startsWith(u';') || t.startsWith(u'#');
}

// The last entry of section/name (the full path with '/'), and the index of
// the last line of the section "[group]" when there is one.
TIniEntry Find(const QStringList& lines, const QString& group, const QString& name, qsizetype* sectionEnd = nullptr)
{
    const QString wanted = group + QLatin1Char('/') + name;
    TIniEntry found;
    QString section;
    bool inGroup = false;
    if (sectionEnd)
        *sectionEnd = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString t = lines[i].trimmed();
        if (t.isEmpty() || IsComment(t))
            continue;
        if (t.startsWith(QLatin1Char('['))) {
            const qsizetype close = t.indexOf(QLatin1Char(']'));
            section = UnescapeName(t.mid(1, close < 0 ? -1 : close - 1).trimmed());
            if (section.compare(QLatin1String("General"), Qt::CaseInsensitive) == 0)
                section.clear();
            inGroup = section == group;
            if (inGroup && sectionEnd)
                *sectionEnd = i;
            continue;
        }
        if (inGroup && sectionEnd)
            *sectionEnd = i;
        const qsizetype eq = t.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = UnescapeName(t.left(eq).trimmed());
        if ((section.isEmpty() ? key : section + QLatin1Char('/') + key) == wanted) {
            found.line = i;
            found.raw = t.mid(eq + 1).trimmed();
        }
    }
    return found;
}

// A quoted value with its escapes undone; any other value as written.
QString DecodeValue(const QString& raw)
{
    if (!raw.startsWith(QLatin1Char('"')))
        return raw;
    QString out;
    for (qsizetype i = 1; i < raw.size(); ++i) {
        const QChar c = raw[i];
        if (c == QLatin1Char('"'))
            break;
        if (c != QLatin1Char('\\') || i + 1 >= raw.size()) {
            out += c;
            continue;
        }
        const QChar e = raw[++i];
        switch (e.unicode()) {
        case u'n':
            out += QLatin1Char('\n');
            break;
        case u'r':
            out += QLatin1Char('\r');
            break;
        case u't':
            out += QLatin1Char('\t');
            break;
        case u'a':
            out += QLatin1Char('\a');
            break;
        case u'b':
            out += QLatin1Char('\b');
            break;
        case u'f':
            out += QLatin1Char('\f');
            break;
        case u'v':
            out += QLatin1Char('\v');
            break;
        case u'0':
            out += QChar(u'\0');
            break;
        case u'x': {
            uint code = 0;
            while (i + 1 < raw.size() && isxdigit(raw[i + 1].unicode() < 0x80 ? int(raw[i + 1].unicode()) : 0))
                code = (code << 4 | uint(QString(raw[++i]).toUInt(nullptr, 16))) & 0xFFFF;
            out += QChar(char16_t(code));
            break;
        }
        default:
            out += e;
            break; // \\ and \" and anything else: the character
        }
    }
    return out;
}

// Plain when it reads back as written; otherwise in double quotes with
// escapes, as QSettings writes such a text, so that it reads back too.
QString EncodeText(const QString& value)
{
    bool quote = value != value.trimmed() || value.startsWith(QLatin1Char('@'));
    for (const QChar c : value)
        quote = quote || c.unicode() < 0x20 || QStringView(u",;=\"\\").contains(c);
    if (!quote)
        return value;
    QString out = QStringLiteral("\"");
    bool hexNext = false; // a hex digit right after \xHH must be escaped too
    for (const QChar c : value) {
        const char16_t u = c.unicode();
        if (hexNext && isxdigit(u < 0x80 ? int(u) : 0)) {
            out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
            continue;
        }
        hexNext = false;
        switch (u) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (u < 0x20) {
                out += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
                hexNext = true;
            } else {
                out += c;
            }
        }
    }
    return out + QLatin1Char('"');
}

QStringList ReadLines(const QString& path, bool* ok)
{
    QFile file(path);
    if (!file.exists()) {
        *ok = true;
        return {};
    }
    *ok = file.open(QIODevice::ReadOnly);
    if (!*ok)
        return {};
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    QStringList lines = text.split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The raw text of the value, or nothing when the file, key or value is missing.
std::optional<QString> ReadRaw(const QString& key, const QString& name)
{
    bool ok = false;
    const QStringList lines = ReadLines(MachineSettingsFile(), &ok);
    const TIniEntry entry = Find(lines, GroupPath(key), name);
    if (entry.line < 0)
        return std::nullopt;
    return entry.raw;
}

void WriteRaw(const QString& key, const QString& name, const QString& text)
{
    const QString path = MachineSettingsFile();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return;
    bool ok = false;
    QStringList lines = ReadLines(path, &ok);
    if (!ok)
        return; // never overwrite a file we could not read
    const QString group = GroupPath(key);
    qsizetype sectionEnd = -1;
    const TIniEntry entry = Find(lines, group, name, &sectionEnd);
    if (entry.line >= 0) {
        const QString& line = lines[entry.line];
        lines[entry.line] = line.left(line.indexOf(QLatin1Char('=')) + 1) + text;
    } else if (sectionEnd >= 0) {
        lines.insert(sectionEnd + 1, EscapeName(name) + QLatin1Char('=') + text);
    } else {
        if (!lines.isEmpty() && !lines.last().trimmed().isEmpty())
            lines.append(QString());
        lines.append(QLatin1Char('[') + group + QLatin1Char(']'));
        lines.append(EscapeName(name) + QLatin1Char('=') + text);
    }
    QSaveFile file(path);
    // Operators may write the file but not its folder (/etc/korvel): the
    // file is then rewritten in place, as a replace through a new file in
    // the folder can't be done there.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return; // errors are deliberately not reported
    file.write((lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8());
    file.commit();
}

#endif

} // namespace

QString SettingsKey(const QString& baseKey)
{
    return baseKey + QStringLiteral("\\System");
}

QString MachineSettingsFile()
{
    const QByteArray env = qgetenv("KORVEL_MACHINE_SETTINGS");
    if (!env.isEmpty())
        return QString::fromLocal8Bit(env);
    return QStringLiteral("/etc/korvel/machine.ini");
}

namespace {
// Only a whole number in the 32-bit range counts.
int ToInteger(const QString& text, int defaultValue)
{
    bool ok = false;
    const qlonglong n = text.trimmed().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX)
        return defaultValue;
    return static_cast<int>(static_cast<qint32>(n));
}
} // namespace

#ifdef Q_OS_WIN

int ReadRegInteger(const QString& key, const QString& name, int defaultValue)
{
    const QVariant v = ReadValue(key, name);
    return v.isValid() ? ToInteger(v.toString(), defaultValue) : defaultValue;
}

QString ReadRegString(const QString& key, const QString& name, const QString& defaultValue)
{
    const QVariant v = ReadValue(key, name);
    if (!v.isValid() || !v.canConvert<QString>())
        return defaultValue;
    return v.toString();
}

void WriteRegInteger(const QString& key, const QString& name, int value)
{
    WriteValue(key, name, value);
}

void WriteRegString(const QString& key, const QString& name, const QString& value)
{
    WriteValue(key, name, value);
}

#else

int ReadRegInteger(const QString& key, const QString& name, int defaultValue)
{
    const std::optional<QString> raw = ReadRaw(key, name);
    if (!raw)
        return defaultValue;
    QString text = DecodeValue(*raw);
    if (!raw->startsWith(QLatin1Char('"')))
        text = text.section(QLatin1Char(';'), 0, 0); // a comment after a number
    return ToInteger(text, defaultValue);
}

QString ReadRegString(const QString& key, const QString& name, const QString& defaultValue)
{
    const std::optional<QString> raw = ReadRaw(key, name);
    return raw ? DecodeValue(*raw) : defaultValue;
}

void WriteRegInteger(const QString& key, const QString& name, int value)
{
    WriteRaw(key, name, QString::number(value));
}

void WriteRegString(const QString& key, const QString& name, const QString& value)
{
    WriteRaw(key, name, EncodeText(value));
}

#endif
