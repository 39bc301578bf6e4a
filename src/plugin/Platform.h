// The few operating-system services the plugin uses outside sound output and
// settings storage. win32/Platform.cpp and posix/Platform.cpp implement them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

namespace zarn::platform {

// The one process-wide recursive lock behind SpuLock.
void CreateRecursiveLock();
void DestroyRecursiveLock();
void LockRecursive();
void UnlockRecursive();

// The window active on the calling thread (null where there are no windows).
void* ActiveWindow();

void SleepMilliseconds(uint32_t milliseconds);

// Millisecond tick counter; wraps around at 2^32.
uint32_t TickCount();

// Writes the pieces, in order, as the file `path` through a temporary file
// renamed into place, so the file is either complete or as it was before.
bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::byte>> pieces);

// A thread of the plugin's own. Start does not report failure; Join waits
// without a time limit and releases the thread.
class Thread {
public:
    using Procedure = uint32_t (*)(void* argument);
    enum class Priority { BelowNormal = -1, AboveNormal = 1 };

    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    void Start(Procedure procedure, Priority priority);
    void Join();
    bool Started() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zarn::platform
