// One key below HKEY_CURRENT_USER, opened for the length of one Load or Save.
// On Windows this is the registry; elsewhere a REGEDIT4 file stands in for it
// (see RegFile.h). The settings code above it is the same on both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace zarn {

class RegistryKey {
public:
    // Off Windows, the REGEDIT4 file that holds the keys, below
    // $XDG_CONFIG_HOME (an absolute path), else below $HOME/.config.
    static constexpr const char* kStoreFile = "spuZarn/registry.reg";

    // Where the key `path` is kept, for people to read: the registry key's
    // full name, or the store file and the key in it.
    static std::string Location(const char* path);

    // Opens the key, creating it when it does not exist yet.
    explicit RegistryKey(const char* path);
    ~RegistryKey();  // closes the key
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // True when opening created the key.
    bool WasCreated() const;

    // A value that holds exactly 4 bytes, of whatever type, read little-endian.
    bool ReadValue(const char* name, uint32_t& value) const;
    // Stores a REG_DWORD value.
    void WriteValue(const char* name, uint32_t value);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace zarn
