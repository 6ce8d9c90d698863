#include "tests/support/privateserver.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
        && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

QString readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace

long SpawnProcess(const QString &program, const QStringList &arguments, const QString &outFile,
                  const QString &stdinFile)
{
    std::vector<QByteArray> args;
    args.push_back(QFile::encodeName(program));
    for (const QString &a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray out = QFile::encodeName(outFile);
    const QByteArray in = QFile::encodeName(stdinFile);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent)
        ::_exit(127);
    const int inFd = ::open(in.isEmpty() ? "/dev/null" : in.constData(), O_RDONLY);
    const int outFd = ::open(out.isEmpty() ? "/dev/null" : out.constData(),
                             O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (inFd >= 0)
        ::dup2(inFd, 0);
    if (outFd >= 0) {
        ::dup2(outFd, 1);
        ::dup2(outFd, 2);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

int runProgram(const QString &program, const QStringList &arguments, QString *output,
               const QString &stdinFile)
{
    QString outFile;
    if (output) {
        char name[] = "/tmp/quarnel-run-XXXXXX";
        const int fd = ::mkstemp(name);
        if (fd < 0)
            return -1;
        ::close(fd);
        outFile = QString::fromLocal8Bit(name);
    }
    const long pid = SpawnProcess(program, arguments, outFile, stdinFile);
    if (pid < 0)
        return -1;
    int status = 0;
    while (::waitpid(pid_t(pid), &status, 0) < 0 && errno == EINTR) {
    }
    if (output) {
        *output = readAll(outFile);
        QFile::remove(outFile);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PrivateServer::PrivateServer() = default;

PrivateServer::~PrivateServer()
{
    stop();
}

PrivateServer &PrivateServer::shared()
{
    static PrivateServer server;
    return server;
}

QString PrivateServer::findProgram(const QString &name)
{
    QStringList dirs = QString::fromLocal8Bit(qgetenv("PATH")).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    dirs << QStringLiteral("/usr/sbin") << QStringLiteral("/usr/local/sbin")
         << QStringLiteral("/usr/bin") << QStringLiteral("/usr/local/bin");
    for (const QString &dir : dirs) {
        const QFileInfo info(dir + QLatin1Char('/') + name);
        if (info.isFile() && info.isExecutable())
            return info.absoluteFilePath();
    }
    return {};
}

bool PrivateServer::start(QString *error)
{
    if (m_pid > 0)
        return true;
    auto fail = [&](const QString &message) {
        if (error)
            *error = message;
        stop();
        return false;
    };
    const QString installDb = findProgram(QStringLiteral("mariadb-install-db"));
    const QString server = findProgram(QStringLiteral("mariadbd"));
    const QString admin = findProgram(QStringLiteral("mariadb-admin"));
    if (installDb.isEmpty() || server.isEmpty() || admin.isEmpty())
        return fail(QStringLiteral("mariadb-server is not installed (mariadbd, mariadb-install-db, mariadb-admin)"));

    char tmpl[] = "/tmp/quarnel-server-XXXXXX";
    if (!::mkdtemp(tmpl))
        return fail(QStringLiteral("cannot create a temporary folder"));
    m_dir = QString::fromLocal8Bit(tmpl);
    // A starting server deletes every "#sql*" file of its temporary folder:
    // with a shared /tmp, servers started side by side destroy each other's
    // temporary tables.
    if (!QDir().mkpath(tmpDir()))
        return fail(QStringLiteral("cannot create a temporary folder"));

    QString out;
    if (runProgram(installDb, {QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + dataDir(),
                               QStringLiteral("--tmpdir=") + tmpDir(), QStringLiteral("--user=root"),
                               QStringLiteral("--auth-root-authentication-method=normal"),
                               QStringLiteral("--skip-test-db")},
                   &out) != 0)
        return fail(QStringLiteral("mariadb-install-db failed: ") + out);

    for (int attempt = 0; attempt < 5 && m_pid <= 0; ++attempt) {
        m_port = freePort();
        m_pid = launch();
        if (m_pid == -1)
            return fail(QStringLiteral("cannot start mariadbd"));
    }
    if (m_pid <= 0)
        return fail(QStringLiteral("mariadbd did not answer: ") + readAll(m_dir + QStringLiteral("/server.log")));

    const QString account = QStringLiteral("'%1'@'%'").arg(user());
    QString sqlError;
    if (!sql(QStringLiteral("CREATE USER %1 IDENTIFIED BY '%2'; GRANT ALL PRIVILEGES ON *.* TO %1 WITH GRANT OPTION;")
                 .arg(account, password()),
             nullptr, &sqlError))
        return fail(QStringLiteral("cannot create the test account: ") + sqlError);
    return true;
}

long PrivateServer::launch()
{
    const QString server = findProgram(QStringLiteral("mariadbd"));
    const QString admin = findProgram(QStringLiteral("mariadb-admin"));
    const long pid = SpawnProcess(server,
                           QStringList{QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + dataDir(),
                            QStringLiteral("--socket=") + socketPath(),
                            QStringLiteral("--tmpdir=") + tmpDir(),
                            QStringLiteral("--port=") + QString::number(m_port),
                            QStringLiteral("--bind-address=127.0.0.1"), QStringLiteral("--user=root"),
                            QStringLiteral("--pid-file=") + m_dir + QStringLiteral("/pid"),
                            QStringLiteral("--skip-name-resolve"), QStringLiteral("--skip-log-bin"),
                            QStringLiteral("--innodb-buffer-pool-size=256M"),
                            QStringLiteral("--innodb-log-file-size=256M"),
                            QStringLiteral("--innodb-flush-log-at-trx-commit=0"),
                            QStringLiteral("--max-allowed-packet=64M")}
                               + m_extraArguments,
                           m_dir + QStringLiteral("/server.log"), QString());
    if (pid <= 0)
        return -1;
    for (int i = 0; i < 600; ++i) {
        int status = 0;
        if (::waitpid(pid_t(pid), &status, WNOHANG) == pid)
            return 0; // it ended: most likely the port was taken meanwhile
        if (runProgram(admin, {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + socketPath(),
                               QStringLiteral("-uroot"), QStringLiteral("ping")})
            == 0)
            return pid;
        QThread::msleep(50);
    }
    ::kill(pid_t(pid), SIGKILL);
    ::waitpid(pid_t(pid), nullptr, 0);
    return 0;
}

void PrivateServer::kill()
{
    if (m_pid <= 0)
        return;
    ::kill(pid_t(m_pid), SIGKILL);
    ::waitpid(pid_t(m_pid), nullptr, 0);
    m_pid = 0;
}

void PrivateServer::pause()
{
    if (m_pid > 0)
        ::kill(pid_t(m_pid), SIGSTOP);
}

void PrivateServer::resume()
{
    if (m_pid > 0)
        ::kill(pid_t(m_pid), SIGCONT);
}

bool PrivateServer::restart(QString *error)
{
    if (m_pid > 0)
        return true;
    if (m_dir.isEmpty()) {
        if (error)
            *error = QStringLiteral("the server was never started");
        return false;
    }
    m_pid = launch();
    if (m_pid <= 0) {
        m_pid = 0;
        if (error)
            *error = QStringLiteral("mariadbd did not come back: ") + readAll(m_dir + QStringLiteral("/server.log"));
        return false;
    }
    return true;
}

void PrivateServer::stop()
{
    if (m_pid > 0) {
        runProgram(findProgram(QStringLiteral("mariadb-admin")),
                   {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + socketPath(),
                    QStringLiteral("-uroot"), QStringLiteral("shutdown")});
        int status = 0;
        bool ended = false;
        for (int i = 0; i < 200 && !ended; ++i) {
            ended = ::waitpid(pid_t(m_pid), &status, WNOHANG) == m_pid;
            if (!ended)
                QThread::msleep(50);
        }
        if (!ended) {
            ::kill(pid_t(m_pid), SIGKILL);
            ::waitpid(pid_t(m_pid), &status, 0);
        }
        m_pid = 0;
    }
    if (!m_dir.isEmpty()) {
        std::error_code ec;
        std::filesystem::remove_all(QFile::encodeName(m_dir).toStdString(), ec);
        m_dir.clear();
    }
}

bool PrivateServer::sql(const QString &statements, QString *output, QString *error) const
{
    char name[] = "/tmp/quarnel-sql-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0)
        return false;
    const QByteArray bytes = statements.toUtf8();
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    ::close(fd);
    QString out;
    const int code = written
        ? runProgram(findProgram(QStringLiteral("mariadb")),
                     {QStringLiteral("--no-defaults"), QStringLiteral("--socket=") + socketPath(),
                      QStringLiteral("-uroot"), QStringLiteral("--batch"),
                      QStringLiteral("--default-character-set=utf8mb4")},
                     &out, QString::fromLocal8Bit(name))
        : -1;
    ::unlink(name);
    if (code == 0 && output)
        *output = out;
    if (code != 0 && error)
        *error = out;
    return code == 0;
}
