#pragma once

#include <QLockFile>
#include <memory>

// One copy of the program per user. The lock lives in the user's runtime folder (the temp
// folder on Windows); a lock left by a copy that died is taken over, since its owner process is
// gone.
class SingleInstance
{
public:
    // Tries to become the one running copy; false when another copy holds the lock.
    bool acquire();

private:
    std::unique_ptr<QLockFile> m_lock;
};
