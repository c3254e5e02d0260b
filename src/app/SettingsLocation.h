#pragma once

#include <QString>

// Where Kurvan.ini lives: beside the program file, as a copy unpacked anywhere expects; where
// that folder cannot be written (an installed copy under /usr), in the user's configuration
// folder instead, so an installed program still remembers.
QString settingsFilePath();
