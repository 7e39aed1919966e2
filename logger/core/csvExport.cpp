#include "logger/core/csvExport.h"

#include "logger/core/eventTableModel.h"
#include "logger/core/logFormat.h"

#include <QSaveFile>

bool ExportRows(const TEventTableModel& table, const std::vector<int>& rows, const QString& path, QString* error)
{
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    for (size_t i = 0; ok && i < rows.size(); ++i)
        ok = file.write(CommaText(table.Record(rows[i]).cells) + "\r\n") >= 0;
    ok = ok && file.commit();
    if (!ok && error)
        *error = QStringLiteral("Cannot write %1: %2").arg(path, file.errorString());
    return ok;
}
