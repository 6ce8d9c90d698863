// "Run SQL File": a script file run from disk statement by statement, never
// held whole in memory; progress as counts a few times a second.

#include "data/scriptfile.h"

#include "client/mySQLClient.h"
#include "data/tdmstd.h"

#include <QElapsedTimer>
#include <QFileInfo>

bool ScriptFileReader::open(const QString &path, QString *error)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *error = m_file.errorString();
        return false;
    }
    m_size = m_file.size();
    m_splitter = std::make_unique<ScriptSplitter>(m_text);
    m_splitter->setMoreFollows(true);
    return true;
}

bool ScriptFileReader::readMore()
{
    // A statement longer than a part is read again from its start with
    // each further part: the parts grow with it, so that stays linear.
    const qsizetype pending = m_text.size() - m_splitter->position();
    const QByteArray bytes = m_file.read(std::max<qint64>(m_chunkBytes, 2 * qint64(pending)));
    if (bytes.isEmpty()) {
        if (m_file.error() != QFileDevice::NoError)
            m_error = m_file.errorString();
        m_atEnd = true;
    }
    m_read += bytes.size();
    // What was not cut yet, and the new text after it; one character
    // before the cut stays so that a line start is seen as such.
    const qsizetype cut = m_splitter->position();
    const qsizetype keep = cut > 0 ? cut - 1 : 0;
    QString text = QStringView(m_text).mid(keep).toString();
    text += m_decoder.decode(bytes);
    m_text = std::move(text);
    const QString delimiter = m_splitter->delimiter();
    const int line = m_splitter->line();
    m_splitter = std::make_unique<ScriptSplitter>(m_text, delimiter, cut - keep, line);
    m_splitter->setMoreFollows(!m_atEnd);
    return m_error.isEmpty();
}

bool ScriptFileReader::next(ScriptStatement *statement)
{
    while (!m_splitter->next(statement)) {
        if (m_atEnd || !readMore())
            return false;
    }
    return true;
}

// One file run: the reader, and the statements sent ahead of the outcomes
// being handled (one batch of the client, whose first failure drops the
// rest unrun).
struct ScriptFileRun
{
    // Queued ahead: enough that the worker never waits for the window, few
    // and small enough that memory stays bounded with long INSERTs.
    static constexpr int Ahead = 32;
    static constexpr qint64 AheadBytes = 2 << 20;
    // Progress goes out at most this often.
    static constexpr qint64 ReportMs = 250;

    ScriptFileReader reader;
    TScriptFileProgress progress;
    QElapsedTimer clock;
    qint64 lastReport = 0;
    quint64 batch = TmySQLClientQuery::NewBatch();
    int queued = 0;
    qint64 queuedBytes = 0;
    bool ended = false;
};

bool TDMstd::RunScriptFile(const QString &database, const QString &path)
{
    if (!m_client->Query() || !mayStart())
        return false;
    auto run = std::make_shared<ScriptFileRun>();
    run->clock.start();
    run->progress.path = path;
    QString error;
    if (!run->reader.open(path, &error)) {
        log(QStringLiteral("Run SQL File: ") + QFileInfo(path).fileName() + QStringLiteral(": ") + error);
        return false;
    }
    run->progress.total = run->reader.size();
    m_fileRun = run;
    Q_EMIT scriptFileProgress(run->progress);
    // As Exec: only in the database the user chose.
    UseDatabase(database, [this, run] { runNextFileStatements(run); },
                [this, run] {
                    run->progress.error = QStringLiteral("the database could not be selected");
                    finishScriptFile(run);
                });
    return true;
}

void TDMstd::runNextFileStatements(const std::shared_ptr<ScriptFileRun> &run)
{
    TmySQLClientQuery *query = m_client->Query();
    if (!query || m_fileRun != run)
        run->ended = true;
    ScriptStatement statement;
    while (!run->ended && run->queued < ScriptFileRun::Ahead && run->queuedBytes < ScriptFileRun::AheadBytes) {
        if (!run->reader.next(&statement)) {
            run->ended = true;
            if (!run->reader.error().isEmpty())
                run->progress.error = run->reader.error();
            break;
        }
        const qint64 bytes = statement.text.size();
        const int line = statement.line;
        ++run->queued;
        run->queuedBytes += bytes;
        auto finished = [this, run, bytes](const TmySQLClientOutcome &outcome) {
            --run->queued;
            run->queuedBytes -= bytes;
            ++run->progress.statements;
            if (outcome.AffectedRows > 0)
                run->progress.affectedRows += outcome.AffectedRows;
            reportFileProgress(run);
            runNextFileStatements(run);
        };
        query->Execute(
            statement.text, QStringLiteral("File line ") + QString::number(line), {},
            [this, run, line, finished](QObject *sender, const QString &message) {
                // A statement without a result set arrives here too.
                const TmySQLClientOutcome outcome = outcomeOf(sender);
                if (!outcome.Failed) {
                    finished(outcome);
                    return;
                }
                // The client has dropped the statements queued after it.
                ++run->progress.statements;
                run->ended = true;
                run->progress.failedLine = line;
                run->progress.error = message;
                finishScriptFile(run);
            },
            [this, finished](QObject *sender) { finished(outcomeOf(sender)); }, run->batch);
        statement.text.clear();
    }
    query = m_client->Query();
    if (query && run->queued > 0)
        query->Run();
    if (run->ended && run->queued == 0)
        finishScriptFile(run);
}

void TDMstd::reportFileProgress(const std::shared_ptr<ScriptFileRun> &run)
{
    const qint64 now = run->clock.elapsed();
    if (now - run->lastReport < ScriptFileRun::ReportMs)
        return;
    run->lastReport = now;
    run->progress.bytes = run->reader.bytesRead();
    run->progress.elapsedMs = now;
    Q_EMIT scriptFileProgress(run->progress);
}

void TDMstd::StopScriptFile()
{
    if (m_fileRun)
        Stop();
}

void TDMstd::noteScriptFileStop()
{
    // The statement under way fails with the server's "interrupted": that
    // is the stop, not a failure of the file.
    if (m_fileRun)
        m_fileRun->progress.stopped = true;
}

void TDMstd::scriptFileIdle()
{
    // The client has nothing more to run, and the run did not end by
    // itself: its statements were dropped (Stop) or the session ended.
    if (!m_fileRun)
        return;
    m_fileRun->progress.stopped = true;
    finishScriptFile(m_fileRun);
}

void TDMstd::finishScriptFile(const std::shared_ptr<ScriptFileRun> &run)
{
    if (m_fileRun != run || run->progress.finished)
        return;
    m_fileRun.reset();
    TScriptFileProgress &progress = run->progress;
    progress.finished = true;
    progress.bytes = run->reader.bytesRead();
    progress.elapsedMs = run->clock.elapsed();
    // A statement ended by Stop fails with the server's "interrupted".
    if (progress.stopped)
        progress.failedLine = 0;
    progress.completed = !progress.stopped && progress.failedLine == 0 && progress.error.isEmpty();
    const QString name = QFileInfo(progress.path).fileName();
    if (progress.failedLine > 0)
        log(name + QStringLiteral(", line ") + QString::number(progress.failedLine) + QStringLiteral(": ")
            + progress.error);
    else if (!progress.stopped && !progress.error.isEmpty())
        log(name + QStringLiteral(": ") + progress.error);
    const QString outcome = progress.completed ? QStringLiteral("done")
        : progress.stopped                     ? QStringLiteral("stopped")
                                               : QStringLiteral("failed");
    log(QStringLiteral("Run SQL File ") + name + QStringLiteral(" ") + outcome + QStringLiteral(": ")
        + QString::number(progress.statements) + QStringLiteral(" statements, ")
        + QString::number(progress.affectedRows) + QStringLiteral(" rows affected, ")
        + QString::number(progress.elapsedMs / 1000.0, 'f', 1) + QStringLiteral(" s"));
    Q_EMIT scriptFileProgress(progress);
}
