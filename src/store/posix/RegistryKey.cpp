// The registry key, kept in a REGEDIT4 file (RegistryKey::kStoreFile). Like
// the registry calls it replaces, every operation goes to the store at once:
// opening creates the key, each write replaces the file atomically (a
// temporary file renamed into place), so a crash never leaves half a
// settings file.
#include "store/RegistryKey.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/Platform.h"
#include "settings/RegFile.h"

namespace zarn {

namespace {

constexpr const char* kRoot = "HKEY_CURRENT_USER\\";

// The store file's path; empty when there is no home to put it in.
std::string StoreFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    // A relative XDG_CONFIG_HOME is ignored.
    if (config != nullptr && config[0] == '/') return std::string(config) + "/" + RegistryKey::kStoreFile;
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == '\0') return {};
    return std::string(home) + "/.config/" + RegistryKey::kStoreFile;
}

bool MakeDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
        if (slash == std::string::npos) return true;
    }
}

bool ReadWhole(const std::string& path, std::string& text, bool& exists) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    exists = file != nullptr;
    if (file == nullptr) return errno == ENOENT;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
    const bool ok = std::ferror(file) == 0;
    std::fclose(file);
    return ok;
}

// A store file made read-only is left as it is, as the registry leaves a key
// that may not be written (the file is replaced, not written in place, so
// its own mode would not stop the write).
bool WriteText(const std::string& path, const std::string& text) {
    if (access(path.c_str(), W_OK) != 0 && errno != ENOENT) return false;
    const std::span<const std::byte> piece = std::as_bytes(std::span(text));
    return platform::WriteFileAtomically(path, std::span(&piece, 1));
}

}  // namespace

struct RegistryKey::Impl {
    std::string file;  // path of the store
    std::string key;   // full key name as written in the file
    bool created = false;

    bool Load(RegFile& store) const {
        std::string text;
        bool exists;
        if (!ReadWhole(file, text, exists)) return false;
        store = RegFile(text);
        return true;
    }
};

RegistryKey::RegistryKey(const char* path) {
    const std::string file = StoreFile();
    if (file.empty() || !MakeDirectories(file.substr(0, file.rfind('/')))) return;
    auto impl = std::make_unique<Impl>();
    impl->file = file;
    impl->key = std::string(kRoot) + path;
    RegFile store;
    if (!impl->Load(store)) return;
    if (!store.HasKey(impl->key)) {
        store.AddKey(impl->key);
        if (!WriteText(impl->file, store.Text())) return;
        impl->created = true;
    }
    impl_ = std::move(impl);
}

RegistryKey::~RegistryKey() = default;

std::string RegistryKey::Location(const char* path) {
    const std::string file = StoreFile();
    return (file.empty() ? std::string("(no home directory)") : file) + ", key [" + kRoot + path + "]";
}

bool RegistryKey::WasCreated() const { return impl_ && impl_->created; }

bool RegistryKey::ReadValue(const char* name, uint32_t& value) const {
    RegFile store;
    if (!impl_ || !impl_->Load(store)) return false;
    const auto stored = store.ReadValue(impl_->key, name);
    if (!stored) return false;
    value = *stored;
    return true;
}

void RegistryKey::WriteValue(const char* name, uint32_t value) {
    RegFile store;
    if (!impl_ || !impl_->Load(store)) return;
    store.WriteDword(impl_->key, name, value);
    WriteText(impl_->file, store.Text());
}

}  // namespace zarn
