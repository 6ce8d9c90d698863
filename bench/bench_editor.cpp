// quarnel-bench editor: a large script file opened in the real main
// window's editor (memory above the window's before the open) and run with
// Exec, beside the command-line client reading the same file.
#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"
#include "editor/editorprompts.h"
#include "editor/sqleditor.h"
#include "editor/sqleditorpage.h"
#include "shell/mainwindow.h"
#include "shell/sessioncontroller.h"
#include "tests/support/privateserver.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Statements of about 900 bytes, as a script of INSERTs with comments.
qint64 writeScript(const QString &path, qint64 megabytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    const qint64 target = megabytes * 1024 * 1024;
    QByteArray out = "-- generated script\n";
    qint64 statements = 0;
    qint64 written = 0;
    while (written + out.size() < target) {
        ++statements;
        out += "INSERT INTO s VALUES (" + QByteArray::number(statements) + ", 'name " + QByteArray::number(statements)
            + "', '" + QByteArray(800 + statements % 100, char('a' + statements % 26)) + "');\n";
        if (out.size() > (1 << 20)) {
            written += file.write(out);
            out.clear();
        }
    }
    file.write(out);
    return statements;
}

int editorChild(const QStringList &args)
{
    // host port user password file statements; host "-": the open alone
    if (args.size() < 6 || !LoadClientLibrary())
        return 2;
    QTemporaryDir dir;
    SettingsStore settings(dir.filePath(QStringLiteral("quarnel.conf")));
    settings.LoadProgramSettings();
    TServerProfile &profile = settings.currentProfile();
    profile.Host = args.at(0);
    profile.Port = args.at(1);
    profile.User = args.at(2);
    profile.Psw = args.at(3);
    profile.Database = QStringLiteral("bench");
    TFormMain window(&settings);
    TDMstd data(SessionController::viewsOf(&window), &window);
    SessionController session(&window, &data, &window);
    window.resize(1100, 750);
    window.show();
    const bool openOnly = args.at(0) == QLatin1String("-"); // no server: the open alone
    if (!openOnly
        && (!data.ConnectProfile()
            || !waitFor([&] { return data.ActiveClient()->Connected() && !data.statementsRunning(); }, 60000)))
        return 3;
    waitFor([] { return false; }, 300); // the window painted
    SqlEditorPage *editor = window.sqlEditor();
    const long beforeKb = processStatusKb("VmRSS");
    const bool peakReset = resetPeakMemory();
    QElapsedTimer clock;
    clock.start();
    // "&Open Query" with the file dialog answered.
    EditorPrompts prompts = editor->prompts();
    const QString file = args.at(4);
    prompts.openFileName = [file](QWidget *, const QString &, const QString &, const QString &) { return file; };
    editor->setPrompts(prompts);
    editor->EditOpen();
    if (editor->editor()->length() == 0) // not scriptText(): no copy of the text is counted
        return 4;
    waitFor([] { return false; }, 300); // painted and styled as far as shown
    const double openSeconds = clock.nsecsElapsed() / 1e9 - 0.3;
    const long openPeakKb = processStatusKb("VmHWM");
    if (openOnly) {
        std::printf("open_seconds: %.3f\nopen_extra_mb: %.1f\n", openSeconds,
                    peakReset ? (openPeakKb - beforeKb) / 1024.0 : -1.0);
        return 0;
    }
    bool finished = false;
    QObject::connect(&data, &TDMstd::scriptFinished, [&finished] { finished = true; });
    window.messageLog()->clear();
    clock.restart();
    data.ExecuteScript(QStringLiteral("bench"), editor->scriptText());
    if (!waitFor([&] { return finished && !data.statementsRunning(); }, 900000))
        return 5;
    const double execSeconds = clock.nsecsElapsed() / 1e9;
    const long execPeakKb = processStatusKb("VmHWM");
    if (window.messageLog()->appendedCount() != 2 * args.at(5).toLongLong()) {
        std::fprintf(stderr, "%lld log lines\n", window.messageLog()->appendedCount());
        return 6;
    }
    std::printf("open_seconds: %.3f\nopen_extra_mb: %.1f\nexec_seconds: %.3f\nexec_extra_mb: %.1f\n", openSeconds,
                peakReset ? (openPeakKb - beforeKb) / 1024.0 : -1.0, execSeconds,
                peakReset ? (execPeakKb - beforeKb) / 1024.0 : -1.0);
    return 0;
}

int editor(const QStringList &args)
{
    const qint64 megabytes = args.value(0, QStringLiteral("25")).toLongLong();
    if (megabytes < 1)
        return 2;
    PrivateServer server;
    if (!startServerWith(server, QStringLiteral("CREATE DATABASE bench; CREATE TABLE bench.s (id INT, name VARCHAR(40), "
                                                "note VARCHAR(1000));")))
        return 1;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("script.sql"));
    const qint64 statements = writeScript(path, megabytes);
    if (statements <= 0)
        return 1;
    const double fileMb = QFile(path).size() / 1048576.0;
    printFigure("file_mb", fileMb);
    printFigure("statements", QString::number(statements));
    const QString mariadb = PrivateServer::findProgram(QStringLiteral("mariadb"));
    const QStringList cli = cliArguments(server.host(), server.port(), PrivateServer::user(),
                                         PrivateServer::password(), QStringLiteral("bench"));
    const QString output = dir.filePath(QStringLiteral("child.txt"));
    const QStringList ours{QStringLiteral("editor-child"), server.host(), QString::number(server.port()),
                           PrivateServer::user(), PrivateServer::password(), path, QString::number(statements)};
    auto truncate = [&] { server.sql(QStringLiteral("TRUNCATE TABLE bench.s")); };
    double openExtra = 0, execBest = -1, openSeconds = -1;
    Measurement reference;
    for (int run = 0; run < 2; ++run) {
        truncate();
        const Measurement m = measureProgram(QCoreApplication::applicationFilePath(), ours, QString(), output);
        if (m.exitCode != 0) {
            std::fprintf(stderr, "the editor run failed (%d)\n", m.exitCode);
            return 1;
        }
        QFile out(output);
        if (!out.open(QIODevice::ReadOnly))
            return 1;
        for (const QByteArray &line : out.readAll().split('\n')) {
            const double value = line.mid(line.indexOf(':') + 1).trimmed().toDouble();
            if (line.startsWith("open_extra_mb:"))
                openExtra = std::max(openExtra, value);
            if (line.startsWith("open_seconds:") && (openSeconds < 0 || value < openSeconds))
                openSeconds = value;
            if (line.startsWith("exec_seconds:") && (execBest < 0 || value < execBest))
                execBest = value;
        }
        truncate();
        const Measurement r = measureProgram(mariadb, cli, path);
        if (r.exitCode != 0)
            return 1;
        if (run == 0 || r.seconds < reference.seconds)
            reference.seconds = r.seconds;
    }
    printFigure("open_seconds", openSeconds);
    printFigure("open_extra_mb", openExtra);
    printFigure("open_mem_ratio", openExtra / fileMb);
    printFigure("exec_seconds", execBest);
    printFigure("mariadb_seconds", reference.seconds);
    printFigure("exec_time_ratio", execBest / reference.seconds);
    return 0;
}

} // namespace

QUARNEL_BENCH(editor, "editor",
              "a script file opened in the editor (memory above the window's) and run with Exec beside the "
              "command-line client [megabytes, default 25]",
              editor);
QUARNEL_BENCH(editorChild, "editor-child", "", editorChild);
