#include "data/messagelog.h"

MessageLog::MessageLog(QObject *parent)
    : QObject(parent)
{
}

void MessageLog::append(const QString &line)
{
    // Dropped a tenth at a time, so dropping costs little per line.
    if (m_lines.size() >= MaxLines + MaxLines / 10)
        m_lines.remove(0, m_lines.size() - MaxLines + 1);
    m_lines.append(line);
    ++m_appended;
    Q_EMIT lineAppended(line);
}

void MessageLog::clear()
{
    m_lines.clear();
    m_appended = 0;
    Q_EMIT cleared();
}
