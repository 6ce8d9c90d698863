#include "dialogs/applicationdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace {

const QStringList StatusCodes = {QStringLiteral("W"), QStringLiteral("O"), QStringLiteral("E"), QStringLiteral("Q")};

QLabel *caption(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

TFormApplication::TFormApplication(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormApplication"));
    setWindowTitle(QStringLiteral("Application"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setModal(true);

    ComboArt = new QComboBox(this);
    ComboArt->setObjectName(QStringLiteral("ComboArt"));
    ComboArt->addItems({QStringLiteral("File-System"), QStringLiteral("Database")});
    ComboArt->setToolTip(QStringLiteral("The application can function within the databses or directly on the\n"
                                        "filesystem."));
    EditApp = new QLineEdit(this);
    EditApp->setObjectName(QStringLiteral("EditApp"));
    EditApp->setToolTip(QStringLiteral("Name of the Application."));
    MemoVariable = new QPlainTextEdit(this);
    MemoVariable->setObjectName(QStringLiteral("MemoVariable"));
    MemoVariable->setTabChangesFocus(true);
    MemoVariable->setFixedHeight(MemoVariable->fontMetrics().lineSpacing() * 4 + 12);
    MemoVariable->setToolTip(QStringLiteral("Certain applications can be passed variables (e.g. pathnames)."));
    ComboStatus = new QComboBox(this);
    ComboStatus->setObjectName(QStringLiteral("ComboStatus"));
    ComboStatus->addItems({QStringLiteral("Waiting"), QStringLiteral("Ok"), QStringLiteral("Error"), QStringLiteral("Qeue")});
    ComboStatus->setToolTip(QStringLiteral("The status describes the state od the application:\n"
                                           "w := wait\no := ok\ne := error\nq := que"));
    MaskDate = new QLineEdit(this);
    MaskDate->setObjectName(QStringLiteral("MaskDate"));
    MaskDate->setToolTip(QStringLiteral("Date is the date the application has been written.\n"
                                        "The interval is reckoned from this date."));
    CheckIntervall = new QCheckBox(QStringLiteral("Intervall :"), this);
    CheckIntervall->setObjectName(QStringLiteral("CheckIntervall"));
    CheckIntervall->setLayoutDirection(Qt::RightToLeft);
    CheckIntervall->setToolTip(QStringLiteral("The flag Interval (Y/N) tells whether an interval is set\n"
                                              "for the application."));
    MaskIntervall = new QLineEdit(this);
    MaskIntervall->setObjectName(QStringLiteral("MaskIntervall"));
    MaskIntervall->setToolTip(QStringLiteral("The syntax of the interval is: ddd hh:mm"));
    ComboMail = new QComboBox(this);
    ComboMail->setObjectName(QStringLiteral("ComboMail"));
    ComboMail->addItems({QStringLiteral("Send mail on error"), QStringLiteral("Send mail on Application was ok")});
    ComboMail->setToolTip(QStringLiteral("When a mail is sent to the address:\n"
                                         "E only in case of an error, O only in case of success."));
    EditAdress = new QLineEdit(this);
    EditAdress->setObjectName(QStringLiteral("EditAdress"));
    LabelId = new QLabel(this);
    LabelId->setObjectName(QStringLiteral("LabelId"));
    LabelId->setVisible(false);

    ButtonClose = new QPushButton(QStringLiteral("&Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonOk = new QPushButton(QStringLiteral("&Ok"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonApply = new QPushButton(QStringLiteral("&Apply"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    ButtonApply->setEnabled(false);
    for (QPushButton *button : {ButtonClose, ButtonOk, ButtonApply})
        button->setAutoDefault(false);

    auto *layout = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    auto *icon = new QLabel(this);
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, this).pixmap(size, size));
    top->addWidget(icon, 0, Qt::AlignTop);
    auto *info = new QLabel(QStringLiteral("All described applications are executed by the application server\n"
                                           "\"Tarquel\". \"Tarquel\" is not a part of the MySQL Database."),
                            this);
    info->setObjectName(QStringLiteral("LabelInfo"));
    top->addWidget(info, 1);
    layout->addLayout(top);

    auto *fields = new QGridLayout;
    int row = 0;
    fields->addWidget(caption(QStringLiteral("Art:"), ComboArt, this), row, 0);
    fields->addWidget(ComboArt, row++, 1);
    fields->addWidget(caption(QStringLiteral("Application:"), EditApp, this), row, 0);
    fields->addWidget(EditApp, row++, 1, 1, 2);
    fields->addWidget(caption(QStringLiteral("Variable:"), MemoVariable, this), row, 0, Qt::AlignTop);
    fields->addWidget(MemoVariable, row++, 1, 1, 2);
    fields->addWidget(caption(QStringLiteral("Status:"), ComboStatus, this), row, 0);
    fields->addWidget(ComboStatus, row++, 1);
    fields->addWidget(caption(QStringLiteral("Date:"), MaskDate, this), row, 0);
    fields->addWidget(MaskDate, row, 1);
    fields->addWidget(new QLabel(QStringLiteral("yyyy-mm-dd hh:mm:ss"), this), row++, 2);
    // Caption before the box, standing where the labels stand.
    fields->addWidget(CheckIntervall, row++, 0, Qt::AlignLeft | Qt::AlignAbsolute);
    fields->addWidget(caption(QStringLiteral("Intervall:"), MaskIntervall, this), row, 0);
    fields->addWidget(MaskIntervall, row, 1);
    fields->addWidget(new QLabel(QStringLiteral("ddd hh:mm"), this), row++, 2);
    fields->addWidget(caption(QStringLiteral("Mail Status:"), ComboMail, this), row, 0);
    fields->addWidget(ComboMail, row++, 1, 1, 2);
    fields->addWidget(caption(QStringLiteral("Mail Address:"), EditAdress, this), row, 0);
    fields->addWidget(EditAdress, row++, 1, 1, 2);
    fields->addWidget(LabelId, row, 0);
    fields->setColumnStretch(1, 1);
    layout->addLayout(fields);

    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonApply);
    layout->addLayout(buttons);

    const auto enableApply = [this] { ButtonApply->setEnabled(true); };
    connect(ComboArt, &QComboBox::currentIndexChanged, this, enableApply);
    connect(EditApp, &QLineEdit::textChanged, this, enableApply);
    connect(MemoVariable, &QPlainTextEdit::textChanged, this, enableApply);
    connect(ComboStatus, &QComboBox::currentIndexChanged, this, enableApply);
    connect(MaskDate, &QLineEdit::textChanged, this, enableApply);
    connect(CheckIntervall, &QCheckBox::clicked, this, enableApply);
    connect(MaskIntervall, &QLineEdit::textChanged, this, enableApply);
    connect(ComboMail, &QComboBox::currentIndexChanged, this, enableApply);
    connect(EditAdress, &QLineEdit::textChanged, this, enableApply);

    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonApply, &QPushButton::clicked, this, [this] { Q_EMIT applyRequested(); });
    connect(ButtonOk, &QPushButton::clicked, this, [this] {
        Q_EMIT applyRequested();
        accept();
    });
}

void TFormApplication::reset()
{
    ComboArt->setCurrentIndex(-1);
    ComboStatus->setCurrentIndex(-1);
    ComboMail->setCurrentIndex(-1);
    EditApp->clear();
    MemoVariable->clear();
    MaskDate->clear();
    MaskIntervall->clear();
    EditAdress->clear();
    CheckIntervall->setChecked(false);
    LabelId->clear();
    m_shownNulls.clear();
    m_shown = TApplicationJob();
    ButtonApply->setEnabled(false);
}

void TFormApplication::showJob(const TApplicationJob &cells)
{
    reset();
    ComboArt->setCurrentIndex(cells.art == QLatin1String("F") ? 0 : 1);
    EditApp->setText(cells.action);
    MemoVariable->setPlainText(cells.variable);
    // Only the exact codes choose a status: "w" leaves none chosen.
    ComboStatus->setCurrentIndex(int(StatusCodes.indexOf(cells.status)));
    MaskDate->setText(cells.idate);
    CheckIntervall->setChecked(cells.isinterv);
    MaskIntervall->setText(cells.interv);
    ComboMail->setCurrentIndex(cells.mailst == QLatin1String("E") ? 0 : 1);
    EditAdress->setText(cells.address);
    LabelId->setText(cells.id);
    m_shownNulls = cells.nulls;
    m_shown = fields();
    ButtonApply->setEnabled(false);
}

TApplicationJob TFormApplication::job() const
{
    TApplicationJob job = fields();
    const auto unchanged = [&](const QString &column) {
        if (column == QLatin1String("art"))
            return job.art == m_shown.art;
        if (column == QLatin1String("action"))
            return job.action == m_shown.action;
        if (column == QLatin1String("variable"))
            return job.variable == m_shown.variable;
        if (column == QLatin1String("status"))
            return job.status == m_shown.status;
        if (column == QLatin1String("idate"))
            return job.idate == m_shown.idate;
        if (column == QLatin1String("interv"))
            return job.interv == m_shown.interv;
        if (column == QLatin1String("isinterv"))
            return job.isinterv == m_shown.isinterv;
        if (column == QLatin1String("mailst"))
            return job.mailst == m_shown.mailst;
        if (column == QLatin1String("address"))
            return job.address == m_shown.address;
        return false;
    };
    for (const QString &column : m_shownNulls) {
        if (unchanged(column))
            job.nulls.insert(column);
    }
    return job;
}

TApplicationJob TFormApplication::fields() const
{
    TApplicationJob job;
    job.art = ComboArt->currentIndex() == 0 ? QStringLiteral("F") : QStringLiteral("D");
    job.action = EditApp->text();
    job.variable = MemoVariable->toPlainText();
    job.status = StatusCodes.value(ComboStatus->currentIndex());
    job.idate = MaskDate->text();
    job.interv = MaskIntervall->text();
    job.isinterv = CheckIntervall->isChecked();
    job.mailst = ComboMail->currentIndex() == 0 ? QStringLiteral("E") : QStringLiteral("O");
    job.address = EditAdress->text();
    job.id = LabelId->text();
    return job;
}
