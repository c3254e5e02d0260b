#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QFileInfo;

// The names under which Kurvan.ini remembers the last address and port.
namespace SettingsKey {

inline const QString Section = QStringLiteral("Settings");
inline const QString Address = QStringLiteral("LastIP");
inline const QString Port = QStringLiteral("Port");

} // namespace SettingsKey

// Where Kurvan.ini is read and written.
struct SettingsFiles
{
    // Where what the user enters is remembered.
    QString write;
    // Where it is looked up, the file that wins first. An entry missing in one is looked up in
    // the next.
    QStringList read;

    static SettingsFiles at(const QString &file) { return {file, {file}}; }
};

// Kurvan.ini beside the program, as a copy unpacked anywhere expects. Where the program lies in
// one of systemFolders (or below one), or where that file or folder cannot be written, what the
// user enters is remembered in userFolder instead, and that file wins when it exists; the file
// beside the program is still read, so an administrator may preset the address there. A system
// folder is never written, not even by root, whatever writable says.
SettingsFiles chooseSettingsFiles(const QString &programFolder, const QString &userFolder,
                                  const QStringList &systemFolders,
                                  const std::function<bool(const QFileInfo &)> &writable);

// The folders whose programs belong to the system: this build's installation folder for programs
// and the system's own program folders. Empty where the system names none.
QStringList systemProgramFolders();

// The name under which kurvan-client keeps its settings in the user's configuration folder.
inline const QString kClientName = QStringLiteral("kurvan-client");

// The same for this program's folder and the user's configuration folder.
SettingsFiles settingsFiles();

// The files kurvan-client reads, as another program of its folder sees them (kurvanctl, whose
// own application name differs). Creates nothing.
SettingsFiles clientSettingsFiles();

// The remembered value of key in the "Settings" section: the file that wins first gives it; a
// key missing everywhere gives defaultValue.
QString rememberedSetting(const SettingsFiles &files, const QString &key, const QString &defaultValue);
