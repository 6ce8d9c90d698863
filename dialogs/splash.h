#pragma once

#include <QIcon>
#include <QWidget>

class QLabel;

// "Version : " + major.minor.release.build of this program, fixed at build time.
QString VersionText(QWidget *parent = nullptr);

// The start-up splash: a borderless white 400 x 195 window centred on the
// desktop with a picture and the version text near its lower left corner.
class TFormLogo : public QWidget
{
    Q_OBJECT

public:
    explicit TFormLogo(QWidget *parent = nullptr);
    QLabel *LabelVersion = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

// The window and notification-area icon; it also marks servers and databases.
QIcon ApplicationIcon();
// The mark of a table in the tree.
QIcon TableIcon();
