#include "spuhost/HostSystem.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <filesystem>

#include "spuhost/ToolError.h"

namespace spuhost {

namespace {

std::string LastErrorText() {
    const DWORD code = GetLastError();
    char* text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = text != nullptr ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) message.pop_back();
    return message;
}

}  // namespace

LibraryHandle LoadLibraryAt(const std::string& path, std::string& error) {
    // A full path, so that the loader searches nowhere else.
    const std::string absolute = std::filesystem::absolute(path).make_preferred().string();
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS);  // no message box
    HMODULE library = LoadLibraryA(absolute.c_str());
    if (library == nullptr) error = LastErrorText();
    SetErrorMode(previous);
    return library;
}

void* FindExport(LibraryHandle library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void UnloadLibrary(LibraryHandle library) { FreeLibrary(static_cast<HMODULE>(library)); }

std::string DefaultPluginPath() {
    char self[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (length == 0 || length == MAX_PATH) return "spuZarn.dll";
    return (std::filesystem::path(self).parent_path() / "spuZarn.dll").string();
}

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

// A host passes its main window; a console program has none of its own.
void* HostWindow() {
    const HWND console = GetConsoleWindow();
    return console != nullptr ? console : GetDesktopWindow();
}

// HKEY_CURRENT_USER is redirected, for this process only, to a key of its
// own, which the plugin then fills with its defaults as on a first run.
PrivateSettingsStore::PrivateSettingsStore() {
    place_ = "Software\\spuhost private settings " + std::to_string(GetCurrentProcessId());
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, place_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        throw ToolError("cannot make a registry key for the settings");
    }
    const LSTATUS redirected = RegOverridePredefKey(HKEY_CURRENT_USER, key);
    RegCloseKey(key);
    if (redirected != ERROR_SUCCESS) {
        RegDeleteTreeA(HKEY_CURRENT_USER, place_.c_str());
        RegDeleteKeyA(HKEY_CURRENT_USER, place_.c_str());
        throw ToolError("cannot redirect HKEY_CURRENT_USER to a key of its own");
    }
}

PrivateSettingsStore::~PrivateSettingsStore() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegDeleteTreeA(HKEY_CURRENT_USER, place_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, place_.c_str());
}

}  // namespace spuhost
