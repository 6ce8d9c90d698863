#include "shell/replicationpage.h"

#include "data/gridmodel.h"
#include "data/tdmstd.h"
#include "dialogs/applicationtitle.h"
#include "shell/monitorgrid.h"

#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QLabel *heading(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ReplicationPage::ReplicationPage(TDMstd *data, std::function<int()> lagLimit, QWidget *parent)
    : QWidget(parent)
    , m_data(data)
    , m_lagLimit(std::move(lagLimit))
    , m_reader(new ReplicationReader(data, this))
    , m_timer(new QTimer(this))
{
    setObjectName(QStringLiteral("TabReplication"));
    setAccessibleName(QStringLiteral("Replication"));
    m_binlog = new QLabel(QStringLiteral("not read yet"), this);
    m_binlog->setObjectName(QStringLiteral("LabelBinlogPosition"));
    m_binlog->setAccessibleName(QStringLiteral("Binary log position"));
    m_binlog->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("LabelReplicationNote"));
    m_note->setAccessibleName(QStringLiteral("Replication messages"));
    m_note->setWordWrap(true);

    m_replicas = new GridModel(this);
    m_replicas->setObjectName(QStringLiteral("ListReplicas"));
    m_replicas->setColumns({QStringLiteral("Server ID"), QStringLiteral("Host"), QStringLiteral("Port"),
                            QStringLiteral("Primary ID")});
    m_replicasView = newMonitorGrid(m_replicas, QStringLiteral("ListReplicas"), QStringLiteral("Connected replicas"), this);
    m_connections = new GridModel(this);
    m_connections->setObjectName(QStringLiteral("ListReplicaConnections"));
    m_connections->setColumns({QStringLiteral("Connection"), QStringLiteral("Primary host"),
                               QStringLiteral("Primary port"), QStringLiteral("IO thread"),
                               QStringLiteral("SQL thread"), QStringLiteral("Seconds behind"),
                               QStringLiteral("Last IO error"), QStringLiteral("Last SQL error"),
                               QStringLiteral("State")});
    m_connectionsView = newMonitorGrid(m_connections, QStringLiteral("ListReplicaConnections"),
                                       QStringLiteral("Replica connections"), this);

    m_start = new QPushButton(QStringLiteral("Start Replica"), this);
    m_start->setObjectName(QStringLiteral("ButtonStartReplica"));
    m_start->setAccessibleName(QStringLiteral("Start Replica"));
    m_stop = new QPushButton(QStringLiteral("Stop Replica"), this);
    m_stop->setObjectName(QStringLiteral("ButtonStopReplica"));
    m_stop->setAccessibleName(QStringLiteral("Stop Replica"));

    auto *layout = new QVBoxLayout(this);
    auto *binlogRow = new QHBoxLayout;
    binlogRow->addWidget(heading(QStringLiteral("Binary log position:"), m_binlog, this));
    binlogRow->addWidget(m_binlog, 1);
    layout->addLayout(binlogRow);
    layout->addWidget(heading(QStringLiteral("Connected replicas"), m_replicasView, this));
    layout->addWidget(m_replicasView, 1);
    layout->addWidget(heading(QStringLiteral("Replica connections"), m_connectionsView, this));
    layout->addWidget(m_connectionsView, 2);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_start);
    buttons->addWidget(m_stop);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->addWidget(m_note);

    m_timer->setInterval(ReadInterval);
    connect(m_timer, &QTimer::timeout, this, &ReplicationPage::refresh);
    connect(m_reader, &ReplicationReader::stateRead, this, &ReplicationPage::fill);
    connect(m_start, &QPushButton::clicked, this, &ReplicationPage::startSelected);
    connect(m_stop, &QPushButton::clicked, this, &ReplicationPage::stopSelected);
}

void ReplicationPage::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    refresh();
    m_timer->start();
}

void ReplicationPage::hideEvent(QHideEvent *event)
{
    m_timer->stop();
    QWidget::hideEvent(event);
}

void ReplicationPage::refresh()
{
    m_reader->Read();
}

bool ReplicationPage::rowMarked(int row) const
{
    return attentionRowsOf(m_connectionsView)->isMarked(row);
}

void ReplicationPage::fill(const TReplicationState &state)
{
    m_binlog->setText(state.isPrimary() ? state.BinlogFile + QStringLiteral(", position ") + state.BinlogPosition
                                        : QStringLiteral("binary logging is off"));
    m_replicas->clearRows();
    for (const QStringList &replica : state.Replicas)
        m_replicas->appendRow(replica);

    // The selection follows the connection's name through the refill.
    bool hadSelection = false;
    const QString selected = selectedConnection(&hadSelection);
    m_connections->clearRows();
    QSet<int> marked;
    const int limit = m_lagLimit ? m_lagLimit() : 0;
    for (const TReplicaConnection &c : state.Connections) {
        if (c.needsAttention(limit))
            marked.insert(m_connections->rowCount());
        m_connections->appendRow({c.Name, c.MasterHost, c.MasterPort, c.IoRunning, c.SqlRunning, c.SecondsBehind,
                                  c.LastIoError, c.LastSqlError, c.State});
    }
    attentionRowsOf(m_connectionsView)->setMarkedRows(marked);
    if (hadSelection) {
        for (int row = 0; row < m_connections->rowCount(); ++row) {
            if (m_connections->text(row, 0) == selected) {
                m_connectionsView->selectRow(row);
                break;
            }
        }
    }
    QStringList notes;
    if (!state.isPrimary() && !state.isReplica() && state.Errors.isEmpty())
        notes.append(QStringLiteral("This server neither writes a binary log nor replicates from another."));
    notes.append(state.Errors);
    m_note->setText(notes.join(QLatin1Char('\n')));
}

QString ReplicationPage::selectedConnection(bool *found) const
{
    const QModelIndexList rows = m_connectionsView->selectionModel()->selectedRows();
    *found = !rows.isEmpty();
    return rows.isEmpty() ? QString() : m_connections->text(rows.first().row(), 0);
}

void ReplicationPage::startSelected()
{
    changeSelected(true);
}

void ReplicationPage::stopSelected()
{
    changeSelected(false);
}

void ReplicationPage::changeSelected(bool start)
{
    bool found = false;
    QString name = selectedConnection(&found);
    if (!found && m_connections->rowCount() == 1) {
        found = true; // the one connection there is
        name = m_connections->text(0, 0);
    }
    if (!found) {
        QMessageBox::information(this, ApplicationTitle(), QStringLiteral("Select a replica connection first."));
        return;
    }
    const QString shown = name.isEmpty() ? QStringLiteral("the default replica connection")
                                         : QStringLiteral("the replica connection '%1'").arg(name);
    const QString question = (start ? QStringLiteral("Start ") : QStringLiteral("Stop ")) + shown + QStringLiteral(" ?");
    if (QMessageBox::question(this, ApplicationTitle(), question, QMessageBox::Yes | QMessageBox::No,
                              QMessageBox::No)
        != QMessageBox::Yes)
        return;
    m_data->RunStatement(start ? StartReplicaStatement(name) : StopReplicaStatement(name),
                         [page = QPointer<ReplicationPage>(this)](const TmySQLClientOutcome &) {
                             // Once the statement is through: the read waits for a free connection.
                             QTimer::singleShot(0, page, [page] {
                                 if (page)
                                     page->refresh();
                             });
                         });
}
