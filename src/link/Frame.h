#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The frame every message travels in, both ways: 0x02, length high byte, length low byte,
// the text (one byte per character), 0x03. Frames follow each other with nothing between.

inline constexpr char kStartByte = 0x02;
inline constexpr char kEndByte = 0x03;
inline constexpr qsizetype kFrameOverhead = 4;
inline constexpr qsizetype kMaxTextBytes = 0xFFFF;
inline constexpr qsizetype kMaxFrameBytes = kMaxTextBytes + kFrameOverhead;

// The frame of text, encoded in the Windows Western code page. A text of more than 65,535
// bytes cannot be described by the length field: the result is then empty and nothing may go
// out (cutting a password or a command would send something the user did not ask for).
QByteArray FrameMessage(const QString &text);

// Where the first complete frame in data lies, judged exactly as the jukebox's protocol does:
// - fewer than 5 bytes in all, no 0x02, no 0x03 anywhere after that 0x02, or fewer bytes than
//   the length field demands: no frame;
// - otherwise the text is the L bytes after the two length bytes, and the frame (with anything
//   in front of its 0x02) ends one byte after the text. That last byte is not examined: it is
//   where 0x03 belongs.
struct FrameScan
{
    bool complete = false;
    qsizetype textBegin = 0;
    qsizetype textLength = 0;
    qsizetype consumed = 0; // bytes to remove from the front of data
};
FrameScan ScanFrame(QByteArrayView data);

// Takes the text of the first complete frame out of buffer and removes that frame and
// everything before it; with no complete frame the result is empty and buffer is unchanged.
// A frame with an empty text also gives an empty result (it is removed).
QByteArray ExtractMessage(QByteArray &buffer);
