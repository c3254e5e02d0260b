#include "app/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

SettingsFiles chooseSettingsFiles(const QString &programFolder, const QString &userFolder,
                                  const std::function<bool(const QFileInfo &)> &writable)
{
    static const QString name = QStringLiteral("Kurvan.ini");
    const QFileInfo beside(QDir(programFolder).filePath(name));
    if (beside.exists() ? writable(beside) : writable(QFileInfo(programFolder)))
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

SettingsFiles settingsFiles()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const SettingsFiles files = chooseSettingsFiles(QCoreApplication::applicationDirPath(), config, mayWrite);
    if (files.write.startsWith(config))
        QDir().mkpath(config);
    return files;
}
