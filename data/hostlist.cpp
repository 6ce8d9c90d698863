#include "data/hostlist.h"

QString THostAddress::text() const
{
    const QString host = Host.contains(QLatin1Char(':')) ? QLatin1Char('[') + Host + QLatin1Char(']') : Host;
    return host + QLatin1Char(':') + QString::number(Port);
}

QStringList HostLines(const QString &text)
{
    QStringList lines;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    return lines;
}

namespace {

bool parseOne(const QString &line, int defaultPort, THostAddress *address)
{
    QString host = line;
    QString port;
    if (line.startsWith(QLatin1Char('['))) {
        const int close = int(line.indexOf(QLatin1Char(']')));
        if (close < 0)
            return false;
        host = line.mid(1, close - 1);
        const QString rest = line.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return false;
            port = rest.mid(1);
        } else {
            port = QString::number(defaultPort);
        }
    } else if (line.count(QLatin1Char(':')) == 1) {
        const int colon = int(line.indexOf(QLatin1Char(':')));
        host = line.left(colon);
        port = line.mid(colon + 1);
    } else {
        port = QString::number(defaultPort); // a name, or a bare IPv6 address
    }
    host = host.trimmed();
    bool ok = false;
    const int number = port.trimmed().toInt(&ok);
    if (host.isEmpty() || !ok || number < 1 || number > 65535)
        return false;
    address->Host = host;
    address->Port = number;
    return true;
}

} // namespace

bool ParseHostList(const QStringList &lines, int defaultPort, QList<THostAddress> *hosts, QString *bad)
{
    QList<THostAddress> parsed;
    for (const QString &line : lines) {
        THostAddress address;
        if (!parseOne(line.trimmed(), defaultPort, &address)) {
            if (bad)
                *bad = line;
            return false;
        }
        parsed.append(address);
    }
    if (hosts)
        *hosts = parsed;
    return true;
}

bool TryNextHostAfter(unsigned int errorNumber)
{
    switch (errorNumber) {
    case 1045: // access denied
    case 1820: // the password must be changed first
    case 1862: // the password has expired
        return false;
    default:
        return true;
    }
}
