#include "logger/core/logFormat.h"

#include <QFile>

namespace {

bool IsBlank(char c)
{
    return c != 0 && uint8_t(c) <= 32;
}

bool NeedsQuotes(const QByteArray& field)
{
    for (char c : field) {
        if (uint8_t(c) <= 32 || c == '"' || c == ',')
            return true;
    }
    return false;
}

} // namespace

QString LogFileName(const QDate& date)
{
    return QStringLiteral("akEvent_%1%2%3.log")
        .arg(date.year() % 100, 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

QString LogFilePath(const QString& logPath, const QDate& date)
{
    return logPath + QLatin1Char('/') + LogFileName(date);
}

QByteArray CommaText(const std::array<QByteArray, kEventColumnCount>& fields)
{
    QByteArray line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i)
            line += ',';
        const QByteArray& f = fields[i];
        if (!NeedsQuotes(f)) {
            line += f;
            continue;
        }
        line += '"';
        for (char c : f) {
            if (c == '"')
                line += '"';
            line += c;
        }
        line += '"';
    }
    return line;
}

void SplitLines(QByteArrayView text, const std::function<void(QByteArrayView)>& onLine)
{
    const qsizetype zero = text.indexOf('\0');
    if (zero >= 0)
        text = text.first(zero);
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        const char* start = p;
        while (p < end && *p != '\r' && *p != '\n')
            ++p;
        onLine(QByteArrayView(start, p - start));
        if (p < end && *p == '\r') {
            ++p;
            if (p < end && *p == '\n')
                ++p;
        } else if (p < end) {
            ++p; // lone LF
        }
    }
}

int SplitCommaText(QByteArrayView line, QByteArray& out, std::vector<std::pair<qsizetype, qsizetype>>& spans)
{
    const char* p = line.data();
    const char* end = p + line.size();
    const qsizetype zero = line.indexOf('\0');
    if (zero >= 0)
        end = p + zero;
    int count = 0;
    while (p < end && IsBlank(*p))
        ++p;
    while (p < end) {
        const qsizetype start = out.size();
        if (*p == '"') {
            ++p;
            while (p < end) {
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        out += '"';
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                out += *p++;
            }
        } else {
            const char* from = p;
            while (p < end && uint8_t(*p) > 32 && *p != ',')
                ++p;
            out.append(from, p - from);
        }
        spans.emplace_back(start, out.size() - start);
        ++count;
        while (p < end && IsBlank(*p))
            ++p;
        if (p < end && *p == ',') {
            if (p + 1 == end) {
                spans.emplace_back(out.size(), 0);
                ++count;
            }
            ++p;
            while (p < end && IsBlank(*p))
                ++p;
        }
    }
    return count;
}

std::vector<QByteArray> SplitCommaText(QByteArrayView line)
{
    QByteArray bytes;
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    SplitCommaText(line, bytes, spans);
    std::vector<QByteArray> fields;
    fields.reserve(spans.size());
    for (const auto& [start, length] : spans)
        fields.push_back(bytes.mid(start, length));
    return fields;
}

bool AppendLogLine(const QString& path, const std::array<QByteArray, kEventColumnCount>& fields)
{
    QFile file(path);
    // Unbuffered, so that a failed write leaves nothing behind to be
    // written at the close.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const qint64 before = file.size();
    const QByteArray line = CommaText(fields) + "\r\n";
    if (file.write(line) == line.size())
        return true;
    // Part of the line may have reached the disk: cut it off again, or the
    // next alarm's line would be glued onto it and never load.
    file.resize(before);
    return false;
}
