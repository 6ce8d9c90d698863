#include "data/datafolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

QString DataFolder()
{
    const QString fromEnvironment = qEnvironmentVariable("QUARNEL_DATA_DIR");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(fromEnvironment);
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Quarnel");
}

bool MakePrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (info.exists() && !info.isDir())
        return false;
    if (!info.exists() && !QDir().mkpath(path))
        return false;
    // Statements and scripts may name secrets: nobody else reads them.
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}
