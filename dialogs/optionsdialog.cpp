#include "dialogs/optionsdialog.h"

#include "data/resultstream.h"
#include "data/settingsstore.h"
#include "dialogs/errorbox.h"
#include "dialogs/placement.h"

#include <QDir>
#include <QFileDialog>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

FilenameEdit::FilenameEdit(QWidget *parent)
    : QWidget(parent)
    , m_edit(new QLineEdit(this))
    , m_button(new QToolButton(this))
{
    m_button->setText(QStringLiteral("..."));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_edit);
    layout->addWidget(m_button);
    setFocusProxy(m_edit);
    connect(m_button, &QToolButton::clicked, this, &FilenameEdit::browse);
}

void FilenameEdit::browse()
{
    const QString path = QFileDialog::getOpenFileName(this, QString(), m_edit->text());
    if (!path.isEmpty())
        setChosenFile(path);
}

void FilenameEdit::setChosenFile(const QString &path)
{
    m_edit->setText(QDir::toNativeSeparators(path));
}

TFormOptionen::TFormOptionen(SettingsStore *settings, std::function<void()> saveProgramSettings,
                             QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_save(std::move(saveProgramSettings))
{
    setObjectName(QStringLiteral("FormOptionen"));
    setWindowTitle(QStringLiteral("Programm Optionen"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint);
    setModal(true);
    KeepCentredOnDesktop(this);

    pages = new QTabWidget(this);
    auto *page = new QWidget;
    pages->addTab(page, QStringLiteral("&Standart"));

    Radiohard = new QRadioButton(QStringLiteral("Hart limit by select (LIMIT)"), page);
    Radiohard->setObjectName(QStringLiteral("Radiohard"));
    Radiohard->setAccessibleName(QStringLiteral("Hart limit by select (LIMIT)"));
    Radiolight = new QRadioButton(QStringLiteral("Normal limit (select * from ..., read to row)"), page);
    Radiolight->setObjectName(QStringLiteral("Radiolight"));
    Radiolight->setAccessibleName(QStringLiteral("Normal limit"));
    EditLimit = new QLineEdit(QStringLiteral("100"), page);
    EditLimit->setObjectName(QStringLiteral("EditLimit"));
    EditLimit->setAccessibleName(QStringLiteral("Limit"));
    EditLimit->setMaximumWidth(80);
    FilenameEditStart = new FilenameEdit(page);
    FilenameEditStart->setObjectName(QStringLiteral("FilenameEditStart"));
    FilenameEditStart->lineEdit()->setAccessibleName(QStringLiteral("Start CMD"));
    FilenameEditStart->browseButton()->setAccessibleName(QStringLiteral("Choose start program"));
    FilenameEditStop = new FilenameEdit(page);
    FilenameEditStop->setObjectName(QStringLiteral("FilenameEditStop"));
    FilenameEditStop->lineEdit()->setAccessibleName(QStringLiteral("Stop CMD"));
    FilenameEditStop->browseButton()->setAccessibleName(QStringLiteral("Choose stop program"));

    auto *pageLayout = new QVBoxLayout(page);
    pageLayout->addWidget(new QLabel(QStringLiteral("You can limit the selected rows by Database.\n"
                                                    "This is possible for database performance by select statements."),
                                     page));
    auto *selectBox = new QGroupBox(QStringLiteral("Standart select by DblCklick on table"), page);
    auto *selectLayout = new QVBoxLayout(selectBox);
    selectLayout->addWidget(Radiohard);
    selectLayout->addWidget(Radiolight);
    auto *limitRow = new QHBoxLayout;
    auto *limitLabel = new QLabel(QStringLiteral("Limit :"), selectBox);
    limitLabel->setBuddy(EditLimit);
    limitRow->addWidget(limitLabel);
    limitRow->addWidget(EditLimit);
    limitRow->addWidget(new QLabel(QStringLiteral("rows ."), selectBox));
    limitRow->addStretch();
    selectLayout->addLayout(limitRow);
    pageLayout->addWidget(selectBox);

    auto *line = new QFrame(page);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    pageLayout->addWidget(line);

    auto *connectRow = new QHBoxLayout;
    SpinConnectTimeout = new QSpinBox(page);
    SpinConnectTimeout->setObjectName(QStringLiteral("SpinConnectTimeout"));
    SpinConnectTimeout->setAccessibleName(QStringLiteral("Connect timeout"));
    SpinConnectTimeout->setRange(0, 3600);
    SpinConnectTimeout->setSuffix(QStringLiteral(" s"));
    SpinConnectTimeout->setToolTip(QStringLiteral("How long a login waits for a server that does not answer "
                                                  "(0: the client library's own limit)"));
    auto *connectLabel = new QLabel(QStringLiteral("Connect timeout :"), page);
    connectLabel->setBuddy(SpinConnectTimeout);
    connectRow->addWidget(connectLabel);
    connectRow->addWidget(SpinConnectTimeout);
    connectRow->addStretch();
    pageLayout->addLayout(connectRow);

    auto *lagRow = new QHBoxLayout;
    SpinReplicaLag = new QSpinBox(page);
    SpinReplicaLag->setObjectName(QStringLiteral("SpinReplicaLag"));
    SpinReplicaLag->setAccessibleName(QStringLiteral("Replica lag limit"));
    SpinReplicaLag->setRange(0, 604800);
    SpinReplicaLag->setSuffix(QStringLiteral(" s"));
    SpinReplicaLag->setToolTip(QStringLiteral("A replica further behind its primary than this shows in red on the "
                                              "page Replication"));
    auto *lagLabel = new QLabel(QStringLiteral("Replica lag limit :"), page);
    lagLabel->setBuddy(SpinReplicaLag);
    lagRow->addWidget(lagLabel);
    lagRow->addWidget(SpinReplicaLag);
    lagRow->addStretch();
    pageLayout->addLayout(lagRow);

    auto *nullRow = new QHBoxLayout;
    EditNullText = new QLineEdit(page);
    EditNullText->setObjectName(QStringLiteral("EditNullText"));
    EditNullText->setAccessibleName(QStringLiteral("Show NULL as"));
    EditNullText->setMaximumWidth(120);
    EditNullText->setToolTip(QStringLiteral("Text the grids show in grey italics for a NULL value, for example "
                                            "NULL (empty: a NULL value looks like an empty text)"));
    auto *nullLabel = new QLabel(QStringLiteral("Show NULL as :"), page);
    nullLabel->setBuddy(EditNullText);
    nullRow->addWidget(nullLabel);
    nullRow->addWidget(EditNullText);
    nullRow->addStretch();
    pageLayout->addLayout(nullRow);

    auto *memoryRow = new QHBoxLayout;
    SpinResultMemory = new QSpinBox(page);
    SpinResultMemory->setObjectName(QStringLiteral("SpinResultMemory"));
    SpinResultMemory->setAccessibleName(QStringLiteral("Result memory budget (MB)"));
    SpinResultMemory->setRange(1, 1024 * 1024);
    SpinResultMemory->setToolTip(QStringLiteral("Memory the rows of all results may take together; further rows "
                                                "go to a temporary file that only you can read"));
    auto *memoryLabel = new QLabel(QStringLiteral("Result memory budget (MB) :"), page);
    memoryLabel->setBuddy(SpinResultMemory);
    memoryRow->addWidget(memoryLabel);
    memoryRow->addWidget(SpinResultMemory);
    memoryRow->addStretch();
    pageLayout->addLayout(memoryRow);

    auto *serverBox = new QGroupBox(QStringLiteral("Start ans Stop the local Mysql Server"), page);
    auto *serverLayout = new QGridLayout(serverBox);
    auto *startLabel = new QLabel(QStringLiteral("Start CMD :"), serverBox);
    startLabel->setBuddy(FilenameEditStart->lineEdit());
    auto *stopLabel = new QLabel(QStringLiteral("Stop CMD :"), serverBox);
    stopLabel->setBuddy(FilenameEditStop->lineEdit());
    serverLayout->addWidget(startLabel, 0, 0);
    serverLayout->addWidget(FilenameEditStart, 0, 1);
    serverLayout->addWidget(stopLabel, 1, 0);
    serverLayout->addWidget(FilenameEditStop, 1, 1);
    serverLayout->setColumnStretch(1, 1);
    pageLayout->addWidget(serverBox);
    pageLayout->addStretch();

    ButtonCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    ButtonCancel->setObjectName(QStringLiteral("ButtonCancel"));
    ButtonOk = new QPushButton(QStringLiteral("&OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonApply = new QPushButton(QStringLiteral("&Apply"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    for (QPushButton *button : {ButtonCancel, ButtonOk, ButtonApply})
        button->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(pages);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ButtonCancel);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonApply);
    layout->addLayout(buttons);
    setMinimumWidth(560);

    auto enableApply = [this] { ButtonApply->setEnabled(true); };
    connect(Radiohard, &QRadioButton::clicked, this, enableApply);
    connect(Radiolight, &QRadioButton::clicked, this, enableApply);
    connect(EditLimit, &QLineEdit::textChanged, this, enableApply);
    connect(FilenameEditStart->lineEdit(), &QLineEdit::textChanged, this, enableApply);
    connect(FilenameEditStop->lineEdit(), &QLineEdit::textChanged, this, enableApply);
    connect(SpinConnectTimeout, &QSpinBox::valueChanged, this, enableApply);
    connect(SpinResultMemory, &QSpinBox::valueChanged, this, enableApply);
    connect(SpinReplicaLag, &QSpinBox::valueChanged, this, enableApply);
    connect(EditNullText, &QLineEdit::textChanged, this, enableApply);

    connect(ButtonApply, &QPushButton::clicked, this, &TFormOptionen::Apply);
    connect(ButtonOk, &QPushButton::clicked, this, [this] {
        Apply();
        accept();
    });
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormOptionen::load()
{
    const TProgramSettings &program = m_settings->programSettings();
    if (program.DBHL)
        Radiohard->setChecked(true);
    else
        Radiolight->setChecked(true);
    FilenameEditStart->lineEdit()->setText(program.start);
    FilenameEditStop->lineEdit()->setText(program.stop);
    EditLimit->setText(program.DBL);
    bool ok = false;
    const int timeout = program.ConnectTimeout.trimmed().toInt(&ok);
    SpinConnectTimeout->setValue(ok ? timeout : 10);
    const int lag = program.ReplicaLagLimit.trimmed().toInt(&ok);
    SpinReplicaLag->setValue(ok ? lag : 60);
    EditNullText->setText(program.NullText);
    SpinResultMemory->setValue(int(ResultMemoryBudget(program.ResultMemory) / (1024 * 1024)));
    ButtonApply->setEnabled(false);
}

void TFormOptionen::showEvent(QShowEvent *event)
{
    pages->setCurrentIndex(0);
    QDialog::showEvent(event);
}

void TFormOptionen::Apply()
{
    TProgramSettings &program = m_settings->programSettings();
    program.DBHL = Radiohard->isChecked();
    program.DBL = EditLimit->text();
    program.start = FilenameEditStart->lineEdit()->text();
    program.stop = FilenameEditStop->lineEdit()->text();
    program.ConnectTimeout = QString::number(SpinConnectTimeout->value());
    program.ReplicaLagLimit = QString::number(SpinReplicaLag->value());
    program.NullText = EditNullText->text();
    program.ResultMemory = QString::number(SpinResultMemory->value());
    try {
        m_save();
    } catch (const SettingsWriteError &error) {
        ShowErrorBox(this, QString::fromStdString(error.what()));
    }
}
