#pragma once

#include "output/gridexport.h"

#include <QByteArrayView>
#include <QSaveFile>
#include <QString>

#include <string>

// The output file of one export: written to a temporary file next to the
// target, buffered, and renamed over the target only by commit(). Dropped
// without commit() it leaves no trace.
class ExportFile
{
public:
    explicit ExportFile(const QString &fileName);
    ~ExportFile();
    ExportFile(const ExportFile &) = delete;
    ExportFile &operator=(const ExportFile &) = delete;

    // False when the file cannot be created; reason() tells why.
    bool open();
    void write(QByteArrayView bytes)
    {
        m_buffer.append(bytes.data(), size_t(bytes.size()));
        if (m_buffer.size() >= BufferSize)
            flush();
    }
    void write(char c)
    {
        m_buffer.push_back(c);
        if (m_buffer.size() >= BufferSize)
            flush();
    }
    void writeBlanks(qsizetype count) { m_buffer.append(size_t(count), ' '); }
    void endLine() { write(QByteArrayView("\r\n", 2)); }
    // Writes what is buffered and puts the file in the target's place.
    bool commit();

    QString fileName() const { return m_fileName; }
    // The system's reason for the last failure.
    QString reason() const;

private:
    static constexpr size_t BufferSize = 1 << 20;
    void flush();

    QString m_fileName;
    QSaveFile m_file;
    std::string m_buffer;
    bool m_writeFailed = false;
    QString m_reason;
};

// Messages of the writers, with the system's reason after them.
QString CreateFileError(const QString &fileName, const QString &reason);
QString WriteFileError(const QString &fileName, const QString &reason);

// Reports how far a writer is and whether it should stop; checks the request
// only every few hundred rows so that it costs nothing per row.
class ExportSteps
{
public:
    ExportSteps(ExportProgress *progress, qint64 total)
        : m_progress(progress)
    {
        if (m_progress) {
            m_progress->setTotal(total);
            m_progress->setDone(0);
        }
    }
    // False when the export is to stop.
    bool step()
    {
        ++m_done;
        if (!m_progress || (m_done & 255) != 0)
            return true;
        m_progress->setDone(m_done);
        return !m_progress->cancelled();
    }
    bool cancelled() const { return m_progress && m_progress->cancelled(); }
    void finish()
    {
        if (m_progress)
            m_progress->setDone(m_done);
    }

private:
    ExportProgress *m_progress;
    qint64 m_done = 0;
};

inline ExportResult ExportFailed(const QString &message)
{
    return ExportResult{ExportResult::Failed, message};
}

// The end of a writer: the file takes the target's place, unless Cancel was
// pressed meanwhile (the rows are checked only every few hundred, so a
// cancel after the last check is seen here, before the rename).
inline ExportResult FinishExport(ExportFile &file, ExportSteps &steps)
{
    steps.finish();
    if (steps.cancelled())
        return {ExportResult::Cancelled, {}};
    if (!file.commit())
        return ExportFailed(WriteFileError(file.fileName(), file.reason()));
    return {};
}

// Characters, not bytes, of UTF-8 text: every byte that does not continue a
// sequence.
inline qsizetype CharacterCount(QByteArrayView text)
{
    qsizetype count = 0;
    for (const char c : text)
        count += (quint8(c) & 0xc0) != 0x80;
    return count;
}
