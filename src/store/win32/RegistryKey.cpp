// The registry key, in the Windows registry under HKEY_CURRENT_USER.
#include "store/RegistryKey.h"

#include <windows.h>

namespace zarn {

struct RegistryKey::Impl {
    HKEY key = nullptr;
    bool created = false;
};

RegistryKey::RegistryKey(const char* path) {
    auto impl = std::make_unique<Impl>();
    DWORD disposition = 0;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &impl->key, &disposition) != ERROR_SUCCESS) {
        return;
    }
    impl->created = disposition == REG_CREATED_NEW_KEY;
    impl_ = std::move(impl);
}

std::string RegistryKey::Location(const char* path) { return std::string("HKEY_CURRENT_USER\\") + path; }

RegistryKey::~RegistryKey() {
    if (impl_) RegCloseKey(impl_->key);
}

bool RegistryKey::WasCreated() const { return impl_ && impl_->created; }

bool RegistryKey::ReadValue(const char* name, uint32_t& value) const {
    if (!impl_) return false;
    BYTE data[4];
    DWORD size = sizeof data;
    if (RegQueryValueExA(impl_->key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS || size != 4) {
        return false;
    }
    value = data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
    return true;
}

void RegistryKey::WriteValue(const char* name, uint32_t value) {
    if (!impl_) return;
    const DWORD data = value;
    RegSetValueExA(impl_->key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

}  // namespace zarn
