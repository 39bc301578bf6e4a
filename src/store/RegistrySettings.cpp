#include "store/RegistrySettings.h"

#include "platform/Platform.h"
#include "store/RegistryKey.h"

namespace zarn {

RegistrySettings::RegistrySettings() { OwnerWindow = platform::ActiveWindow(); }

// Each field is written once, with its stored value or else its default:
// the sound thread, which reads some fields without the lock while the
// real-time window's Cancel loads, never sees a default pass by on the way
// to the stored value (it would re-create its stream twice). A key just
// created holds nothing yet, so it receives the defaults.
void RegistrySettings::Load() {
    RegistryKey key(KeyPath);
    SetWaveFormatDefaults();
    for (const StoredField& stored : kStored) {
        uint32_t value;
        const bool read = key.ReadValue(ValueNames[stored.index], value);
        Store(this->*stored.field, read ? static_cast<int32_t>(value) : stored.defaultValue);
    }
    if (key.WasCreated()) Save();
}

void RegistrySettings::ReloadConsoleAccurate() {
    RegistryKey key(KeyPath);
    uint32_t value;
    const char* const name = ValueNames[kFieldCount - 1];  // the last field
    Store(ConsoleAccurate, key.ReadValue(name, value) ? static_cast<int32_t>(value) : 0);
}

void RegistrySettings::Save() {
    RegistryKey key(KeyPath);
    for (const StoredField& stored : kStored) {
        key.WriteValue(ValueNames[stored.index], static_cast<uint32_t>(this->*stored.field));
    }
}

}  // namespace zarn
