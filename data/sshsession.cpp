// The data module's side of a profile's SSH tunnel: the tunnel opens before
// the client connects, and its end is the end of the session.

#include "client/mySQLClient.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"

void TDMstd::setUpSshTunnel()
{
    m_tunnel = new TSshTunnel(this);
    m_tunnel->setObjectName(QStringLiteral("SshTunnel"));
    connect(m_tunnel, &TSshTunnel::opened, this, [this](quint16 port) {
        m_sshThrough = m_tunnel->Description();
        m_client->setHostname(QStringLiteral("127.0.0.1"));
        m_client->setPort(port);
        m_client->Connect();
    });
    connect(m_tunnel, &TSshTunnel::failed, this, [this](const QString &message) {
        m_sshThrough.clear();
        log(message);
        restoreCursor();
    });
    connect(m_tunnel, &TSshTunnel::hostKeyUnknown, this, [this](const QString &keyType, const QString &fingerprint) {
        m_sshThrough.clear();
        restoreCursor();
        m_sshAsking = m_tunnel->Settings();
        Q_EMIT sshHostKeyUnknown(m_sshAsking.Host + QLatin1Char(':') + QString::number(m_sshAsking.Port), keyType,
                                 fingerprint);
    });
    connect(m_tunnel, &TSshTunnel::hostKeyChanged, this, [this](const QString &message) {
        m_sshThrough.clear();
        log(message);
        restoreCursor();
        Q_EMIT errorRaised(message);
    });
    connect(m_tunnel, &TSshTunnel::forwardFailed, this, [this](const QString &message) { log(message); });
    connect(m_tunnel, &TSshTunnel::dropped, this, [this](const QString &message) {
        log(message);
        // The client's connection went with the tunnel: the session is lost
        // whether or not a statement noticed it yet.
        if (m_client->Connected())
            lostConnection();
    });
}

bool TDMstd::checkSshProfile(const TServerProfile &profile)
{
    bool ok = false;
    const int port = profile.SshPort.trimmed().toInt(&ok);
    if (!ok || port <= 0 || port > 65535) {
        Q_EMIT errorRaised(QStringLiteral("'%1' is not a valid SSH port number").arg(profile.SshPort));
        return false;
    }
    if (profile.SshHost.trimmed().isEmpty() || profile.SshUser.trimmed().isEmpty()) {
        Q_EMIT errorRaised(QStringLiteral("The SSH tunnel needs the SSH host and the SSH user"));
        return false;
    }
    return true;
}

void TDMstd::openSshTunnel(const TServerProfile &profile, int port)
{
    TSshTunnelSettings settings;
    settings.Host = profile.SshHost.trimmed();
    settings.Port = profile.SshPort.trimmed().toInt();
    settings.User = profile.SshUser.trimmed();
    settings.KeyFile = profile.SshKeyFile;
    settings.Passphrase = profile.SshPassphrase;
    settings.Password = profile.SshPassword;
    settings.TargetHost = profile.Host;
    settings.TargetPort = port;
    settings.Timeout = m_client->ConnectTimeout();
    m_sshThrough.clear();
    m_sshAsking = TSshTunnelSettings();
    m_tunnel->Open(settings);
}

void TDMstd::AcceptSshHostKey(const QString &fingerprint)
{
    if (m_sshAsking.Host.isEmpty() || fingerprint.isEmpty())
        return;
    TSshTunnelSettings settings = m_sshAsking;
    m_sshAsking = TSshTunnelSettings();
    // Only this key is let in: a server that shows another one by now is
    // asked about again.
    settings.AcceptFingerprint = fingerprint;
    m_tunnel->Open(settings);
}

void TDMstd::RefuseSshHostKey()
{
    if (m_sshAsking.Host.isEmpty())
        return;
    log(QStringLiteral("The host key of the SSH server %1:%2 was not accepted; the login was cancelled.")
            .arg(m_sshAsking.Host)
            .arg(m_sshAsking.Port));
    m_sshAsking = TSshTunnelSettings();
}
