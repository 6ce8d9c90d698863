#pragma once

class QWidget;

// Dialogs described as centred on the desktop stand in the middle of the
// screen's available area (the screen of the window they belong to), not
// over their parent window as Qt would place them.
void CentreOnDesktop(QWidget *window);

// Centres window on the desktop every time it is shown.
void KeepCentredOnDesktop(QWidget *window);
