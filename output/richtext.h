#pragma once

#include <QString>

// True when a cell holds rich text: it begins with "{\rtf", as every RTF
// document does. Other text that starts with "{\" (escaped JSON, say) is
// plain text.
bool IsRichTextCell(QStringView text);

// The plain text of a rich-text (RTF) document: its paragraphs separated by
// CR LF, without the formatting, tables of fonts and colours, pictures and
// other destinations.
QString RichTextToPlain(QStringView rtf);
