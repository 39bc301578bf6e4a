// Fuzz target: spuhost's register-log reader and its info, on any bytes.
// With bit 0 of the first byte set, the file is 512 KiB of zeros (the sound
// RAM, which nothing here reads) followed by the rest of the input, so that
// small inputs reach the header and the entries; with bit 1 set, the
// timeline picture is drawn too.
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz/FuzzInput.h"
#include "spuhost/LogInfo.h"
#include "spuhost/RegisterLogFile.h"
#include "spuhost/ToolError.h"

namespace {
std::string timeline;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    zarn::fuzz::UsePrivateSettingsStore();  // a folder of its own for the picture
    timeline = std::string(std::getenv("XDG_CONFIG_HOME")) + "/timeline.svg";
    std::freopen("/dev/null", "w", stdout);  // what info prints
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::vector<uint8_t> bytes((data[0] & 1) != 0 ? zarn::kRamBytes : 0, 0);
    bytes.insert(bytes.end(), data + 1, data + size);
    try {
        const spuhost::RegisterLogFile log = spuhost::ParseRegisterLog("fuzz.pss", bytes, true);
        spuhost::ShowInfo(log, (data[0] & 2) != 0 ? timeline : std::string());
    } catch (const spuhost::ToolError&) {}
    return 0;
}
