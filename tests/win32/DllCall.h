// The loaded spuZarn.dll and its exports called as a host calls them: each
// looked up by its plain name and called through a stdcall pointer.
#pragma once

#include <windows.h>

namespace zarn::test {

inline HMODULE library = nullptr;

// Calls the export `name` as `R CALLBACK name(Args...)`.
template <typename R = void, typename... Args>
R Call(const char* name, Args... args) {
    return reinterpret_cast<R(CALLBACK*)(Args...)>(reinterpret_cast<void*>(GetProcAddress(library, name)))(args...);
}

}  // namespace zarn::test
