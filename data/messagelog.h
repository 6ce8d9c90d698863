#pragma once

#include <QObject>
#include <QStringList>

// The message log under "Messages and Error Display...": whole lines are
// appended at its end and nothing reads them back but the view and tests.
// The core writes here; the window shows what it is told.
class MessageLog : public QObject
{
    Q_OBJECT

public:
    explicit MessageLog(QObject *parent = nullptr);

    void append(const QString &line);
    void clear();
    const QStringList &lines() const { return m_lines; }

Q_SIGNALS:
    void lineAppended(const QString &line);
    void cleared();

private:
    QStringList m_lines;
};
