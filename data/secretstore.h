#pragma once

#include <QString>

#include <memory>

// The secrets of a server profile, each kept apart from the profile's other
// values wherever the desktop offers a keychain.
enum class SecretKind {
    Password,      // the login password ("password")
    SshPassword,   // the SSH tunnel's password ("ssh-password")
    SshPassphrase, // the passphrase of the SSH tunnel's key ("ssh-passphrase")
};

// The kind as it names the secret in the keychain.
QString SecretKindName(SecretKind kind);

// Reads, writes and removes the secrets of profiles by profile name and kind.
// Each call finishes before it returns; the calls that go to the desktop's
// keychain wait in a local event loop (window repaints go on, user input
// waits) for at most the store's timeout. A call that fails returns false
// and leaves errorString() saying why.
class SecretStore
{
public:
    virtual ~SecretStore();

    // Where the secrets are kept, as the user would say it.
    virtual QString where() const = 0;

    // found: false when the profile has no secret of that kind (not an error).
    virtual bool read(const QString &profile, SecretKind kind, QString *value, bool *found) = 0;
    virtual bool write(const QString &profile, SecretKind kind, const QString &value) = 0;
    // Removing a secret that is not there succeeds.
    virtual bool remove(const QString &profile, SecretKind kind) = 0;

    // Every secret of a profile, whatever its kind.
    bool removeAll(const QString &profile);
    // Moves every secret of one profile to another name; what the new name
    // held before is replaced. Stops at the first failure, keeping the old
    // name's secret that could not be moved.
    bool rename(const QString &from, const QString &to);

    QString errorString() const { return m_error; }

protected:
    void setErrorString(const QString &text) { m_error = text; }

private:
    QString m_error;
};

// The desktop's keychain (a Secret Service such as GNOME Keyring, or
// KWallet), reached through QtKeychain. service: the name the entries are
// filed under; each entry is named kind@profile.
//
// Returns nothing when no keychain answers: no session bus, no keychain
// service on it, QUARNEL_KEYCHAIN set to "0" or "off", or a keychain that
// fails a first harmless read, or a first write (of an entry "probe@", removed
// again), within probeTimeoutMs. Without a session bus
// this returns at once, without any D-Bus call.
std::unique_ptr<SecretStore> OpenDesktopKeychain(const QString &service, int timeoutMs = 30000,
                                                 int probeTimeoutMs = 5000);
