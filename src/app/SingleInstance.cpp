#include "app/SingleInstance.h"

#include <QDir>
#include <QFile>
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
    const QString path = QDir(lockFolder()).filePath(QStringLiteral("kurvan-client.lock"));
#ifdef Q_OS_WIN
    // Windows keeps a lock file open, and so undeletable, for as long as its owner lives: a file
    // that can be deleted was left by a copy that died. QLockFile judges by the process id in the
    // file instead, which Windows reuses; an id taken over by a process whose name cannot be read
    // would keep a dead copy's lock, and the program would end silently at every start.
    QFile::remove(path);
#endif
    m_lock = std::make_unique<QLockFile>(path);
    // A live owner keeps the lock however old it is; a dead owner's lock is stale at once.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}
