#pragma once

// The client library is loaded at run time by file name; its headers give
// the types only. Nothing here links against it.
#include <mysql.h>

#include <QString>

// File name of the client library: "libmySQL.DLL" on Windows,
// "libmariadb.so.3" elsewhere; QUARNEL_CLIENT_LIBRARY overrides it.
extern QString ClientLibraryName;

// Entry points the old API had and Connector/C dropped.
using mysql_connect_fn = MYSQL *(STDCALL *)(MYSQL *, const char *, const char *, const char *);
using mysql_create_db_fn = int(STDCALL *)(MYSQL *, const char *);
using mysql_drop_db_fn = int(STDCALL *)(MYSQL *, const char *);

// One slot per entry point: the resolved address, or nullptr when the library
// lacks it. The first 35 are the binding proper; the rest read results and
// the connection's state without touching the handle's memory.
struct MySqlApi
{
    decltype(&::mysql_debug) mysql_debug = nullptr;
    decltype(&::mysql_dump_debug_info) mysql_dump_debug_info = nullptr;
    decltype(&::mysql_init) mysql_init = nullptr;
    mysql_connect_fn mysql_connect = nullptr;
    decltype(&::mysql_real_connect) mysql_real_connect = nullptr;
    decltype(&::mysql_close) mysql_close = nullptr;
    decltype(&::mysql_select_db) mysql_select_db = nullptr;
    mysql_create_db_fn mysql_create_db = nullptr;
    mysql_drop_db_fn mysql_drop_db = nullptr;
    decltype(&::mysql_query) mysql_query = nullptr;
    decltype(&::mysql_real_query) mysql_real_query = nullptr;
    decltype(&::mysql_shutdown) mysql_shutdown = nullptr;
    decltype(&::mysql_refresh) mysql_refresh = nullptr;
    decltype(&::mysql_kill) mysql_kill = nullptr;
    decltype(&::mysql_ping) mysql_ping = nullptr;
    decltype(&::mysql_stat) mysql_stat = nullptr;
    decltype(&::mysql_options) mysql_options = nullptr;
    decltype(&::mysql_escape_string) mysql_escape_string = nullptr;
    decltype(&::mysql_get_server_info) mysql_get_server_info = nullptr;
    decltype(&::mysql_get_client_info) mysql_get_client_info = nullptr;
    decltype(&::mysql_get_host_info) mysql_get_host_info = nullptr;
    decltype(&::mysql_get_proto_info) mysql_get_proto_info = nullptr;
    decltype(&::mysql_list_fields) mysql_list_fields = nullptr;
    decltype(&::mysql_list_processes) mysql_list_processes = nullptr;
    decltype(&::mysql_list_dbs) mysql_list_dbs = nullptr;
    decltype(&::mysql_list_tables) mysql_list_tables = nullptr;
    decltype(&::mysql_data_seek) mysql_data_seek = nullptr;
    decltype(&::mysql_row_seek) mysql_row_seek = nullptr;
    decltype(&::mysql_field_seek) mysql_field_seek = nullptr;
    decltype(&::mysql_fetch_row) mysql_fetch_row = nullptr;
    decltype(&::mysql_fetch_lengths) mysql_fetch_lengths = nullptr;
    decltype(&::mysql_fetch_field) mysql_fetch_field = nullptr;
    decltype(&::mysql_use_result) mysql_use_result = nullptr;
    decltype(&::mysql_store_result) mysql_store_result = nullptr;
    decltype(&::mysql_free_result) mysql_free_result = nullptr;

    decltype(&::mysql_error) mysql_error = nullptr;
    decltype(&::mysql_errno) mysql_errno = nullptr;
    decltype(&::mysql_affected_rows) mysql_affected_rows = nullptr;
    decltype(&::mysql_num_rows) mysql_num_rows = nullptr;
    decltype(&::mysql_num_fields) mysql_num_fields = nullptr;
    decltype(&::mysql_field_count) mysql_field_count = nullptr;
    // Statements that return several results (a CALL of a procedure that
    // selects) leave the later ones to be read before the next statement.
    decltype(&::mysql_more_results) mysql_more_results = nullptr;
    decltype(&::mysql_next_result) mysql_next_result = nullptr;
    decltype(&::mysql_fetch_fields) mysql_fetch_fields = nullptr;
    decltype(&::mysql_thread_id) mysql_thread_id = nullptr;
    // Breaks off what a connection is doing (its socket is shut down), from
    // another thread: gives up a connect attempt without waiting for its timeout.
    decltype(&::mariadb_cancel) mariadb_cancel = nullptr;
    // Secured connections: options set before connecting, and what the
    // connection negotiated. Libraries without them leave their slots empty.
    decltype(&::mysql_optionsv) mysql_optionsv = nullptr;
    decltype(&::mysql_ssl_set) mysql_ssl_set = nullptr;
    decltype(&::mysql_get_ssl_cipher) mysql_get_ssl_cipher = nullptr;
    decltype(&::mariadb_get_infov) mariadb_get_infov = nullptr;
};

// The bound entry points; all empty while the library is not bound.
extern MySqlApi mysqlApi;

// Loads ClientLibraryName and looks up every entry point. False when the file
// could not be loaded; a missing entry point only leaves its slot empty.
bool LoadClientLibrary();
// Unloading leaves the library in place while a thread of its own (not a
// client's worker, which its client ends first) holds it.
void UnloadClientLibrary();
void HoldClientLibrary();
void ReleaseClientLibrary();
bool ClientLibraryBound();

// The 35 names of the binding, in order, and how many of them are bound.
const char *const *ClientEntryPointNames(int *count);
int BoundEntryPointCount();

// The file name used when nothing overrides it.
QString DefaultClientLibraryName();
