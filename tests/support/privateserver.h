#pragma once

#include <QString>
#include <QStringList>

// A private MariaDB server for tests and benchmarks: its own temporary data
// folder, folder for temporary files, socket and free port on 127.0.0.1, run
// as root. Never the system's server. It is stopped by its pid, and dies with
// the thread that started it (so with a crashed test).
class PrivateServer
{
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer &) = delete;
    PrivateServer &operator=(const PrivateServer &) = delete;

    // One server per test binary, started on first use.
    static PrivateServer &shared();

    // Options added to the server's command line (before start).
    void setExtraArguments(const QStringList &arguments) { m_extraArguments = arguments; }
    bool start(QString *error = nullptr);
    void stop();
    // Kills the server process at once, as a crash would, keeping its files.
    void kill();
    // Halts the server process (SIGSTOP) as a hung server would: connections
    // stay open and nothing answers; resume lets it go on.
    void pause();
    void resume();
    // Starts a killed server again on the same port, with the same data.
    bool restart(QString *error = nullptr);
    bool isRunning() const { return m_pid > 0; }

    QString host() const { return QStringLiteral("127.0.0.1"); }
    int port() const { return m_port; }
    QString socketPath() const { return m_dir + QStringLiteral("/sock"); }
    QString dataDir() const { return m_dir + QStringLiteral("/data"); }
    // The server's own folder for temporary files (never the shared /tmp).
    QString tmpDir() const { return m_dir + QStringLiteral("/tmp"); }
    // An account with every privilege that connects over TCP.
    static QString user() { return QStringLiteral("quarnel"); }
    static QString password() { return QStringLiteral("quarnel-secret"); }

    // Runs statements as root through the command-line client; for setting up
    // fixtures independently of the code under test.
    bool sql(const QString &statements, QString *output = nullptr, QString *error = nullptr) const;

    // Full path of a server or client program, or empty.
    static QString findProgram(const QString &name);

private:
    // Starts mariadbd on m_port and waits until it answers: its pid, 0 when
    // it ended or never answered, -1 when it could not be started.
    long launch();

    int m_port = 0;
    long m_pid = 0;
    QStringList m_extraArguments;
    QString m_dir;
};

// Starts a program with its output (both streams) going to outFile and its
// input read from stdinFile (empty: /dev/null), without waiting; the child
// gets SIGTERM when its parent dies, so no server outlives a crashed test.
// Returns its pid.
long SpawnProcess(const QString &program, const QStringList &arguments, const QString &outFile,
                  const QString &stdinFile = QString());

// Runs a program and waits; returns its exit code (-1 when it could not run).
int runProgram(const QString &program, const QStringList &arguments,
               QString *output = nullptr, const QString &stdinFile = QString());
