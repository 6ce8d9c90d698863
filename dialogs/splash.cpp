#include "dialogs/splash.h"

#include "quarnel_version.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QScreen>

QString VersionText(QWidget *)
{
    // The numbers come from the build, so there is no missing resource to report.
    return QStringLiteral("Version : %1.%2.%3.%4")
        .arg(QUARNEL_VERSION_MAJOR)
        .arg(QUARNEL_VERSION_MINOR)
        .arg(QUARNEL_VERSION_RELEASE)
        .arg(QUARNEL_VERSION_BUILD + 0);
}

TFormLogo::TFormLogo(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("FormLogo"));
    setFixedSize(400, 195);
    setAttribute(Qt::WA_OpaquePaintEvent);
    LabelVersion = new QLabel(this);
    LabelVersion->setObjectName(QStringLiteral("LabelVersion"));
    LabelVersion->setGeometry(16, 165, 250, 20);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void TFormLogo::showEvent(QShowEvent *event)
{
    LabelVersion->setText(VersionText(this));
    QWidget::showEvent(event);
}

void TFormLogo::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    // The picture: a stack of database discs beside the product name.
    QLinearGradient gradient(40, 40, 110, 130);
    gradient.setColorAt(0, QColor(0x4a, 0x90, 0xd9));
    gradient.setColorAt(1, QColor(0x1c, 0x4f, 0x8a));
    painter.setPen(QPen(QColor(0x14, 0x3a, 0x66), 2));
    for (int i = 2; i >= 0; --i) {
        const QRectF disc(40, 50 + i * 28, 80, 26);
        painter.setBrush(gradient);
        painter.drawRect(QRectF(disc.left(), disc.center().y(), disc.width(), 26));
        painter.drawEllipse(disc);
    }
    QFont title = font();
    title.setPixelSize(44);
    title.setBold(true);
    painter.setFont(title);
    painter.setPen(QColor(0xc0, 0x10, 0x10));
    painter.drawText(QRect(140, 45, 250, 60), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Quarnel"));
    QFont subtitle = font();
    subtitle.setPixelSize(15);
    painter.setFont(subtitle);
    painter.setPen(QColor(0x30, 0x30, 0x30));
    painter.drawText(QRect(142, 105, 250, 24), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("MySQL Administrations Tool"));
    painter.setPen(QColor(0xc0, 0xc0, 0xc0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

QIcon ApplicationIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = size / 16.0;
        painter.setPen(QPen(QColor(0x14, 0x3a, 0x66), unit * 0.8));
        painter.setBrush(QColor(0x3a, 0x7c, 0xc8));
        for (int i = 2; i >= 0; --i) {
            const QRectF disc(2 * unit, (2 + i * 4) * unit, 12 * unit, 4 * unit);
            painter.drawRect(QRectF(disc.left(), disc.center().y(), disc.width(), 4 * unit));
            painter.drawEllipse(disc);
        }
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon TableIcon()
{
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const qreal unit = size / 16.0;
        const QRectF frame(1.5 * unit, 2.5 * unit, 13 * unit, 11 * unit);
        painter.fillRect(frame, Qt::white);
        painter.fillRect(QRectF(frame.left(), frame.top(), frame.width(), 3 * unit), QColor(0x3a, 0x7c, 0xc8));
        painter.setPen(QPen(QColor(0x14, 0x3a, 0x66), unit * 0.8));
        painter.drawRect(frame);
        for (int row = 1; row < 3; ++row)
            painter.drawLine(QPointF(frame.left(), frame.top() + (3 + row * 2.7) * unit),
                             QPointF(frame.right(), frame.top() + (3 + row * 2.7) * unit));
        painter.drawLine(QPointF(frame.left() + 5 * unit, frame.top()),
                         QPointF(frame.left() + 5 * unit, frame.bottom()));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
