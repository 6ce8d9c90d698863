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

    // The log keeps its last MaxLines lines: a script of millions of
    // statements must not make it grow without end.
    static constexpr int MaxLines = 100000;

    void append(const QString &line);
    void clear();
    const QStringList &lines() const { return m_lines; }
    // Lines appended since the last clear, those dropped from the front included.
    qint64 appendedCount() const { return m_appended; }

Q_SIGNALS:
    void lineAppended(const QString &line);
    void cleared();

private:
    QStringList m_lines;
    qint64 m_appended = 0;
};
