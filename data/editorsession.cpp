#include "data/editorsession.h"

#include "data/datafolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QUuid>

namespace {

const QString IndexName = QStringLiteral("tabs.json");
const QString TextSuffix = QStringLiteral(".sql");

// Ids become file names: only what a generated id holds is accepted back.
bool isValidId(const QString &id)
{
    static const QRegularExpression pattern(QStringLiteral("^[A-Za-z0-9-]{1,64}$"));
    return pattern.match(id).hasMatch();
}

} // namespace

EditorSessionStore::EditorSessionStore(const QString &folder)
    : m_folder(folder)
{
}

QString EditorSessionStore::textPath(const QString &id) const
{
    return m_folder + QLatin1Char('/') + id + TextSuffix;
}

bool EditorSessionStore::prepareFolder()
{
    if (!MakePrivateFolder(m_folder)) {
        m_error = QStringLiteral("Cannot make the folder \"%1\"").arg(m_folder);
        return false;
    }
    return true;
}

bool EditorSessionStore::writeFile(const QString &path, const QByteArray &bytes)
{
    if (!isEnabled())
        return false;
    if (!prepareFolder())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    // The new file is private before a byte of the text is in it.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        m_error = file.errorString();
        return false;
    }
    m_error.clear();
    return true;
}

QList<EditorSessionTab> EditorSessionStore::load(int *current) const
{
    QList<EditorSessionTab> tabs;
    *current = -1;
    if (!isEnabled())
        return tabs;
    QFile index(m_folder + QLatin1Char('/') + IndexName);
    // No index (or a damaged one) still leaves the texts to be found.
    const QJsonObject root =
        index.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(index.readAll()).object() : QJsonObject();
    QSet<QString> named;
    const QJsonArray entries = root.value(QStringLiteral("tabs")).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        EditorSessionTab tab;
        tab.id = entry.value(QStringLiteral("id")).toString();
        if (!isValidId(tab.id) || named.contains(tab.id))
            continue;
        named.insert(tab.id);
        tab.fileName = entry.value(QStringLiteral("file")).toString();
        tab.modified = entry.value(QStringLiteral("modified")).toBool();
        tab.hasText = entry.value(QStringLiteral("text")).toBool();
        tab.encoding = entry.value(QStringLiteral("encoding")).toString();
        tab.byteOrderMark = entry.value(QStringLiteral("bom")).toBool();
        tab.caretLine = entry.value(QStringLiteral("line")).toInt();
        tab.caretIndex = entry.value(QStringLiteral("index")).toInt();
        if (tab.hasText) {
            QFile text(textPath(tab.id));
            if (text.open(QIODevice::ReadOnly))
                tab.text = QString::fromUtf8(text.readAll());
            else
                tab.hasText = false; // written never (or lost): the file's text, or none
        }
        tabs.append(tab);
    }
    if (!tabs.isEmpty())
        *current = qBound(0, root.value(QStringLiteral("current")).toInt(), int(tabs.size()) - 1);
    // A text that no entry names belongs to a tab whose entry was not yet
    // written (or to one closed just before the end): it comes back as a tab
    // of its own rather than being lost.
    QStringList files = QDir(m_folder).entryList({QLatin1Char('*') + TextSuffix}, QDir::Files, QDir::Time | QDir::Reversed);
    for (const QString &file : std::as_const(files)) {
        const QString id = file.chopped(TextSuffix.size());
        if (named.contains(id) || !isValidId(id))
            continue;
        QFile text(m_folder + QLatin1Char('/') + file);
        if (!text.open(QIODevice::ReadOnly))
            continue;
        EditorSessionTab tab;
        tab.id = id;
        tab.hasText = true;
        tab.modified = true;
        tab.text = QString::fromUtf8(text.readAll());
        tabs.append(tab);
        if (*current < 0)
            *current = 0;
    }
    return tabs;
}

bool EditorSessionStore::writeIndex(const QList<EditorSessionTab> &tabs, int current)
{
    QJsonArray entries;
    for (const EditorSessionTab &tab : tabs) {
        QJsonObject entry;
        entry.insert(QStringLiteral("id"), tab.id);
        entry.insert(QStringLiteral("file"), tab.fileName);
        entry.insert(QStringLiteral("modified"), tab.modified);
        entry.insert(QStringLiteral("text"), tab.hasText);
        entry.insert(QStringLiteral("encoding"), tab.encoding);
        entry.insert(QStringLiteral("bom"), tab.byteOrderMark);
        entry.insert(QStringLiteral("line"), tab.caretLine);
        entry.insert(QStringLiteral("index"), tab.caretIndex);
        entries.append(entry);
    }
    QJsonObject root;
    root.insert(QStringLiteral("current"), current);
    root.insert(QStringLiteral("tabs"), entries);
    return writeFile(m_folder + QLatin1Char('/') + IndexName, QJsonDocument(root).toJson());
}

bool EditorSessionStore::writeText(const QString &id, const QString &text)
{
    if (!isValidId(id)) {
        m_error = QStringLiteral("Invalid tab id");
        return false;
    }
    return writeFile(textPath(id), text.toUtf8());
}

void EditorSessionStore::removeText(const QString &id)
{
    if (isEnabled() && isValidId(id))
        QFile::remove(textPath(id));
}

QString EditorSessionStore::newId() const
{
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}
