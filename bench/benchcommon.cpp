#include "bench/benchcommon.h"
#include "client/mySQLClient.h"
#include "tests/support/privateserver.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <cstdio>
#include <fcntl.h>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Entry
{
    std::string summary;
    BenchFunction function;
};

std::map<std::string, Entry> &registry()
{
    static std::map<std::string, Entry> entries;
    return entries;
}

} // namespace

BenchRegistrar::BenchRegistrar(const char *name, const char *summary, BenchFunction function)
{
    registry()[name] = Entry{summary, function};
}

Measurement measureProgram(const QString &program, const QStringList &arguments, const QString &stdinFile,
                           const QString &stdoutFile)
{
    std::vector<QByteArray> args{QFile::encodeName(program)};
    for (const QString &a : arguments)
        args.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const QByteArray in = QFile::encodeName(stdinFile.isEmpty() ? QStringLiteral("/dev/null") : stdinFile);
    const QByteArray out = QFile::encodeName(stdoutFile.isEmpty() ? QStringLiteral("/dev/null") : stdoutFile);

    Measurement m;
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int inFd = ::open(in.constData(), O_RDONLY);
        const int outFd = ::open(out.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (inFd >= 0)
            ::dup2(inFd, 0);
        if (outFd >= 0)
            ::dup2(outFd, 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    if (pid < 0)
        return m;
    int status = 0;
    rusage usage{};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    m.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    m.peakKb = usage.ru_maxrss;
    m.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

Measurement measureSelf(const QStringList &arguments)
{
    return measureProgram(QCoreApplication::applicationFilePath(), arguments);
}

bool bestOf(int runs, const std::function<Measurement()> &ours, const std::function<Measurement()> &reference,
            Measurement *bestOurs, Measurement *bestReference)
{
    for (int i = 0; i < runs; ++i) {
        const Measurement a = ours();
        const Measurement b = reference();
        if (a.exitCode != 0 || b.exitCode != 0) {
            std::fprintf(stderr, "a run failed (quarnel %d, reference %d)\n", a.exitCode, b.exitCode);
            return false;
        }
        if (i == 0 || a.seconds < bestOurs->seconds)
            bestOurs->seconds = a.seconds;
        if (i == 0 || b.seconds < bestReference->seconds)
            bestReference->seconds = b.seconds;
        bestOurs->peakKb = std::max(bestOurs->peakKb, a.peakKb);
        bestReference->peakKb = std::max(bestReference->peakKb, b.peakKb);
    }
    return true;
}

Measurement bestRun(const std::function<Measurement()> &run, int times)
{
    Measurement result;
    for (int i = 0; i < times; ++i) {
        const Measurement m = run();
        if (m.exitCode != 0)
            return m;
        if (i == 0 || m.seconds < result.seconds)
            result.seconds = m.seconds;
        result.peakKb = std::max(result.peakKb, m.peakKb);
        result.exitCode = 0;
    }
    return result;
}

void printFigure(const char *name, double value)
{
    std::printf("%s: %.3f\n", name, value);
    std::fflush(stdout);
}

void printFigure(const char *name, const QString &value)
{
    std::printf("%s: %s\n", name, qPrintable(value));
    std::fflush(stdout);
}

void printComparison(const char *ours, const Measurement &a, const char *reference, const Measurement &b)
{
    const std::string o(ours), r(reference);
    printFigure((o + "_seconds").c_str(), a.seconds);
    printFigure((o + "_peak_mb").c_str(), a.peakKb / 1024.0);
    printFigure((r + "_seconds").c_str(), b.seconds);
    printFigure((r + "_peak_mb").c_str(), b.peakKb / 1024.0);
    printFigure("time_ratio", b.seconds > 0 ? a.seconds / b.seconds : 0);
    printFigure("mem_ratio", b.peakKb > 0 ? double(a.peakKb) / double(b.peakKb) : 0);
}

QStringList cliArguments(const QString &host, int port, const QString &user, const QString &password,
                         const QString &database)
{
    return {QStringLiteral("--no-defaults"), QStringLiteral("--host=") + host,
            QStringLiteral("--port=") + QString::number(port), QStringLiteral("--user=") + user,
            QStringLiteral("--password=") + password, QStringLiteral("--database=") + database};
}

bool startServerWith(PrivateServer &server, const QString &statements)
{
    QString error;
    if (!server.start(&error) || !server.sql(statements, nullptr, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return false;
    }
    return true;
}

QString millionRowTable()
{
    return rowTable(1000000);
}

QString rowTable(qint64 rows)
{
    return QStringLiteral("CREATE DATABASE bench; USE bench;"
                          "CREATE TABLE t (id INT PRIMARY KEY, name VARCHAR(40), note VARCHAR(100), val DOUBLE);"
                          "INSERT INTO t SELECT seq, CONCAT('name ', seq), REPEAT(CHAR(97 + seq % 26), 10 + seq % 90),"
                          " seq * 1.25 FROM seq_1_to_%1;")
        .arg(rows);
}

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    QTimer wake;
    wake.start(20);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

long processStatusKb(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

bool resetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

int runQueryChild(const QStringList &args, const std::function<int(TmySQLClientQuery *)> &handle)
{
    if (args.size() < 6 || !LoadClientLibrary())
        return 2;
    TmySQLClient client;
    // As the program runs its client: statements on the worker thread.
    client.setThreaded(true);
    client.setHostname(args.at(0));
    client.setPort(args.at(1).toInt());
    client.setUsername(args.at(2));
    client.setPassword(args.at(3));
    client.setDatabase(args.at(4));
    QEventLoop loop;
    int exitCode = 1;
    client.OnConnectError = [&](QObject *, const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        loop.quit();
    };
    client.OnConnect = [&](QObject *) {
        client.Query()->Execute(
            args.at(5), QStringLiteral("bench"), nullptr,
            [&](QObject *, const QString &message) {
                std::fprintf(stderr, "%s\n", qPrintable(message));
                loop.quit();
            },
            [&](QObject *sender) {
                exitCode = handle(static_cast<TmySQLClientQuery *>(sender));
                loop.quit();
            });
        client.Query()->Run();
    };
    client.Connect();
    loop.exec();
    return exitCode;
}

int main(int argc, char *argv[])
{
    // The responsiveness and big-jobs benchmarks drive the real window,
    // offscreen when there is no display; the others need no widgets.
    const bool windows = argc > 1
        && (std::strcmp(argv[1], "responsiveness") == 0 || std::strcmp(argv[1], "editor-child") == 0
            || std::strcmp(argv[1], "big-jobs") == 0 || std::strcmp(argv[1], "grid-filter") == 0);
    if (windows && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> application;
    if (windows)
        application = std::make_unique<QApplication>(argc, argv);
    else
        application = std::make_unique<QCoreApplication>(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    auto &entries = registry();
    const auto found = args.isEmpty() ? entries.end() : entries.find(args.first().toStdString());
    if (found == entries.end()) {
        std::fprintf(stderr, "usage: quarnel-bench <benchmark>\n");
        for (const auto &[name, entry] : entries) {
            if (!entry.summary.empty())
                std::fprintf(stderr, "  %-12s %s\n", name.c_str(), entry.summary.c_str());
        }
        return 2;
    }
    return found->second.function(args.mid(1));
}
