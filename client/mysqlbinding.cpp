#include "client/mysqlbinding.h"

#include <QLibrary>

#include <atomic>

#include <memory>

namespace {

QString initialLibraryName()
{
    const QByteArray fromEnv = qgetenv("QUARNEL_CLIENT_LIBRARY");
    return fromEnv.isEmpty() ? DefaultClientLibraryName() : QString::fromLocal8Bit(fromEnv);
}

std::unique_ptr<QLibrary> library;
std::atomic<int> libraryHolds{0};

const char *const entryPointNames[] = {
    "mysql_debug", "mysql_dump_debug_info", "mysql_init", "mysql_connect",
    "mysql_real_connect", "mysql_close", "mysql_select_db", "mysql_create_db",
    "mysql_drop_db", "mysql_query", "mysql_real_query", "mysql_shutdown",
    "mysql_refresh", "mysql_kill", "mysql_ping", "mysql_stat",
    "mysql_options", "mysql_escape_string", "mysql_get_server_info", "mysql_get_client_info",
    "mysql_get_host_info", "mysql_get_proto_info", "mysql_list_fields", "mysql_list_processes",
    "mysql_list_dbs", "mysql_list_tables", "mysql_data_seek", "mysql_row_seek",
    "mysql_field_seek", "mysql_fetch_row", "mysql_fetch_lengths", "mysql_fetch_field",
    "mysql_use_result", "mysql_store_result", "mysql_free_result",
};
constexpr int entryPointCount = int(sizeof entryPointNames / sizeof entryPointNames[0]);
static_assert(entryPointCount == 35, "the binding has 35 entry points");

template<typename Fn>
void resolve(Fn &slot, const char *name)
{
    slot = reinterpret_cast<Fn>(library->resolve(name));
}

} // namespace

QString ClientLibraryName = initialLibraryName();
MySqlApi mysqlApi;

QString DefaultClientLibraryName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("libmySQL.DLL");
#else
    return QStringLiteral("libmariadb.so.3");
#endif
}

bool LoadClientLibrary()
{
    if (library)
        return true;
    auto lib = std::make_unique<QLibrary>(ClientLibraryName);
    if (!lib->load())
        return false;
    library = std::move(lib);

    MySqlApi &a = mysqlApi;
    resolve(a.mysql_debug, "mysql_debug");
    resolve(a.mysql_dump_debug_info, "mysql_dump_debug_info");
    resolve(a.mysql_init, "mysql_init");
    resolve(a.mysql_connect, "mysql_connect");
    resolve(a.mysql_real_connect, "mysql_real_connect");
    resolve(a.mysql_close, "mysql_close");
    resolve(a.mysql_select_db, "mysql_select_db");
    resolve(a.mysql_create_db, "mysql_create_db");
    resolve(a.mysql_drop_db, "mysql_drop_db");
    resolve(a.mysql_query, "mysql_query");
    resolve(a.mysql_real_query, "mysql_real_query");
    resolve(a.mysql_shutdown, "mysql_shutdown");
    resolve(a.mysql_refresh, "mysql_refresh");
    resolve(a.mysql_kill, "mysql_kill");
    resolve(a.mysql_ping, "mysql_ping");
    resolve(a.mysql_stat, "mysql_stat");
    resolve(a.mysql_options, "mysql_options");
    resolve(a.mysql_escape_string, "mysql_escape_string");
    resolve(a.mysql_get_server_info, "mysql_get_server_info");
    resolve(a.mysql_get_client_info, "mysql_get_client_info");
    resolve(a.mysql_get_host_info, "mysql_get_host_info");
    resolve(a.mysql_get_proto_info, "mysql_get_proto_info");
    resolve(a.mysql_list_fields, "mysql_list_fields");
    resolve(a.mysql_list_processes, "mysql_list_processes");
    resolve(a.mysql_list_dbs, "mysql_list_dbs");
    resolve(a.mysql_list_tables, "mysql_list_tables");
    resolve(a.mysql_data_seek, "mysql_data_seek");
    resolve(a.mysql_row_seek, "mysql_row_seek");
    resolve(a.mysql_field_seek, "mysql_field_seek");
    resolve(a.mysql_fetch_row, "mysql_fetch_row");
    resolve(a.mysql_fetch_lengths, "mysql_fetch_lengths");
    resolve(a.mysql_fetch_field, "mysql_fetch_field");
    resolve(a.mysql_use_result, "mysql_use_result");
    resolve(a.mysql_store_result, "mysql_store_result");
    resolve(a.mysql_free_result, "mysql_free_result");

    resolve(a.mysql_error, "mysql_error");
    resolve(a.mysql_errno, "mysql_errno");
    resolve(a.mysql_affected_rows, "mysql_affected_rows");
    resolve(a.mysql_num_rows, "mysql_num_rows");
    resolve(a.mysql_num_fields, "mysql_num_fields");
    resolve(a.mysql_field_count, "mysql_field_count");
    resolve(a.mysql_more_results, "mysql_more_results");
    resolve(a.mysql_next_result, "mysql_next_result");
    resolve(a.mysql_fetch_fields, "mysql_fetch_fields");
    resolve(a.mysql_thread_id, "mysql_thread_id");
    resolve(a.mariadb_cancel, "mariadb_cancel");
    resolve(a.mysql_optionsv, "mysql_optionsv");
    resolve(a.mysql_ssl_set, "mysql_ssl_set");
    resolve(a.mysql_get_ssl_cipher, "mysql_get_ssl_cipher");
    resolve(a.mariadb_get_infov, "mariadb_get_infov");
    return true;
}

void HoldClientLibrary()
{
    ++libraryHolds;
}

void ReleaseClientLibrary()
{
    --libraryHolds;
}

void UnloadClientLibrary()
{
    if (library && libraryHolds.load() > 0) {
        // A thread still calls into the library (a stop request waiting on
        // a server that does not answer): its code and state stay in place.
        mysqlApi = MySqlApi();
        (void)library.release();
    } else if (library) {
        mysqlApi = MySqlApi();
        // The library's global state goes before its code does.
        using EndFn = decltype(&::mysql_server_end);
        if (auto end = reinterpret_cast<EndFn>(library->resolve("mysql_server_end")))
            end();
        library->unload();
        library.reset();
    }
    ClientLibraryName.clear();
}

bool ClientLibraryBound()
{
    return library != nullptr;
}

const char *const *ClientEntryPointNames(int *count)
{
    if (count)
        *count = entryPointCount;
    return entryPointNames;
}

int BoundEntryPointCount()
{
    if (!library)
        return 0;
    int bound = 0;
    for (const char *name : entryPointNames)
        bound += library->resolve(name) ? 1 : 0;
    return bound;
}
