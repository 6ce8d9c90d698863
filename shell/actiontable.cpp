#include "shell/actiontable.h"

#include <QAction>
#include <QColor>
#include <QFont>
#include <QDir>
#include <QIcon>
#include <QKeySequence>
#include <QPainter>
#include <QPixmap>

namespace {

// clang-format off
const ActionSpec Actions[] = {
    // name, category, caption, hint, shortcut, at start, switched by, icon
    {"server_print", "Server", "&Print", "", "", false, "S", "document-print"},
    {"server_print_setup", "Server", "Print &Setup SQL-Query", "", "", true, "", "document-page-setup"},
    {"server_print_setup_tab", "Server", "Print Setup &Tables", "Print setup for Tables", "", true, "", "document-page-setup"},
    {"server_print_pref", "Server", "Print Privie&w", "", "", false, "S", "document-print-preview"},
    {"server_add", "Server", "&Add Server", "Add a new server to the configuration", "", true, "", "list-add"},
    {"server_remove", "Server", "&Remove Server", "Remove the configuration", "", false, "L", "list-remove"},
    {"server_modify", "Server", "&Modify Server", "Modify the server configuration", "", false, "L", "document-properties"},
    {"database_select", "database", "&Select Database", "Select a database", "", false, "SR", ""},
    {"databse_create", "database", "&Create new Database", "Create a new database", "", false, "SR", ""},
    {"database_drop", "database", "&Drop Database", "drop the selected database", "", false, "SR", ""},
    {"table_create", "tables", "&Create Table", "Create a new table", "", false, "SR", "insert-table"},
    {"table_modify", "tables", "&Modify Tablestructur", "Modify Tablestructur", "", false, "SR", "document-edit"},
    {"table_drop", "tables", "&Drop Table", "Delete the selected table", "", false, "SR", "edit-delete"},
    {"table_property", "tables", "&Table Status", "", "", false, "SR", "document-properties"},
    {"table_index", "tables", "Get &Index from Table", "Tableindex", "", false, "SR", "database-index"},
    {"table_optimize", "tables", "&Optimize Table", "Optimize Table", "", false, "SR", "run-build-clean"},
    {"table_lock", "tables", "&Lock Table", "Lock the Table", "", false, "SR", ""},
    {"table_unlock", "tables", "&Unlock Table", "Unlock the Table", "", false, "SR", ""},
    {"tools_autolog", "tools", "&Auto Log", "Database protocol", "", false, "S", ""},
    {"tools_clearlog", "tools", "&Clear Logwindow", "Clear the Logwindow", "", false, "S", ""},
    {"tools_messageclear", "tools", "Clear &Messagewindow", "Clear Messagewindow", "", true, "", ""},
    {"tools_optionen", "tools", "&Programm Optionen", "Programm Optionen", "", true, "", ""},
    {"help_about", "help", "&About", "About", "", true, "", "help-about"},
    {"EditCut1", "SQL", "&Cut", "Cut", "Ctrl+X", true, "E", "edit-cut"},
    {"EditCopy1", "SQL", "&Copy", "Copy", "Ctrl+C", true, "E", "edit-copy"},
    {"EditPaste1", "SQL", "&Paste", "Paste", "Ctrl+V", true, "E", "edit-paste"},
    {"EditNew", "SQL", "&New Query", "New Query", "Ctrl+N", false, "S", "document-new"},
    {"EditSave", "SQL", "&Save Query", "Save", "Ctrl+S", false, "S", "document-save"},
    {"EditSaveAll", "SQL", "&Save All", "Save All", "", false, "S", ""},
    {"server_refresh", "Server", "Refresh &Database List", "", "", false, "SR", "view-refresh"},
    {"EditOpen", "SQL", "&Open Query", "Open", "Ctrl+O", false, "S", "document-open"},
    {"EditExec", "SQL", "Exec", "Execute query", "F9", false, "SR", "system-run"},
    {"table_def", "tables", "Table d&efinition", "Definition from Table", "", false, "SR", "view-list-details"},
    {"admin_status", "admin", "Status Information", "Status Information", "", false, "SR", "view-statistics"},
    {"admin_variable", "admin", "System Variables", "System Variables", "", false, "SR", "configure"},
    {"admin_process", "admin", "Process List", "Process List from server", "", false, "SR", "view-process-all"},
    {"App_add", "application", "Add Application", "Application Add", "", false, "AR", ""},
    {"App_mod", "application", "&Modify Application", "Modify Application", "", false, "AR", ""},
    {"App_rem", "application", "&Remove Application", "Remove Application", "", false, "AR", ""},
    {"App_clear_msg", "application", "Clear Message Table", "Clear Application Message Log", "", false, "AR", ""},
    {"App_msg_save", "application", "Save Message Table", "Save Message Log from Application Server", "", false, "A", ""},
    {"App_ref_app", "application", "Refresh Application List", "Refresh Application List", "", false, "AR", ""},
    {"App_ref_msg", "application", "Refresh Message List", "Refresh Message List", "", false, "AR", ""},
    {"table_comment", "tables", "Table Comment", "Comment for table", "", false, "SR", ""},
    {"database_kill", "database", "Kill Task", "Kill selected task", "", true, "R", ""},
    {"dbopt_incl", "dboptionen", "Auto increment", "", "", false, "SR", ""},
    {"dbopt_tables", "dboptionen", "Big tables", "", "", false, "SR", ""},
    {"dbopt_select", "dboptionen", "Big selects", "", "", false, "SR", ""},
    {"dbopt_update", "dboptionen", "Low priority updates", "", "", false, "SR", ""},
    {"dbopt_join", "dboptionen", "Max join size", "", "", false, "SR", ""},
    {"dbopt_mode", "dboptionen", "Save mode", "", "", false, "SR", ""},
    {"dbopt_limit", "dboptionen", "Select Linit", "", "", false, "SR", ""},
    {"dbopt_logoff", "dboptionen", "Log Off", "", "", false, "SR", ""},
    {"dbopt_log", "dboptionen", "Log update", "", "", false, "SR", ""},
    {"dbopt_time", "dboptionen", "Timestamp", "", "", false, "SR", ""},
    {"dbopt_insert", "dboptionen", "Last insert id", "", "", false, "SR", ""},
    {"flush_host", "flush", "Flush Hosts", "", "", false, "SR", ""},
    {"flush_log", "flush", "Flush Logs", "", "", false, "SR", ""},
    {"flush_privileges", "flush", "Flush Privileges", "", "", false, "SR", ""},
    {"flush_tables", "flush", "Flush Tables", "", "", false, "SR", ""},
    {"flush_status", "flush", "Flush Status", "", "", false, "SR", ""},
    {"table_save_result", "tables", "Save Result", "Save result to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"table_save_def", "tables", "Save Definition", "Save definition to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"table_save_index", "tables", "Save Tableindex", "Save table index to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"table_save_prop", "tables", "Save Table Propertis", "Save table preopertis to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"table_save_sql", "tables", "Save SQL-Query Data", "", "", true, "S", "document-save-as"},
    {"table_delete_row", "tables", "Delete Selected Row", "Delete selected row", "", false, "SR", "edit-table-delete-row"},
    {"table_print_result", "tables", "Print Result", "", "", false, "S", "document-print"},
    {"table_print_def", "tables", "Print Tabledefinition", "", "", false, "S", "document-print"},
    {"table_print_index", "tables", "Print Index fom Table", "", "", false, "S", "document-print"},
    {"table_print_prop", "tables", "Print Tablepropertis", "", "", false, "S", "document-print"},
    {"table_print_qdata", "tables", "Print SQL-Query Data", "", "", false, "S", "document-print"},
    {"server_undo", "Server", "&Undo", "Unfo", "", false, "S", "edit-undo"},
    {"server_redo", "Server", "Redo", "Redo", "", false, "SE", "edit-redo"},
    {"server_font", "Server", "Editor &font", "Font", "", false, "S", "preferences-desktop-font"},
    {"server_inlinks", "Server", "Un-indent", "Un-indent selected lines", "", false, "S", "format-indent-less"},
    {"server_rechts", "Server", "Indent", "Indent selected lines", "", false, "S", "format-indent-more"},
    {"server_properties", "Server", "Editor &properties", "Editor prperties", "", false, "S", ""},
    {"server_line_font", "Server", "&Line number font", "Line number font", "", false, "S", ""},
    {"server_find", "Server", "&Find", "Find", "Ctrl+F", false, "S", "edit-find"},
    {"server_replace", "Server", "&Replace", "Replace", "Ctrl+R", false, "S", "edit-find-replace"},
    {"server_search_again", "Server", "&Search again", "Search again", "F3", false, "S", ""},
    {"server_show_all", "Server", "Show &all", "Show all", "", false, "S", ""},
    {"server_goto", "Server", "&Goto line number", "Goto line number", "Ctrl+G", false, "S", "go-jump"},
    {"server_upper", "Server", "Character case &upper", "Character case upper", "", false, "SE", ""},
    {"server_lower", "Server", "Character case &lower", "Character case lower", "", false, "SE", ""},
    {"server_quote", "Server", "&Quote block", "Quote block", "", false, "SE", ""},
    {"Action_User_New", "admin", "New User", "", "", true, "R", ""},
    {"Action_User_Change", "admin", "Change User Information", "", "", true, "R", ""},
    {"Action_User_Delete", "admin", "Delete User", "", "", true, "R", ""},
    {"Action_New_Host", "admin", "New Host", "", "", true, "R", ""},
    {"Action_Change_Host", "admin", "Change Host Information", "", "", true, "R", ""},
    {"Action_Delete_Host", "admin", "Delete Host", "", "", true, "R", ""},
    {"Action_New_DB", "admin", "Add New Database to Host", "", "", true, "R", ""},
    {"Action_Change_DB", "admin", "Change Database Informationen", "", "", true, "R", ""},
    {"Action_Delete_DB", "admin", "Delete Database", "", "", true, "R", ""},
    {"help_Show", "help", "Show Quarnel", "", "", true, "", ""},
    {"help_Close", "help", "Close Programm", "", "", true, "", "application-exit"},
    {"admin_start_local_db", "admin", "Star&t Local Database Server", "Start local Mysql Database", "", true, "", "media-playback-start"},
    {"admin_stop_local_db", "admin", "St&op Local Database Server", "Stop local Mysql Database", "", true, "", "media-playback-stop"},
    // Beyond the window definition: ends the statement that is running.
    {"query_stop", "SQL", "&Stop", "Stop the running statement", "Esc", false, "", "process-stop"},
    // Beside Exec: a part of the text, and the statement the caret stands in
    // (its shortcut works in the editor only).
    {"EditExecSelection", "SQL", "Exec Selection", "Execute the selected text", "Ctrl+Shift+F9", false, "SR", "debug-run"},
    {"EditExecStatement", "SQL", "Exec Statement", "Execute the statement under the caret", "Ctrl+Return", false, "SR", "debug-run-cursor"},
    // A script file of any size, run from disk without the editor.
    {"query_run_file", "SQL", "Run SQL File...", "Run a SQL file from disk", "", false, "SR", "document-open"},
    // The line above the data grid when the row limit holds rows back.
    {"table_show_all", "tables", "Show all", "Show all rows of the table", "", false, "SR", "go-bottom"},
    {"table_next_rows", "tables", "Next 100", "Show the next rows of the table", "", false, "SR", "go-down"},
    // The server information and privilege grids save and print as the others do.
    {"table_save_info", "tables", "Save Database Info", "Save the variables, status or process list to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"table_print_info", "tables", "Print Database Info", "Print the variables, status or process list", "", false, "S", "document-print"},
    {"admin_save_privileges", "admin", "Save Privilege Table", "Save the privilege table shown to file (xls,csv,doc,asc,htm)", "", false, "S", "document-save-as"},
    {"admin_print_privileges", "admin", "Print Privilege Table", "Print the privilege table shown", "", false, "S", "document-print"},
    // The editor's tabs; switching works while the editor has the focus.
    {"EditNewTab", "SQL", "New &Tab", "Open a new editor tab", "Ctrl+T", false, "S", "tab-new"},
    {"EditCloseTab", "SQL", "C&lose Tab", "Close the editor tab", "Ctrl+W", false, "S", "tab-close"},
    {"EditNextTab", "SQL", "Ne&xt Tab", "Show the next editor tab", "Ctrl+PgDown; Ctrl+Tab", false, "S", "go-next"},
    {"EditPreviousTab", "SQL", "Pre&vious Tab", "Show the previous editor tab", "Ctrl+PgUp; Ctrl+Shift+Tab", false, "S", "go-previous"},
    // The names the editor offers as the user types, read again (F5 while
    // the editor has the focus).
    {"EditReloadNames", "SQL", "Reload &Names", "Read the names offered for completion again", "F5", false, "S", "view-refresh"},
    // Beside "Kill Task" in the process list: ends the statement only.
    {"database_kill_query", "database", "Kill Query", "End the statement of the selected task; its connection stays", "", true, "R", ""},
};
// clang-format on

// Colour of a drawn badge by category, so related buttons look related.
QColor categoryColour(const QString &category)
{
    if (category == QLatin1String("tables"))
        return QColor(0x2f, 0x6f, 0xb3);
    if (category == QLatin1String("admin"))
        return QColor(0x8a, 0x4b, 0x9c);
    if (category == QLatin1String("SQL"))
        return QColor(0x2e, 0x8b, 0x57);
    if (category == QLatin1String("database"))
        return QColor(0xb3, 0x6b, 0x00);
    if (category == QLatin1String("Server"))
        return QColor(0x00, 0x80, 0x80);
    return QColor(0x60, 0x60, 0x60);
}

// A badge with the caption's first letters for commands the icon theme lacks;
// toolbar buttons show only images, so every command needs one.
QIcon badgeIcon(const ActionSpec &entry)
{
    QString text = QString::fromUtf8(entry.caption).remove(QLatin1Char('&'));
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QString letters;
    for (const QString &word : words) {
        if (letters.size() < 2 && word.at(0).isLetterOrNumber())
            letters += word.at(0).toUpper();
    }
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(categoryColour(QString::fromUtf8(entry.category)));
    painter.setPen(Qt::NoPen);
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    QFont font;
    font.setBold(true);
    font.setPixelSize(letters.size() > 1 ? 14 : 18);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(0, 0, 32, 32), Qt::AlignCenter, letters);
    painter.end();
    return QIcon(pixmap);
}

} // namespace

const ActionSpec *actionTable(int *count)
{
    *count = int(sizeof(Actions) / sizeof(Actions[0]));
    return Actions;
}

void UseFallbackIconTheme()
{
    // Icons that the desktop's theme lacks, and all of them where no
    // desktop sets a theme (a bare X server), come from the theme that the
    // set-up installs.
    if (QIcon::fallbackThemeName() != QLatin1String(FallbackIconTheme))
        QIcon::setFallbackThemeName(QString::fromLatin1(FallbackIconTheme));
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Without a desktop's platform theme (the offscreen platform, some bare
    // X servers) Qt looks for themes in its resources only: add the
    // freedesktop folders, where the installed themes are.
    QStringList paths = QIcon::themeSearchPaths();
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    QStringList folders{QDir::homePath() + QStringLiteral("/.local/share/icons")};
    for (const QString &dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        folders.append(dir + QStringLiteral("/icons"));
    bool added = false;
    for (const QString &folder : std::as_const(folders)) {
        if (!paths.contains(folder) && QDir(folder).exists()) {
            paths.append(folder);
            added = true;
        }
    }
    if (added)
        QIcon::setThemeSearchPaths(paths);
#endif
    // No desktop theme at all, or only the bare base theme that holds no
    // action images: Qt would not turn to the fallback, so it is the theme.
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QString::fromLatin1(FallbackIconTheme));
}

QHash<QString, QAction *> createActions(QObject *parent)
{
    UseFallbackIconTheme();
    QHash<QString, QAction *> actions;
    for (const ActionSpec &entry : Actions) {
        auto *action = new QAction(QString::fromUtf8(entry.caption), parent);
        const QString name = QString::fromLatin1(entry.name);
        action->setObjectName(name);
        action->setProperty("category", QString::fromLatin1(entry.category));
        const QString hint = QString::fromUtf8(entry.hint);
        if (!hint.isEmpty()) {
            action->setToolTip(hint);
            action->setStatusTip(hint);
        }
        // Several shortcuts are separated by "; ".
        if (*entry.shortcut)
            action->setShortcuts(QKeySequence::listFromString(QString::fromLatin1(entry.shortcut)));
        action->setEnabled(entry.enabledAtStart);
        QIcon icon = *entry.icon ? QIcon::fromTheme(QString::fromLatin1(entry.icon)) : QIcon();
        action->setIcon(icon.isNull() ? badgeIcon(entry) : icon);
        actions.insert(name, action);
    }
    return actions;
}
