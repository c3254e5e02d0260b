#pragma once

#include <QByteArray>
#include <optional>

// The bytes received from the jukebox that no frame has taken yet. Frames are taken from the
// front without moving the rest each time, so draining many frames stays linear.
//
// Bound: after every append and take, at most one largest frame (65,539 bytes) is kept. A
// longer remainder can only be a frame whose end byte never came, or bytes before any start
// byte; it is cut to its newest bytes, starting at a start byte. Well-formed streams never hit
// this: a frame that is complete by its length always carries its end byte.
class ReceiveBuffer
{
public:
    void append(QByteArrayView bytes);

    // The text of the next complete frame, empty texts included; nullopt when none is complete.
    std::optional<QByteArray> takeFrame();

    qsizetype size() const { return m_data.size() - m_pos; }
    void clear();

private:
    void trim();

    QByteArray m_data;
    qsizetype m_pos = 0;
};
