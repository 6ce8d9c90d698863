#include "data/settingsstore.h"

#include "shell/localserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

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

// QSettings leaves out sections that hold no value, but a section added by
// hand counts as a server whatever it contains: read the headers directly.
QStringList emptyIniSections(const QString &fileName)
{
    QStringList names;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return names;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.size() < 2 || !line.startsWith('[') || !line.endsWith(']'))
            continue;
        const QByteArray raw = line.mid(1, line.size() - 2);
        if (raw == "General")
            continue; // the top-level values
        if (raw == "%General") {
            names.append(QStringLiteral("General")); // a group of that name
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
            names.append(name);
    }
    return names;
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
    // Opening the store creates it: the folder now, the file with the first write.
    QDir().mkpath(QFileInfo(location).absolutePath());
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

void SettingsStore::writeText(const QString &name, const QString &value)
{
    m_settings->setValue(name, value);
    // Synced value by value so that a refused write names its value and
    // leaves the rest of that save unwritten.
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw SettingsWriteError(name);
}

void SettingsStore::writeInteger(const QString &name, int value)
{
    writeText(name, QString::number(value));
}

void SettingsStore::writeBoolean(const QString &name, bool value)
{
    writeText(name, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void SettingsStore::LoadProgramSettings()
{
    // Opening the store creates it, empty. A folder that refuses is not an
    // error yet: reading yields the defaults and the first write reports it.
    if (m_settings->format() == QSettings::IniFormat && !QFileInfo::exists(m_settings->fileName())) {
        QFile file(m_settings->fileName());
        if (file.open(QIODevice::WriteOnly))
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

    m_sections.clear();
    QStringList groups = m_settings->childGroups();
    if (m_settings->format() == QSettings::IniFormat) {
        for (const QString &name : emptyIniSections(m_settings->fileName())) {
            if (!groups.contains(name))
                groups.append(name);
        }
        std::sort(groups.begin(), groups.end());
    }
    for (const QString &group : groups)
        m_sections.append(decodeSection(group));
}

void SettingsStore::SaveProgramSettings()
{
    writeInteger(QStringLiteral("Left"), m_program.Left);
    writeInteger(QStringLiteral("Top"), m_program.Top);
    writeInteger(QStringLiteral("Width"), m_program.Width);
    writeInteger(QStringLiteral("Height"), m_program.Height);
    writeBoolean(QStringLiteral("Max"), m_program.Max);
    writeBoolean(QStringLiteral("DBHL"), m_program.DBHL);
    writeText(QStringLiteral("DBL"), m_program.DBL);
    writeText(QStringLiteral("start"), m_program.start);
    writeText(QStringLiteral("stop"), m_program.stop);
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
    m_settings->endGroup();
}

void SettingsStore::SaveServerProfile(const QString &host)
{
    m_settings->beginGroup(encodeSection(host));
    try {
        writeText(QStringLiteral("User"), m_profile.User);
        writeText(QStringLiteral("Psw"), m_profile.Psw);
        writeText(QStringLiteral("Database"), m_profile.Database);
        writeText(QStringLiteral("Port"), m_profile.Port);
        writeBoolean(QStringLiteral("Group"), m_profile.Group);
        writeBoolean(QStringLiteral("Check"), m_profile.Check);
        writeBoolean(QStringLiteral("Auto"), m_profile.Auto);
    } catch (...) {
        m_settings->endGroup();
        throw;
    }
    m_settings->endGroup();
}

void SettingsStore::DeleteServerProfile(const QString &host)
{
    const QString section = encodeSection(host);
    if (!m_settings->childGroups().contains(section))
        return;
    m_settings->remove(section);
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError)
        throw SettingsWriteError(host);
}
