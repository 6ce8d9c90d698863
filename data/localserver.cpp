#include "data/localserver.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QStringList>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace LocalServer {

namespace {

QString quoted(const QString &path)
{
    return path.contains(QLatin1Char(' ')) ? QLatin1Char('"') + path + QLatin1Char('"') : path;
}

} // namespace

QString helperScript()
{
    QStringList candidates;
    if (QCoreApplication::instance()) {
        const QString dir = QCoreApplication::applicationDirPath();
        candidates << dir + QStringLiteral("/quarnel-local-server")
                   << dir + QStringLiteral("/../share/quarnel/quarnel-local-server");
    }
#ifdef QUARNEL_SCRIPTS_DIR
    // Running from a build tree: the script in the sources.
    candidates << QStringLiteral(QUARNEL_SCRIPTS_DIR "/quarnel-local-server");
#endif
    for (const QString &candidate : candidates) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return info.canonicalFilePath();
    }
    return {};
}

QString defaultStartCommand()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\mysql\\bin\\mysqld-shareware.exe --standalone --flush --console --datadir=C:\\mysql\\data");
#else
    const QString script = helperScript();
    return script.isEmpty() ? QString() : quoted(script) + QStringLiteral(" start");
#endif
}

QString defaultStopCommand()
{
#ifdef Q_OS_WIN
    return QStringLiteral("c:\\mysql\\bin\\mysqladmin shutdown");
#else
    const QString script = helperScript();
    return script.isEmpty() ? QString() : quoted(script) + QStringLiteral(" stop");
#endif
}

bool launch(const QString &commandLine)
{
    QStringList arguments = QProcess::splitCommand(commandLine);
    if (arguments.isEmpty())
        return false;
    const QString program = arguments.takeFirst();
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    // The command runs without a window; its output goes nowhere, as a
    // hidden window's would.
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier(
        [](QProcess::CreateProcessArguments *arguments) { arguments->flags |= CREATE_NO_WINDOW; });
#endif
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    return process.startDetached();
}

QString startMessage(bool launched)
{
    return launched ? QStringLiteral("Local Mysql-Server started ...")
                    : QStringLiteral("Error : Can not start Local Mysql-Server ...");
}

QString stopMessage(bool launched)
{
    return launched ? QStringLiteral("Stop the Local Mysql-Server ...")
                    : QStringLiteral("Error : Can not stop Local Mysql-Server ...");
}

} // namespace LocalServer
