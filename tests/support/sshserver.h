#pragma once

#include "tests/support/privateserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

// An OpenSSH server of the test's own on 127.0.0.1: a generated host key,
// its own configuration and log in a temporary folder, logins by key only
// for the current user, with the keys made here:
//   "user"     authorized, protected by passphrase()
//   "plain"    authorized, no passphrase
//   "stranger" not authorized
// and a second host key ("other-host") to play a server whose key changed.
// Never the system's sshd.
class SshServer
{
public:
    SshServer() = default;
    ~SshServer() { kill(); }
    SshServer(const SshServer &) = delete;
    SshServer &operator=(const SshServer &) = delete;

    static QString passphrase() { return QStringLiteral("key-passphrase"); }
    static QString user()
    {
        const passwd *entry = ::getpwuid(::getuid());
        return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
    }

    bool start(QString *error)
    {
        if (!m_dir.isValid())
            return fail(error, QStringLiteral("no temporary folder"));
        m_sshd = QStringLiteral("/usr/sbin/sshd");
        m_keygen = PrivateServer::findProgram(QStringLiteral("ssh-keygen"));
        if (!QFile::exists(m_sshd) || m_keygen.isEmpty())
            return fail(error, QStringLiteral("openssh-server is not installed"));
        // sshd run as root wants its privilege separation folder.
        if (::getuid() == 0 && !QDir(QStringLiteral("/run/sshd")).exists()) {
            QDir().mkpath(QStringLiteral("/run/sshd"));
            ::chmod("/run/sshd", 0755);
        }
        if (!keygen(QStringLiteral("host"), QString(), error) || !keygen(QStringLiteral("other-host"), QString(), error)
            || !keygen(QStringLiteral("user"), passphrase(), error) || !keygen(QStringLiteral("plain"), QString(), error)
            || !keygen(QStringLiteral("stranger"), QString(), error))
            return false;
        QFile authorized(path(QStringLiteral("authorized_keys")));
        if (!authorized.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("cannot write authorized_keys"));
        authorized.write(publicKey(QStringLiteral("user")) + '\n' + publicKey(QStringLiteral("plain")) + '\n');
        authorized.close();
        m_port = freePort();
        return launch(error);
    }

    // Kills the server and every session it forked, as a crash would.
    void kill()
    {
        if (!m_process)
            return;
        resume();
        const qint64 pid = m_process->processId();
        if (pid > 0)
            killTree(pid);
        if (!m_process->waitForFinished(10000))
            m_process->kill();
        m_process.reset();
    }

    // Halts the listening server (SIGSTOP) as a hung one would: connections
    // are taken by the kernel and nothing answers; resume lets it go on.
    void pause()
    {
        if (m_process)
            ::kill(pid_t(m_process->processId()), SIGSTOP);
    }
    void resume()
    {
        if (m_process)
            ::kill(pid_t(m_process->processId()), SIGCONT);
    }
    // Whether a connection from this program to the server is established.
    bool hasConnection() const
    {
        QFile table(QStringLiteral("/proc/net/tcp"));
        if (!table.open(QIODevice::ReadOnly))
            return false;
        // rem_address of 127.0.0.1:port, state 01 (established)
        const QByteArray remote = QByteArray("0100007F:") + QByteArray::number(m_port, 16).toUpper().rightJustified(4, '0');
        const QList<QByteArray> lines = table.readAll().split('\n');
        for (const QByteArray &line : lines) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields.at(2) == remote && fields.at(3) == "01")
                return true;
        }
        return false;
    }
    // Starts a killed server again on the same port with the same keys.
    bool restart(QString *error) { return launch(error); }

    bool isRunning() const { return m_process && m_process->state() == QProcess::Running; }
    int port() const { return m_port; }
    QString host() const { return QStringLiteral("127.0.0.1"); }
    QString keyFile(const QString &name) const { return path(name); }
    // The "SHA256:..." fingerprint of a key, as ssh-keygen prints it.
    QString fingerprint(const QString &name) const
    {
        QProcess keygen;
        keygen.start(m_keygen, {QStringLiteral("-l"), QStringLiteral("-E"), QStringLiteral("sha256"),
                                QStringLiteral("-f"), path(name + QStringLiteral(".pub"))});
        keygen.waitForFinished(30000);
        return QString::fromLatin1(keygen.readAllStandardOutput()).split(QLatin1Char(' ')).value(1);
    }
    // A known_hosts line that records the key `name` for this server.
    QByteArray knownHostsLine(const QString &name) const
    {
        const QList<QByteArray> parts = publicKey(name).split(' ');
        return QStringLiteral("[%1]:%2 ").arg(host()).arg(m_port).toLatin1() + parts.value(0) + ' ' + parts.value(1)
            + '\n';
    }
    QString log() const
    {
        QFile file(path(QStringLiteral("sshd.log")));
        return file.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(file.readAll()) : QString();
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    static bool fail(QString *error, const QString &message)
    {
        if (error)
            *error = message;
        return false;
    }

    static int freePort()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
            port = ntohs(address.sin_port);
        ::close(fd);
        return port;
    }

    static bool accepts(int port)
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(quint16(port));
        const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        ::close(fd);
        return ok;
    }

    // The process and all its descendants (sshd forks one per session,
    // and that one its privilege-separated child).
    static void killTree(qint64 pid)
    {
        const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
        for (const QString &entry : entries) {
            bool number = false;
            const qint64 child = entry.toLongLong(&number);
            if (!number)
                continue;
            QFile stat(QStringLiteral("/proc/%1/stat").arg(child));
            if (!stat.open(QIODevice::ReadOnly))
                continue;
            const QByteArray text = stat.readAll();
            // pid (name) state ppid ...
            const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
            if (fields.value(1).toLongLong() == pid)
                killTree(child);
        }
        ::kill(pid_t(pid), SIGKILL);
    }

    QByteArray publicKey(const QString &name) const
    {
        QFile file(path(name + QStringLiteral(".pub")));
        return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
    }

    bool keygen(const QString &name, const QString &passphrase, QString *error) const
    {
        QProcess keygen;
        keygen.start(m_keygen, {QStringLiteral("-q"), QStringLiteral("-t"), QStringLiteral("ed25519"),
                                QStringLiteral("-N"), passphrase, QStringLiteral("-C"), name,
                                QStringLiteral("-f"), path(name)});
        if (!keygen.waitForFinished(30000) || keygen.exitCode() != 0)
            return fail(error, QStringLiteral("ssh-keygen failed: ") + QString::fromLocal8Bit(keygen.readAllStandardError()));
        return true;
    }

    bool launch(QString *error)
    {
        QFile config(path(QStringLiteral("sshd_config")));
        if (!config.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("cannot write sshd_config"));
        QTextStream(&config) << "ListenAddress 127.0.0.1\n"
                             << "HostKey " << path(QStringLiteral("host")) << '\n'
                             << "PidFile none\n"
                             << "AuthorizedKeysFile " << path(QStringLiteral("authorized_keys")) << '\n'
                             << "StrictModes no\n"
                             << "UsePAM no\n"
                             << "PubkeyAuthentication yes\n"
                             << "PasswordAuthentication no\n"
                             << "KbdInteractiveAuthentication no\n"
                             << "PermitRootLogin prohibit-password\n"
                             << "AllowTcpForwarding yes\n"
                             << "LogLevel VERBOSE\n";
        config.close();
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // A test that dies takes its sshd along.
        m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        m_process->start(m_sshd, {QStringLiteral("-D"), QStringLiteral("-f"), config.fileName(), QStringLiteral("-p"),
                                  QString::number(m_port), QStringLiteral("-E"), path(QStringLiteral("sshd.log"))});
        if (!m_process->waitForStarted(10000))
            return fail(error, QStringLiteral("sshd did not start"));
        QDeadlineTimer deadline(20000);
        while (!accepts(m_port)) {
            if (m_process->state() != QProcess::Running || deadline.hasExpired()) {
                kill();
                return fail(error, QStringLiteral("sshd did not answer: ") + log());
            }
            m_process->waitForFinished(20); // returns at once when it ends
        }
        return true;
    }

    QTemporaryDir m_dir;
    QString m_sshd;
    QString m_keygen;
    std::unique_ptr<QProcess> m_process;
    int m_port = 0;
};
