#include "settings/RegistrySettings.h"

#include "platform/Platform.h"
#include "settings/RegistryKey.h"

namespace zarn {

RegistrySettings::RegistrySettings() {
    OwnerWindow = platform::ActiveWindow();
}

void RegistrySettings::Load() {
    RegistryKey key(KeyPath);
    SetDefaults();
    if (key.WasCreated()) Save();
    for (const StoredField& stored : kStored) {
        uint32_t value;
        if (key.ReadValue(ValueNames[stored.index], value)) {
            Store(this->*stored.field, static_cast<int32_t>(value));
        }
    }
}

void RegistrySettings::Save() {
    RegistryKey key(KeyPath);
    for (const StoredField& stored : kStored) {
        key.WriteValue(ValueNames[stored.index], static_cast<uint32_t>(this->*stored.field));
    }
}

}  // namespace zarn
