#include "tests/support/galeracluster.h"

#include "tests/support/privateserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

namespace {

// Free ports on 127.0.0.1, all held until every one is chosen so that no
// two are the same.
QList<int> freePorts(int count)
{
    QList<int> ports;
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            ports.append(ntohs(addr.sin_port));
        fds.push_back(fd);
    }
    for (int fd : fds)
        ::close(fd);
    return ports;
}

QString tail(const QString &file)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray all = f.readAll();
    return QString::fromUtf8(all.right(3000));
}

} // namespace

GaleraCluster::GaleraCluster(int nodes)
{
    m_nodes.resize(nodes);
}

GaleraCluster::~GaleraCluster()
{
    for (int i = 0; i < size(); ++i)
        kill(i);
    if (!m_dir.isEmpty()) {
        std::error_code ec;
        std::filesystem::remove_all(QFile::encodeName(m_dir).toStdString(), ec);
    }
}

QString GaleraCluster::providerPath()
{
    for (const char *path : {"/usr/lib/galera/libgalera_smm.so", "/usr/lib/libgalera_smm.so",
                             "/usr/lib64/galera-4/libgalera_smm.so"}) {
        if (QFileInfo::exists(QLatin1String(path)))
            return QLatin1String(path);
    }
    return QString();
}

bool GaleraCluster::start(QString *error)
{
    const auto fail = [error](const QString &message) {
        if (error)
            *error = message;
        return false;
    };
    if (providerPath().isEmpty())
        return fail(QStringLiteral("galera-4 is not installed"));
    const QString installDb = PrivateServer::findProgram(QStringLiteral("mariadb-install-db"));
    if (installDb.isEmpty() || PrivateServer::findProgram(QStringLiteral("mariadbd")).isEmpty())
        return fail(QStringLiteral("mariadb-server is not installed"));
    char tmpl[] = "/tmp/quarnel-galera-XXXXXX";
    if (!::mkdtemp(tmpl))
        return fail(QStringLiteral("cannot create a temporary folder"));
    m_dir = QString::fromLocal8Bit(tmpl);
    // The state transfer's rsync daemon runs as "nobody": it must reach the
    // joiners' data folders and own them.
    QFile::setPermissions(m_dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                     | QFileDevice::ExeGroup | QFileDevice::ExeOther);
    const QList<int> ports = freePorts(4 * size());
    if (ports.size() != 4 * size())
        return fail(QStringLiteral("no free ports"));
    const passwd *nobody = ::getpwnam("nobody");
    for (int i = 0; i < size(); ++i) {
        Node &node = m_nodes[i];
        node.dir = m_dir + QStringLiteral("/node") + QString::number(i + 1);
        node.port = ports.at(4 * i);
        node.groupPort = ports.at(4 * i + 1);
        node.istPort = ports.at(4 * i + 2);
        node.sstPort = ports.at(4 * i + 3);
        if (!QDir().mkpath(node.dir + QStringLiteral("/tmp")) || !QDir().mkpath(node.dir + QStringLiteral("/data")))
            return fail(QStringLiteral("cannot create the node's folders"));
        QFile::setPermissions(node.dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                            | QFileDevice::ExeGroup | QFileDevice::ExeOther);
        if (i > 0 && nobody)
            ::chown(QFile::encodeName(node.dir + QStringLiteral("/data")).constData(), nobody->pw_uid, nobody->pw_gid);
    }
    QString out;
    const Node &first = m_nodes.first();
    if (runProgram(installDb, {QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + first.dir + QStringLiteral("/data"),
                               QStringLiteral("--tmpdir=") + first.dir + QStringLiteral("/tmp"), QStringLiteral("--user=root"),
                               QStringLiteral("--auth-root-authentication-method=normal"),
                               QStringLiteral("--skip-test-db")},
                   &out) != 0)
        return fail(QStringLiteral("mariadb-install-db failed: ") + out);
    if (!startNode(0, true, error))
        return false;
    QString sqlError;
    if (!sql(0, QStringLiteral("CREATE USER '%1'@'%' IDENTIFIED BY '%2'; GRANT ALL PRIVILEGES ON *.* TO '%1'@'%';")
                    .arg(PrivateServer::user(), PrivateServer::password()),
             nullptr, &sqlError))
        return fail(QStringLiteral("cannot create the test account: ") + sqlError);
    for (int i = 1; i < size(); ++i) {
        if (!startNode(i, false, error))
            return false;
    }
    return true;
}

bool GaleraCluster::startNode(int index, bool bootstrap, QString *error)
{
    Node &node = m_nodes[index];
    QStringList members;
    for (const Node &other : std::as_const(m_nodes))
        members.append(QStringLiteral("127.0.0.1:") + QString::number(other.groupPort));
    QStringList arguments = {
        QStringLiteral("--no-defaults"), QStringLiteral("--datadir=") + node.dir + QStringLiteral("/data"),
        QStringLiteral("--socket=") + node.dir + QStringLiteral("/sock"),
        QStringLiteral("--tmpdir=") + node.dir + QStringLiteral("/tmp"),
        QStringLiteral("--port=") + QString::number(node.port), QStringLiteral("--bind-address=127.0.0.1"),
        QStringLiteral("--user=root"), QStringLiteral("--pid-file=") + node.dir + QStringLiteral("/pid"),
        QStringLiteral("--skip-name-resolve"), QStringLiteral("--innodb-buffer-pool-size=64M"),
        QStringLiteral("--binlog-format=ROW"), QStringLiteral("--wsrep-on=ON"),
        QStringLiteral("--wsrep-provider=") + providerPath(),
        QStringLiteral("--wsrep-cluster-address=gcomm://") + members.join(QLatin1Char(',')),
        QStringLiteral("--wsrep-node-address=127.0.0.1"),
        QStringLiteral("--wsrep-node-incoming-address=127.0.0.1:") + QString::number(node.port),
        QStringLiteral("--wsrep-sst-receive-address=127.0.0.1:") + QString::number(node.sstPort),
        QStringLiteral("--wsrep-provider-options=gmcast.listen_addr=tcp://127.0.0.1:%1;ist.recv_addr=127.0.0.1:%2;"
                       "pc.recovery=false;gcache.size=16M")
            .arg(node.groupPort)
            .arg(node.istPort)};
    if (bootstrap)
        arguments.append(QStringLiteral("--wsrep-new-cluster"));
    const QString log = node.dir + QStringLiteral("/server.log");
    node.pid = SpawnProcess(PrivateServer::findProgram(QStringLiteral("mariadbd")), arguments, log);
    if (node.pid <= 0) {
        node.pid = 0;
        if (error)
            *error = QStringLiteral("cannot start mariadbd");
        return false;
    }
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        int statusCode = 0;
        if (::waitpid(pid_t(node.pid), &statusCode, WNOHANG) == node.pid) {
            node.pid = 0;
            if (error)
                *error = QStringLiteral("node %1 ended: ").arg(index + 1) + tail(log);
            return false;
        }
        if (status(index, QStringLiteral("wsrep_local_state_comment")) == QLatin1String("Synced"))
            return true;
        QThread::msleep(100);
    }
    if (error)
        *error = QStringLiteral("node %1 did not synchronise: ").arg(index + 1) + tail(log);
    return false;
}

void GaleraCluster::kill(int node)
{
    if (node < 0 || node >= size() || m_nodes[node].pid <= 0)
        return;
    ::kill(pid_t(m_nodes[node].pid), SIGKILL);
    ::waitpid(pid_t(m_nodes[node].pid), nullptr, 0);
    m_nodes[node].pid = 0;
}

bool GaleraCluster::sql(int node, const QString &statements, QString *output, QString *error) const
{
    const QString client = PrivateServer::findProgram(QStringLiteral("mariadb"));
    if (client.isEmpty() || node < 0 || node >= size())
        return false;
    QString out;
    const int code = runProgram(client,
                                {QStringLiteral("--no-defaults"),
                                 QStringLiteral("--socket=") + m_nodes[node].dir + QStringLiteral("/sock"),
                                 QStringLiteral("-uroot"), QStringLiteral("-e"), statements},
                                &out);
    if (code != 0) {
        if (error)
            *error = out;
        return false;
    }
    if (output)
        *output = out;
    return true;
}

QString GaleraCluster::status(int node, const QString &name) const
{
    QString out;
    if (!sql(node, QStringLiteral("SHOW STATUS LIKE '%1'").arg(name), &out))
        return QString();
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return lines.size() >= 2 ? lines.at(1).section(QLatin1Char('\t'), 1) : QString();
}
