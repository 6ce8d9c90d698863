#pragma once

#include <QList>
#include <QString>

// One editor tab as it is kept between runs.
struct EditorSessionTab
{
    QString id;          // names its text file; unique within the folder
    QString fileName;    // the file the tab was opened from or saved to; empty: none
    bool modified = false; // changes not yet saved to fileName
    // Whether the folder holds the tab's text. A file's tab without changes
    // keeps none: its text is read from the file again.
    bool hasText = false;
    QString text;        // loaded with the tab; never written by writeIndex
    QString encoding;    // how fileName's bytes stand for the text ("utf8", ...)
    bool byteOrderMark = false;
    int caretLine = 0;
    int caretIndex = 0;
};

// The editor's tabs in a folder of their own: an index ("tabs.json": the
// order, the current tab, file names and marks) and one text file per tab
// ("<id>.sql", UTF-8). Every file is written whole to a new file that then
// replaces the old one, so a crash leaves either the old or the new one; all
// of them are readable by their owner only.
class EditorSessionStore
{
public:
    // folder empty: nothing is kept and nothing is found.
    explicit EditorSessionStore(const QString &folder = QString());

    bool isEnabled() const { return !m_folder.isEmpty(); }
    QString folder() const { return m_folder; }

    // The kept tabs in their order, with their texts, and the index of the
    // one that was current (-1 when none was kept). Text files that no index
    // entry names follow as tabs without a file.
    QList<EditorSessionTab> load(int *current) const;

    bool writeIndex(const QList<EditorSessionTab> &tabs, int current);
    bool writeText(const QString &id, const QString &text);
    void removeText(const QString &id);

    // A fresh id that no kept tab uses.
    QString newId() const;

    // What went wrong with the last write.
    QString errorString() const { return m_error; }

private:
    QString textPath(const QString &id) const;
    bool writeFile(const QString &path, const QByteArray &bytes);
    bool prepareFolder();

    QString m_folder;
    QString m_error;
};
