// The console model's units over their plain inputs: sound RAM, the register
// image and the live state, all cleared, with an XA ring beside them.
#pragma once

#include <cstdint>
#include <vector>

#include "support/TestSettings.h"
#include "voice/ConsoleBus.h"
#include "xa/XaRing.h"

namespace zarn::test {

struct ConsoleRig {
    std::vector<uint8_t> ram = std::vector<uint8_t>(512 * 1024);
    uint16_t image[512] = {};
    ConsoleState state;
    console::ConsoleBus bus{ram.data(), image, &state};
    TestSettings settings;
    XaRing xa{settings};

    void Set(uint32_t address, uint16_t value) { image[console::ImageIndex(address)] = value; }
    ConsoleVoice& Voice(int v) { return state.voices[v]; }
};

}  // namespace zarn::test
