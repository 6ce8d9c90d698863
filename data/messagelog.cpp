#include "data/messagelog.h"

MessageLog::MessageLog(QObject *parent)
    : QObject(parent)
{
}

void MessageLog::append(const QString &line)
{
    m_lines.append(line);
    Q_EMIT lineAppended(line);
}

void MessageLog::clear()
{
    m_lines.clear();
    Q_EMIT cleared();
}
