// Writes kurvanctl's completion for each shell into the folder given, as the build installs it.

#include "ctl/Completion.h"

#include <QCoreApplication>
#include <QDir>
#include <QSaveFile>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() != 2) {
        std::fputs("usage: kurvanctl_completion FOLDER\n", stderr);
        return 2;
    }
    const QDir folder(arguments.at(1));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    for (const Shell shell : {Shell::Bash, Shell::Zsh, Shell::Fish}) {
        QSaveFile file(folder.filePath(completionFileName(shell)));
        if (!file.open(QIODevice::WriteOnly) || file.write(completionScript(shell).toUtf8()) < 0 || !file.commit()) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file.fileName()));
            return 1;
        }
    }
    return 0;
}
