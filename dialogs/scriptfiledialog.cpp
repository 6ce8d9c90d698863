#include "dialogs/scriptfiledialog.h"

#include "data/scriptfile.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString megabytes(qint64 bytes)
{
    return QLocale().toString(double(bytes) / (1024.0 * 1024.0), 'f', 1) + QStringLiteral(" MB");
}

QString duration(qint64 milliseconds)
{
    const qint64 seconds = milliseconds / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

TFormScriptFile::TFormScriptFile(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormScriptFile"));
    setWindowTitle(QStringLiteral("Run SQL File"));
    setModal(false);
    auto *layout = new QVBoxLayout(this);
    LabelFile = new QLabel(this);
    LabelFile->setObjectName(QStringLiteral("LabelFile"));
    ProgressFile = new QProgressBar(this);
    ProgressFile->setObjectName(QStringLiteral("ProgressFile"));
    ProgressFile->setRange(0, 1000);
    ProgressFile->setTextVisible(true);
    LabelCounts = new QLabel(this);
    LabelCounts->setObjectName(QStringLiteral("LabelCounts"));
    LabelOutcome = new QLabel(this);
    LabelOutcome->setObjectName(QStringLiteral("LabelOutcome"));
    LabelOutcome->setWordWrap(true);
    LabelOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelOutcome->hide();
    ButtonStop = new QPushButton(QStringLiteral("&Stop"), this);
    ButtonStop->setObjectName(QStringLiteral("ButtonStop"));
    layout->addWidget(LabelFile);
    layout->addWidget(ProgressFile);
    layout->addWidget(LabelCounts);
    layout->addWidget(LabelOutcome);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonStop);
    layout->addLayout(buttons);
    setMinimumWidth(420);
    connect(ButtonStop, &QPushButton::clicked, this, [this] {
        if (m_finished)
            close();
        else
            Q_EMIT stopRequested();
    });
}

QString TFormScriptFile::countsText(const TScriptFileProgress &progress)
{
    return megabytes(progress.bytes) + QStringLiteral(" of ") + megabytes(progress.total) + QStringLiteral(", ")
        + QLocale().toString(progress.statements) + QStringLiteral(" statements, ") + duration(progress.elapsedMs);
}

void TFormScriptFile::showProgress(const TScriptFileProgress &progress)
{
    m_finished = progress.finished;
    LabelFile->setText(QFileInfo(progress.path).fileName());
    ProgressFile->setValue(progress.total > 0 ? int(progress.bytes * 1000 / progress.total) : 0);
    LabelCounts->setText(countsText(progress));
    if (!progress.finished) {
        LabelOutcome->hide();
        ButtonStop->setText(QStringLiteral("&Stop"));
        return;
    }
    QString outcome;
    if (progress.completed)
        outcome = QStringLiteral("Done: ") + QLocale().toString(progress.affectedRows) + QStringLiteral(" rows affected.");
    else if (progress.stopped)
        outcome = QStringLiteral("Stopped.");
    else if (progress.failedLine > 0)
        outcome = QStringLiteral("Line ") + QString::number(progress.failedLine) + QStringLiteral(": ") + progress.error;
    else
        outcome = progress.error;
    LabelOutcome->setText(outcome);
    LabelOutcome->show();
    ButtonStop->setText(QStringLiteral("&Close"));
}
