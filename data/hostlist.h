#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// One server of a profile's host list.
struct THostAddress
{
    QString Host;
    int Port = 0;

    // "host:port"; an IPv6 address in brackets.
    QString text() const;
    bool operator==(const THostAddress &other) const { return Host == other.Host && Port == other.Port; }
};

// The lines of a host list as typed: each trimmed, blank ones left out.
QStringList HostLines(const QString &text);

// Reads "host:port" lines ("[::1]:3307" for IPv6; a line without a port, or
// a bare IPv6 address, uses defaultPort). False, with the offending line in
// *bad, when a port is not a whole number from 1 to 65535 or a host is empty.
bool ParseHostList(const QStringList &lines, int defaultPort, QList<THostAddress> *hosts, QString *bad = nullptr);

// Connect errors after which another host of the list is worth trying: the
// host did not answer or would not take the connection. An account that was
// refused (wrong password, expired password) is refused by every node alike.
bool TryNextHostAfter(unsigned int errorNumber);
