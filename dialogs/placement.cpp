#include "dialogs/placement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QObject>
#include <QScreen>
#include <QWidget>

namespace {

// Centres its window on each show: after Qt placed it over its parent,
// before it appears.
class DesktopCentring : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show && !event->spontaneous())
            CentreOnDesktop(static_cast<QWidget *>(watched));
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void CentreOnDesktop(QWidget *window)
{
    const QWidget *owner = window->parentWidget() ? window->parentWidget()->window() : window;
    QScreen *screen = owner->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    // move() places the frame; the frame is known once the window was shown.
    const QRect frame = window->frameGeometry();
    window->move(screen->availableGeometry().center() - QPoint(frame.width() / 2, frame.height() / 2));
}

void KeepCentredOnDesktop(QWidget *window)
{
    window->installEventFilter(new DesktopCentring(window));
}
