#include "data/secretstore.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <memory>

namespace {

const SecretKind AllKinds[] = {SecretKind::Password, SecretKind::SshPassword, SecretKind::SshPassphrase};

// What one keychain job ended with; shared with the job, which may finish
// after its caller has given up waiting.
struct JobOutcome {
    bool finished = false;
    QKeychain::Error error = QKeychain::NoError;
    QString errorText;
    QString value;
};

// Runs a job in a local event loop for at most timeoutMs. The job deletes
// itself when it finishes, also when that is after the time ran out.
std::shared_ptr<JobOutcome> runJob(QKeychain::Job *job, int timeoutMs)
{
    auto outcome = std::make_shared<JobOutcome>();
    QEventLoop loop;
    QPointer<QEventLoop> waiting(&loop);
    job->setAutoDelete(true);
    job->setInsecureFallback(false);
    QObject::connect(job, &QKeychain::Job::finished, job, [outcome, waiting](QKeychain::Job *done) {
        outcome->finished = true;
        outcome->error = done->error();
        outcome->errorText = done->errorString();
        if (auto *reading = qobject_cast<QKeychain::ReadPasswordJob *>(done))
            outcome->value = reading->textData();
        if (waiting)
            waiting->quit();
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    job->start();
    // Painting goes on; clicks and keys wait, so no command starts in between.
    if (!outcome->finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    return outcome;
}

class KeychainSecretStore : public SecretStore
{
public:
    KeychainSecretStore(const QString &service, int timeoutMs)
        : m_service(service)
        , m_timeoutMs(timeoutMs)
    {
    }

    QString where() const override { return QStringLiteral("the desktop's keychain"); }

    bool read(const QString &profile, SecretKind kind, QString *value, bool *found) override
    {
        auto *job = new QKeychain::ReadPasswordJob(m_service);
        job->setKey(entryName(profile, kind));
        const auto outcome = runJob(job, m_timeoutMs);
        if (!check(*outcome, QStringLiteral("read"), profile, kind))
            return false;
        *found = outcome->error != QKeychain::EntryNotFound;
        *value = *found ? outcome->value : QString();
        return true;
    }

    bool write(const QString &profile, SecretKind kind, const QString &value) override
    {
        auto *job = new QKeychain::WritePasswordJob(m_service);
        job->setKey(entryName(profile, kind));
        job->setTextData(value);
        return check(*runJob(job, m_timeoutMs), QStringLiteral("write"), profile, kind);
    }

    bool remove(const QString &profile, SecretKind kind) override
    {
        auto *job = new QKeychain::DeletePasswordJob(m_service);
        job->setKey(entryName(profile, kind));
        return check(*runJob(job, m_timeoutMs), QStringLiteral("remove"), profile, kind);
    }

private:
    static QString entryName(const QString &profile, SecretKind kind)
    {
        // A kind holds no "@", so the first one ends it whatever the profile's name.
        return SecretKindName(kind) + QLatin1Char('@') + profile;
    }

    bool check(const JobOutcome &outcome, const QString &verb, const QString &profile, SecretKind kind)
    {
        QString reason;
        if (!outcome.finished)
            reason = QStringLiteral("the keychain did not answer within %1 seconds").arg(m_timeoutMs / 1000.0);
        else if (outcome.error == QKeychain::NoError || outcome.error == QKeychain::EntryNotFound)
            return true;
        else
            reason = outcome.errorText.isEmpty() ? QStringLiteral("error %1").arg(int(outcome.error))
                                                 : outcome.errorText;
        setErrorString(QStringLiteral("Could not %1 the %2 of \"%3\" in the desktop's keychain: %4")
                           .arg(verb, SecretKindName(kind), profile, reason));
        return false;
    }

    QString m_service;
    int m_timeoutMs;
};

// A session bus is there to ask: an address in the environment or the
// standard socket of the user's session. Without either, libdbus would try to
// launch a bus of its own; nothing here should start one.
bool sessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo(runtime + QStringLiteral("/bus")).exists();
}

bool keychainServiceOnBus(int timeoutMs)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusConnectionInterface *busInterface = bus.interface();
    if (!busInterface)
        return false;
    busInterface->setTimeout(timeoutMs);
    const QStringList names = {QStringLiteral("org.freedesktop.secrets"), QStringLiteral("org.kde.kwalletd6"),
                               QStringLiteral("org.kde.kwalletd5"), QStringLiteral("org.kde.kwalletd")};
    for (const QString &name : names) {
        const QDBusReply<bool> registered = busInterface->isServiceRegistered(name);
        if (registered.isValid() && registered.value())
            return true;
    }
    // A keychain the bus starts on the first call counts as well.
    const QDBusReply<QStringList> activatable = busInterface->activatableServiceNames();
    if (activatable.isValid()) {
        for (const QString &name : names) {
            if (activatable.value().contains(name))
                return true;
        }
    }
    return false;
}

} // namespace

QString SecretKindName(SecretKind kind)
{
    switch (kind) {
    case SecretKind::Password:
        return QStringLiteral("password");
    case SecretKind::SshPassword:
        return QStringLiteral("ssh-password");
    case SecretKind::SshPassphrase:
        return QStringLiteral("ssh-passphrase");
    }
    return QString();
}

SecretStore::~SecretStore() = default;

bool SecretStore::removeAll(const QString &profile)
{
    bool ok = true;
    for (SecretKind kind : AllKinds)
        ok = remove(profile, kind) && ok;
    return ok;
}

bool SecretStore::rename(const QString &from, const QString &to)
{
    if (from == to)
        return true;
    for (SecretKind kind : AllKinds) {
        QString value;
        bool found = false;
        if (!read(from, kind, &value, &found))
            return false;
        if (!(found ? write(to, kind, value) : remove(to, kind)))
            return false;
        if (found && !remove(from, kind))
            return false;
    }
    return true;
}

std::unique_ptr<SecretStore> OpenDesktopKeychain(const QString &service, int timeoutMs, int probeTimeoutMs)
{
    const QString wanted = qEnvironmentVariable("QUARNEL_KEYCHAIN").trimmed().toLower();
    if (wanted == QLatin1String("0") || wanted == QLatin1String("off"))
        return nullptr;
    if (!sessionBusConfigured() || !keychainServiceOnBus(probeTimeoutMs))
        return nullptr;
    // The service is there; a read of an entry nobody writes shows that
    // QtKeychain reaches it (and that it is not a keychain of another kind).
    auto store = std::make_unique<KeychainSecretStore>(service, timeoutMs);
    auto *probe = new QKeychain::ReadPasswordJob(service);
    probe->setKey(QStringLiteral("probe@"));
    const auto outcome = runJob(probe, probeTimeoutMs);
    if (!outcome->finished
        || (outcome->error != QKeychain::NoError && outcome->error != QKeychain::EntryNotFound))
        return nullptr;
    // A service the bus merely could start may have no keyring to write to
    // (a session without a desktop, a keyring that first asks to be made or
    // unlocked): it must take a write before passwords go there. Otherwise
    // every save would wait for it and then keep the password in the file.
    auto *write = new QKeychain::WritePasswordJob(service);
    write->setKey(QStringLiteral("probe@"));
    write->setTextData(QStringLiteral("-"));
    const auto written = runJob(write, probeTimeoutMs);
    if (!written->finished || written->error != QKeychain::NoError)
        return nullptr;
    auto *erase = new QKeychain::DeletePasswordJob(service);
    erase->setKey(QStringLiteral("probe@"));
    runJob(erase, probeTimeoutMs);
    return store;
}
