#include "app/CommandLine.h"

#include "app/Texts.h"

#include <cstring>

std::optional<QString> informationRequested(int argc, const char *const *argv, const QString &version)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0)
            return QStringLiteral("kurvan-client ") + version + u'\n';
        if (std::strcmp(argv[i], "--help") == 0)
            return CommandLineText::Usage;
    }
    return std::nullopt;
}
