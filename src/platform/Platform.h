// The operating-system services the plugin uses outside sound devices and the
// settings store. win32/Platform.cpp and posix/Platform.cpp implement them;
// win32/RecursiveLock.cpp and posix/RecursiveLock.cpp the lock behind SpuLock.
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

// Monotonic clock in microseconds from an arbitrary start.
int64_t MonotonicMicroseconds();

// Asks the system for 1 ms timer and sleep resolution while it lives.
class FineTimer {
public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;
};

// Writes the pieces, in order, as the file `path` through a temporary file
// renamed into place, so the file is either complete or as it was before.
bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::byte>> pieces);

// A thread of the plugin's own. The procedure receives `argument` as it was
// passed to Start. Start does not report failure; Join waits without a time
// limit and releases the thread.
class Thread {
public:
    using Procedure = uint32_t (*)(void* argument);
    enum class Priority { BelowNormal = -1, AboveNormal = 1 };

    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    void Start(Procedure procedure, void* argument, Priority priority);
    void Join();
    bool Started() const;

    struct Impl;  // the system's thread, defined by each platform

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace zarn::platform
