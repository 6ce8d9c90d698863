#pragma once

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QSpinBox;

// Over the process list: when switched on, asks for the list again every
// n seconds (refreshDue). Off at start; shown while the list is.
class ProcessRefresh : public QWidget
{
    Q_OBJECT

public:
    explicit ProcessRefresh(QWidget *parent = nullptr);

    bool isOn() const;
    void setOn(bool on);
    int seconds() const;
    void setSeconds(int seconds);

Q_SIGNALS:
    void refreshDue();

private:
    void restart();

    QCheckBox *m_on;
    QSpinBox *m_seconds;
    QTimer m_timer;
};
