#include "settingsStore.h"

#include <QFileInfo>
#include <QSettings>
#include <memory>

namespace {

QString GroupPath(const QString& key)
{
    QString path = key;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return path;
}

std::unique_ptr<QSettings> OpenRoot()
{
#ifdef Q_OS_WIN
    return std::make_unique<QSettings>(QStringLiteral("HKEY_LOCAL_MACHINE"), QSettings::NativeFormat);
#else
    return std::make_unique<QSettings>(MachineSettingsFile(), QSettings::IniFormat);
#endif
}

bool RootExists()
{
#ifdef Q_OS_WIN
    return true;
#else
    return QFileInfo::exists(MachineSettingsFile());
#endif
}

// The stored value, or an invalid QVariant when the file, key or value is missing.
QVariant ReadValue(const QString& key, const QString& name)
{
    if (!RootExists())
        return {};  // QSettings would not create it, but skip the parse too
    auto root = OpenRoot();
    root->beginGroup(GroupPath(key));
    QVariant v = root->value(name);
    root->endGroup();
    return v;
}

void WriteValue(const QString& key, const QString& name, const QVariant& value)
{
    auto root = OpenRoot();
    // Operators may write the file but not its folder (/etc/korvel): the
    // file is then rewritten in place, as a replace through a new file in
    // the folder can't be done there.
    root->setAtomicSyncRequired(false);
    if (!root->isWritable())
        return;
    root->beginGroup(GroupPath(key));
    root->setValue(name, value);
    root->endGroup();
    root->sync();  // errors are deliberately not reported
}

}  // namespace

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

int ReadRegInteger(const QString& key, const QString& name, int defaultValue)
{
    const QVariant v = ReadValue(key, name);
    if (!v.isValid())
        return defaultValue;
    // The INI backing keeps everything as text; a registry DWORD comes back
    // as a number. Either way only a whole number counts.
    bool ok = false;
    const qlonglong n = v.toString().trimmed().toLongLong(&ok);
    if (!ok || n < INT32_MIN || n > UINT32_MAX)
        return defaultValue;
    return static_cast<int>(static_cast<qint32>(n));
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
