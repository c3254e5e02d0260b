#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// A QR code of a short text (an address to open), drawn for a terminal and for the trust page.
class QrCode
{
public:
    // The code of text at error correction level M; isNull() when text is too long for any QR
    // version or the library fails.
    static QrCode encode(const QByteArray &text);

    bool isNull() const { return m_size == 0; }
    int size() const { return m_size; }
    // The module at column x, row y; false outside the code (the quiet zone).
    bool dark(int x, int y) const;

    // Two rows of modules per line in Unicode half blocks, with a quiet zone of two modules.
    // Plain: a block is a dark module, for a terminal with a light background or a file. With
    // colours: black on white set by escape sequences, so any terminal shows it readable.
    QString toHalfBlocks(bool colours) const;
    // An SVG image, one unit per module, with a quiet zone of four.
    QByteArray toSvg() const;

private:
    int m_size = 0;
    QList<bool> m_modules; // row by row
};
