#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

bool SingleInstance::acquire()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    m_lock = std::make_unique<QLockFile>(QDir(folder).filePath(QStringLiteral("kurvan-client.lock")));
    // A live owner keeps the lock however old it is; a dead owner's lock is stale at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
