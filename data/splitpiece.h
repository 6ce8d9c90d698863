#pragma once

#include <QString>

// Piece k (from 0) of text cut at separator; the empty text past the last
// piece. A trailing separator does not start a further piece.
QString SplitPiece(const QString &text, const QString &separator, int k);

// SplitPiece without the blanks and control characters at either end.
QString SplitPieceTrimmed(const QString &text, const QString &separator, int k);

// Removes characters up to and including the blank (line breaks, tabs and
// other control characters) from both ends.
QString trimBlanksAndControls(const QString &text);
