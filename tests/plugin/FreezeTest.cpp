// Save states through SPUfreeze, and the recorder as the plugin runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <tuple>

#include "core/SpuCore.h"
#include "plugin/Plugin.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

constexpr size_t kRecordBytes = 558640, kXaOffset = 524816;

void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) SPUwriteRegister(address, value);
}

class FreezeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        ASSERT_EQ(SPUinit(), 0);
    }
    void TearDown() override { SPUshutdown(); }

    // Name, version 1 and size 558640, little-endian, bytes 6 and 7 as given;
    // from `rest` on every byte as given.
    bool Holds(uint8_t pad, size_t rest, uint8_t value) {
        const uint8_t header[16] = {'T', 'O', 'V', 'R', 'A', 0, pad, pad, 1, 0, 0, 0, 0x30, 0x86, 0x08, 0};
        return std::memcmp(bytes, header, 16) == 0 &&
               std::all_of(bytes + rest, bytes + kRecordBytes, [&](uint8_t b) { return b == value; });
    }
    SpuCore& spu() { return *plugin::Inspect().core; }

    std::unique_ptr<FreezeRecord> record = std::make_unique<FreezeRecord>();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(record.get());
};

TEST_F(FreezeTest, SaveLayoutAndSizeQuery) {
    EXPECT_EQ(SPUfreeze(1, nullptr) + SPUfreeze(0, nullptr), 0);
    Write({{0x1F801C04, 0x1234}, {0x1F801DFE, 0xABCD}, {0x1F801DA6, 0}});
    uint16_t data[2] = {0x0201, 0x0403};
    SPUwriteDMAMem(data, 2);
    spu().soundRam[0x7FFFF] = 0x77;
    // Mode 1 clears the record first; any other non-zero mode saves over it.
    for (const uint32_t mode : {1u, 7u}) {
        std::memset(bytes, 0xA5, kRecordBytes);
        EXPECT_EQ(SPUfreeze(mode, record.get()), 1);
        EXPECT_TRUE(Holds(mode == 1 ? 0 : 0xA5, kXaOffset, mode == 1 ? 0 : 0xA5)) << mode;
        EXPECT_EQ(bytes[16 + 4] | bytes[16 + 5] << 8 | bytes[16 + 510] << 16, 0xCD1234);
        EXPECT_EQ(bytes[528] | bytes[529] << 8 | bytes[530] << 16 | bytes[531] << 24, 0x04030201);
        EXPECT_EQ(bytes[528 + 0x7FFFF], 0x77);
    }
    // The size query writes only name, version and size, with no plugin state.
    SPUshutdown();
    std::memset(bytes, 0xA5, kRecordBytes);
    EXPECT_EQ(SPUfreeze(2, record.get()), 1);
    EXPECT_TRUE(Holds(0xA5, 16, 0xA5));
}

TEST_F(FreezeTest, LoadReplaysTheRegistersAndPassesTheXaBlockOnWhenItFits) {
    // Voice 0 is keyed on and off in the saved words, voice 1 keyed on; the
    // data word goes to 0x80 and the transfer address moves on.
    Write({{0x1F801C06, 0x0100},
           {0x1F801C16, 0x0200},
           {0x1F801C26, 0x0300},
           {0x1F801C1A, 5},
           {0x1F801D88, 3},
           {0x1F801D8C, 1},
           {0x1F801DA6, 0x10},
           {0x1F801DA8, 0xBEEF}});
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);

    // Move the state on. Voices 2 and 4 sound without being keyed on in the
    // record; voice 4 has not been mixed since it started (activity bit clear).
    SpuVoice* v = spu().standard.voices;
    v[2].envelopePhase = v[4].envelopePhase = kSustain;
    std::tie(v[2].active, v[2].blockAddress, v[2].pitchCounter, v[0].pitchCounter) =
        std::tuple(1, 0x333, 0x5000, 0x5000);
    spu().soundRam[0x80] = 0;
    spu().soundRam[0x1000] = 0x99;
    std::memcpy(record.get(), "XXXXXXXX\2\0\0\0\0\0\0", 16);  // the header is not examined
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);

    // Sound RAM as saved, the data word stored again at the replayed address.
    EXPECT_EQ(
        std::tuple(spu().soundRam[0x1000], spu().soundRam[0x80] | spu().soundRam[0x81] << 8, spu().transferAddress),
        std::tuple(0, 0xBEEF, 0x82u));
    // Voices 0 and 1 restarted, voice 0's key-off replayed after its key-on;
    // voice 2 keeps its position; voice 4's clear bit in the activity word
    // published by the key-on replay stops it.
    using State = std::array<int32_t, 3>;
    const auto state = [](const SpuVoice& v) { return State{v.envelopePhase, v.blockAddress, v.pitchCounter}; };
    EXPECT_EQ(state(v[0]), (State{kRelease, 0x100, 0x1000}));
    EXPECT_EQ(state(v[1]), (State{kAttack, 0x200, 0x1000}));
    EXPECT_EQ(state(v[2]), (State{kSustain, 0x333, 0x5000}));
    EXPECT_EQ(std::tuple(v[4].envelopePhase, v[1].releaseRate), std::tuple(kOff, 5));
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 0x0007u);
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 1u);  // envelope volume refreshed by key-on

    // The XA block is passed on only when it is mono or stereo with 1 to
    // 4032 frames: stereo, sampleCount, frames queued.
    const int32_t cases[][3] = {{0, 4032, 4032}, {0, 4033, 0}, {1, 4032, 4032},       {0, 1, 1},   {0, 0, 0},
                                {0, -1, 0},      {2, 4032, 0}, {0x7FFFFFFF, 4032, 0}, {-1, 100, 0}};
    record->xa.frequency = 44100;
    for (const auto& [stereo, sampleCount, frames] : cases) {
        spu().xa.readIndex = spu().xa.writeIndex = 0;
        std::tie(record->xa.stereo, record->xa.sampleCount) = std::tuple(stereo, sampleCount);
        ASSERT_EQ(SPUfreeze(0, record.get()), 1);
        EXPECT_EQ(spu().xa.QueuedSamples() / 2, frames) << stereo << " " << sampleCount;
    }
}

// The log goes to the current directory, so this runs in one of its own.
TEST_F(FreezeTest, RecordingLogsHostRegisterWritesToTheCurrentDirectory) {
    namespace fs = std::filesystem;
    const fs::path directory = fs::temp_directory_path() / ("spuzarn-" + std::to_string(std::random_device{}()));
    const fs::path previous = fs::current_path();
    fs::create_directories(directory / register_log::kFileName);  // a directory in the way of the file
    fs::current_path(directory);

    plugin::StartRecording();
    SPUwriteRegister(0x1F801C04, 0x11234);
    SPUwriteDMA(0x5555);  // transfers are not logged
    uint16_t words[2] = {1, 2};
    SPUwriteDMAMem(words, 2);
    ASSERT_EQ(SPUfreeze(1, record.get()) + SPUfreeze(0, record.get()), 2);  // nor is the replay of a load
    SPUwriteRegister(0x00000042, 7);
    EXPECT_EQ(plugin::Inspect().recorder->EntryCount(), 2);
    // A file that cannot be written keeps the recording for another try.
    plugin::StopRecording();
    EXPECT_TRUE(plugin::Inspect().recorder->IsRecording());
    SPUwriteRegister(0x1F801D8C, 1);
    fs::remove(register_log::kFileName);
    plugin::StopRecording();
    EXPECT_FALSE(plugin::Inspect().recorder->IsRecording());
    EXPECT_EQ(fs::file_size(register_log::kFileName), 524808u + 3 * 12);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 1);  // no temporary file left

    // SPUshutdown writes a running recording; one it cannot write is kept
    // for the stop after the next SPUinit.
    plugin::StartRecording();
    SPUwriteRegister(0x1F801D88, 1);
    fs::remove(register_log::kFileName);
    fs::create_directory(register_log::kFileName);
    SPUshutdown();
    EXPECT_TRUE(plugin::Inspect().recorder->IsRecording());
    fs::remove(register_log::kFileName);
    ASSERT_EQ(SPUinit(), 0);
    SPUwriteRegister(0x1F801D88, 2);
    SPUshutdown();
    EXPECT_FALSE(plugin::Inspect().recorder->IsRecording());
    EXPECT_EQ(fs::file_size(register_log::kFileName), 524808u + 2 * 12);
    fs::current_path(previous);
    fs::remove_all(directory);
}

}  // namespace
}  // namespace zarn
