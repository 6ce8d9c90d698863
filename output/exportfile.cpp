#include "output/exportfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

ExportFile::ExportFile(const QString &fileName)
    : m_fileName(fileName)
    , m_file(fileName)
{
    // The target is replaced only whole; never written in place.
    m_file.setDirectWriteFallback(false);
}

ExportFile::~ExportFile()
{
    if (m_file.isOpen())
        m_file.cancelWriting(); // the temporary file goes, the target stays
}

bool ExportFile::open()
{
    if (QFileInfo(m_fileName).isFile()) {
        // Renaming over a file the user may not write would get round its
        // protection: ask the file itself, without changing it.
        QFile existing(m_fileName);
        if (!existing.open(QIODevice::WriteOnly | QIODevice::Append)) {
            m_reason = existing.errorString();
            return false;
        }
    }
    if (!m_file.open(QIODevice::WriteOnly)) {
        m_reason = m_file.errorString();
        return false;
    }
    m_buffer.reserve(BufferSize + 4096);
    return true;
}

void ExportFile::flush()
{
    if (m_buffer.empty() || m_writeFailed)
        return;
    if (m_file.write(m_buffer.data(), qint64(m_buffer.size())) != qint64(m_buffer.size())) {
        m_writeFailed = true;
        m_reason = m_file.errorString();
    }
    m_buffer.clear();
}

bool ExportFile::commit()
{
    flush();
    if (m_writeFailed) {
        m_file.cancelWriting();
        m_file.commit();
        return false;
    }
    if (!m_file.commit()) {
        m_reason = m_file.errorString();
        return false;
    }
    return true;
}

QString ExportFile::reason() const
{
    return m_reason;
}

QString CreateFileError(const QString &fileName, const QString &reason)
{
    return QStringLiteral("Cannot create file ") + QDir::toNativeSeparators(fileName) + QStringLiteral(": ")
        + reason;
}

QString WriteFileError(const QString &fileName, const QString &reason)
{
    return QStringLiteral("Cannot write file ") + QDir::toNativeSeparators(fileName) + QStringLiteral(": ")
        + reason;
}
