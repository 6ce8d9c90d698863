#include "dialogs/pagesetupform.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLocale>
#include <QPrinter>
#include <QRadioButton>
#include <QVBoxLayout>

TPageSetupForm::TPageSetupForm(QPrinter *printer, QWidget *parent)
    : QDialog(parent)
    , m_printer(printer)
    , m_inches(QLocale().measurementSystem() != QLocale::MetricSystem)
{
    setObjectName(QStringLiteral("PageSetupForm"));
    setWindowTitle(tr("Page Setup"));
    const QPageLayout layout = printer->pageLayout();
    const QPageLayout::Unit unit = m_inches ? QPageLayout::Inch : QPageLayout::Millimeter;

    auto *paperBox = new QGroupBox(tr("Paper"), this);
    auto *paperForm = new QFormLayout(paperBox);
    Paper = new QComboBox(paperBox);
    Paper->setObjectName(QStringLiteral("Paper"));
    const QPageSize::PageSizeId sizes[] = {QPageSize::A3, QPageSize::A4, QPageSize::A5, QPageSize::B5,
                                           QPageSize::Letter, QPageSize::Legal, QPageSize::Executive,
                                           QPageSize::Tabloid};
    for (const QPageSize::PageSizeId id : sizes)
        Paper->addItem(QPageSize::name(id), int(id));
    const int current = Paper->findData(int(layout.pageSize().id()));
    if (current >= 0) {
        Paper->setCurrentIndex(current);
    } else {
        Paper->addItem(layout.pageSize().name(), int(layout.pageSize().id()));
        Paper->setCurrentIndex(Paper->count() - 1);
    }
    paperForm->addRow(tr("Size:"), Paper);

    auto *orientationBox = new QGroupBox(tr("Orientation"), this);
    auto *orientationRow = new QHBoxLayout(orientationBox);
    Portrait = new QRadioButton(tr("Portrait"), orientationBox);
    Portrait->setObjectName(QStringLiteral("Portrait"));
    Landscape = new QRadioButton(tr("Landscape"), orientationBox);
    Landscape->setObjectName(QStringLiteral("Landscape"));
    (layout.orientation() == QPageLayout::Landscape ? Landscape : Portrait)->setChecked(true);
    orientationRow->addWidget(Portrait);
    orientationRow->addWidget(Landscape);

    auto *marginBox = new QGroupBox(m_inches ? tr("Margins (inches)") : tr("Margins (millimeters)"), this);
    auto *marginForm = new QFormLayout(marginBox);
    const QMarginsF margins = layout.margins(unit);
    auto field = [&](const QString &name, qreal value) {
        auto *spin = new QDoubleSpinBox(marginBox);
        spin->setObjectName(name);
        spin->setDecimals(m_inches ? 2 : 1);
        spin->setRange(0, m_inches ? 10 : 250);
        spin->setSingleStep(m_inches ? 0.1 : 1);
        spin->setValue(value);
        return spin;
    };
    MarginLeft = field(QStringLiteral("MarginLeft"), margins.left());
    MarginTop = field(QStringLiteral("MarginTop"), margins.top());
    MarginRight = field(QStringLiteral("MarginRight"), margins.right());
    MarginBottom = field(QStringLiteral("MarginBottom"), margins.bottom());
    marginForm->addRow(tr("Left:"), MarginLeft);
    marginForm->addRow(tr("Top:"), MarginTop);
    marginForm->addRow(tr("Right:"), MarginRight);
    marginForm->addRow(tr("Bottom:"), MarginBottom);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, [this] {
        apply();
        accept();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *column = new QVBoxLayout(this);
    column->addWidget(paperBox);
    column->addWidget(orientationBox);
    column->addWidget(marginBox);
    column->addWidget(buttons);
}

void TPageSetupForm::apply()
{
    const auto id = QPageSize::PageSizeId(Paper->currentData().toInt());
    m_printer->setPageSize(QPageSize(id));
    m_printer->setPageOrientation(Landscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait);
    // Margins beyond what the paper allows are cut down to it.
    m_printer->setPageMargins(QMarginsF(MarginLeft->value(), MarginTop->value(), MarginRight->value(),
                                        MarginBottom->value()),
                              m_inches ? QPageLayout::Inch : QPageLayout::Millimeter);
}
