#pragma once

#include <QByteArray>
#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// A read-only look at one value of a grid: text with its line breaks, the
// bytes of a binary value in hex, the length in bytes, and a button that
// copies the value. It stays open beside the window (not modal); showing
// another value replaces the one shown.
class TFormValueViewer : public QDialog
{
    Q_OBJECT

public:
    explicit TFormValueViewer(QWidget *parent = nullptr);

    // caption: what the value is (column and row); bytes: the value itself,
    // UTF-8 text or, with binary, raw bytes.
    void showValue(const QString &caption, const QByteArray &bytes, bool isNull, bool binary);
    // What Copy puts on the clipboard: the text, or "0x" and the hex digits
    // of a binary value; nothing for NULL.
    QString copyText() const;
    void copy();

    // Lines of 16 bytes: offset, the bytes in hex, and the printable ones
    // as characters. At most maxBytes are shown.
    static QString hexDump(const QByteArray &bytes, int maxBytes);

    QLabel *LabelCaption = nullptr;
    QLabel *LabelLength = nullptr;
    QPlainTextEdit *EditValue = nullptr;
    QPushButton *ButtonCopy = nullptr;
    QPushButton *ButtonClose = nullptr;

private:
    QByteArray m_bytes;
    bool m_null = false;
    bool m_binary = false;
};
