#include "logger/core/eventTableModel.h"
#include "logger/core/eventTypes.h"
#include "logger/core/logFormat.h"

#include <QFile>
#include <QFileInfo>

int LoadLogFile(const QString& path, TEventTableModel& table, QString* error)
{
    table.Clear();
    QFile file(path);
    if (!file.exists())
        return 0;
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file \"%1\". %2").arg(path, file.errorString());
        return -1;
    }
    const QByteArray text = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read file \"%1\". %2").arg(path, file.errorString());
        return -1;
    }
    file.close();

    std::vector<TEventTableModel::TRow> rows;
    QByteArray pool;
    pool.reserve(text.size());
    std::vector<std::pair<qsizetype, qsizetype>> spans;
    int count = 0;
    SplitLines(text, [&](QByteArrayView line) {
        TEventTableModel::TRow row;
        const qsizetype mark = pool.size();
        spans.clear();
        if (SplitCommaText(line, pool, spans) != kEventColumnCount) {
            pool.truncate(mark);
            rows.push_back(row);
            return;
        }
        // Field 0 is the number the alarm had when it arrived; rows are
        // numbered by line position instead. Its bytes go.
        row.tag = EventTypeCode(QString::fromLatin1(pool.constData() + spans[1].first, spans[1].second));
        pool.remove(mark, spans[1].first - mark);
        row.offset = mark;
        for (int c = 1; c < kEventColumnCount; ++c)
            row.length[c - 1] = int(spans[size_t(c)].second);
        if (row.tag < 2) {
            pool.truncate(pool.size() - row.length[4]);
            pool += "--";
            row.length[4] = 2;
        }
        row.number = int(rows.size()) + 1;
        rows.push_back(row);
        ++count;
    });
    table.ResetRows(std::move(rows), std::move(pool));
    return count;
}
