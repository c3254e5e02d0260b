// Writes the settings file over and over until it is killed, for the test that kills it at
// random moments. Each round stores its value as the address and then as the port, exactly as
// the connection dialog stores them, and then prints the round's number.
//   kurvan_ini_writer FILE FIRST_ROUND

#include "SettingsGeneration.h"
#include "common/IniFile.h"

#include <QString>

#include <cstdio>

using namespace Qt::StringLiterals;

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s FILE FIRST_ROUND\n", argv[0]);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[1]);
    const quint64 first = QByteArray(argv[2]).toULongLong();
    for (quint64 round = first;; ++round) {
        const QString value = SettingsGeneration::value(round);
        WriteIni(file, u"Settings"_s, u"LastIP"_s, value);
        WriteIni(file, u"Settings"_s, u"Port"_s, value);
        std::printf("%llu\n", static_cast<unsigned long long>(round));
        std::fflush(stdout);
    }
}
