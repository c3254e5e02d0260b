#pragma once

#include <QString>

// Where to connect and with which password, for one attempt: what the user typed into the
// connection dialog, or what kurvanctl found for its session. The port stays text: the link
// reads it as a number only when it connects.
struct ServerLogin
{
    QString ServerAddress;
    QString ServerPort;
    QString ServerPassword;
};
