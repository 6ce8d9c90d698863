#include "data/settingsstore.h"

#include "data/localserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryFile>

#include <algorithm>

namespace {

const QString ProgramKey = QStringLiteral("Quarnel2");

// QSettings splits keys at "/" and "\\", so a host name holding either would
// turn into nested groups. Those two (and the escape itself) are
// percent-encoded in section names; everything else is kept as typed.
QString encodeSection(const QString &host)
{
    QString out;
    out.reserve(host.size());
    for (const QChar c : host) {
        if (c == QLatin1Char('%'))
            out += QStringLiteral("%25");
        else if (c == QLatin1Char('/'))
            out += QStringLiteral("%2F");
        else if (c == QLatin1Char('\\'))
            out += QStringLiteral("%5C");
        else
            out += c;
    }
    return out;
}

QString decodeSection(const QString &section)
{
    QString out;
    out.reserve(section.size());
    for (qsizetype i = 0; i < section.size(); ++i) {
        if (section.at(i) == QLatin1Char('%') && i + 2 < section.size()) {
            const QString code = section.mid(i + 1, 2).toUpper();
            if (code == QLatin1String("25") || code == QLatin1String("2F") || code == QLatin1String("5C")) {
                out += QChar(code.toInt(nullptr, 16));
                i += 2;
                continue;
            }
        }
        out += section.at(i);
    }
    return out;
}

QString defaultLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("HKEY_CURRENT_USER\\") + ProgramKey;
#else
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return dir + QLatin1Char('/') + ProgramKey + QStringLiteral(".conf");
#endif
}

// A section header as the file spells it and the group name it stands for.
struct IniSection {
    QByteArray header;
    QString name;
};

// QSettings leaves out sections that hold no value, but a section added by
// hand counts as a server whatever it contains: read the headers directly.
QList<IniSection> iniSectionHeaders(const QString &fileName)
{
    QList<IniSection> sections;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return sections;
    bool firstLine = true;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (firstLine && line.startsWith("\xef\xbb\xbf"))
            line.remove(0, 3); // a byte-order mark written by an editor
        firstLine = false;
        line = line.trimmed();
        if (line.size() < 2 || !line.startsWith('[') || !line.endsWith(']'))
            continue;
        const QByteArray raw = line.mid(1, line.size() - 2);
        if (raw == "General")
            continue; // the top-level values
        if (raw == "%General") {
            sections.append({line, QStringLiteral("General")}); // a group of that name
            continue;
        }
        QString name;
        QByteArray bytes; // plain bytes and %XX, decoded as UTF-8
        // QSettings writes other characters as %XX or %UXXXX.
        for (qsizetype i = 0; i < raw.size(); ++i) {
            bool ok = false;
            if (raw.at(i) == '%' && i + 5 < raw.size() && raw.at(i + 1) == 'U') {
                const ushort code = raw.mid(i + 2, 4).toUShort(&ok, 16);
                if (ok) {
                    name += QString::fromUtf8(bytes) + QChar(code);
                    bytes.clear();
                    i += 5;
                    continue;
                }
            }
            if (raw.at(i) == '%' && i + 2 < raw.size()) {
                const ushort code = raw.mid(i + 1, 2).toUShort(&ok, 16);
                if (ok) {
                    bytes += char(code);
                    i += 2;
                    continue;
                }
            }
            bytes += raw.at(i);
        }
        name += QString::fromUtf8(bytes);
        if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')))
            sections.append({line, name});
    }
    return sections;
}

constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr QFileDevice::Permissions OthersAll = QFileDevice::ReadGroup | QFileDevice::WriteGroup
    | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;

// Creates the missing folders of path, each for its owner only. Folders that
// exist are left as they are (the default one is the shared config folder).
void makePrivateFolders(const QString &path)
{
    QStringList missing;
    for (QString folder = QFileInfo(path).absolutePath(); !QFileInfo::exists(folder);) {
        missing.prepend(folder);
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    for (const QString &folder : std::as_const(missing))
        QDir().mkdir(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QString booleanText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

// A store left readable by others (an older version created it so) is
// tightened; the owner's own bits stay, so a read-only file stays read-only.
void tightenFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return;
    const QFileDevice::Permissions permissions = info.permissions();
    if (permissions & OthersAll)
        QFile::setPermissions(path, permissions & ~OthersAll);
}

} // namespace

SettingsWriteError::SettingsWriteError(const QString &name)
    : std::runtime_error(QStringLiteral("Failed to write the setting \"%1\"").arg(name).toStdString())
    , m_name(name)
{
}

SettingsStore::SettingsStore(const QString &path)
{
    m_program.start = LocalServer::defaultStartCommand();
    m_program.stop = LocalServer::defaultStopCommand();
    const QString location = path.isEmpty() ? defaultLocation() : path;
#ifdef Q_OS_WIN
    if (path.isEmpty()) {
        m_settings = std::make_unique<QSettings>(location, QSettings::NativeFormat);
        return;
    }
#endif
    // Opening the store creates it: the folder now, the file with the first
    // read of the program settings.
    makePrivateFolders(location);
    tightenFile(location);
    m_settings = std::make_unique<QSettings>(location, QSettings::IniFormat);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::location() const
{
    return m_settings->fileName();
}

QString SettingsStore::readText(const QString &name, const QString &fallback) const
{
    const QVariant value = m_settings->value(name);
    if (!value.isValid())
        return fallback;
    // A hand-edited file may hold an unquoted list ("a, b"): keep it as text.
    if (value.metaType().id() == QMetaType::QStringList)
        return value.toStringList().join(QStringLiteral(", "));
    return value.toString();
}

int SettingsStore::readInteger(const QString &name, int fallback) const
{
    bool ok = false;
    const int number = readText(name, QString()).toInt(&ok);
    return ok ? number : fallback;
}

bool SettingsStore::readBoolean(const QString &name, bool fallback) const
{
    return readInteger(name, fallback ? 1 : 0) != 0;
}

bool SettingsStore::isFile() const
{
    return m_settings->format() == QSettings::IniFormat;
}

void SettingsStore::save(const QString &firstName, const std::function<void(QSettings &)> &change,
                         const QString &droppedSection)
{
    if (isFile()) {
        writeWholeFile(firstName, change, droppedSection);
        m_settings->sync(); // read back what now stands in the file
        return;
    }
    // The registry takes the values as they come.
    change(*m_settings);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw SettingsWriteError(firstName);
}

void SettingsStore::writeWholeFile(const QString &firstName, const std::function<void(QSettings &)> &change,
                                   const QString &droppedSection)
{
    const QString path = m_settings->fileName();
    makePrivateFolders(path);
    // A second instance of the program saving at the same moment waits, so
    // neither loses the other's change.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(10000))
        throw SettingsWriteError(firstName);
    // A store that exists but cannot be read is never replaced by what
    // little this program would write.
    if (QFileInfo::exists(path)) {
        QFile current(path);
        if (!current.open(QIODevice::ReadOnly))
            throw SettingsWriteError(firstName);
    }
    // Everything readable now, whatever QSettings thinks of the rest of the
    // file: its status would report a parse error as a failed write forever.
    const QSettings current(path, QSettings::IniFormat);
    const QStringList keys = current.allKeys();

    // QSettings formats the new store in a file of its own, so that its
    // status speaks of this write only. Temporary files are created for
    // their owner alone, and QSettings keeps that when it rewrites one.
    QTemporaryFile scratch(path + QStringLiteral(".new-XXXXXX"));
    if (!scratch.open())
        throw SettingsWriteError(firstName);
    scratch.close();
    {
        QSettings next(scratch.fileName(), QSettings::IniFormat);
        for (const QString &key : keys)
            next.setValue(key, current.value(key));
        change(next);
        next.sync();
        if (next.status() != QSettings::NoError)
            throw SettingsWriteError(firstName);
    }
    QFile formatted(scratch.fileName());
    if (!formatted.open(QIODevice::ReadOnly))
        throw SettingsWriteError(firstName);
    QByteArray bytes = formatted.readAll();
    formatted.close();

    // Sections without values that a user added by hand stay servers.
    const QSettings written(scratch.fileName(), QSettings::IniFormat);
    const QStringList groups = written.childGroups();
    for (const IniSection &section : iniSectionHeaders(path)) {
        if (section.name == droppedSection || groups.contains(section.name))
            continue;
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            bytes += '\n';
        bytes += '\n' + section.header + '\n';
    }

    // The new file replaces the old one only once it is complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw SettingsWriteError(firstName);
    file.setPermissions(OwnerOnly);
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw SettingsWriteError(firstName);
}

void SettingsStore::LoadProgramSettings()
{
    // Opening the store creates it, empty. A folder that refuses is not an
    // error yet: reading yields the defaults and the first write reports it.
    if (isFile() && !QFileInfo::exists(m_settings->fileName())) {
        makePrivateFolders(m_settings->fileName());
        QFile file(m_settings->fileName());
        if (file.open(QIODevice::WriteOnly, OwnerOnly))
            file.close();
    }
    m_settings->sync();
    TProgramSettings defaults;
    defaults.start = LocalServer::defaultStartCommand();
    defaults.stop = LocalServer::defaultStopCommand();

    m_program.Left = readInteger(QStringLiteral("Left"), defaults.Left);
    m_program.Top = readInteger(QStringLiteral("Top"), defaults.Top);
    m_program.Width = readInteger(QStringLiteral("Width"), defaults.Width);
    m_program.Height = readInteger(QStringLiteral("Height"), defaults.Height);
    m_program.Max = readBoolean(QStringLiteral("Max"), defaults.Max);
    m_program.DBL = readText(QStringLiteral("DBL"), defaults.DBL);
    m_program.DBHL = readBoolean(QStringLiteral("DBHL"), defaults.DBHL);
    m_program.start = readText(QStringLiteral("start"), defaults.start);
    m_program.stop = readText(QStringLiteral("stop"), defaults.stop);
    m_program.ConnectTimeout = readText(QStringLiteral("ConnectTimeout"), defaults.ConnectTimeout);
    m_program.NullText = readText(QStringLiteral("NullText"), defaults.NullText);

    m_sections.clear();
    QStringList groups = m_settings->childGroups();
    if (isFile()) {
        for (const IniSection &section : iniSectionHeaders(m_settings->fileName())) {
            if (!groups.contains(section.name))
                groups.append(section.name);
        }
        std::sort(groups.begin(), groups.end());
    }
    for (const QString &group : groups)
        m_sections.append(decodeSection(group));
}

void SettingsStore::SaveProgramSettings()
{
    const TProgramSettings program = m_program;
    save(QStringLiteral("Left"), [&program](QSettings &settings) {
        settings.setValue(QStringLiteral("Left"), QString::number(program.Left));
        settings.setValue(QStringLiteral("Top"), QString::number(program.Top));
        settings.setValue(QStringLiteral("Width"), QString::number(program.Width));
        settings.setValue(QStringLiteral("Height"), QString::number(program.Height));
        settings.setValue(QStringLiteral("Max"), booleanText(program.Max));
        settings.setValue(QStringLiteral("DBHL"), booleanText(program.DBHL));
        settings.setValue(QStringLiteral("DBL"), program.DBL);
        settings.setValue(QStringLiteral("start"), program.start);
        settings.setValue(QStringLiteral("stop"), program.stop);
        settings.setValue(QStringLiteral("ConnectTimeout"), program.ConnectTimeout);
        settings.setValue(QStringLiteral("NullText"), program.NullText);
    });
}

void SettingsStore::LoadServerProfile(const QString &host)
{
    m_settings->sync();
    m_profile = TServerProfile();
    m_profile.Host = host;
    m_settings->beginGroup(encodeSection(host));
    m_profile.User = readText(QStringLiteral("User"), QString());
    m_profile.Psw = readText(QStringLiteral("Psw"), QString());
    m_profile.Database = readText(QStringLiteral("Database"), QStringLiteral("mysql"));
    m_profile.Port = readText(QStringLiteral("Port"), QStringLiteral("3306"));
    m_profile.Group = readBoolean(QStringLiteral("Group"), false);
    m_profile.Check = readBoolean(QStringLiteral("Check"), false);
    m_profile.Auto = readBoolean(QStringLiteral("Auto"), false);
    m_profile.TlsMode = readText(QStringLiteral("TLS"), QStringLiteral("Off"));
    m_profile.TlsCA = readText(QStringLiteral("TLSCA"), QString());
    m_profile.TlsCert = readText(QStringLiteral("TLSCert"), QString());
    m_profile.TlsKey = readText(QStringLiteral("TLSKey"), QString());
    m_settings->endGroup();
}

void SettingsStore::SaveServerProfile(const QString &host)
{
    const TServerProfile profile = m_profile;
    const QString section = encodeSection(host);
    save(QStringLiteral("User"), [&profile, &section](QSettings &settings) {
        settings.beginGroup(section);
        settings.setValue(QStringLiteral("User"), profile.User);
        settings.setValue(QStringLiteral("Psw"), profile.Psw);
        settings.setValue(QStringLiteral("Database"), profile.Database);
        settings.setValue(QStringLiteral("Port"), profile.Port);
        settings.setValue(QStringLiteral("Group"), booleanText(profile.Group));
        settings.setValue(QStringLiteral("Check"), booleanText(profile.Check));
        settings.setValue(QStringLiteral("Auto"), booleanText(profile.Auto));
        // A profile in clear keeps the section as it always was.
        const bool secured = !profile.TlsMode.isEmpty() && profile.TlsMode != QLatin1String("Off");
        const std::pair<const char *, const QString *> tlsKeys[] = {
            {"TLS", &profile.TlsMode}, {"TLSCA", &profile.TlsCA}, {"TLSCert", &profile.TlsCert},
            {"TLSKey", &profile.TlsKey}};
        for (const auto &[key, value] : tlsKeys) {
            if (secured && !value->isEmpty())
                settings.setValue(QLatin1String(key), *value);
            else
                settings.remove(QLatin1String(key));
        }
        settings.endGroup();
    });
}

void SettingsStore::DeleteServerProfile(const QString &host)
{
    const QString section = encodeSection(host);
    m_settings->sync();
    bool present = m_settings->childGroups().contains(section);
    if (!present && isFile()) {
        const QList<IniSection> headers = iniSectionHeaders(m_settings->fileName());
        present = std::any_of(headers.begin(), headers.end(),
                              [&section](const IniSection &s) { return s.name == section; });
    }
    if (!present)
        return;
    save(host, [&section](QSettings &settings) { settings.remove(section); }, section);
}
