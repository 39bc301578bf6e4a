// POSIX stand-ins: no windows, a monotonic millisecond clock, plain threads
// (scheduling levels need privileges here and are left at normal).
#include "platform/Platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace zarn::platform {

void* ActiveWindow() { return nullptr; }

void SleepMilliseconds(uint32_t milliseconds) {
    timespec delay{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&delay, &delay) != 0) {}
}

uint32_t TickCount() { return static_cast<uint32_t>(static_cast<uint64_t>(MonotonicMicroseconds()) / 1000u); }

int64_t MonotonicMicroseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

// Sleeps here are as fine as the system allows without asking.
FineTimer::FineTimer() = default;
FineTimer::~FineTimer() = default;

bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::byte>> pieces) {
    const std::string temporary = path + ".tmp" + std::to_string(getpid());
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = true;
    for (const std::span<const std::byte> piece : pieces) {
        for (size_t done = 0; ok && done < piece.size();) {
            const ssize_t wrote = write(fd, piece.data() + done, piece.size() - done);
            if (wrote < 0 && errno == EINTR) continue;
            ok = wrote > 0;
            if (ok) done += static_cast<size_t>(wrote);
        }
    }
    ok = fsync(fd) == 0 && ok;
    ok = close(fd) == 0 && ok;
    if (ok) ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

struct Thread::Impl {
    pthread_t thread{};
    Procedure procedure = nullptr;
    void* argument = nullptr;
};

namespace {
void* RunThread(void* impl) {
    const Thread::Impl& thread = *static_cast<Thread::Impl*>(impl);
    thread.procedure(thread.argument);
    return nullptr;
}
}  // namespace

Thread::Thread() = default;
// A thread still running when the library goes away (the host skipped
// SPUclose) is let go rather than waited for.
Thread::~Thread() {
    if (impl_) pthread_detach(impl_->thread);
}

void Thread::Start(Procedure procedure, void* argument, Priority) {
    auto impl = std::make_unique<Impl>();
    impl->procedure = procedure;
    impl->argument = argument;
    if (pthread_create(&impl->thread, nullptr, RunThread, impl.get()) == 0) impl_ = std::move(impl);
}

void Thread::Join() {
    if (!impl_) return;
    pthread_join(impl_->thread, nullptr);
    impl_.reset();
}

bool Thread::Started() const { return impl_ != nullptr; }

}  // namespace zarn::platform
