#pragma once

#include <QString>

// What the user typed into the connection dialog, handed to the panel for one attempt. The
// port stays text: the link reads it as a number only when it connects.
struct ServerLogin
{
    QString ServerAddress;
    QString ServerPort;
    QString ServerPassword;
};
