// Fuzz target: the REGEDIT4 reader of the settings store, on any text. Each
// of the ten settings reads as a number or not at all; the text written
// back reads the same; a value written reads back and leaves the others.
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "settings/DriverSettings.h"
#include "settings/RegFile.h"
#include "store/RegistrySettings.h"

namespace {

using Values = std::optional<uint32_t>[zarn::DriverSettings::kStoredCount];

class Names : public zarn::DriverSettings {
public:
    void Load() override {}
    void Save() override {}
    const char* Stored(int i) const { return ValueNames[kStored[i].index]; }
};

const std::string kKey = std::string("HKEY_CURRENT_USER\\") + zarn::RegistrySettings::kKeyPath;

void Read(const zarn::RegFile& file, Values& values) {
    static const Names names;
    for (int i = 0; i < zarn::DriverSettings::kStoredCount; ++i) values[i] = file.ReadValue(kKey, names.Stored(i));
}

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zarn::RegFile file(std::string_view(reinterpret_cast<const char*>(data), size));
    Values before, after;
    Read(file, before);
    Read(zarn::RegFile(file.Text()), after);
    for (int i = 0; i < zarn::DriverSettings::kStoredCount; ++i) Require(before[i] == after[i]);

    const int which = size % zarn::DriverSettings::kStoredCount;
    file.WriteDword(kKey, Names().Stored(which), 0x80000001u);
    Read(zarn::RegFile(file.Text()), after);
    for (int i = 0; i < zarn::DriverSettings::kStoredCount; ++i) {
        Require(after[i] == (i == which ? std::optional<uint32_t>(0x80000001u) : before[i]));
    }
    return 0;
}
