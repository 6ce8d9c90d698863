#include "shell/processrefresh.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QSpinBox>

ProcessRefresh::ProcessRefresh(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("ProcessRefresh"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 2);
    m_on = new QCheckBox(QStringLiteral("Refresh every"), this);
    m_on->setObjectName(QStringLiteral("CheckProcessRefresh"));
    m_on->setAccessibleName(QStringLiteral("Refresh the process list every few seconds"));
    m_seconds = new QSpinBox(this);
    m_seconds->setObjectName(QStringLiteral("EditProcessRefresh"));
    m_seconds->setAccessibleName(QStringLiteral("Seconds between refreshes of the process list"));
    m_seconds->setRange(1, 3600);
    m_seconds->setValue(5);
    m_seconds->setSuffix(QStringLiteral(" seconds"));
    layout->addWidget(m_on);
    layout->addWidget(m_seconds);
    layout->addStretch(1);
    connect(m_on, &QCheckBox::toggled, this, &ProcessRefresh::restart);
    connect(m_seconds, &QSpinBox::valueChanged, this, &ProcessRefresh::restart);
    connect(&m_timer, &QTimer::timeout, this, &ProcessRefresh::refreshDue);
    hide();
}

bool ProcessRefresh::isOn() const
{
    return m_on->isChecked();
}

void ProcessRefresh::setOn(bool on)
{
    m_on->setChecked(on);
}

int ProcessRefresh::seconds() const
{
    return m_seconds->value();
}

void ProcessRefresh::setSeconds(int seconds)
{
    m_seconds->setValue(seconds);
}

void ProcessRefresh::restart()
{
    m_timer.stop();
    if (m_on->isChecked()) {
        m_timer.setInterval(m_seconds->value() * 1000);
        m_timer.start();
    }
}
