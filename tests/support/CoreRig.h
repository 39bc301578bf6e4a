// A core over a settings record in memory, for the core tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <utility>

#include "core/SpuCore.h"
#include "support/Adpcm.h"
#include "support/TestSettings.h"

namespace zarn::test {

class CoreTest : public ::testing::Test {
protected:
    TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    SpuVoice& voice(int n) { return spu->standard.voices[n]; }

    void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> writes) {
        for (const auto& [address, value] : writes) spu->DecodeRegisterWrite(address, value);
    }
    // Voice n plays the block at `unit` (also its repeat address) at `pitch`;
    // envelope word 1 by default: attack and decay rate 0, sustain level 15;
    // the sustain holds.
    void Program(int n, uint32_t unit, uint32_t pitch, uint32_t volumeL, uint32_t volumeR, uint32_t adsr1 = 0x000F) {
        const uint32_t v = 0x1F801C00 + 16 * n;
        Write({{v, volumeL},
               {v + 2, volumeR},
               {v + 4, pitch},
               {v + 6, unit},
               {v + 8, adsr1},
               {v + 0xA, 127 << 6},
               {v + 0xE, unit}});
    }
};

}  // namespace zarn::test
