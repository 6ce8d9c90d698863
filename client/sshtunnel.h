#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <thread>

// Where a tunnel goes and how it logs in.
struct TSshTunnelSettings
{
    QString Host;
    int Port = 22;
    QString User;
    // A private key file, with its passphrase when it has one; or a password.
    // Neither: the keys of the user's agent and ~/.ssh.
    QString KeyFile;
    QString Passphrase;
    QString Password;
    // The known hosts the server's key is checked against; empty:
    // TSshTunnel::DefaultKnownHostsFile().
    QString KnownHostsFile;
    // The database server as the SSH server sees it.
    QString TargetHost;
    int TargetPort = 3306;
    // Seconds the SSH server may take to answer; 0: 30.
    unsigned int Timeout = 0;
    // "SHA256:..." of a host key the user accepted: a server that shows
    // this key, and no recorded one, has it added to the known hosts.
    QString AcceptFingerprint;
};

// A local port on 127.0.0.1 forwarded through an SSH server to a database
// server. Connecting, the host key check, the login and the pumping of every
// forwarded connection run on a thread of the tunnel's own; the outcomes
// arrive as signals on the thread that owns the tunnel.
class TSshTunnel : public QObject
{
    Q_OBJECT

public:
    explicit TSshTunnel(QObject *parent = nullptr);
    ~TSshTunnel() override;

    // Closes what is open and starts opening: opened, failed, hostKeyUnknown
    // or hostKeyChanged follows.
    void Open(const TSshTunnelSettings &settings);
    // Ends the tunnel and every connection through it; returns at once even
    // while the SSH server has not answered yet. No signal follows.
    void Close();

    bool IsOpen() const { return m_localPort != 0; }
    bool IsBusy() const { return m_thread.joinable(); }
    // The forwarded port on 127.0.0.1 while open; 0 otherwise.
    quint16 LocalPort() const { return m_localPort; }
    // "user@host:port" of the SSH server of the last Open.
    QString Description() const;
    const TSshTunnelSettings &Settings() const { return m_settings; }

    // $QUARNEL_SSH_KNOWN_HOSTS, or ~/.ssh/known_hosts.
    static QString DefaultKnownHostsFile();

Q_SIGNALS:
    void opened(quint16 localPort);
    // Could not reach or log in to the SSH server; nothing is open.
    void failed(const QString &message);
    // The server's key is not in the known hosts. Open again with
    // AcceptFingerprint set to let it in.
    void hostKeyUnknown(const QString &keyType, const QString &fingerprint);
    // The server's key differs from the one recorded: refused.
    void hostKeyChanged(const QString &message);
    // The SSH session ended while open; every forwarded connection is closed.
    void dropped(const QString &message);
    // The SSH server could not open a forwarded connection to the target.
    void forwardFailed(const QString &message);

private:
    struct Run;
    void post(quint64 generation, std::function<void()> what);

    TSshTunnelSettings m_settings;
    std::shared_ptr<Run> m_run;
    std::thread m_thread;
    quint64 m_generation = 0;
    quint16 m_localPort = 0;
};
