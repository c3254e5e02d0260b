#pragma once

#include <QByteArray>

#include <atomic>
#include <cstdint>
#include <thread>

// The far end of the bare loopback baseline: a plain blocking TCP socket on its own thread,
// with no event loop and no Qt on the path, answering the same frames the jukebox answers.
// It shows what a request/answer round trip costs on this machine with nothing else added.
//
// Per received frame:
// - "Get" + name: answered name + "|3" (the length of the simulator's answer to "GetCredit");
// - "Stamp": answered "Stamp|" + the CLOCK_MONOTONIC nanoseconds at which it was read;
// - "Burst|" + n: n "ChangeCredit" frames in one write;
// - anything else: no answer.
// Any number of clients, each served on a thread of its own.
class BareServer
{
public:
    BareServer() = default;
    ~BareServer();
    BareServer(const BareServer &) = delete;
    BareServer &operator=(const BareServer &) = delete;

    // Listens on 127.0.0.1 at a free port; 0 on failure.
    quint16 start();

private:
    void serve();
    void serveClient(int fd);

    int m_listenFd = -1;
    std::atomic<bool> m_stop = false;
    std::thread m_thread;
};

// Helpers for the bare client side, shared with the measuring programs.
namespace Bare {
// A blocking TCP connection to 127.0.0.1:port with Nagle off; -1 on failure.
int connectLoopback(quint16 port);
// Writes all of bytes; false on error.
bool writeAll(int fd, const QByteArray &bytes);
// Reads until buffer holds one complete frame, then takes its text out of buffer. Returns
// false when the connection ends first.
bool readFrame(int fd, QByteArray &buffer, QByteArray &text);
// Reads exactly count bytes, discarding them; false when the connection ends first.
bool readBytes(int fd, qint64 count);
} // namespace Bare
