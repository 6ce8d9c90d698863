#pragma once

#include "data/gridmodel.h"
#include "data/messagelog.h"
#include "data/settingsstore.h"
#include "data/tdmstd.h"

#include <QItemSelectionModel>
#include <QStandardItemModel>

// What the main window hands the data module, without a window: the tree, the
// grids, the message log, the settings and a server profile.
struct HeadlessViews
{
    HeadlessViews(const QString &host, const QString &port, const QString &user, const QString &password)
    {
        views.tree = &tree;
        views.treeSelection = &selection;
        views.dataGrid = &data;
        views.definitionGrid = &definition;
        views.statusGrid = &status;
        views.indexGrid = &index;
        views.queryGrid = &query;
        views.infoGrid = &info;
        views.autoLog = &autoLog;
        views.userGrid = &users;
        views.hostGrid = &hosts;
        views.dbGrid = &dbs;
        views.jobGrid = &jobs;
        views.messageGrid = &messages;
        views.log = &log;
        views.program = &program;
        views.profile = &profile;
        profile.Host = host;
        profile.Port = port;
        profile.User = user;
        profile.Psw = password;
    }
    HeadlessViews(const HeadlessViews &) = delete;
    HeadlessViews &operator=(const HeadlessViews &) = delete;

    QStandardItemModel tree;
    QItemSelectionModel selection{&tree};
    GridModel data, definition, status, index, query, info;
    GridModel users, hosts, dbs, jobs, messages;
    MessageLog log, autoLog;
    TProgramSettings program;
    TServerProfile profile;
    TDMstdViews views;
};
