// Direct access to the store behind RegistrySettings, for tests: the registry
// on Windows (inside the Wine prefix), the REGEDIT4 file elsewhere.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace zarn::test {

void UseFreshSettingsStore();  // the next Load is a first run
bool StoreHasKey();
std::optional<uint32_t> StoredDword(const char* name);  // the value's data when it is a REG_DWORD
// Stores a value of any registry type (4 is REG_DWORD, 3 REG_BINARY).
void StoreValue(const char* name, uint32_t type, const std::vector<uint8_t>& data);

}  // namespace zarn::test
