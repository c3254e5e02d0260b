#include "app/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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

SettingsFiles settingsFiles()
{
    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    const SettingsFiles files = chooseSettingsFiles(QCoreApplication::applicationDirPath(), config,
                                                    [](const QFileInfo &info) { return info.isWritable(); });
    if (files.write.startsWith(config))
        QDir().mkpath(config);
    return files;
}
