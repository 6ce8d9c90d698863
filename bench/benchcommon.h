#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class PrivateServer;
class TmySQLClientQuery;

// Subcommands of quarnel-bench. Each sets up its own private server and data
// and prints "name: value" lines; the user-facing ones end with time_ratio
// and mem_ratio (ours over the reference, measured in the same run).
using BenchFunction = int (*)(const QStringList &arguments);

struct BenchRegistrar
{
    // An empty summary hides the subcommand from the usage text: it is a
    // child process that another subcommand measures.
    BenchRegistrar(const char *name, const char *summary, BenchFunction function);
};

#define QUARNEL_BENCH(id, name, summary, function) \
    static const BenchRegistrar benchRegistrar_##id(name, summary, function)

struct Measurement
{
    double seconds = 0;
    long peakKb = 0; // peak resident set size of the process
    int exitCode = -1;
};

// Runs a program to its end and measures its wall time and peak memory.
Measurement measureProgram(const QString &program, const QStringList &arguments,
                           const QString &stdinFile = QString(), const QString &stdoutFile = QString());
// The same for a hidden subcommand of this very program, so that both sides
// of a comparison are fresh processes.
Measurement measureSelf(const QStringList &arguments);

void printFigure(const char *name, double value);
void printFigure(const char *name, const QString &value);
// Runs both sides `runs` times, alternating; keeps each side's best time and
// highest peak. False (with a message) when a run failed.
bool bestOf(int runs, const std::function<Measurement()> &ours, const std::function<Measurement()> &reference,
            Measurement *bestOurs, Measurement *bestReference);

// Runs one side `times` times; keeps the best time and the highest peak
// (a failed run is returned as it is).
Measurement bestRun(const std::function<Measurement()> &run, int times);

// Prints the ours/reference figures and the two ratios.
void printComparison(const char *ours, const Measurement &a, const char *reference, const Measurement &b);

// The command-line client's arguments for a server of the test fixture.
QStringList cliArguments(const QString &host, int port, const QString &user, const QString &password,
                         const QString &database);

// Starts the server and runs the statements that set up a benchmark's data;
// false (with a message) when either fails.
bool startServerWith(PrivateServer &server, const QString &statements);
// The statements of the million-row table bench.t (id, name, note, val)
// that the client, table view and export benchmarks read.
QString millionRowTable();
// The same table with `rows` rows.
QString rowTable(qint64 rows);

// Runs the event loop (sleeping while nothing happens) until done() holds;
// false when timeoutMs ran out first.
bool waitFor(const std::function<bool()> &done, int timeoutMs = 600000);

// A line of /proc/self/status in kB ("VmRSS", "VmHWM"), or -1.
long processStatusKb(const char *field);
// Sets the peak resident size (VmHWM) back to the current one.
bool resetPeakMemory();

// A child's query: connects with host port user password database (the
// first five arguments), runs the statement of the sixth and hands its
// result to handle, whose return value becomes the exit code (1 when the
// connection or the statement failed, 2 without the client library).
int runQueryChild(const QStringList &args, const std::function<int(TmySQLClientQuery *)> &handle);
