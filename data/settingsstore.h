#pragma once

#include <QRect>
#include <QSettings>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <stdexcept>

// One configured server; Host is the name of its settings section.
struct TServerProfile
{
    QString Host;
    QString User;
    QString Psw;
    QString Database;
    QString Port; // text; converted only when connecting
    bool Group = false;
    bool Check = false;
    bool Auto = false;
    // How the connection is secured: "Off", "Preferred", "Required",
    // "VerifyCA" or "VerifyIdentity"; the files are paths, empty for none.
    // A profile without these keys reads as "Off", and an "Off" profile
    // writes none of them.
    QString TlsMode = QStringLiteral("Off");
    QString TlsCA;
    QString TlsCert;
    QString TlsKey;
};

// The program's persistent settings, held once for the whole run.
struct TProgramSettings
{
    int Left = 50;
    int Top = 50;
    int Width = 640;
    int Height = 480;
    bool Max = false;
    QString DBL = QStringLiteral("100");
    bool DBHL = false;
    QString start; // defaults: LocalServer::defaultStartCommand()
    QString stop;  // and LocalServer::defaultStopCommand()
    // Seconds a login may wait for the server before it fails, as text like
    // the other numbers; "0": the client library's own limit.
    QString ConnectTimeout = QStringLiteral("10");
    // What the grids show in a NULL cell (in grey italics); empty: NULL
    // looks like an empty text.
    QString NullText;
};

// A write or key creation that the store refused; the message names the value.
class SettingsWriteError : public std::runtime_error
{
public:
    explicit SettingsWriteError(const QString &name);
    QString name() const { return m_name; }

private:
    QString m_name;
};

// The per-user store: the key "Quarnel2" with the program values and one
// section per server. On Windows the registry key HKEY_CURRENT_USER\Quarnel2,
// elsewhere a QSettings file in the user's config folder with the same layout.
// Handed to whoever needs it; tests give it a temporary location.
//
// The file holds passwords: it is kept readable by its owner only (a folder
// created for it likewise). Every save writes the whole store to a new file
// and renames it over the old one, so a save is either complete or absent; a
// file that does not parse cleanly keeps what could be read.
class SettingsStore
{
public:
    // Empty path: the platform's per-user location.
    explicit SettingsStore(const QString &path = QString());
    ~SettingsStore();

    QString location() const;

    // Reads the program values (defaults for missing or unreadable ones)
    // and the list of server sections.
    void LoadProgramSettings();
    // Writes the program values; throws SettingsWriteError when refused.
    void SaveProgramSettings();

    void LoadServerProfile(const QString &host);
    void SaveServerProfile(const QString &host);
    void DeleteServerProfile(const QString &host);

    TProgramSettings &programSettings() { return m_program; }
    const TProgramSettings &programSettings() const { return m_program; }
    TServerProfile &currentProfile() { return m_profile; }
    const TServerProfile &currentProfile() const { return m_profile; }
    // Section names as read by the last LoadProgramSettings.
    const QStringList &ServerSections() const { return m_sections; }

private:
    QString readText(const QString &name, const QString &fallback) const;
    int readInteger(const QString &name, int fallback) const;
    bool readBoolean(const QString &name, bool fallback) const;
    // One save: change is applied to the whole store, which is then written
    // in one go. A refusal throws SettingsWriteError(firstName) and leaves
    // the stored file as it was. droppedSection: a section the change
    // removes (an empty hand-made one is not kept then).
    void save(const QString &firstName, const std::function<void(QSettings &)> &change,
              const QString &droppedSection = QString());
    void writeWholeFile(const QString &firstName, const std::function<void(QSettings &)> &change,
                        const QString &droppedSection);
    bool isFile() const;

    std::unique_ptr<QSettings> m_settings;
    TProgramSettings m_program;
    TServerProfile m_profile;
    QStringList m_sections;
};
