#pragma once

#include <QString>
#include <QTemporaryDir>

// A desktop keychain of the test's own: a D-Bus session bus (dbus-daemon)
// and GNOME Keyring's Secret Service on it, unlocked with a known password,
// keeping its keyrings in a temporary home. The user's own bus and keyring
// are never touched. Both processes are stopped by their pids.
//
// startBus points DBUS_SESSION_BUS_ADDRESS of this process at the private
// bus (and the keyring's XDG folders at the temporary home); the address must
// be set before anything in the process talks to a session bus, since Qt and
// GLib each keep the first connection they make.
class PrivateKeyring
{
public:
    PrivateKeyring();
    ~PrivateKeyring();
    PrivateKeyring(const PrivateKeyring &) = delete;
    PrivateKeyring &operator=(const PrivateKeyring &) = delete;

    bool startBus(QString *error = nullptr);
    // The Secret Service on the bus; returns once it has taken its name.
    // Without unlocking it has no keyring yet: making one asks the user.
    bool startKeyring(QString *error = nullptr, bool unlocked = true);
    void stop();

    QString busAddress() const { return m_address; }

private:
    QTemporaryDir m_home;
    QString m_address;
    long m_busPid = 0;
    long m_keyringPid = 0;
};
