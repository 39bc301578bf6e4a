#include "platform/Platform.h"

#include <windows.h>
#include <mmsystem.h>

#include <algorithm>

namespace zarn::platform {

void* ActiveWindow() { return GetActiveWindow(); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t TickCount() { return GetTickCount(); }

int64_t MonotonicMicroseconds() {
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / frequency * 1000000 + now.QuadPart % frequency * 1000000 / frequency;
}

FineTimer::FineTimer() { timeBeginPeriod(1); }
FineTimer::~FineTimer() { timeEndPeriod(1); }

bool WriteFileAtomically(const std::string& path, std::span<const std::span<const std::byte>> pieces) {
    const std::string temporary = path + ".tmp" + std::to_string(GetCurrentProcessId());
    const HANDLE file =
        CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (const std::span<const std::byte> piece : pieces) {
        for (size_t done = 0; ok && done < piece.size();) {
            const DWORD chunk = static_cast<DWORD>(std::min<size_t>(piece.size() - done, 1u << 30));
            DWORD wrote = 0;
            ok = WriteFile(file, piece.data() + done, chunk, &wrote, nullptr) && wrote > 0;
            done += wrote;
        }
    }
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    if (ok) ok = MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileA(temporary.c_str());
    return ok;
}

struct Thread::Impl {
    HANDLE handle = nullptr;
    DWORD id = 0;
    Procedure procedure = nullptr;
    void* argument = nullptr;
};

namespace {
DWORD WINAPI RunThread(LPVOID impl) {
    const Thread::Impl& thread = *static_cast<Thread::Impl*>(impl);
    return thread.procedure(thread.argument);
}
}  // namespace

Thread::Thread() = default;
// A thread still running when the library goes away (the host skipped
// SPUclose) is let go rather than waited for: under the loader lock the wait
// would never end.
Thread::~Thread() {
    if (impl_) CloseHandle(impl_->handle);
}

void Thread::Start(Procedure procedure, void* argument, Priority priority) {
    auto impl = std::make_unique<Impl>();
    impl->procedure = procedure;
    impl->argument = argument;
    impl->handle = CreateThread(nullptr, 0, RunThread, impl.get(), 0, &impl->id);
    if (impl->handle == nullptr) return;
    SetThreadPriority(impl->handle,
                      priority == Priority::AboveNormal ? THREAD_PRIORITY_ABOVE_NORMAL : THREAD_PRIORITY_BELOW_NORMAL);
    impl_ = std::move(impl);
}

void Thread::Join() {
    if (!impl_) return;
    WaitForSingleObject(impl_->handle, INFINITE);
    CloseHandle(impl_->handle);
    impl_.reset();
}

bool Thread::Started() const { return impl_ != nullptr; }

}  // namespace zarn::platform
