// SpuLock: the plugin's one lock, recursive, guarding the SPU core, the
// recorder and every live settings change. SPUinit initialises it and
// SPUshutdown deletes it.
#pragma once

namespace zarn {

class SpuLock {
public:
    static void Initialise();
    static void Delete();
    static void Enter();
    static void Leave();

    // Lets go of every level the calling thread holds, so that another thread
    // can take the lock while this one waits, and returns how many that was;
    // Reenter takes them again.
    static int LeaveAll();
    static void Reenter(int depth);

private:
    static thread_local int depth_;  // levels held by the calling thread
};

class SpuLockGuard {
public:
    SpuLockGuard() { SpuLock::Enter(); }
    ~SpuLockGuard() { SpuLock::Leave(); }
    SpuLockGuard(const SpuLockGuard&) = delete;
    SpuLockGuard& operator=(const SpuLockGuard&) = delete;
};

}  // namespace zarn
