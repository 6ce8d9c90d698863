#pragma once

#include "tests/support/privateserver.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Certificates for TLS tests, made with openssl in a temporary folder: a CA,
// a server certificate it signs for 127.0.0.1 and localhost, a client
// certificate it signs, a second server certificate that names another host,
// and a CA of its own with its own server certificate.
class TlsFiles
{
public:
    bool make(QString *error)
    {
        if (!m_dir.isValid())
            return fail(error, QStringLiteral("no temporary folder"));
        m_openssl = PrivateServer::findProgram(QStringLiteral("openssl"));
        if (m_openssl.isEmpty())
            return fail(error, QStringLiteral("openssl is not installed"));
        return makeCa(QStringLiteral("ca"), QStringLiteral("Quarnel Test CA"), error)
            && makeCa(QStringLiteral("other-ca"), QStringLiteral("Another CA"), error)
            && makeSigned(QStringLiteral("server"), QStringLiteral("ca"), QStringLiteral("localhost"),
                          QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"), error)
            && makeSigned(QStringLiteral("elsewhere"), QStringLiteral("ca"), QStringLiteral("db.example.test"),
                          QStringLiteral("subjectAltName=DNS:db.example.test"), error)
            && makeSigned(QStringLiteral("stranger"), QStringLiteral("other-ca"), QStringLiteral("localhost"),
                          QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost"), error)
            && makeSigned(QStringLiteral("client"), QStringLiteral("ca"), QStringLiteral("quarnel-client"),
                          QString(), error);
    }

    // name.pem and name-key.pem
    QString cert(const QString &name) const { return m_dir.filePath(name + QStringLiteral(".pem")); }
    QString key(const QString &name) const { return m_dir.filePath(name + QStringLiteral("-key.pem")); }

    // Options that start a server with the certificate serveAs put in place.
    QStringList serverArguments() const
    {
        const QString serving = QStringLiteral("serving");
        return {QStringLiteral("--ssl-ca=") + cert(QStringLiteral("ca")), QStringLiteral("--ssl-cert=") + cert(serving),
                QStringLiteral("--ssl-key=") + key(serving)};
    }

    // Puts the certificate `name` where the server reads its own from
    // (FLUSH SSL then loads it).
    bool serveAs(const QString &name) const
    {
        return replace(cert(name), cert(QStringLiteral("serving"))) && replace(key(name), key(QStringLiteral("serving")));
    }

private:
    static bool replace(const QString &from, const QString &to)
    {
        QFile::remove(to);
        return QFile::copy(from, to);
    }

    bool fail(QString *error, const QString &message) const
    {
        if (error)
            *error = message;
        return false;
    }

    bool run(const QStringList &arguments, QString *error) const
    {
        QString out;
        if (runProgram(m_openssl, arguments, &out) != 0)
            return fail(error, QStringLiteral("openssl %1 failed: %2").arg(arguments.join(QLatin1Char(' ')), out));
        return true;
    }

    QStringList keyOptions() const
    {
        return {QStringLiteral("-newkey"), QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes")};
    }

    bool makeCa(const QString &name, const QString &commonName, QString *error)
    {
        return run(QStringList{QStringLiteral("req"), QStringLiteral("-x509")} + keyOptions()
                       + QStringList{QStringLiteral("-keyout"), key(name), QStringLiteral("-out"), cert(name),
                                     QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                                     QStringLiteral("/CN=") + commonName},
                   error);
    }

    bool makeSigned(const QString &name, const QString &ca, const QString &commonName, const QString &extension,
                    QString *error)
    {
        const QString request = m_dir.filePath(name + QStringLiteral(".csr"));
        const QString extensions = m_dir.filePath(name + QStringLiteral(".ext"));
        QFile ext(extensions);
        if (!ext.open(QIODevice::WriteOnly))
            return fail(error, QStringLiteral("cannot write ") + extensions);
        ext.write((QStringLiteral("basicConstraints=CA:FALSE\n") + extension + QLatin1Char('\n')).toUtf8());
        ext.close();
        return run(QStringList{QStringLiteral("req")} + keyOptions()
                       + QStringList{QStringLiteral("-keyout"), key(name), QStringLiteral("-out"), request,
                                     QStringLiteral("-subj"), QStringLiteral("/CN=") + commonName},
                   error)
            && run({QStringLiteral("x509"), QStringLiteral("-req"), QStringLiteral("-in"), request,
                    QStringLiteral("-CA"), cert(ca), QStringLiteral("-CAkey"), key(ca), QStringLiteral("-set_serial"),
                    QString::number(++m_serial), QStringLiteral("-days"), QStringLiteral("2"),
                    QStringLiteral("-extfile"), extensions, QStringLiteral("-out"), cert(name)},
                   error);
    }

    QTemporaryDir m_dir;
    QString m_openssl;
    int m_serial = 100;
};
