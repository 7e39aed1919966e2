#include "admin/discovery/devscanBinding.h"

#include "admin/discovery/dynamicLibrary.h"

#include <QDir>

TDevscanFunctions Devscan;

namespace {
TDynamicLibrary& Library()
{
    static TDynamicLibrary library;
    return library;
}

QString& LastError()
{
    static QString text;
    return text;
}
} // namespace

QString DevscanLibraryName()
{
#ifdef _WIN32
    return QStringLiteral("devscan.dll");
#else
    return QStringLiteral("libdevscan.so");
#endif
}

TDevscanBindResult BindDevscan(const QString& programDir)
{
    Devscan = TDevscanFunctions {};
    TDynamicLibrary& lib = Library();
    lib.Close();
    const QString name = DevscanLibraryName();
    const QString beside = QDir(programDir).filePath(name);
    QString reasons;
    for (const QString& candidate : { beside, name }) {
        if (lib.Open(QDir::toNativeSeparators(candidate).toStdString()))
            break;
        reasons += QStringLiteral("\n%1: %2").arg(candidate, QString::fromLocal8Bit(lib.ErrorText().c_str()));
    }
    if (!lib.IsOpen()) {
        LastError() = QStringLiteral("Cannot load the discovery library %1.%2").arg(name, reasons);
        return dbNotFound;
    }
    auto* setOpt = lib.Resolve("dsc_SetSearchOpt");
    auto* enumSearch = setOpt ? lib.Resolve("dsc_EnumSearch") : nullptr;
    if (!setOpt || !enumSearch) {
        LastError() = QStringLiteral("The discovery library %1 lacks a function.\n%2")
                          .arg(name, QString::fromLocal8Bit(lib.ErrorText().c_str()));
        lib.Close();
        return dbMissingFunction;
    }
    Devscan.setSearchOpt = reinterpret_cast<int (*)(int, int)>(setOpt);
    Devscan.enumSearch = reinterpret_cast<int (*)(int, DscEnumCallback)>(enumSearch);
    LastError().clear();
    return dbOk;
}

QString DevscanBindErrorText()
{
    return LastError();
}

bool DevscanBound()
{
    return Devscan.setSearchOpt && Devscan.enumSearch;
}
