#include "plugin/Platform.h"

#include <windows.h>

namespace zarn::platform {

void* ActiveWindow() { return GetActiveWindow(); }

void SleepMilliseconds(uint32_t milliseconds) { Sleep(milliseconds); }

uint32_t TickCount() { return GetTickCount(); }

struct Thread::Impl {
    HANDLE handle = nullptr;
    DWORD id = 0;
};

namespace {
DWORD WINAPI RunThread(LPVOID argument) {
    const auto procedure = reinterpret_cast<Thread::Procedure>(argument);
    return procedure(nullptr);
}
}  // namespace

Thread::Thread() = default;
Thread::~Thread() { Join(); }

void Thread::Start(Procedure procedure, Priority priority) {
    auto impl = std::make_unique<Impl>();
    impl->handle = CreateThread(nullptr, 0, RunThread, reinterpret_cast<LPVOID>(procedure), 0, &impl->id);
    if (impl->handle == nullptr) return;
    SetThreadPriority(impl->handle, priority == Priority::AboveNormal ? THREAD_PRIORITY_ABOVE_NORMAL
                                                                      : THREAD_PRIORITY_BELOW_NORMAL);
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
