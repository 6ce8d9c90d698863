#pragma once

#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <algorithm>
#include <memory>

#include "data/scriptsplitter.h"

// Reads the statements of a script file part by part, by the rules of the
// editor's runner (DELIMITER lines, comments, quotes), holding only the part
// read last and the statement under way: a file of any size.
class ScriptFileReader
{
public:
    // Bytes read from the file at a time, at least.
    static constexpr qint64 ChunkBytes = 256 << 10;
    explicit ScriptFileReader(qint64 chunkBytes = ChunkBytes)
        : m_chunkBytes(std::max<qint64>(1, chunkBytes))
    {
    }

    // False (with the reason) when the file cannot be read.
    bool open(const QString &path, QString *error);
    // The next statement, its line counted in the file; false at the end
    // of the file or when reading fails (error() tells which).
    bool next(ScriptStatement *statement);

    qint64 size() const { return m_size; }
    qint64 bytesRead() const { return m_read; }
    const QString &error() const { return m_error; }

private:
    bool readMore();

    qint64 m_chunkBytes;
    QFile m_file;
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_text;
    std::unique_ptr<ScriptSplitter> m_splitter;
    qint64 m_size = 0;
    qint64 m_read = 0;
    bool m_atEnd = false;
    QString m_error;
};

// Where a file run stands; the last one sent also tells how it ended.
struct TScriptFileProgress
{
    QString path;
    qint64 bytes = 0;      // read from the file so far
    qint64 total = 0;      // the file's size
    qint64 statements = 0; // finished (a failed one included)
    qint64 affectedRows = 0;
    qint64 elapsedMs = 0;
    bool finished = false;
    bool completed = false; // every statement of the file ran
    bool stopped = false;   // stopped by the user (or the session ended)
    int failedLine = 0;     // line in the file of the failed statement; 0: none
    QString error;          // the server's text, or why the file could not be read
};
Q_DECLARE_METATYPE(TScriptFileProgress)
