#include "tests/support/privatekeyring.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>
#include <sys/types.h>
#include <sys/wait.h>

namespace {

void stopPid(long &pid)
{
    if (pid <= 0)
        return;
    ::kill(pid_t(pid), SIGTERM);
    // Reaped when it ends; a process that ignores SIGTERM is killed.
    QDeadlineTimer deadline(5000);
    while (::waitpid(pid_t(pid), nullptr, WNOHANG) == 0) {
        if (deadline.hasExpired()) {
            ::kill(pid_t(pid), SIGKILL);
            ::waitpid(pid_t(pid), nullptr, 0);
            break;
        }
        QThread::msleep(20);
    }
    pid = 0;
}

// Starts a program detached from Qt's process bookkeeping: its pid, or 0.
long spawn(const QString &program, const QStringList &arguments, const QByteArray &input, QByteArray *firstLine)
{
    int in[2];
    int out[2];
    if (::pipe(in) != 0)
        return 0;
    if (::pipe(out) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return 0;
    }
    QList<QByteArray> args{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        args.append(argument.toLocal8Bit());
    QList<char *> argv;
    for (QByteArray &argument : args)
        argv.append(argument.data());
    argv.append(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(in[0], 0);
        if (firstLine) {
            ::dup2(out[1], 1);
        } else {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
        }
        ::close(in[0]);
        ::close(in[1]);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(argv.at(0), argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid > 0 && !input.isEmpty())
        (void)!::write(in[1], input.constData(), size_t(input.size()));
    ::close(in[1]);
    if (pid > 0 && firstLine) {
        char c = 0;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            firstLine->append(c);
    }
    ::close(out[0]);
    return pid > 0 ? long(pid) : 0;
}

} // namespace

PrivateKeyring::PrivateKeyring() = default;

PrivateKeyring::~PrivateKeyring()
{
    stop();
}

bool PrivateKeyring::startBus(QString *error)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty() || !m_home.isValid()) {
        if (error)
            *error = QStringLiteral("dbus-daemon not found (package dbus)");
        return false;
    }
    for (const char *folder : {"data", "config", "runtime"})
        QDir(m_home.path()).mkpath(QLatin1String(folder));
    QFile::setPermissions(m_home.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral("config"))));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_home.filePath(QStringLiteral("runtime"))));
    // A desktop's own choice of keychain must not steer QtKeychain elsewhere.
    qunsetenv("XDG_CURRENT_DESKTOP");
    qunsetenv("DESKTOP_SESSION");
    qunsetenv("KDE_FULL_SESSION");
    qunsetenv("GNOME_KEYRING_CONTROL");
    // A bus of its own configuration: no service folders, so nothing on it
    // is started on demand (the system's keyring least of all).
    const QString config = m_home.filePath(QStringLiteral("bus.conf"));
    QFile configFile(config);
    if (!configFile.open(QIODevice::WriteOnly)) {
        if (error)
            *error = QStringLiteral("cannot write the bus configuration");
        return false;
    }
    configFile.write(QStringLiteral(
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>unix:dir=%1</listen>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n").arg(m_home.filePath(QStringLiteral("runtime"))).toUtf8());
    configFile.close();
    QByteArray address;
    m_busPid = spawn(daemon,
                     {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                      QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")},
                     QByteArray(), &address);
    m_address = QString::fromLocal8Bit(address.trimmed());
    if (m_busPid <= 0 || m_address.isEmpty()) {
        if (error)
            *error = QStringLiteral("dbus-daemon did not start");
        stop();
        return false;
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_address.toLocal8Bit());
    return true;
}

bool PrivateKeyring::startKeyring(QString *error, bool unlocked)
{
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("gnome-keyring-daemon"));
    if (daemon.isEmpty() || m_busPid <= 0) {
        if (error)
            *error = QStringLiteral("gnome-keyring-daemon not found (package gnome-keyring) or no bus");
        return false;
    }
    // --unlock reads the login keyring's password from standard input and
    // creates that keyring, unlocked, when it is missing.
    QStringList arguments = {QStringLiteral("--foreground"), QStringLiteral("--components=secrets")};
    if (unlocked)
        arguments.append(QStringLiteral("--unlock"));
    m_keyringPid = spawn(daemon, arguments, unlocked ? QByteArrayLiteral("test-keyring-password") : QByteArray(),
                         nullptr);
    if (m_keyringPid <= 0) {
        if (error)
            *error = QStringLiteral("gnome-keyring-daemon did not start");
        return false;
    }
    QDBusConnectionInterface *bus = QDBusConnection::sessionBus().interface();
    QDeadlineTimer deadline(30000);
    while (bus && !bus->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value()) {
        if (::waitpid(pid_t(m_keyringPid), nullptr, WNOHANG) != 0)
            m_keyringPid = 0; // ended, and reaped
        if (deadline.hasExpired() || m_keyringPid == 0) {
            if (error)
                *error = QStringLiteral("gnome-keyring-daemon did not offer its Secret Service");
            return false;
        }
        QThread::msleep(50);
    }
    return bus != nullptr;
}

void PrivateKeyring::stop()
{
    stopPid(m_keyringPid);
    stopPid(m_busPid);
}
