// Direct access to the store behind RegistrySettings, for tests: the registry
// on Windows (inside the Wine prefix), the REGEDIT4 file elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zarn::test {

// Removes the plugin's key, so the next Load is a first run.
void UseFreshSettingsStore();
bool StoreHasKey();
// The value's data when it is a REG_DWORD.
std::optional<uint32_t> StoredDword(const char* name);
// Stores a value of any registry type (4 is REG_DWORD, 3 REG_BINARY).
void StoreValue(const char* name, uint32_t type, const std::vector<uint8_t>& data);

}  // namespace zarn::test
