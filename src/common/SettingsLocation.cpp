#include "common/SettingsLocation.h"

#include "common/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

#ifdef Q_OS_WIN
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseInsensitive;
#else
constexpr Qt::CaseSensitivity kPathCase = Qt::CaseSensitive;
#endif

// Whether folder is one of roots or lies below one; "/usr/local" is below "/usr", "/usrx" is not.
bool isWithin(const QString &folder, const QStringList &roots)
{
    const QString path = QDir::cleanPath(folder);
    for (const QString &root : roots) {
        if (root.isEmpty())
            continue;
        const QString top = QDir::cleanPath(root);
        if (path.compare(top, kPathCase) == 0)
            return true;
        const QString prefix = top.endsWith(u'/') ? top : top + u'/';
        if (path.startsWith(prefix, kPathCase))
            return true;
    }
    return false;
}

} // namespace

SettingsFiles chooseSettingsFiles(const QString &programFolder, const QString &userFolder,
                                  const QStringList &systemFolders,
                                  const std::function<bool(const QFileInfo &)> &writable)
{
    static const QString name = QStringLiteral("Kurvan.ini");
    const QFileInfo beside(QDir(programFolder).filePath(name));
    // Root may write /usr/bin, but a file it leaves there belongs to no package: it outlives a
    // purge and every user's kurvanctl reads it.
    if (!isWithin(programFolder, systemFolders) &&
        (beside.exists() ? writable(beside) : writable(QFileInfo(programFolder))))
        return SettingsFiles::at(beside.filePath());
    const QString user = QDir(userFolder).filePath(name);
    return {user, {user, beside.filePath()}};
}

namespace {

// Whether this program may write the file, or create files in the folder.
bool mayWrite(const QFileInfo &info)
{
#ifdef Q_OS_WIN
    // Windows: QFileInfo reads only the read-only attribute, and Program Files does not carry it
    // although an ordinary user may not write there; only an attempt tells. The settings file is
    // replaced through a new file beside it, so its folder must take new files as well.
    const QString folder = info.isDir() ? info.filePath() : info.path();
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("Kurvan-XXXXXX.tmp")));
    if (!probe.open())
        return false;
    return info.isDir() || !info.exists() || QFile(info.filePath()).open(QIODevice::Append);
#else
    return info.isWritable();
#endif
}

} // namespace

QStringList systemProgramFolders()
{
#ifdef Q_OS_WIN
    // An administrator's process may write Program Files; what it writes there is every user's.
    QStringList folders;
    for (const char *variable : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        const QString folder = qEnvironmentVariable(variable);
        if (!folder.isEmpty())
            folders.append(QDir::fromNativeSeparators(folder));
    }
    return folders;
#else
    // /opt holds packages an administrator added by hand; /usr/local is below /usr.
    return {QStringLiteral(KURVAN_INSTALL_BINDIR), QStringLiteral("/usr"), QStringLiteral("/bin"),
            QStringLiteral("/sbin"), QStringLiteral("/opt")};
#endif
}

SettingsFiles settingsFiles()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const SettingsFiles files =
        chooseSettingsFiles(QCoreApplication::applicationDirPath(), config, systemProgramFolders(), mayWrite);
    if (files.write.startsWith(config))
        QDir().mkpath(config);
    return files;
}

SettingsFiles clientSettingsFiles()
{
    // AppConfigLocation is GenericConfigLocation plus the application name when, as here, no
    // organisation is set; kurvanctl's own name must not pick a folder of its own.
    const QString config =
        QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)).filePath(kClientName);
    return chooseSettingsFiles(QCoreApplication::applicationDirPath(), config, systemProgramFolders(), mayWrite);
}

QString rememberedSetting(const SettingsFiles &files, const QString &key, const QString &defaultValue)
{
    // The file that wins is read last, with what the others gave as its default.
    QString value = defaultValue;
    for (auto file = files.read.crbegin(); file != files.read.crend(); ++file)
        value = ReadIni(*file, SettingsKey::Section, key, value);
    return value;
}
