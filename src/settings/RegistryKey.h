// One key below HKEY_CURRENT_USER, opened for the length of one Load or Save.
// On Windows this is the registry; elsewhere a REGEDIT4 file stands in for it
// (see RegFile.h). The settings code above it is the same on both.
#pragma once

#include <cstdint>
#include <memory>

namespace zarn {

class RegistryKey {
public:
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
