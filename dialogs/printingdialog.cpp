#include "dialogs/printingdialog.h"

#include "dialogs/errorbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const QStringList Positions = {QStringLiteral("Bottom Center"), QStringLiteral("Bottom Left"),
                               QStringLiteral("Bottom Right"),  QStringLiteral("None"),
                               QStringLiteral("Top Center"),    QStringLiteral("Top Left"),
                               QStringLiteral("Top Right")};

TPrintPosition positionAt(int index)
{
    static const TPrintPosition map[] = {ppBottomCenter, ppBottomLeft, ppBottomRight, ppNone,
                                         ppTopCenter,    ppTopLeft,    ppTopRight};
    return index >= 0 && index < 7 ? map[index] : ppNone;
}

TPrintBorders bordersAt(int index)
{
    // "Vertical" prints as "Single" and "Horizontal" as no border at all.
    static const TPrintBorders map[] = {pbNoborder, pbSingle, pbDouble, pbSingle, pbNoborder};
    return index >= 0 && index < 5 ? map[index] : pbNoborder;
}

TPenStyle styleAt(int index)
{
    static const TPenStyle map[] = {psClear, psDash, psDashDot, psDashDotDot, psDot, psInsideFrame, psSolid};
    return index >= 0 && index < 7 ? map[index] : psSolid;
}

TFitToPage fitAt(int index)
{
    static const TFitToPage map[] = {fpAlways, fpCustom, fpGrow, fpNever, fpShrink};
    return index >= 0 && index < 5 ? map[index] : fpNever;
}

// Numbers as the user's locale writes them, without digit grouping, so that
// what a spin writes reads back as a whole number.
QLocale numberLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

// The page between the four margin fields.
class PageSketch : public QWidget
{
public:
    explicit PageSketch(QWidget *parent)
        : QWidget(parent)
    {
        setFixedSize(44, 56);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        const QRect page = rect().adjusted(4, 2, -4, -2);
        painter.fillRect(page.translated(2, 2), palette().shadow());
        painter.fillRect(page, Qt::white);
        painter.setPen(Qt::black);
        painter.drawRect(page.adjusted(0, 0, -1, -1));
        painter.setPen(QPen(Qt::gray, 1, Qt::DotLine));
        painter.drawRect(page.adjusted(5, 6, -6, -6));
        for (int y = page.top() + 10; y < page.bottom() - 8; y += 5)
            painter.drawLine(page.left() + 8, y, page.right() - 8, y);
    }
};

} // namespace

TUpDown::TUpDown(QWidget *parent)
    : QWidget(parent)
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Up = new QToolButton(this);
    Up->setObjectName(QStringLiteral("Up"));
    Up->setArrowType(Qt::UpArrow);
    Up->setFixedSize(16, 11);
    Down = new QToolButton(this);
    Down->setObjectName(QStringLiteral("Down"));
    Down->setArrowType(Qt::DownArrow);
    Down->setFixedSize(16, 11);
    layout->addWidget(Up);
    layout->addWidget(Down);
}

TFormPrinting::TFormPrinting(const QList<TPrintsettings *> &grids, QWidget *parent)
    : QDialog(parent)
    , m_grids(grids)
{
    setObjectName(QStringLiteral("FormPrinting"));
    setWindowTitle(QStringLiteral("Print Settings"));
    setModal(true);
    resize(457, 457);

    auto *border = new QGroupBox(QStringLiteral("Border"), this);
    auto *borderForm = new QFormLayout(border);
    ComboBorder = new QComboBox(border);
    ComboBorder->setObjectName(QStringLiteral("ComboBorder"));
    ComboBorder->addItems({QStringLiteral("No Border"), QStringLiteral("Single"), QStringLiteral("Double"),
                           QStringLiteral("Vertical"), QStringLiteral("Horizontal")});
    ComboBorder->setCurrentText(QStringLiteral("Single"));
    ComboStyle = new QComboBox(border);
    ComboStyle->setObjectName(QStringLiteral("ComboStyle"));
    ComboStyle->addItems({QStringLiteral("Clear"), QStringLiteral("Dash"), QStringLiteral("Dash Dot"),
                          QStringLiteral("Dash Dot Dot"), QStringLiteral("Dot"), QStringLiteral("Inside Frame"),
                          QStringLiteral("Solid")});
    ComboStyle->setCurrentText(QStringLiteral("Dot"));
    borderForm->addRow(QStringLiteral("Borders:"), ComboBorder);
    borderForm->addRow(QStringLiteral("Borderstyle:"), ComboStyle);

    const QString tenths = QStringLiteral("1/10 mm");
    auto *size = new QGroupBox(QStringLiteral("Size"), this);
    auto *sizeGrid = new QGridLayout(size);
    auto labelled = [](const QString &label, QWidget *field) {
        auto *box = new QWidget;
        auto *column = new QVBoxLayout(box);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(1);
        column->addWidget(new QLabel(label));
        column->addWidget(field);
        return box;
    };
    sizeGrid->addWidget(labelled(QStringLiteral("Top:"), numberField(QStringLiteral("EditTop"), QStringLiteral("SpinTop"),
                                                                   tenths, QStringLiteral("15"), &EditTop, &SpinTop)),
                        0, 1, Qt::AlignHCenter);
    sizeGrid->addWidget(labelled(QStringLiteral("Left:"), numberField(QStringLiteral("EditLeft"), QStringLiteral("SpinLeft"),
                                                                    tenths, QStringLiteral("10"), &EditLeft, &SpinLeft)),
                        1, 0);
    sizeGrid->addWidget(new PageSketch(size), 1, 1, Qt::AlignCenter);
    sizeGrid->addWidget(labelled(QStringLiteral("Right:"), numberField(QStringLiteral("EditRight"), QStringLiteral("SpinRight"),
                                                                     tenths, QStringLiteral("20"), &EditRight, &SpinRight)),
                        1, 2);
    sizeGrid->addWidget(labelled(QStringLiteral("Bottom:"),
                                 numberField(QStringLiteral("EditBottom"), QStringLiteral("SpinBottom"), tenths,
                                             QStringLiteral("10"), &EditBottom, &SpinBottom)),
                        2, 1, Qt::AlignHCenter);

    auto *spacing = new QGroupBox(this);
    auto *spacingForm = new QFormLayout(spacing);
    spacingForm->addRow(QStringLiteral("Column Spacing:"),
                        numberField(QStringLiteral("EditSpacing"), QStringLiteral("SpinColumn"), tenths,
                                    QStringLiteral("0"), &EditSpacing, &SpinColumn));
    spacingForm->addRow(QStringLiteral("Row Spacing:"),
                        numberField(QStringLiteral("EditRowSpacing"), QStringLiteral("SpinRow"), tenths,
                                    QStringLiteral("0"), &EditRowSpacing, &SpinRow));
    spacingForm->addRow(QStringLiteral("Fixed Hight:"),
                        numberField(QStringLiteral("EditFixh"), QStringLiteral("SpinFH"), QStringLiteral("0.1mm"),
                                    QStringLiteral("0"), &EditFixh, &SpinFH));
    spacingForm->addRow(QStringLiteral("Fixed Width:"),
                        numberField(QStringLiteral("EditFixw"), QStringLiteral("SpinFW"), QStringLiteral("0.1mm"),
                                    QStringLiteral("0"), &EditFixw, &SpinFW));

    auto *date = new QGroupBox(this);
    auto *dateForm = new QFormLayout(date);
    ComboDate = positionList(QStringLiteral("ComboDate"), QStringLiteral("Bottom Center"));
    EditDateformat = new QLineEdit(QStringLiteral("dd/mm/yyyy"), date);
    EditDateformat->setObjectName(QStringLiteral("EditDateformat"));
    dateForm->addRow(QStringLiteral("Date:"), ComboDate);
    dateForm->addRow(QStringLiteral("Format:"), EditDateformat);

    auto *timeTitle = new QGroupBox(this);
    auto *timeForm = new QFormLayout(timeTitle);
    ComboTime = positionList(QStringLiteral("ComboTime"), QStringLiteral("Bottom Left"));
    ComboTitle = positionList(QStringLiteral("ComboTitle"), QStringLiteral("Top Center"));
    CheckCenter = new QCheckBox(QStringLiteral("printout is centered on the page"), timeTitle);
    CheckCenter->setObjectName(QStringLiteral("CheckCenter"));
    CheckCenter->setChecked(true);
    timeForm->addRow(QStringLiteral("Time:"), ComboTime);
    timeForm->addRow(QStringLiteral("Title:"), ComboTitle);
    timeForm->addRow(CheckCenter);

    auto *fit = new QGroupBox(this);
    auto *fitForm = new QFormLayout(fit);
    ComboFit = new QComboBox(fit);
    ComboFit->setObjectName(QStringLiteral("ComboFit"));
    ComboFit->addItems({QStringLiteral("Always"), QStringLiteral("Custom"), QStringLiteral("Grow"),
                        QStringLiteral("Never"), QStringLiteral("Shrink")});
    ComboFit->setCurrentText(QStringLiteral("Always"));
    ComboPNumber = positionList(QStringLiteral("ComboPNumber"), QStringLiteral("Top Right"));
    fitForm->addRow(QStringLiteral("Fit to page:"), ComboFit);
    fitForm->addRow(QStringLiteral("Page Number:"), ComboPNumber);

    auto *groups = new QGridLayout;
    groups->addWidget(border, 0, 0);
    groups->addWidget(size, 0, 1);
    groups->addWidget(spacing, 1, 0);
    groups->addWidget(date, 1, 1);
    groups->addWidget(timeTitle, 2, 0);
    groups->addWidget(fit, 2, 1);

    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    ButtonClose = new QPushButton(QStringLiteral("Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonOk = new QPushButton(QStringLiteral("OK"), this);
    ButtonOk->setObjectName(QStringLiteral("ButtonOk"));
    ButtonApply = new QPushButton(QStringLiteral("Apply"), this);
    ButtonApply->setObjectName(QStringLiteral("ButtonApply"));
    ButtonApply->setEnabled(false);
    for (QPushButton *button : {ButtonClose, ButtonOk, ButtonApply})
        button->setAutoDefault(false);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonClose);
    buttons->addWidget(ButtonOk);
    buttons->addWidget(ButtonApply);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addStretch(1);
    layout->addWidget(line);
    layout->addLayout(buttons);

    connect(ButtonClose, &QPushButton::clicked, this, &TFormPrinting::ButtonCloseClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormPrinting::ButtonOkClick);
    connect(ButtonApply, &QPushButton::clicked, this, &TFormPrinting::ButtonApplyClick);
    for (QComboBox *list : {ComboBorder, ComboStyle, ComboDate, ComboTime, ComboTitle, ComboFit, ComboPNumber})
        connect(list, &QComboBox::currentIndexChanged, this, &TFormPrinting::GeneralChange);
    for (QLineEdit *field : {EditTop, EditLeft, EditRight, EditBottom, EditSpacing, EditRowSpacing, EditFixh, EditFixw,
                             EditDateformat})
        connect(field, &QLineEdit::textChanged, this, &TFormPrinting::GeneralChange);
    connect(CheckCenter, &QCheckBox::toggled, this, &TFormPrinting::GeneralChange);
}

QWidget *TFormPrinting::numberField(const QString &name, const QString &spinName, const QString &unit,
                                    const QString &start, QLineEdit **field, TUpDown **spin)
{
    auto *box = new QWidget(this);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    *field = new QLineEdit(start, box);
    (*field)->setObjectName(name);
    (*field)->setFixedWidth(44);
    *spin = new TUpDown(box);
    (*spin)->setObjectName(spinName);
    row->addWidget(*field);
    row->addWidget(*spin);
    row->addWidget(new QLabel(unit, box));
    row->addStretch(1);
    QLineEdit *edit = *field;
    connect((*spin)->Up, &QToolButton::clicked, this, [this, edit] { spinClick(edit, 1); });
    connect((*spin)->Down, &QToolButton::clicked, this, [this, edit] { spinClick(edit, -1); });
    return box;
}

QComboBox *TFormPrinting::positionList(const QString &name, const QString &start)
{
    auto *list = new QComboBox(this);
    list->setObjectName(name);
    list->addItems(Positions);
    list->setCurrentText(start);
    return list;
}

void TFormPrinting::GeneralChange()
{
    ButtonApply->setEnabled(true);
}

void TFormPrinting::spinClick(QLineEdit *field, int step)
{
    const QLocale locale = numberLocale();
    bool ok = false;
    const double value = locale.toDouble(field->text().trimmed(), &ok);
    if (!ok) {
        ShowErrorBox(this, QStringLiteral("'%1' is not a valid floating point value").arg(field->text()));
        return;
    }
    field->setText(locale.toString(value + step, 'g', QLocale::FloatingPointShortest));
}

bool TFormPrinting::ButtonApplyClick()
{
    for (TPrintsettings *grid : std::as_const(m_grids)) {
        grid->Borders = bordersAt(ComboBorder->currentIndex());
        grid->BorderStyle = styleAt(ComboStyle->currentIndex());
        grid->Date = positionAt(ComboDate->currentIndex());
        grid->FitToPage = fitAt(ComboFit->currentIndex());
        grid->Title = positionAt(ComboTitle->currentIndex());
        grid->Time = positionAt(ComboTime->currentIndex());
        grid->PageNr = positionAt(ComboPNumber->currentIndex());

        // Fields in order; the first that holds no whole number stops Apply
        // there, as far as it got.
        auto whole = [this](QLineEdit *field, int *target) {
            bool ok = false;
            const int value = field->text().trimmed().toInt(&ok);
            if (!ok) {
                ShowErrorBox(this, QStringLiteral("'%1' is not a valid integer value").arg(field->text()));
                return false;
            }
            *target = value;
            return true;
        };
        if (!whole(EditSpacing, &grid->ColumnSpacing) || !whole(EditRowSpacing, &grid->RowSpacing))
            return false;
        grid->Centered = CheckCenter->isChecked();
        grid->DateFormat = EditDateformat->text();
        if (!whole(EditFixh, &grid->FixedHeight) || !whole(EditFixw, &grid->FixedWidth)
            || !whole(EditBottom, &grid->FooterSize) || !whole(EditTop, &grid->HeaderSize)
            || !whole(EditLeft, &grid->LeftSize) || !whole(EditRight, &grid->RightSize))
            return false;
    }
    return true;
}

void TFormPrinting::ButtonOkClick()
{
    if (ButtonApplyClick())
        accept();
}

void TFormPrinting::ButtonCloseClick()
{
    reject();
}
