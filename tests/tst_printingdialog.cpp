#include "dialogs/printingdialog.h"
#include "tests/modalhelper.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <array>
#include <memory>

// "Print Settings": start values, the Apply mappings into all five grids,
// the spins, and Apply stopping at a field that holds no whole number.
class TestPrintingDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void startValues();
    void okWithStartValuesSetsEveryGrid();
    void listMappings_data();
    void listMappings();
    void positionMappings_data();
    void positionMappings();
    void spins();
    void spinOnTextReportsAndKeepsField();
    void applyStopsAtBadField();
    void closeKeepsFieldsButAppliesNothing();

private:
    QList<TPrintsettings *> grids();

    std::array<TPrintsettings, 5> m_settings;
    std::unique_ptr<TFormPrinting> m_dialog;
};

void TestPrintingDialog::init()
{
    m_settings = {};
    m_dialog = std::make_unique<TFormPrinting>(grids());
}

void TestPrintingDialog::cleanup()
{
    cancelPendingAnswers();
    m_dialog.reset();
}

QList<TPrintsettings *> TestPrintingDialog::grids()
{
    QList<TPrintsettings *> list;
    for (TPrintsettings &settings : m_settings)
        list.append(&settings);
    return list;
}

void TestPrintingDialog::startValues()
{
    TFormPrinting &d = *m_dialog;
    QCOMPARE(d.windowTitle(), QStringLiteral("Print Settings"));
    QCOMPARE(d.ComboBorder->currentText(), QStringLiteral("Single"));
    QCOMPARE(d.ComboStyle->currentText(), QStringLiteral("Dot"));
    QCOMPARE(d.EditTop->text(), QStringLiteral("15"));
    QCOMPARE(d.EditLeft->text(), QStringLiteral("10"));
    QCOMPARE(d.EditRight->text(), QStringLiteral("20"));
    QCOMPARE(d.EditBottom->text(), QStringLiteral("10"));
    for (QLineEdit *field : {d.EditSpacing, d.EditRowSpacing, d.EditFixh, d.EditFixw})
        QCOMPARE(field->text(), QStringLiteral("0"));
    QCOMPARE(d.ComboDate->currentText(), QStringLiteral("Bottom Center"));
    QCOMPARE(d.EditDateformat->text(), QStringLiteral("dd/mm/yyyy"));
    QCOMPARE(d.ComboTime->currentText(), QStringLiteral("Bottom Left"));
    QCOMPARE(d.ComboTitle->currentText(), QStringLiteral("Top Center"));
    QVERIFY(d.CheckCenter->isChecked());
    QCOMPARE(d.ComboFit->currentText(), QStringLiteral("Always"));
    QCOMPARE(d.ComboPNumber->currentText(), QStringLiteral("Top Right"));
    QVERIFY(!d.ButtonApply->isEnabled());

    // Any change enables Apply, and Apply leaves it enabled.
    d.CheckCenter->setChecked(false);
    QVERIFY(d.ButtonApply->isEnabled());
    d.ButtonApply->click();
    QVERIFY(d.ButtonApply->isEnabled());
}

void TestPrintingDialog::okWithStartValuesSetsEveryGrid()
{
    for (TPrintsettings &settings : m_settings)
        settings.TitleText = QStringLiteral("kept");
    m_dialog->show();
    m_dialog->ButtonOk->click();
    QVERIFY(!m_dialog->isVisible());
    for (const TPrintsettings &s : m_settings) {
        QCOMPARE(s.Borders, pbSingle);
        QCOMPARE(s.BorderStyle, psDot);
        QCOMPARE(s.Date, ppBottomCenter);
        QCOMPARE(s.Time, ppBottomLeft);
        QCOMPARE(s.Title, ppTopCenter);
        QCOMPARE(s.PageNr, ppTopRight);
        QCOMPARE(s.FitToPage, fpAlways);
        QCOMPARE(s.HeaderSize, 15);
        QCOMPARE(s.LeftSize, 10);
        QCOMPARE(s.RightSize, 20);
        QCOMPARE(s.FooterSize, 10);
        QCOMPARE(s.ColumnSpacing, 0);
        QVERIFY(s.Centered);
        QCOMPARE(s.DateFormat, QStringLiteral("dd/mm/yyyy"));
        // What the dialog does not edit keeps its value.
        QCOMPARE(s.TitleText, QStringLiteral("kept"));
        QCOMPARE(s.Orientation, QPageLayout::Portrait);
        QVERIFY(!s.UseFixedWidth);
    }
}

void TestPrintingDialog::listMappings_data()
{
    QTest::addColumn<QString>("border");
    QTest::addColumn<int>("borders");
    QTest::addColumn<QString>("style");
    QTest::addColumn<int>("penStyle");
    QTest::addColumn<QString>("fit");
    QTest::addColumn<int>("fitToPage");

    QTest::newRow("no border") << "No Border" << int(pbNoborder) << "Clear" << int(psClear) << "Custom" << int(fpCustom);
    QTest::newRow("double") << "Double" << int(pbDouble) << "Dash" << int(psDash) << "Grow" << int(fpGrow);
    QTest::newRow("vertical prints single") << "Vertical" << int(pbSingle) << "Dash Dot" << int(psDashDot) << "Never"
                                            << int(fpNever);
    QTest::newRow("horizontal prints none") << "Horizontal" << int(pbNoborder) << "Dash Dot Dot" << int(psDashDotDot)
                                            << "Shrink" << int(fpShrink);
    QTest::newRow("single") << "Single" << int(pbSingle) << "Inside Frame" << int(psInsideFrame) << "Always"
                            << int(fpAlways);
    QTest::newRow("solid") << "Single" << int(pbSingle) << "Solid" << int(psSolid) << "Always" << int(fpAlways);
}

void TestPrintingDialog::listMappings()
{
    QFETCH(QString, border);
    QFETCH(int, borders);
    QFETCH(QString, style);
    QFETCH(int, penStyle);
    QFETCH(QString, fit);
    QFETCH(int, fitToPage);
    m_dialog->ComboBorder->setCurrentText(border);
    m_dialog->ComboStyle->setCurrentText(style);
    m_dialog->ComboFit->setCurrentText(fit);
    QVERIFY(m_dialog->ButtonApplyClick());
    for (const TPrintsettings &s : m_settings) {
        QCOMPARE(int(s.Borders), borders);
        QCOMPARE(int(s.BorderStyle), penStyle);
        QCOMPARE(int(s.FitToPage), fitToPage);
    }
}

void TestPrintingDialog::positionMappings_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<int>("position");
    QTest::newRow("bottom center") << "Bottom Center" << int(ppBottomCenter);
    QTest::newRow("bottom left") << "Bottom Left" << int(ppBottomLeft);
    QTest::newRow("bottom right") << "Bottom Right" << int(ppBottomRight);
    QTest::newRow("none") << "None" << int(ppNone);
    QTest::newRow("top center") << "Top Center" << int(ppTopCenter);
    QTest::newRow("top left") << "Top Left" << int(ppTopLeft);
    QTest::newRow("top right") << "Top Right" << int(ppTopRight);
}

void TestPrintingDialog::positionMappings()
{
    QFETCH(QString, entry);
    QFETCH(int, position);
    // Each list maps to its own field.
    for (QComboBox *list : {m_dialog->ComboDate, m_dialog->ComboTime, m_dialog->ComboTitle, m_dialog->ComboPNumber})
        list->setCurrentText(QStringLiteral("None"));
    const struct
    {
        QComboBox *list;
        TPrintPosition TPrintsettings::*field;
    } lists[] = {{m_dialog->ComboDate, &TPrintsettings::Date},
                 {m_dialog->ComboTime, &TPrintsettings::Time},
                 {m_dialog->ComboTitle, &TPrintsettings::Title},
                 {m_dialog->ComboPNumber, &TPrintsettings::PageNr}};
    for (const auto &pick : lists) {
        pick.list->setCurrentText(entry);
        QVERIFY(m_dialog->ButtonApplyClick());
        for (const auto &other : lists) {
            const int expected = other.list == pick.list ? position : int(ppNone);
            QCOMPARE(int(m_settings[4].*(other.field)), expected);
        }
        pick.list->setCurrentText(QStringLiteral("None"));
    }
}

void TestPrintingDialog::spins()
{
    const struct
    {
        TUpDown *spin;
        QLineEdit *field;
    } pairs[] = {{m_dialog->SpinTop, m_dialog->EditTop},          {m_dialog->SpinLeft, m_dialog->EditLeft},
                 {m_dialog->SpinRight, m_dialog->EditRight},      {m_dialog->SpinBottom, m_dialog->EditBottom},
                 {m_dialog->SpinColumn, m_dialog->EditSpacing},   {m_dialog->SpinRow, m_dialog->EditRowSpacing},
                 {m_dialog->SpinFH, m_dialog->EditFixh},          {m_dialog->SpinFW, m_dialog->EditFixw}};
    for (const auto &pair : pairs) {
        const int before = pair.field->text().toInt();
        pair.spin->Up->click();
        QCOMPARE(pair.field->text(), QString::number(before + 1));
        pair.spin->Down->click();
        pair.spin->Down->click();
        QCOMPARE(pair.field->text(), QString::number(before - 1));
    }
    QVERIFY(m_dialog->ButtonApply->isEnabled());
    // No lower bound: 0 goes to -1, and Apply stores it.
    QCOMPARE(m_dialog->EditSpacing->text(), QStringLiteral("-1"));
    QCOMPARE(m_dialog->EditTop->text(), QStringLiteral("14"));
    QVERIFY(m_dialog->ButtonApplyClick());
    QCOMPARE(m_settings[0].ColumnSpacing, -1);
    QCOMPARE(m_settings[0].HeaderSize, 14);
    QCOMPARE(m_settings[0].FixedWidth, -1);
}

void TestPrintingDialog::spinOnTextReportsAndKeepsField()
{
    m_dialog->EditLeft->setText(QStringLiteral("ten"));
    QString message;
    answerMessageBox(QMessageBox::Ok, &message);
    m_dialog->SpinLeft->Up->click();
    QCOMPARE(message, QStringLiteral("'ten' is not a valid floating point value."));
    QCOMPARE(m_dialog->EditLeft->text(), QStringLiteral("ten"));
}

void TestPrintingDialog::applyStopsAtBadField()
{
    m_dialog->ComboBorder->setCurrentText(QStringLiteral("Double"));
    m_dialog->EditSpacing->setText(QStringLiteral("5"));
    m_dialog->EditBottom->setText(QStringLiteral("33"));
    m_dialog->EditTop->setText(QStringLiteral("1.5"));
    m_dialog->EditLeft->setText(QStringLiteral("44"));
    m_dialog->show();
    QString message;
    answerMessageBox(QMessageBox::Ok, &message);
    m_dialog->ButtonOk->click();
    QCOMPARE(message, QStringLiteral("'1.5' is not a valid integer value."));
    // OK stays open; the first grid has the lists and the fields before
    // the top margin, the others nothing.
    QVERIFY(m_dialog->isVisible());
    QCOMPARE(m_settings[0].Borders, pbDouble);
    QCOMPARE(m_settings[0].ColumnSpacing, 5);
    QCOMPARE(m_settings[0].FooterSize, 33);
    QVERIFY(m_settings[0].Centered);
    QCOMPARE(m_settings[0].HeaderSize, 0);
    QCOMPARE(m_settings[0].LeftSize, 0);
    for (int i = 1; i < 5; ++i) {
        QCOMPARE(m_settings[size_t(i)].Borders, pbNoborder);
        QCOMPARE(m_settings[size_t(i)].ColumnSpacing, 0);
    }
    m_dialog->hide();
}

void TestPrintingDialog::closeKeepsFieldsButAppliesNothing()
{
    m_dialog->show();
    m_dialog->EditRight->setText(QStringLiteral("99"));
    m_dialog->ComboFit->setCurrentText(QStringLiteral("Never"));
    m_dialog->ButtonClose->click();
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_settings[0].RightSize, 0);
    QCOMPARE(m_settings[0].FitToPage, fpNever);
    QCOMPARE(m_settings[0].Borders, pbNoborder);
    m_dialog->show();
    QCOMPARE(m_dialog->EditRight->text(), QStringLiteral("99"));
    QCOMPARE(m_dialog->ComboFit->currentText(), QStringLiteral("Never"));
    m_dialog->hide();
}

QTEST_MAIN(TestPrintingDialog)
#include "tst_printingdialog.moc"
