#include "data/connectionoptions.h"

namespace {

const ConnectionOption Options[] = {
    {"dbopt_incl", "SQL_AUTO_IS_NULL", "SQL_AUTO_IS_NULL = 0 | 1 ", "SQL_AUTO_IS_NULL  :",
     "If set to 1 (default) then one can find the last inserted row for a table with an auto_increment row with "
     "the following construct: WHERE auto_increment_column IS NULL. Some ODBC programs such as Access rely on it. "
     "Current servers start new connections with 0.",
     ""},
    {"dbopt_tables", "SQL_BIG_TABLES", "SQL_BIG_TABLES = 0 | 1 ", "SQL_BIG_TABLES  :",
     "If set to 1, all temporary tables are stored on disk rather than in memory. This is a little slower, but a "
     "SELECT that needs a large temporary table no longer fails with a \"table is full\" error.",
     "BIG_TABLES"},
    {"dbopt_select", "SQL_BIG_SELECTS", "SQL_BIG_SELECTS = 0 | 1 ", "SQL_BIG_SELECTS  :",
     "If set to 0, MySQL will abort if a SELECT is attempted that probably will take a very long time. This helps "
     "when an unwise WHERE clause has been issued. A big query is one that would examine more than max_join_size "
     "rows.",
     ""},
    {"dbopt_update", "SQL_LOW_PRIORITY_UPDATES", "SQL_LOW_PRIORITY_UPDATES = 0 | 1 ", "SQL_LOW_PRIORITY_UPDATES  :",
     "If set to 1, all INSERT, UPDATE, DELETE and and LOCK TABLE WRITE statements wait until there is no pending "
     "SELECT or LOCK TABLE READ on the affected table. ",
     "LOW_PRIORITY_UPDATES"},
    {"dbopt_join", "SQL_MAX_JOIN_SIZE", "SQL_MAX_JOIN_SIZE = value | DEFAULT ", "SQL_MAX_JOIN_SIZE  :",
     "Don't allow SELECTs that will probably need to examine more than the given number of row combinations. "
     "This catches SELECTs where keys are not used properly and that would take a long time. Setting a value "
     "other than DEFAULT resets SQL_BIG_SELECTS. DEFAULT takes the server's max_join_size start option.",
     "MAX_JOIN_SIZE"},
    {"dbopt_mode", "SQL_SAFE_MODE", "SQL_SAFE_MODE = 0 | 1 ", "SQL_SAFE_MODE :",
     "If set to 1, the server aborts an UPDATE or DELETE that does not use a key or LIMIT in its WHERE clause. "
     "This catches wrong updates in statements written by hand.",
     "SQL_SAFE_UPDATES"},
    {"dbopt_limit", "SQL_SELECT_LIMIT", "SQL_SELECT_LIMIT = value | DEFAULT ", "SQL_SELECT_LIMIT :",
     "The maximum number of records to return from SELECT statements. A LIMIT clause of the SELECT itself takes "
     "precedence. DEFAULT means no limit.",
     ""},
    {"dbopt_logoff", "SQL_LOG_OFF", "SQL_LOG_OFF = 0 | 1 ", "SQL_LOG_OFF :",
     "If set to 1, no logging will be done to the standard log for this client, if the client has the process "
     "privilege. The update log is not affected.",
     ""},
    {"dbopt_log", "SQL_LOG_UPDATE", "SQL_LOG_UPDATE = 0 | 1", "SQL_LOG_UPDATE :",
     "If set to 0, no logging will be done to the update log for the client, if the client has the process "
     "privilege. The standard log is not affected.",
     ""},
    {"dbopt_time", "TIMESTAMP", "TIMESTAMP = timestamp_value | DEFAULT ", "TIMESTAMP :",
     "Set the time for this client. This gives back the original timestamp when rows are restored from a log. "
     "DEFAULT returns to the current time.",
     ""},
    {"dbopt_insert", "INSERT_ID", "INSERT_ID = # ", "INSERT_ID :",
     "Set the value to be used by the following INSERT command when inserting an AUTO_INCREMENT value. It is "
     "used mainly when statements are replayed from a log.",
     ""},
};

} // namespace

const ConnectionOption *connectionOptions(int *count)
{
    *count = int(sizeof Options / sizeof Options[0]);
    return Options;
}

const ConnectionOption *connectionOption(const QString &action)
{
    for (const ConnectionOption &option : Options) {
        if (action == QLatin1String(option.action))
            return &option;
    }
    return nullptr;
}

QStringList ConnectionOptionNames(const ConnectionOption &option)
{
    QStringList names{QString::fromLatin1(option.variable)};
    const QString successors = QString::fromLatin1(option.successors);
    if (!successors.isEmpty())
        names += successors.split(QLatin1Char(','));
    return names;
}
