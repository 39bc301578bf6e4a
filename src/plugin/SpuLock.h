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
};

class SpuLockGuard {
public:
    SpuLockGuard() { SpuLock::Enter(); }
    ~SpuLockGuard() { SpuLock::Leave(); }
    SpuLockGuard(const SpuLockGuard&) = delete;
    SpuLockGuard& operator=(const SpuLockGuard&) = delete;
};

}  // namespace zarn
