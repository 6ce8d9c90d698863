#include "dialogs/valueviewer.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// A dump of a few MB of bytes is already more than anybody reads.
constexpr int DumpedBytes = 1 << 20;

QString number(qint64 value)
{
    return QLocale(QLocale::English).toString(value);
}

} // namespace

TFormValueViewer::TFormValueViewer(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormValueViewer"));
    setWindowTitle(QStringLiteral("Value"));
    setModal(false);

    LabelCaption = new QLabel(this);
    LabelCaption->setObjectName(QStringLiteral("LabelCaption"));
    LabelCaption->setTextFormat(Qt::PlainText);
    QFont bold = LabelCaption->font();
    bold.setBold(true);
    LabelCaption->setFont(bold);
    LabelLength = new QLabel(this);
    LabelLength->setObjectName(QStringLiteral("LabelLength"));
    EditValue = new QPlainTextEdit(this);
    EditValue->setObjectName(QStringLiteral("EditValue"));
    EditValue->setAccessibleName(QStringLiteral("Value"));
    EditValue->setReadOnly(true);
    EditValue->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    EditValue->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    ButtonCopy = new QPushButton(QStringLiteral("&Copy"), this);
    ButtonCopy->setObjectName(QStringLiteral("ButtonCopy"));
    ButtonClose = new QPushButton(QStringLiteral("&Close"), this);
    ButtonClose->setObjectName(QStringLiteral("ButtonClose"));
    ButtonClose->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(LabelCaption);
    layout->addWidget(EditValue, 1);
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(LabelLength, 1);
    bottom->addWidget(ButtonCopy);
    bottom->addWidget(ButtonClose);
    layout->addLayout(bottom);
    resize(560, 360);

    connect(ButtonCopy, &QPushButton::clicked, this, &TFormValueViewer::copy);
    connect(ButtonClose, &QPushButton::clicked, this, &QDialog::close);
}

void TFormValueViewer::showValue(const QString &caption, const QByteArray &bytes, bool isNull, bool binary)
{
    m_bytes = bytes;
    m_null = isNull;
    m_binary = binary;
    LabelCaption->setText(caption);
    if (isNull) {
        EditValue->clear();
        LabelLength->setText(QStringLiteral("NULL"));
    } else if (binary) {
        EditValue->setLineWrapMode(QPlainTextEdit::NoWrap);
        EditValue->setPlainText(hexDump(bytes, DumpedBytes));
        QString length = number(bytes.size()) + QStringLiteral(" bytes");
        if (bytes.size() > DumpedBytes)
            length += QStringLiteral(" (the first %1 shown)").arg(number(DumpedBytes));
        LabelLength->setText(length);
    } else {
        EditValue->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        const QString text = QString::fromUtf8(bytes);
        EditValue->setPlainText(text);
        QString length = number(bytes.size()) + QStringLiteral(" bytes");
        if (text.size() != bytes.size())
            length += QStringLiteral(", ") + number(text.size()) + QStringLiteral(" characters");
        LabelLength->setText(length);
    }
    ButtonCopy->setEnabled(!isNull);
    show();
    raise();
    activateWindow();
}

QString TFormValueViewer::copyText() const
{
    if (m_null)
        return QString();
    if (m_binary)
        return QStringLiteral("0x") + QString::fromLatin1(m_bytes.toHex().toUpper());
    return QString::fromUtf8(m_bytes);
}

void TFormValueViewer::copy()
{
    if (!m_null)
        QGuiApplication::clipboard()->setText(copyText());
}

QString TFormValueViewer::hexDump(const QByteArray &bytes, int maxBytes)
{
    const int size = int(std::min<qsizetype>(bytes.size(), maxBytes));
    QString dump;
    dump.reserve((size / 16 + 1) * 78);
    for (int line = 0; line < size; line += 16) {
        dump += QStringLiteral("%1  ").arg(line, 8, 16, QLatin1Char('0')).toUpper();
        QString characters;
        for (int i = 0; i < 16; ++i) {
            if (line + i < size) {
                const auto byte = quint8(bytes.at(line + i));
                dump += QStringLiteral("%1 ").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
                characters += byte >= 0x20 && byte < 0x7f ? QChar(char16_t(byte)) : QChar(u'.');
            } else {
                dump += QStringLiteral("   ");
            }
            if (i == 7)
                dump += QLatin1Char(' ');
        }
        dump += QLatin1Char(' ') + characters + QLatin1Char('\n');
    }
    if (dump.endsWith(QLatin1Char('\n')))
        dump.chop(1);
    return dump;
}
