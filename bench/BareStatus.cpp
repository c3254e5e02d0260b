// kurvan-bench-bare-status <port>: the bare counterpart of "kurvanctl status". Blocking sockets,
// no event loop, no QCoreApplication: connects to 127.0.0.1:<port>, logs in with the empty
// password, asks the same eight values one after the other and ends. Exit code 0 when every
// value was answered.

#include "BareServer.h"
#include "link/Frame.h"
#include "link/Messages.h"

#include <cstdlib>
#include <unistd.h>

int main(int argc, char *argv[])
{
    const int fd = argc > 1 ? Bare::connectLoopback(static_cast<quint16>(std::atoi(argv[1]))) : -1;
    if (fd < 0)
        return 3;
    QByteArray buffer;
    QByteArray text;
    if (!Bare::writeAll(fd, FrameMessage(Msg::PasswordPrefix)) || !Bare::readFrame(fd, buffer, text) ||
        text != Msg::PasswordOK.toLatin1())
        return 4;
    const QString names[] = {Msg::Version,    Msg::Type,        Msg::Credit,  Msg::PlayStatus,
                             Msg::SongLength, Msg::CurrentSong, Msg::SongPos, Msg::Volume};
    for (const QString &name : names) {
        const QByteArray answer = name.toLatin1() + '|';
        if (!Bare::writeAll(fd, FrameMessage(Msg::GetPrefix + name)))
            return 3;
        // Notices may come in between; the answer is the frame that starts with the name.
        do {
            if (!Bare::readFrame(fd, buffer, text))
                return 3;
        } while (!text.startsWith(answer));
    }
    ::close(fd);
    return 0;
}
