#include "app/SettingsLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString settingsFilePath()
{
    static const QString name = QStringLiteral("Kurvan.ini");
    const QString programFolder = QCoreApplication::applicationDirPath();
    const QFileInfo beside(QDir(programFolder).filePath(name));
    if (beside.exists() ? beside.isWritable() : QFileInfo(programFolder).isWritable())
        return beside.filePath();

    const QString config = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(config);
    return QDir(config).filePath(name);
}
