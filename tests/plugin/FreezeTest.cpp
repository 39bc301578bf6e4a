// Save states through SPUfreeze, and the recorder as the plugin runs it.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

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

    bool AllFrom(size_t begin, uint8_t value) {
        return std::all_of(bytes + begin, bytes + kRecordBytes, [&](uint8_t b) { return b == value; });
    }
    // Name, version 1 and size 558640, little-endian; bytes 6 and 7 as given.
    bool HeaderIs(uint8_t pad) {
        const uint8_t header[16] = {'T', 'O', 'V', 'R', 'A', 0, pad, pad, 1, 0, 0, 0, 0x30, 0x86, 0x08, 0};
        return std::memcmp(bytes, header, 16) == 0;
    }
    SpuCore& spu() { return *plugin::Inspect().core; }

    std::unique_ptr<FreezeRecord> record = std::make_unique<FreezeRecord>();
    uint8_t* bytes = reinterpret_cast<uint8_t*>(record.get());
};

TEST_F(FreezeTest, SaveLayoutAndSizeQuery) {
    EXPECT_EQ(SPUfreeze(1, nullptr), 0);
    EXPECT_EQ(SPUfreeze(0, nullptr), 0);
    Write({{0x1F801C04, 0x1234}, {0x1F801DFE, 0xABCD}, {0x1F801DA6, 0}});
    uint16_t data[2] = {0x0201, 0x0403};
    SPUwriteDMAMem(data, 2);
    spu().soundRam[0x7FFFF] = 0x77;
    // Mode 1 clears the record first; any other non-zero mode saves over it.
    for (const uint32_t mode : {1u, 7u}) {
        const uint8_t untouched = mode == 1 ? 0 : 0xA5;
        std::memset(bytes, 0xA5, kRecordBytes);
        EXPECT_EQ(SPUfreeze(mode, record.get()), 1);
        EXPECT_TRUE(HeaderIs(untouched) && AllFrom(kXaOffset, untouched)) << mode;
        EXPECT_EQ(bytes[16 + 4] | bytes[16 + 5] << 8 | bytes[16 + 510] << 16, 0xCD1234);
        EXPECT_EQ(bytes[528] | bytes[529] << 8 | bytes[530] << 16 | bytes[531] << 24, 0x04030201);
        EXPECT_EQ(bytes[528 + 0x7FFFF], 0x77);
    }
    // The size query writes only name, version and size, with no plugin state.
    SPUshutdown();
    std::memset(bytes, 0xA5, kRecordBytes);
    EXPECT_EQ(SPUfreeze(2, record.get()), 1);
    EXPECT_TRUE(HeaderIs(0xA5) && AllFrom(16, 0xA5));
}

TEST_F(FreezeTest, LoadReplaysTheRegisters) {
    // Voice 0 is keyed on and off in the saved words, voice 1 keyed on; the
    // last data word went to 0x80.
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
    SpuVoice &v0 = spu().standard.voices[0], &v1 = spu().standard.voices[1], &v2 = spu().standard.voices[2],
             &v4 = spu().standard.voices[4];
    v2.envelopePhase = v4.envelopePhase = kSustain;
    v2.active = 1;
    v2.blockAddress = 0x0333;
    v2.pitchCounter = v0.pitchCounter = 0x5000;
    spu().soundRam[0x1000] = 0x99;
    record->soundRam[0x80] = 0x11;  // what a later upload left there
    record->soundRam[0x81] = 0x22;
    std::memcpy(record.get(), "XXXXXXXX\2\0\0\0\0\0\0", 16);  // the header is not examined
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);

    // Sound RAM exactly the record's: the replayed data word is not stored
    // again, yet the transfer address moves on past it.
    EXPECT_EQ(spu().soundRam[0x1000], 0);
    EXPECT_EQ(spu().soundRam[0x80] | spu().soundRam[0x81] << 8, 0x2211);
    EXPECT_EQ(spu().transferAddress, 0x82u);
    EXPECT_EQ(spu().registerImage[(0xDA8 - 0xC00) / 2], 0xBEEF);  // the word itself stays in the image
    // Voices 0 and 1 restarted, voice 0's key-off replayed after its key-on;
    // voice 2 keeps its position; voice 4's clear bit in the activity word
    // published by the key-on replay stops it.
    using State = std::array<int32_t, 3>;
    const auto state = [](const SpuVoice& v) { return State{v.envelopePhase, v.blockAddress, v.pitchCounter}; };
    EXPECT_EQ(state(v0), (State{kRelease, 0x100, 0x1000}));
    EXPECT_EQ(state(v1), (State{kAttack, 0x200, 0x1000}));
    EXPECT_EQ(state(v2), (State{kSustain, 0x333, 0x5000}));
    EXPECT_EQ(v4.envelopePhase, kOff);
    EXPECT_EQ(v1.releaseRate, 5);
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 0x0007u);
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 1u);  // envelope volume refreshed by key-on
}

TEST_F(FreezeTest, XaBlockPassedOnlyWhenItFitsTheRecord) {
    const int32_t cases[][3] = {
        // stereo, sampleCount, frames queued
        {0, 4032, 4032}, {0, 4033, 0}, {1, 4032, 4032},       {0, 1, 1}, {0, 0, 0}, {0, -1, 0},
        {2, 4032, 0},    {-1, 100, 0}, {0x7FFFFFFF, 4032, 0},
    };
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);
    record->xa.frequency = 44100;
    for (const auto& [stereo, sampleCount, frames] : cases) {
        spu().xa.readIndex = spu().xa.writeIndex = 0;
        record->xa.stereo = stereo;
        record->xa.sampleCount = sampleCount;
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
