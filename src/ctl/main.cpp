#include "ctl/Commands.h"
#include "ctl/Console.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    Console::prepare();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kurvanctl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KURVAN_VERSION));
    return runCommandLine(QCoreApplication::arguments().mid(1), QCoreApplication::applicationVersion());
}
