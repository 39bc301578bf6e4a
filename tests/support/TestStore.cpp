#include "support/TestStore.h"

#include <string>

#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"

namespace {
constexpr const char* kKeyPath = zarn::RegistrySettings::kKeyPath;
}

#if defined(_WIN32)

#include <windows.h>

namespace zarn::test {

void UseFreshSettingsStore() { RegDeleteKeyA(HKEY_CURRENT_USER, kKeyPath); }

bool StoreHasKey() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

std::optional<uint32_t> StoredDword(const char* name) {
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegGetValueA(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != 4) {
        return std::nullopt;
    }
    return value;
}

void StoreValue(const char* name, uint32_t type, const std::vector<uint8_t>& data) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
    RegCloseKey(key);
}

}  // namespace zarn::test

#else

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "settings/RegFile.h"

namespace zarn::test {

namespace {

const std::string kKey = std::string("HKEY_CURRENT_USER\\") + kKeyPath;

std::string StorePath() { return std::string(std::getenv("XDG_CONFIG_HOME")) + "/" + RegistryKey::kStoreFile; }

RegFile ReadStore() { return RegFile((std::stringstream() << std::ifstream(StorePath()).rdbuf()).str()); }

}  // namespace

void UseFreshSettingsStore() {
    char pattern[] = "/tmp/spuzarn-settings-XXXXXX";
    setenv("XDG_CONFIG_HOME", mkdtemp(pattern), 1);
}

bool StoreHasKey() { return ReadStore().HasKey(kKey); }

std::optional<uint32_t> StoredDword(const char* name) {
    // Only a dword: line counts, as REG_DWORD does in the registry.
    std::ifstream in(StorePath());
    const std::string prefix = std::string("\"") + name + "\"=dword:";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0)
            return static_cast<uint32_t>(std::stoul(line.substr(prefix.size()), nullptr, 16));
    }
    return std::nullopt;
}

void StoreValue(const char* name, uint32_t type, const std::vector<uint8_t>& data) {
    // Written right below the key's header, so it wins over an older line of that name.
    RegFile store = ReadStore();
    store.AddKey(kKey);
    std::string text = store.Text();
    std::string line = std::string("\"") + name + "\"=hex(" + std::to_string(type) + "):";
    char byte[4];
    for (size_t i = 0; i < data.size(); ++i) {
        std::snprintf(byte, sizeof byte, "%s%02x", i ? "," : "", data[i]);
        line += byte;
    }
    const std::string header = "[" + kKey + "]\n";
    text.insert(text.find(header) + header.size(), line + "\n");
    std::filesystem::create_directories(std::filesystem::path(StorePath()).parent_path());
    std::ofstream(StorePath(), std::ios::binary) << text;
}

}  // namespace zarn::test

#endif
