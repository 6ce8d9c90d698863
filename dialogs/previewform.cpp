#include "dialogs/previewform.h"

#include "dialogs/previewprinter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStatusTipEvent>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

const QString FitToPage = QStringLiteral("Fit To Page");
const QString FitToWidth = QStringLiteral("Fit To Width");
const QString Custom = QStringLiteral("Custom");

const QString PageHint = QStringLiteral(
    "Page View.  With Zoom Tool, left or right click to zoom in/out.  Click & drag with Hand Tool to pan.");

// The zoom tool's cursor: a magnifying glass, its hot spot in the glass.
QCursor zoomCursor()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 4));
    painter.drawEllipse(QPointF(12, 12), 8, 8);
    painter.drawLine(QPointF(18, 18), QPointF(28, 28));
    painter.setPen(QPen(Qt::black, 2));
    painter.drawEllipse(QPointF(12, 12), 8, 8);
    painter.drawLine(QPointF(18, 18), QPointF(28, 28));
    painter.end();
    return QCursor(pixmap, 12, 12);
}

QIcon themeIcon(const char *name, QStyle::StandardPixmap fallback, const QWidget *widget)
{
    const QIcon icon = QIcon::fromTheme(QString::fromLatin1(name));
    return icon.isNull() && fallback != QStyle::SP_CustomBase ? widget->style()->standardIcon(fallback) : icon;
}

} // namespace

TPreviewPaintBox::TPreviewPaintBox(TPreviewPrinter *printer, int offset, QWidget *parent)
    : QWidget(parent)
    , m_printer(printer)
    , m_offset(offset)
{
    setToolTip(PageHint);
    setStatusTip(PageHint);
    setMouseTracking(false);
}

void TPreviewPaintBox::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    if (m_index < 0 || m_index >= m_printer->PageCount())
        return; // no such page: the box stays empty
    painter.fillRect(rect(), Qt::white);
    const PagePicture &page = m_printer->Page(m_index);
    if (page.sheet.width() <= 0 || page.sheet.height() <= 0)
        return;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.scale(width() / page.sheet.width(), height() / page.sheet.height());
    page.play(&painter);
    if (m_grid && page.unitsPerInchX > 0 && page.unitsPerInchY > 0) {
        QPen pen(QColor(192, 192, 192));
        pen.setCosmetic(true);
        painter.setPen(pen);
        const int columns = int(std::floor(page.sheet.width() / page.unitsPerInchX));
        for (int i = 1; i <= columns; ++i)
            painter.drawLine(QPointF(i * page.unitsPerInchX, 0), QPointF(i * page.unitsPerInchX, page.sheet.height()));
        const int rows = int(std::floor(page.sheet.height() / page.unitsPerInchY));
        for (int i = 1; i <= rows; ++i)
            painter.drawLine(QPointF(0, i * page.unitsPerInchY), QPointF(page.sheet.width(), i * page.unitsPerInchY));
    }
}

void TPreviewPaintBox::mousePressEvent(QMouseEvent *event)
{
    Q_EMIT pressed(event);
}

void TPreviewPaintBox::mouseMoveEvent(QMouseEvent *event)
{
    Q_EMIT moved(event);
}

void TPreviewPaintBox::mouseReleaseEvent(QMouseEvent *event)
{
    Q_EMIT released(event);
}

TGoPageForm::TGoPageForm(int pageCount, int current, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("GoPageForm"));
    setWindowTitle(QStringLiteral("Go to Page Number"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    PageNum = new QSpinBox(this);
    PageNum->setObjectName(QStringLiteral("PageNum"));
    PageNum->setRange(1, qMax(1, pageCount));
    PageNum->setValue(qBound(1, current, qMax(1, pageCount)));
    form->addRow(tr("Page Number:"), PageNum);
    layout->addLayout(form);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    PageNum->selectAll();
}

TPreviewForm::TPreviewForm(TPreviewPrinter *printer, QWidget *parent)
    : QDialog(parent)
    , m_printer(printer)
{
    setObjectName(QStringLiteral("PreviewForm"));
    setWindowTitle(QStringLiteral("Preview Form"));
    setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    buildTools();
    buildPages();
    buildStatus();

    selectZoom(FitToPage);
    // The size to fall back on where no window manager maximizes windows.
    if (const QScreen *screen = this->screen())
        resize(screen->availableGeometry().size() * 9 / 10);
    setWindowState(windowState() | Qt::WindowMaximized);
    useZoomTool(true);
}

TPreviewForm::~TPreviewForm() = default;

QToolButton *TPreviewForm::toolButton(const QString &name, const QString &text, const QString &hint)
{
    auto *button = new QToolButton(this);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(hint);
    button->setStatusTip(hint);
    button->setAutoRaise(true);
    return button;
}

void TPreviewForm::buildTools()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("ToolBar"));
    bar->setFrameShape(QFrame::StyledPanel);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 2, 4, 2);

    PrintBut = toolButton(QStringLiteral("PrintBut"), QStringLiteral("&Print..."), QStringLiteral("Print the Current Document"));
    PrevPageBut = toolButton(QStringLiteral("PrevPageBut"), QStringLiteral("Pre&v"),
                             QStringLiteral("Move to Previous Page in Document"));
    PrevPageBut->setEnabled(false);
    NextPageBut = toolButton(QStringLiteral("NextPageBut"), QStringLiteral("&Next"),
                             QStringLiteral("Advance to Next Page in Document"));
    ZoomBox = new QComboBox(this);
    ZoomBox->setObjectName(QStringLiteral("ZoomBox"));
    ZoomBox->addItems({FitToPage, FitToWidth, Custom, QStringLiteral("25%"), QStringLiteral("50%"),
                       QStringLiteral("75%"), QStringLiteral("100%"), QStringLiteral("125%"), QStringLiteral("150%"),
                       QStringLiteral("200%"), QStringLiteral("300%"), QStringLiteral("400%")});
    FitPageBut = toolButton(QStringLiteral("FitPageBut"), QStringLiteral("Page"), QStringLiteral("Fit to Page"));
    FitPageBut->setIcon(themeIcon("zoom-fit-best", QStyle::SP_CustomBase, this));
    FitPageBut->setCheckable(true);
    FitWidthBut = toolButton(QStringLiteral("FitWidthBut"), QStringLiteral("Width"), QStringLiteral("Fit to Width"));
    FitWidthBut->setIcon(themeIcon("zoom-fit-width", QStyle::SP_CustomBase, this));
    FitWidthBut->setCheckable(true);
    GridBut = toolButton(QStringLiteral("GridBut"), QStringLiteral("Grid"), QStringLiteral("Turns Grid On/Off"));
    GridBut->setCheckable(true);
    ZoomCursorBut = toolButton(QStringLiteral("ZoomCursorBut"), QStringLiteral("Zoom"),
                               QStringLiteral("Selects the Zoom Tool to zoom in or out"));
    ZoomCursorBut->setIcon(themeIcon("zoom-in", QStyle::SP_CustomBase, this));
    ZoomCursorBut->setCheckable(true);
    HandCursorBut = toolButton(QStringLiteral("HandCursorBut"), QStringLiteral("Hand"),
                               QStringLiteral("Selects the Hand Tool to pan across the Page"));
    HandCursorBut->setIcon(themeIcon("transform-move", QStyle::SP_CustomBase, this));
    HandCursorBut->setCheckable(true);
    OnePageBut = toolButton(QStringLiteral("OnePageBut"), QStringLiteral("&1"), QStringLiteral("Display One page at a time"));
    OnePageBut->setCheckable(true);
    OnePageBut->setChecked(true);
    TwoPageBut = toolButton(QStringLiteral("TwoPageBut"), QStringLiteral("&2"),
                            QStringLiteral("Display Two pages side by side"));
    TwoPageBut->setCheckable(true);
    CloseBut = toolButton(QStringLiteral("CloseBut"), QStringLiteral("&Close"),
                          QStringLiteral("Close the Print Preview window"));
    CloseBut->setShortcut(QKeySequence(Qt::Key_Escape));
    AboutBut = toolButton(QStringLiteral("AboutBut"), QStringLiteral("&About..."), QString());
    AboutBut->setVisible(false);

    for (QToolButton *button : {FitPageBut, FitWidthBut, ZoomCursorBut, HandCursorBut}) {
        if (!button->icon().isNull())
            button->setToolButtonStyle(Qt::ToolButtonIconOnly);
    }
    row->addWidget(PrintBut);
    row->addSpacing(8);
    row->addWidget(PrevPageBut);
    row->addWidget(NextPageBut);
    row->addSpacing(8);
    row->addWidget(ZoomBox);
    row->addWidget(FitPageBut);
    row->addWidget(FitWidthBut);
    row->addWidget(GridBut);
    row->addSpacing(8);
    row->addWidget(ZoomCursorBut);
    row->addWidget(HandCursorBut);
    row->addSpacing(8);
    row->addWidget(OnePageBut);
    row->addWidget(TwoPageBut);
    row->addSpacing(8);
    row->addWidget(CloseBut);
    row->addWidget(AboutBut);
    row->addStretch(1);
    static_cast<QVBoxLayout *>(layout())->addWidget(bar);

    connect(PrintBut, &QToolButton::clicked, this, [this] { m_printer->Print(); });
    connect(PrevPageBut, &QToolButton::clicked, this, [this] { goToPage(m_pageIndex - 1); });
    connect(NextPageBut, &QToolButton::clicked, this, [this] { goToPage(m_pageIndex + 1); });
    connect(ZoomBox, &QComboBox::activated, this, [this] {
        // The second pass settles the scroll bars the first one brought.
        zoomChanged();
        zoomChanged();
    });
    connect(FitPageBut, &QToolButton::clicked, this, [this] { selectZoom(FitToPage); });
    connect(FitWidthBut, &QToolButton::clicked, this, [this] { selectZoom(FitToWidth); });
    connect(GridBut, &QToolButton::toggled, this, &TPreviewForm::setGridShown);
    connect(ZoomCursorBut, &QToolButton::clicked, this, [this] { useZoomTool(true); });
    connect(HandCursorBut, &QToolButton::clicked, this, [this] { useZoomTool(false); });
    connect(OnePageBut, &QToolButton::clicked, this, [this] { setTwoPages(false); });
    connect(TwoPageBut, &QToolButton::clicked, this, [this] { setTwoPages(true); });
    connect(CloseBut, &QToolButton::clicked, this, &QDialog::reject);
}

void TPreviewForm::buildPages()
{
    ScrollBox1 = new QScrollArea(this);
    ScrollBox1->setObjectName(QStringLiteral("ScrollBox1"));
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setBackgroundRole(QPalette::Dark);
    ContainPanel = new QWidget;
    ContainPanel->setObjectName(QStringLiteral("ContainPanel"));
    ContainPanel->setBackgroundRole(QPalette::Dark);
    ContainPanel->setAutoFillBackground(true);
    auto makePanel = [this](const QString &name, const QString &boxName, int offset, TPreviewPaintBox **box) {
        auto *panel = new QFrame(ContainPanel);
        panel->setObjectName(name);
        auto *inner = new QVBoxLayout(panel);
        inner->setContentsMargins(0, 0, 0, 0);
        *box = new TPreviewPaintBox(m_printer, offset, panel);
        (*box)->setObjectName(boxName);
        inner->addWidget(*box);
        connect(*box, &TPreviewPaintBox::pressed, this, &TPreviewForm::pressOnPage);
        connect(*box, &TPreviewPaintBox::moved, this, &TPreviewForm::moveOnPage);
        connect(*box, &TPreviewPaintBox::released, this, [this](QMouseEvent *) { m_dragging = false; });
        return panel;
    };
    PagePanel = makePanel(QStringLiteral("PagePanel"), QStringLiteral("PB1"), 0, &PB1);
    PagePanel2 = makePanel(QStringLiteral("PagePanel2"), QStringLiteral("PB2"), 1, &PB2);
    PagePanel2->setVisible(false);
    ScrollBox1->setWidget(ContainPanel);
    ScrollBox1->viewport()->installEventFilter(this);
    static_cast<QVBoxLayout *>(layout())->addWidget(ScrollBox1, 1);
}

void TPreviewForm::buildStatus()
{
    auto *bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setFrameShape(QFrame::StyledPanel);
    auto *row = new QHBoxLayout(bar);
    row->setContentsMargins(4, 1, 4, 1);
    FirstPageSpeed = toolButton(QStringLiteral("FirstPageSpeed"), QStringLiteral("|<"),
                                QStringLiteral("Go to First Page in Document"));
    FirstPageSpeed->setIcon(themeIcon("go-first", QStyle::SP_MediaSkipBackward, this));
    PrevPageSpeed = toolButton(QStringLiteral("PrevPageSpeed"), QStringLiteral("<"),
                               QStringLiteral("Move to Previous Page in Document"));
    PrevPageSpeed->setIcon(themeIcon("go-previous", QStyle::SP_ArrowLeft, this));
    NextPageSpeed = toolButton(QStringLiteral("NextPageSpeed"), QStringLiteral(">"),
                               QStringLiteral("Advance to Next Page in Document"));
    NextPageSpeed->setIcon(themeIcon("go-next", QStyle::SP_ArrowRight, this));
    LastPageSpeed = toolButton(QStringLiteral("LastPageSpeed"), QStringLiteral(">|"),
                               QStringLiteral("Go to Last Page in Document"));
    LastPageSpeed->setIcon(themeIcon("go-last", QStyle::SP_MediaSkipForward, this));
    PageNumSpeed = toolButton(QStringLiteral("PageNumSpeed"), QStringLiteral("#"),
                              QStringLiteral("Go to Page by Page Number"));
    PageNumSpeed->setIcon(themeIcon("go-jump", QStyle::SP_CustomBase, this));
    CurPageLabel = new QLabel(this);
    CurPageLabel->setObjectName(QStringLiteral("CurPageLabel"));
    CurPageLabel->setToolTip(QStringLiteral("Displays the Current Page of the Document"));
    CurPageLabel->setStatusTip(CurPageLabel->toolTip());
    CurPageLabel->setMinimumWidth(110);
    ZoomLabel = new QLabel(this);
    ZoomLabel->setObjectName(QStringLiteral("ZoomLabel"));
    ZoomLabel->setToolTip(QStringLiteral("Displays the Current Zoom Level (100% = normal)"));
    ZoomLabel->setStatusTip(ZoomLabel->toolTip());
    ZoomLabel->setMinimumWidth(60);
    HintLabel = new QLabel(this);
    HintLabel->setObjectName(QStringLiteral("HintLabel"));
    HintLabel->setToolTip(QStringLiteral("Displays Help for the object beneath the mouse"));
    HintLabel->setStatusTip(HintLabel->toolTip());
    for (QWidget *widget : {static_cast<QWidget *>(FirstPageSpeed), static_cast<QWidget *>(PrevPageSpeed),
                            static_cast<QWidget *>(NextPageSpeed), static_cast<QWidget *>(LastPageSpeed),
                            static_cast<QWidget *>(PageNumSpeed)})
        row->addWidget(widget);
    for (QLabel *label : {CurPageLabel, ZoomLabel}) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        row->addWidget(label);
    }
    HintLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    row->addWidget(HintLabel, 1);
    static_cast<QVBoxLayout *>(layout())->addWidget(bar);

    connect(FirstPageSpeed, &QToolButton::clicked, this, [this] { goToPage(0); });
    connect(PrevPageSpeed, &QToolButton::clicked, this, [this] { goToPage(m_pageIndex - 1); });
    connect(NextPageSpeed, &QToolButton::clicked, this, [this] { goToPage(m_pageIndex + 1); });
    connect(LastPageSpeed, &QToolButton::clicked, this, [this] { goToPage(m_printer->PageCount() - 1); });
    connect(PageNumSpeed, &QToolButton::clicked, this, &TPreviewForm::showGoPage);
}

bool TPreviewForm::event(QEvent *event)
{
    // The hint of whatever lies under the mouse shows in the status bar.
    if (event->type() == QEvent::StatusTip) {
        HintLabel->setText(static_cast<QStatusTipEvent *>(event)->tip());
        return true;
    }
    return QDialog::event(event);
}

bool TPreviewForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Resize && watched == ScrollBox1->viewport())
        zoomChanged();
    return QDialog::eventFilter(watched, event);
}

void TPreviewForm::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    goToPage(0);
    zoomChanged();
    zoomChanged();
}

void TPreviewForm::selectZoom(const QString &entry)
{
    const int index = ZoomBox->findText(entry);
    if (index < 0)
        return;
    ZoomBox->setCurrentIndex(index);
    zoomChanged();
    zoomChanged();
}

void TPreviewForm::setGridShown(bool shown)
{
    if (GridBut->isChecked() != shown)
        GridBut->setChecked(shown); // comes back here through toggled
    PB1->setGridShown(shown);
    PB2->setGridShown(shown);
}

void TPreviewForm::setTwoPages(bool two)
{
    m_twoPages = two;
    OnePageBut->setChecked(!two);
    TwoPageBut->setChecked(two);
    selectZoom(FitToPage);
}

void TPreviewForm::useZoomTool(bool zoom)
{
    ZoomCursorBut->setChecked(zoom);
    HandCursorBut->setChecked(!zoom);
    const QCursor cursor = zoom ? zoomCursor() : QCursor(Qt::PointingHandCursor);
    PB1->setCursor(cursor);
    PB2->setCursor(cursor);
}

double TPreviewForm::screenDpi() const
{
    return logicalDpiY() > 0 ? logicalDpiY() : 96;
}

double TPreviewForm::zoomForSelection()
{
    if (ZoomBox->currentIndex() < 0)
        ZoomBox->setCurrentIndex(ZoomBox->findText(FitToPage));
    const QString entry = ZoomBox->currentText();
    const TDeviceMetrics &m = m_printer->metrics();
    const double s = screenDpi();
    const QSize client = ScrollBox1->viewport()->size();
    double factor = m_zoom;
    if (entry == FitToPage) {
        if (m.paperHeight > 0 && m.dpiY > 0)
            factor = (client.height() - 20) / s / (m.paperHeight / m.dpiY);
    } else if (entry == FitToWidth) {
        if (m.paperWidth > 0 && m.dpiX > 0)
            factor = (client.width() - 20) / s / (m.paperWidth / m.dpiX);
    } else if (entry != Custom) {
        factor = QStringView(entry).chopped(1).toDouble() / 100.0;
    }
    // A window smaller than its margins still shows a page, however small.
    return factor > 0.01 ? factor : 0.01;
}

void TPreviewForm::zoomChanged()
{
    if (m_layingOut)
        return;
    m_layingOut = true;
    layoutPages(zoomForSelection());
    m_layingOut = false;
}

void TPreviewForm::layoutPages(double z)
{
    const QString entry = ZoomBox->currentText();
    FitPageBut->setChecked(entry == FitToPage);
    FitWidthBut->setChecked(entry == FitToWidth);
    if (entry != FitToPage && m_twoPages) {
        m_twoPages = false;
        OnePageBut->setChecked(true);
        TwoPageBut->setChecked(false);
    }
    const TDeviceMetrics &m = m_printer->metrics();
    const double s = screenDpi();
    const int pageHeight = m.dpiY > 0 ? int(s * z * m.paperHeight / m.dpiY) : 0;
    const int pageWidth = m.dpiX > 0 ? int(s * z * m.paperWidth / m.dpiX) : 0;
    PagePanel2->setVisible(m_twoPages);

    const QSize client = ScrollBox1->viewport()->size();
    const int needed = pageWidth + 20 + (m_twoPages ? pageWidth + 20 : 0);
    const int height = pageHeight + 20 < client.height() ? client.height() - 1 : pageHeight + 20;
    const int width = needed < client.width() ? client.width() - 1 : needed;
    ContainPanel->resize(width, height);
    const int top = pageHeight + 20 < height ? height / 2 - pageHeight / 2 : 10;
    const int left = needed < width ? width / 2 - (needed - 20) / 2 : 10;
    PagePanel->setGeometry(left, top, pageWidth, pageHeight);
    PagePanel2->setGeometry(left + pageWidth + 20, top, pageWidth, pageHeight);

    m_zoom = z;
    // Shown as a whole percentage with the locale's digit grouping.
    ZoomLabel->setText(QLocale().toString(qint64(std::round(z * 100))) + QLatin1Char('%'));
    PB1->update();
    PB2->update();
}

void TPreviewForm::goToPage(int index)
{
    const int count = m_printer->PageCount();
    m_pageIndex = qBound(0, index, qMax(0, count - 1));
    CurPageLabel->setText(QStringLiteral("Page %1 of %2").arg(m_pageIndex + 1).arg(count));
    PB1->setPageIndex(m_pageIndex);
    PB2->setPageIndex(m_pageIndex);
    updateNavigation();
}

void TPreviewForm::updateNavigation()
{
    const int count = m_printer->PageCount();
    const bool forward = m_pageIndex + 1 < count;
    const bool back = m_pageIndex > 0;
    NextPageBut->setEnabled(forward);
    NextPageSpeed->setEnabled(forward);
    LastPageSpeed->setEnabled(forward);
    PrevPageBut->setEnabled(back);
    PrevPageSpeed->setEnabled(back);
    FirstPageSpeed->setEnabled(back);
    PageNumSpeed->setEnabled(count > 1);
}

void TPreviewForm::showGoPage()
{
    TGoPageForm form(m_printer->PageCount(), m_pageIndex + 1, this);
    if (form.exec() == QDialog::Accepted)
        goToPage(form.PageNum->value() - 1);
}

void TPreviewForm::zoomAt(const QPoint &point, bool in)
{
    const QSize before = PagePanel->size();
    const double factor = in ? m_zoom * 1.5 : m_zoom / 1.5;
    ZoomBox->setCurrentIndex(ZoomBox->findText(Custom));
    m_layingOut = true;
    layoutPages(factor);
    m_layingOut = false;
    const QSize after = PagePanel->size();
    // The pressed point, at the new size, comes to the middle of the view.
    const double x = before.width() > 0 ? double(point.x()) * after.width() / before.width() : 0;
    const double y = before.height() > 0 ? double(point.y()) * after.height() / before.height() : 0;
    const QSize client = ScrollBox1->viewport()->size();
    ScrollBox1->horizontalScrollBar()->setValue(int(PagePanel->x() + x) - client.width() / 2);
    ScrollBox1->verticalScrollBar()->setValue(int(PagePanel->y() + y) - client.height() / 2);
}

void TPreviewForm::pressOnPage(QMouseEvent *event)
{
    if (ZoomCursorBut->isChecked()) {
        if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton)
            zoomAt(event->position().toPoint(), event->button() == Qt::LeftButton);
        return;
    }
    m_dragging = true;
    m_dragStart = event->position().toPoint();
}

void TPreviewForm::moveOnPage(QMouseEvent *event)
{
    if (!m_dragging)
        return;
    const QPoint delta = m_dragStart - event->position().toPoint();
    ScrollBox1->horizontalScrollBar()->setValue(ScrollBox1->horizontalScrollBar()->value() + delta.x());
    ScrollBox1->verticalScrollBar()->setValue(ScrollBox1->verticalScrollBar()->value() + delta.y());
}
