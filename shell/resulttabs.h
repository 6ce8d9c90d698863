#pragma once

#include <QElapsedTimer>
#include <QTabWidget>
#include <QTimer>

#include <functional>
#include <memory>

class GridModel;
class TDMstd;
class GridRowSource;

// The result sets of the last run from the editor, one tab each ("Result 1 –
// 20 rows"), the statement that returned it as the tab's tooltip. The last
// result is the query grid itself (its commands, export and printing act on
// it); the earlier ones get grids of their own, filled from the rows the data
// module keeps. With a single result the tab bar stays hidden. A script of
// many SELECTs changes the tabs a few times a second at most, and only the
// grids of new results are made.
class ResultTabs : public QTabWidget
{
    Q_OBJECT

public:
    // makeGrid makes a grid like the window's others over the model, and
    // the page that shows it.
    using GridMaker = std::function<QWidget *(GridModel *model, const QString &accessibleName)>;
    ResultTabs(QWidget *lastResult, GridMaker makeGrid, QWidget *parent = nullptr);

    void setDataModule(TDMstd *data);

private:
    void schedule();
    void rebuild();

    QWidget *m_last;
    GridMaker m_makeGrid;
    TDMstd *m_data = nullptr;
    // The results the earlier tabs show, in tab order (held, so that a
    // result's address names it as long as its tab stands).
    QList<std::shared_ptr<const GridRowSource>> m_shown; // the rows of each tab before the last
    QTimer m_rebuild;
    QElapsedTimer m_sinceRebuild;
};
