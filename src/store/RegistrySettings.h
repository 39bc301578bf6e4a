// The settings record kept in the registry key
// HKEY_CURRENT_USER\Software\Vision Thing\PSEmu Pro\SPU\spuZarn as ten
// REG_DWORD values.
#pragma once

#include "settings/DriverSettings.h"

namespace zarn {

class RegistrySettings : public DriverSettings {
public:
    // Records the window active now as the owner of dialogs. Callers load the
    // record right after construction.
    RegistrySettings();
    ~RegistrySettings() override = default;

    // Every stored value that can be read, and the default of each that
    // cannot (missing, not 4 bytes, key not openable); a key created by this
    // call receives the defaults. Each field is written once.
    void Load() override;
    // Writes the ten stored values; failures leave the store as it was.
    void Save() override;
    // Reads "ConsoleAccurate" alone into its field, the key opened and the
    // value read as Load does (missing or unreadable gives 0); writes nothing.
    void ReloadConsoleAccurate();

    // The key, below HKEY_CURRENT_USER.
    static constexpr const char* kKeyPath = "Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn";
    const char* const KeyPath = kKeyPath;
};

}  // namespace zarn
