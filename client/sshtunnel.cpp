#include "client/sshtunnel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <libssh/libssh.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

// What the window's thread and the tunnel's thread share: the socket to the
// SSH server (shut down to break off a call that waits on it) and the pipe
// that wakes the pumping loop to end it.
struct TSshTunnel::Run
{
    std::mutex mutex;
    int serverSocket = -1;
    std::vector<int> clientSockets; // the forwarded connections
    bool stopping = false;
    int wake[2] = {-1, -1};

    ~Run()
    {
        for (int fd : wake)
            if (fd >= 0)
                ::close(fd);
    }
    bool stopRequested()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return stopping;
    }
};

namespace {

QString errnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool sendAll(int fd, const char *data, int size)
{
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        size -= int(sent);
    }
    return true;
}

// Connects to host:port, giving up after timeoutMs or when the wake pipe
// is written. Returns the socket, or -1 with *error set.
int connectTo(const QString &host, int port, int timeoutMs, int wakeFd, QString *error)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const QByteArray portText = QByteArray::number(port);
    const int resolved = ::getaddrinfo(host.toUtf8().constData(), portText.constData(), &hints, &found);
    if (resolved != 0) {
        *error = QStringLiteral("unknown host (%1)").arg(QString::fromLocal8Bit(::gai_strerror(resolved)));
        return -1;
    }
    int result = -1;
    for (addrinfo *a = found; a && result < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            *error = errnoText(errno);
            continue;
        }
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS) {
            pollfd fds[2] = {{fd, POLLOUT, 0}, {wakeFd, POLLIN, 0}};
            int ready;
            do
                ready = ::poll(fds, 2, timeoutMs);
            while (ready < 0 && errno == EINTR);
            int soError = 0;
            socklen_t length = sizeof soError;
            if (ready == 0) {
                *error = QStringLiteral("no answer within %1 seconds").arg(timeoutMs / 1000);
            } else if (fds[1].revents) {
                *error = QStringLiteral("cancelled");
            } else if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0 && soError == 0) {
                // libssh waits on the socket itself.
                ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
                result = fd;
                continue;
            } else {
                *error = errnoText(soError ? soError : errno);
            }
        } else {
            *error = errnoText(errno);
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return result;
}

// Listens on 127.0.0.1 at a free port.
int listenOnLoopback(quint16 *port, QString *error)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errnoText(errno);
        return -1;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        *error = errnoText(errno);
        ::close(fd);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return fd;
}

struct Forward
{
    int fd = -1;
    ssh_channel channel = nullptr;
};

void closeForward(Forward &forward)
{
    if (forward.channel) {
        if (ssh_channel_is_open(forward.channel))
            ssh_channel_close(forward.channel);
        ssh_channel_free(forward.channel);
        forward.channel = nullptr;
    }
    if (forward.fd >= 0) {
        ::close(forward.fd);
        forward.fd = -1;
    }
}

QString sessionError(ssh_session session)
{
    return QString::fromUtf8(ssh_get_error(session));
}

} // namespace

TSshTunnel::TSshTunnel(QObject *parent)
    : QObject(parent)
{
}

TSshTunnel::~TSshTunnel()
{
    Close();
}

QString TSshTunnel::DefaultKnownHostsFile()
{
    const QString named = qEnvironmentVariable("QUARNEL_SSH_KNOWN_HOSTS");
    if (!named.isEmpty())
        return named;
    return QDir::homePath() + QStringLiteral("/.ssh/known_hosts");
}

QString TSshTunnel::Description() const
{
    return QStringLiteral("%1@%2:%3").arg(m_settings.User, m_settings.Host).arg(m_settings.Port);
}

void TSshTunnel::post(quint64 generation, std::function<void()> what)
{
    // Queued to the owner's thread; dropped there when the tunnel was
    // closed or opened again in the meantime, or when it is gone.
    QMetaObject::invokeMethod(
        this,
        [this, generation, what = std::move(what)] {
            if (generation == m_generation)
                what();
        },
        Qt::QueuedConnection);
}

void TSshTunnel::Close()
{
    if (m_thread.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_run->mutex);
            m_run->stopping = true;
            // A call waiting on the SSH server returns at once.
            if (m_run->serverSocket >= 0)
                ::shutdown(m_run->serverSocket, SHUT_RDWR);
            // ... and so does one writing to a local client that reads nothing.
            for (int client : m_run->clientSockets)
                ::shutdown(client, SHUT_RDWR);
        }
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_run->wake[1], &byte, 1);
        m_thread.join();
    }
    m_run.reset();
    ++m_generation;
    m_localPort = 0;
}

void TSshTunnel::Open(const TSshTunnelSettings &settings)
{
    Close();
    m_settings = settings;
    if (m_settings.KnownHostsFile.isEmpty())
        m_settings.KnownHostsFile = DefaultKnownHostsFile();
    auto run = std::make_shared<Run>();
    if (::pipe2(run->wake, O_CLOEXEC) != 0) {
        const QString message = QStringLiteral("The SSH tunnel could not start: ") + errnoText(errno);
        post(m_generation, [this, message] { Q_EMIT failed(message); });
        return;
    }
    m_run = run;
    const quint64 generation = m_generation;
    const TSshTunnelSettings s = m_settings;
    const QString server = Description();

    m_thread = std::thread([this, run, generation, s, server] {
        const int timeoutSeconds = s.Timeout > 0 ? int(s.Timeout) : 30;
        const auto fail = [&](const QString &message) {
            if (!run->stopRequested())
                post(generation, [this, message] { Q_EMIT failed(message); });
        };

        QString error;
        const int fd = connectTo(s.Host, s.Port, timeoutSeconds * 1000, run->wake[0], &error);
        if (fd < 0) {
            fail(QStringLiteral("Could not reach the SSH server %1: %2").arg(server, error));
            return;
        }
        {
            std::lock_guard<std::mutex> lock(run->mutex);
            run->serverSocket = fd;
            if (run->stopping)
                ::shutdown(fd, SHUT_RDWR);
        }
        ssh_session session = ssh_new();
        const auto end = [&] {
            if (session) {
                ssh_disconnect(session);
                ssh_free(session);
            }
            std::lock_guard<std::mutex> lock(run->mutex);
            run->serverSocket = -1;
            ::close(fd);
        };
        const QByteArray host = s.Host.toUtf8();
        const QByteArray user = s.User.toUtf8();
        const QByteArray knownHosts = QFile::encodeName(s.KnownHostsFile);
        const unsigned int port = unsigned(s.Port);
        const long timeout = timeoutSeconds;
        const int off = 0;
        // A socket given to libssh stays ours to close (end()).
        socket_t socket = fd;
        ssh_options_set(session, SSH_OPTIONS_FD, &socket);
        ssh_options_set(session, SSH_OPTIONS_HOST, host.constData());
        ssh_options_set(session, SSH_OPTIONS_PORT, &port);
        ssh_options_set(session, SSH_OPTIONS_USER, user.constData());
        ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.constData());
        ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &timeout);
        // The profile says everything; the user's ssh configuration does not
        // take part.
        ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &off);
        if (ssh_connect(session) != SSH_OK) {
            fail(QStringLiteral("Could not connect to the SSH server %1: %2").arg(server, sessionError(session)));
            end();
            return;
        }

        // The host key.
        ssh_key serverKey = nullptr;
        if (ssh_get_server_publickey(session, &serverKey) != SSH_OK) {
            fail(QStringLiteral("The SSH server %1 showed no host key: %2").arg(server, sessionError(session)));
            end();
            return;
        }
        const QString keyType = QString::fromLatin1(ssh_key_type_to_char(ssh_key_type(serverKey)));
        QString fingerprint;
        unsigned char *hash = nullptr;
        size_t hashLength = 0;
        if (ssh_get_publickey_hash(serverKey, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength) == 0) {
            char *text = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength);
            fingerprint = QString::fromLatin1(text);
            ssh_string_free_char(text);
            ssh_clean_pubkey_hash(&hash);
        }
        ssh_key_free(serverKey);
        switch (ssh_session_is_known_server(session)) {
        case SSH_KNOWN_HOSTS_OK:
            break;
        case SSH_KNOWN_HOSTS_CHANGED:
        case SSH_KNOWN_HOSTS_OTHER: {
            const QString message =
                QStringLiteral("WARNING: the host key of the SSH server %1 has changed (now %2 %3). It does not "
                               "match the key recorded in %4, so someone may be intercepting the connection. The "
                               "login was refused; if the server's key was changed on purpose, remove its old "
                               "line from that file.")
                    .arg(s.Host + QLatin1Char(':') + QString::number(s.Port), keyType, fingerprint,
                         s.KnownHostsFile);
            if (!run->stopRequested())
                post(generation, [this, message] { Q_EMIT hostKeyChanged(message); });
            end();
            return;
        }
        case SSH_KNOWN_HOSTS_NOT_FOUND:
        case SSH_KNOWN_HOSTS_UNKNOWN:
            if (fingerprint.isEmpty() || s.AcceptFingerprint != fingerprint) {
                if (!run->stopRequested())
                    post(generation, [this, keyType, fingerprint] { Q_EMIT hostKeyUnknown(keyType, fingerprint); });
                end();
                return;
            }
            QDir().mkpath(QFileInfo(s.KnownHostsFile).absolutePath());
            if (ssh_session_update_known_hosts(session) != SSH_OK) {
                fail(QStringLiteral("The host key of the SSH server %1 could not be added to %2: %3")
                         .arg(server, s.KnownHostsFile, sessionError(session)));
                end();
                return;
            }
            break;
        case SSH_KNOWN_HOSTS_ERROR:
        default:
            fail(QStringLiteral("The host key of the SSH server %1 could not be checked against %2: %3")
                     .arg(server, s.KnownHostsFile, sessionError(session)));
            end();
            return;
        }

        // The login.
        int auth = SSH_AUTH_DENIED;
        QString refused;
        if (!s.KeyFile.isEmpty()) {
            ssh_key key = nullptr;
            const QByteArray path = QFile::encodeName(s.KeyFile);
            const QByteArray passphrase = s.Passphrase.toUtf8();
            if (ssh_pki_import_privkey_file(path.constData(), s.Passphrase.isEmpty() ? nullptr : passphrase.constData(),
                                            nullptr, nullptr, &key)
                != SSH_OK) {
                refused = QStringLiteral("the key file %1 could not be read (missing, not a private key, or a "
                                         "wrong passphrase)")
                              .arg(s.KeyFile);
            } else {
                auth = ssh_userauth_publickey(session, nullptr, key);
                ssh_key_free(key);
                if (auth != SSH_AUTH_SUCCESS)
                    refused = QStringLiteral("the key %1 was refused").arg(s.KeyFile);
            }
        }
        if (auth != SSH_AUTH_SUCCESS && !s.Password.isEmpty()) {
            auth = ssh_userauth_password(session, nullptr, s.Password.toUtf8().constData());
            if (auth != SSH_AUTH_SUCCESS)
                refused = QStringLiteral("the password was refused");
        }
        if (auth != SSH_AUTH_SUCCESS && s.KeyFile.isEmpty() && s.Password.isEmpty()) {
            auth = ssh_userauth_publickey_auto(session, nullptr, nullptr);
            if (auth != SSH_AUTH_SUCCESS)
                refused = QStringLiteral("no key file or password is given, and no key of the user was accepted");
        }
        if (auth != SSH_AUTH_SUCCESS) {
            fail(QStringLiteral("The SSH server %1 refused the login: %2").arg(server, refused));
            end();
            return;
        }

        quint16 localPort = 0;
        const int listener = listenOnLoopback(&localPort, &error);
        if (listener < 0) {
            fail(QStringLiteral("The SSH tunnel could not listen on 127.0.0.1: ") + error);
            end();
            return;
        }
        if (run->stopRequested()) {
            ::close(listener);
            end();
            return;
        }
        post(generation, [this, localPort] {
            m_localPort = localPort;
            Q_EMIT opened(localPort);
        });

        // Pumping: each connection to the local port is a channel of its own.
        const QByteArray target = s.TargetHost.toUtf8();
        std::vector<Forward> forwards;
        const auto closeClient = [&](Forward &forward) {
            {
                std::lock_guard<std::mutex> lock(run->mutex);
                auto &clients = run->clientSockets;
                clients.erase(std::remove(clients.begin(), clients.end(), forward.fd), clients.end());
            }
            closeForward(forward);
        };
        std::vector<char> buffer(64 * 1024);
        QString droppedReason;
        ssh_event event = ssh_event_new();
        ssh_event_add_session(event, session);
        for (;;) {
            std::vector<pollfd> fds;
            fds.push_back({run->wake[0], POLLIN, 0});
            fds.push_back({listener, POLLIN, 0});
            fds.push_back({fd, POLLIN, 0});
            for (const Forward &f : forwards)
                fds.push_back({f.fd, POLLIN, 0});
            // Data already read into a channel shows only to libssh; a short
            // wait keeps it from lying there.
            const int ready = ::poll(fds.data(), nfds_t(fds.size()), 100);
            if (ready < 0 && errno != EINTR) {
                droppedReason = errnoText(errno);
                break;
            }
            if (fds[0].revents)
                break; // closed by the owner
            if (fds[2].revents && ssh_event_dopoll(event, 0) == SSH_ERROR) {
                droppedReason = sessionError(session);
                break;
            }
            if (!ssh_is_connected(session)) {
                droppedReason = sessionError(session);
                break;
            }
            if (fds[1].revents & POLLIN) {
                sockaddr_in peer{};
                socklen_t length = sizeof peer;
                const int client = ::accept4(listener, reinterpret_cast<sockaddr *>(&peer), &length, SOCK_CLOEXEC);
                if (client >= 0) {
                    Forward forward;
                    forward.fd = client;
                    {
                        std::lock_guard<std::mutex> lock(run->mutex);
                        run->clientSockets.push_back(client);
                    }
                    forward.channel = ssh_channel_new(session);
                    if (!forward.channel
                        || ssh_channel_open_forward(forward.channel, target.constData(), s.TargetPort, "127.0.0.1",
                                                    ntohs(peer.sin_port))
                               != SSH_OK) {
                        const QString message =
                            QStringLiteral("The SSH server %1 could not open a connection to %2:%3: %4")
                                .arg(server, s.TargetHost)
                                .arg(s.TargetPort)
                                .arg(sessionError(session));
                        post(generation, [this, message] { Q_EMIT forwardFailed(message); });
                        closeClient(forward);
                    } else {
                        forwards.push_back(forward);
                    }
                }
            }
            bool sessionBroken = false;
            for (size_t i = 0; i < forwards.size(); ++i) {
                Forward &f = forwards[i];
                bool done = false;
                // From the local client to the server.
                if (fds[3 + i].revents) {
                    ssize_t n;
                    do
                        n = ::recv(f.fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
                    while (n < 0 && errno == EINTR);
                    if (n > 0) {
                        if (ssh_channel_write(f.channel, buffer.data(), uint32_t(n)) != n) {
                            done = true;
                            sessionBroken = !ssh_is_connected(session);
                        }
                    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                        ssh_channel_send_eof(f.channel);
                        done = true;
                    }
                }
                // From the server to the local client.
                while (!done) {
                    const int n = ssh_channel_read_nonblocking(f.channel, buffer.data(), uint32_t(buffer.size()), 0);
                    if (n > 0) {
                        if (!sendAll(f.fd, buffer.data(), n))
                            done = true;
                        continue;
                    }
                    if (n == SSH_ERROR || ssh_channel_is_eof(f.channel) || ssh_channel_is_closed(f.channel)) {
                        done = true;
                        sessionBroken = !ssh_is_connected(session);
                    }
                    break;
                }
                if (done) {
                    closeClient(f);
                    forwards.erase(forwards.begin() + long(i));
                    --i;
                    // The poll results no longer line up: pump again next round.
                    break;
                }
            }
            if (sessionBroken) {
                droppedReason = sessionError(session);
                break;
            }
        }
        for (Forward &f : forwards)
            closeClient(f);
        ::close(listener);
        ssh_event_remove_session(event, session);
        ssh_event_free(event);
        end();
        if (!run->stopRequested()) {
            const QString message =
                QStringLiteral("The SSH tunnel through %1 was closed%2")
                    .arg(server, droppedReason.isEmpty() ? QString() : QStringLiteral(": ") + droppedReason);
            post(generation, [this, message] {
                m_localPort = 0;
                Q_EMIT dropped(message);
            });
        }
    });
}
