#pragma once

#include <QString>
#include <optional>

// The two options a Linux user tries first, answered before anything else starts: no window,
// no single-instance lock, no settings. "--version" gives "kurvan-client <version>", "--help" a
// short usage text; whichever comes first counts. nullopt for every other command line, which
// the program ignores and starts as usual.
std::optional<QString> informationRequested(int argc, const char *const *argv, const QString &version);
