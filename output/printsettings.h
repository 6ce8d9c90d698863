#pragma once

#include <QColor>
#include <QFont>
#include <QPageLayout>
#include <QString>

// Where a page text goes: three slots at the top of a page, three at the bottom.
enum TPrintPosition { ppNone, ppTopLeft, ppTopRight, ppTopCenter, ppBottomLeft, ppBottomRight, ppBottomCenter };

// How the column widths are scaled to the page width.
enum TFitToPage { fpNever, fpGrow, fpShrink, fpAlways, fpCustom };

// Which grid lines are drawn.
enum TPrintBorders { pbNoborder, pbSingle, pbDouble, pbVertical, pbHorizontal };

// Dash pattern of a printed line.
enum TPenStyle { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

inline bool isTopPosition(TPrintPosition position)
{
    return position == ppTopLeft || position == ppTopRight || position == ppTopCenter;
}

inline bool isBottomPosition(TPrintPosition position)
{
    return position == ppBottomLeft || position == ppBottomRight || position == ppBottomCenter;
}

// The font every grid prints with until told otherwise. The family is kept as
// named; the font system substitutes it where it is not installed.
inline QFont defaultGridPrintFont()
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(8);
    return font;
}

// Print settings of one grid. Lengths are tenths of a millimetre on the
// printed page; fonts are in points.
struct TPrintsettings
{
    int FooterSize = 0;
    int HeaderSize = 0;
    TPrintPosition Time = ppNone;
    TPrintPosition Date = ppNone;
    QString DateFormat = QStringLiteral("dd/mm/yyyy");
    TPrintPosition PageNr = ppNone;
    TPrintPosition Title = ppNone;
    QString TitleText;
    QFont Font = defaultGridPrintFont();
    QFont HeaderFont = defaultGridPrintFont();
    QFont FooterFont = defaultGridPrintFont();
    // The window-text colour of the body font.
    QColor FontColor = Qt::black;
    TPrintBorders Borders = pbNoborder;
    TPenStyle BorderStyle = psSolid;
    bool Centered = false;
    bool RepeatHeaders = false;
    int LeftSize = 0;
    int RightSize = 0;
    int ColumnSpacing = 0;
    int RowSpacing = 0; // kept, not used by the layout
    QPageLayout::Orientation Orientation = QPageLayout::Portrait;
    QString PagePrefix;
    QString PageSuffix;
    int FixedWidth = 0;  // without effect while UseFixedWidth is off
    int FixedHeight = 0; // without effect while UseFixedHeight is off
    bool UseFixedHeight = false;
    bool UseFixedWidth = false;
    TFitToPage FitToPage = fpNever;
    QString JobName;
    QString PageNumSep = QStringLiteral("/"); // kept, not used by the layout
};
