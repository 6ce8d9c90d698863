#pragma once

#include <QDialog>
#include <QPoint>

class QComboBox;
class QFrame;
class QLabel;
class QScrollArea;
class QSpinBox;
class QToolButton;
class TPreviewPrinter;

// A page of the preview: draws one recorded page scaled to its size, and
// hands mouse presses to the window's zoom and hand tools.
class TPreviewPaintBox : public QWidget
{
    Q_OBJECT

public:
    TPreviewPaintBox(TPreviewPrinter *printer, int offset, QWidget *parent);
    // The page shown: the window's current index plus this box's offset.
    void setPageIndex(int index) { m_index = index + m_offset; update(); }
    void setGridShown(bool shown) { m_grid = shown; update(); }

Q_SIGNALS:
    void pressed(QMouseEvent *event);
    void moved(QMouseEvent *event);
    void released(QMouseEvent *event);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    TPreviewPrinter *m_printer;
    int m_offset;
    int m_index = 0;
    bool m_grid = false;
};

// Asks for a page number from 1 to the page count.
class TGoPageForm : public QDialog
{
    Q_OBJECT

public:
    TGoPageForm(int pageCount, int current, QWidget *parent = nullptr);
    QSpinBox *PageNum = nullptr;
};

// The print preview: recorded pages, one or two at a time, at a chosen
// zoom, with page navigation, a zoom tool and a hand tool for panning.
class TPreviewForm : public QDialog
{
    Q_OBJECT

public:
    explicit TPreviewForm(TPreviewPrinter *printer, QWidget *parent = nullptr);
    ~TPreviewForm() override;

    // Zoom list entries by text ("Fit To Page", "100%", ...).
    void selectZoom(const QString &entry);
    void setGridShown(bool shown);
    void setTwoPages(bool two);

    int pageIndex() const { return m_pageIndex; }
    double zoomFactor() const { return m_zoom; }
    void goToPage(int index);
    // The factor the zoom list's entry gives for the current window.
    double zoomForSelection();
    // Zoom tool press at a point of the first page box: left zooms in by
    // half, right zooms out by a third.
    void zoomAt(const QPoint &point, bool in);

    QToolButton *PrintBut = nullptr;
    QToolButton *PrevPageBut = nullptr;
    QToolButton *NextPageBut = nullptr;
    QComboBox *ZoomBox = nullptr;
    QToolButton *FitPageBut = nullptr;
    QToolButton *FitWidthBut = nullptr;
    QToolButton *GridBut = nullptr;
    QToolButton *ZoomCursorBut = nullptr;
    QToolButton *HandCursorBut = nullptr;
    QToolButton *OnePageBut = nullptr;
    QToolButton *TwoPageBut = nullptr;
    QToolButton *CloseBut = nullptr;
    QToolButton *AboutBut = nullptr;
    QScrollArea *ScrollBox1 = nullptr;
    QWidget *ContainPanel = nullptr;
    QFrame *PagePanel = nullptr;
    QFrame *PagePanel2 = nullptr;
    TPreviewPaintBox *PB1 = nullptr;
    TPreviewPaintBox *PB2 = nullptr;
    QToolButton *FirstPageSpeed = nullptr;
    QToolButton *PrevPageSpeed = nullptr;
    QToolButton *NextPageSpeed = nullptr;
    QToolButton *LastPageSpeed = nullptr;
    QToolButton *PageNumSpeed = nullptr;
    QLabel *CurPageLabel = nullptr;
    QLabel *ZoomLabel = nullptr;
    QLabel *HintLabel = nullptr;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildTools();
    void buildPages();
    void buildStatus();
    QToolButton *toolButton(const QString &name, const QString &text, const QString &hint);
    void zoomChanged();
    void layoutPages(double factor);
    void updateNavigation();
    void showGoPage();
    void pressOnPage(QMouseEvent *event);
    void moveOnPage(QMouseEvent *event);
    void useZoomTool(bool zoom);
    double screenDpi() const;

    TPreviewPrinter *m_printer;
    int m_pageIndex = 0;
    double m_zoom = 1.0;
    bool m_twoPages = false;
    bool m_dragging = false;
    QPoint m_dragStart;
    bool m_layingOut = false;
};
