#pragma once

#include "tests/support/privateserver.h"

#include <QByteArray>
#include <QStringList>

// What the private server's general log saw from one connection. The log
// goes to the table mysql.general_log (switched on by enableGeneralLog);
// statements are read as hex so that line breaks and tabs survive.
inline bool enableGeneralLog(const PrivateServer &server, QString *error = nullptr)
{
    return server.sql(QStringLiteral("SET GLOBAL log_output = 'TABLE'; SET GLOBAL general_log = 1;"), nullptr, error);
}

inline void clearGeneralLog(const PrivateServer &server)
{
    server.sql(QStringLiteral("TRUNCATE mysql.general_log;"));
}

// "Query" entries as their text, "Init DB" entries (selecting a database)
// as "USE " + the name.
inline QStringList generalLog(const PrivateServer &server, unsigned long connection)
{
    QString out;
    server.sql(QStringLiteral("SELECT command_type, HEX(argument) FROM mysql.general_log WHERE thread_id = %1 "
                              "AND command_type IN ('Query', 'Init DB');")
                   .arg(connection),
               &out);
    QStringList statements;
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 1; i < lines.size(); ++i) { // the first line holds the captions
        const QString type = lines.at(i).section(QLatin1Char('\t'), 0, 0);
        const QString text = QString::fromUtf8(QByteArray::fromHex(lines.at(i).section(QLatin1Char('\t'), 1).toLatin1()));
        statements.append(type == QLatin1String("Init DB") ? QStringLiteral("USE ") + text : text);
    }
    return statements;
}
