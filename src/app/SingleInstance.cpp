#include "app/SingleInstance.h"

#include <QDir>
#include <QStandardPaths>

namespace {

// The folder for the lock: the user's runtime folder where the platform has one. Windows has
// none, and Qt reports the root of the user's profile there, which is no place for a program's
// scratch files; Windows programs keep such files in the user's temp folder (under local app data).
QString lockFolder()
{
#ifdef Q_OS_WIN
    return QDir::tempPath();
#else
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
#endif
}

} // namespace

bool SingleInstance::acquire()
{
    m_lock = std::make_unique<QLockFile>(QDir(lockFolder()).filePath(QStringLiteral("kurvan-client.lock")));
    // A live owner keeps the lock however old it is; a dead owner's lock is stale at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
