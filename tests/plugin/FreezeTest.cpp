// Save states through SPUfreeze, and the recorder as the plugin runs it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "plugin/Plugin.h"
#include "settings/DriverSettings.h"
#include "spu/SpuCore.h"
#include "state/FreezeRecord.h"
#include "state/SpuRecorder.h"
#include "support/TestStore.h"

namespace zarn {
namespace {

constexpr size_t kRecordBytes = 558640;

class FreezeTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::UseFreshSettingsStore();
        ASSERT_EQ(SPUinit(), 0);
        std::memset(record.get(), 0xA5, kRecordBytes);
    }
    void TearDown() override { SPUshutdown(); }

    uint8_t* Bytes() { return reinterpret_cast<uint8_t*>(record.get()); }
    uint32_t Word(size_t offset) {
        uint32_t value;
        std::memcpy(&value, Bytes() + offset, 4);
        return value;
    }
    SpuCore& spu() { return *plugin::core; }

    std::unique_ptr<FreezeRecord> record = std::make_unique<FreezeRecord>();
};

TEST_F(FreezeTest, NullRecordAndSizeQuery) {
    EXPECT_EQ(SPUfreeze(1, nullptr), 0);
    EXPECT_EQ(SPUfreeze(0, nullptr), 0);

    // Only the header changes, and not bytes 6 and 7.
    SPUshutdown();  // the size query needs no plugin state
    EXPECT_EQ(SPUfreeze(2, record.get()), 1);
    EXPECT_EQ(std::memcmp(Bytes(), "TOVRA\0", 6), 0);
    EXPECT_EQ(Bytes()[6], 0xA5);
    EXPECT_EQ(Bytes()[7], 0xA5);
    EXPECT_EQ(Word(8), 1u);
    EXPECT_EQ(Word(12), 558640u);
    for (size_t i = 16; i < kRecordBytes; ++i) ASSERT_EQ(Bytes()[i], 0xA5) << i;
}

TEST_F(FreezeTest, SaveLayout) {
    SPUwriteRegister(0x1F801C04, 0x1234);
    SPUwriteRegister(0x1F801DFE, 0xABCD);
    SPUwriteRegister(0x1F801DA6, 0x0000);
    const uint16_t data[2] = {0x0201, 0x0403};
    SPUwriteDMAMem(const_cast<uint16_t*>(data), 2);
    spu().soundRam[0x7FFFF] = 0x77;

    EXPECT_EQ(SPUfreeze(1, record.get()), 1);
    EXPECT_EQ(std::memcmp(Bytes(), "TOVRA\0\0\0", 8), 0);
    EXPECT_EQ(Word(8), 1u);
    EXPECT_EQ(Word(12), 558640u);
    EXPECT_EQ(Bytes()[16 + 4], 0x34);
    EXPECT_EQ(Bytes()[16 + 5], 0x12);
    EXPECT_EQ(Bytes()[16 + 510], 0xCD);
    EXPECT_EQ(Bytes()[528 + 0], 0x01);
    EXPECT_EQ(Bytes()[528 + 3], 0x04);
    EXPECT_EQ(Bytes()[528 + 0x7FFFF], 0x77);
    for (size_t i = 524816; i < kRecordBytes; ++i) ASSERT_EQ(Bytes()[i], 0) << i;

    // Any other non-zero mode saves without clearing first.
    std::memset(record.get(), 0xA5, kRecordBytes);
    EXPECT_EQ(SPUfreeze(7, record.get()), 1);
    EXPECT_EQ(Bytes()[6], 0xA5);
    EXPECT_EQ(Word(12), 558640u);
    EXPECT_EQ(Bytes()[528 + 3], 0x04);
    EXPECT_EQ(Bytes()[524816], 0xA5);
}

TEST_F(FreezeTest, LoadReplaysTheRegisters) {
    // Voice 0 is keyed on and off in the saved words, voice 1 keyed on,
    // voice 2 sounds without being named in the key-on words.
    SPUwriteRegister(0x1F801C06, 0x0100);
    SPUwriteRegister(0x1F801C16, 0x0200);
    SPUwriteRegister(0x1F801C26, 0x0300);
    SPUwriteRegister(0x1F801C1A, 0x0005);  // voice 1 release rate 5
    SPUwriteRegister(0x1F801D88, 0x0003);
    SPUwriteRegister(0x1F801D8C, 0x0001);
    SPUwriteRegister(0x1F801DA6, 0x0010);  // transfer address 0x80
    SPUwriteRegister(0x1F801DA8, 0xBEEF);  // stored at 0x80; the address moves on to 0x82
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);

    // Move the state on: the voices play, voice 2 is started by hand.
    SpuVoice& v2 = spu().voices[2];
    v2.envelopePhase = kSustain;
    v2.active = 1;
    v2.blockAddress = 0x0333;
    v2.pitchCounter = 0x5000;
    spu().voices[0].pitchCounter = 0x9000;
    spu().soundRam[0x80] = 0;
    spu().soundRam[0x1000] = 0x99;

    // The header is not examined.
    record->version = 2;
    record->size = 0;
    std::memcpy(record->name, "XXXXXXXX", 8);
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);
    // Sound RAM as saved, with the data word stored once more at the
    // replayed transfer address.
    EXPECT_EQ(spu().soundRam[0x1000], 0);
    EXPECT_EQ(spu().soundRam[0x80], 0xEF);
    EXPECT_EQ(spu().soundRam[0x81], 0xBE);
    EXPECT_EQ(spu().transferAddress, 0x82u);
    // Voices 0 and 1 restarted; voice 0's key-off replayed after its key-on.
    EXPECT_EQ(spu().voices[0].envelopePhase, kRelease);
    EXPECT_EQ(spu().voices[0].pitchCounter, 0x1000);
    EXPECT_EQ(spu().voices[0].blockAddress, 0x100);
    EXPECT_EQ(spu().voices[1].envelopePhase, kAttack);
    EXPECT_EQ(spu().voices[1].blockAddress, 0x200);
    EXPECT_EQ(spu().voices[1].releaseRate, 5);
    // Voice 2 keeps its position; its activity bit, published by the key-on
    // replay, is set, so the activity replay leaves it sounding.
    EXPECT_EQ(v2.envelopePhase, kSustain);
    EXPECT_EQ(v2.blockAddress, 0x0333);
    EXPECT_EQ(v2.pitchCounter, 0x5000);
    EXPECT_EQ(SPUreadRegister(0x1F801D9C), 0x0007u);
    // The refreshed envelope-volume words: key-on made them at least 1.
    EXPECT_EQ(SPUreadRegister(0x1F801C0C), 1u);
}

TEST_F(FreezeTest, LoadStopsVoicesWhoseActivityBitIsClear) {
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);  // nothing keyed on
    SpuVoice& v = spu().voices[4];
    v.envelopePhase = kSustain;
    v.active = 0;  // not yet mixed since it was started
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);
    EXPECT_EQ(v.envelopePhase, kOff);
}

TEST_F(FreezeTest, XaBlockPassedOnlyWhenItFitsTheRecord) {
    struct Case {
        int32_t stereo, sampleCount;
        int32_t framesQueued;
    };
    const Case cases[] = {
        {0, 4032, 4032}, {0, 4033, 0}, {1, 4032, 4032}, {0, 1, 1}, {0, 0, 0},
        {0, -1, 0},      {2, 4032, 0}, {-1, 100, 0},    {0x7FFFFFFF, 4032, 0},
    };
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);
    for (const Case& c : cases) {
        spu().xa.readIndex = spu().xa.writeIndex = 0;
        record->xa.frequency = 44100;
        record->xa.bitsPerSample = 4;
        record->xa.stereo = c.stereo;
        record->xa.sampleCount = c.sampleCount;
        ASSERT_EQ(SPUfreeze(0, record.get()), 1);
        EXPECT_EQ(spu().xa.QueuedSamples() / 2, c.framesQueued) << c.stereo << " " << c.sampleCount;
    }
}

// Runs in a directory of its own: the log file goes to the current directory.
class RecordingTest : public FreezeTest {
protected:
    void SetUp() override {
        FreezeTest::SetUp();
        directory = std::filesystem::temp_directory_path() /
                    ("spuzarn-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()) +
                     std::to_string(std::random_device{}()));
        std::filesystem::create_directories(directory);
        previous = std::filesystem::current_path();
        std::filesystem::current_path(directory);
    }
    void TearDown() override {
        FreezeTest::TearDown();
        std::filesystem::current_path(previous);
        std::filesystem::remove_all(directory);
    }
    size_t LogFileSize() { return std::filesystem::file_size(plugin::kLogFileName); }
    std::filesystem::path directory, previous;
};

TEST_F(RecordingTest, OnlyHostRegisterWritesAreLogged) {
    plugin::StartRecording();
    ASSERT_TRUE(plugin::recorder.IsRecording());
    SPUwriteRegister(0x1F801C04, 0x11234);
    SPUwriteDMA(0x5555);  // transfers are not logged
    uint16_t words[2] = {1, 2};
    SPUwriteDMAMem(words, 2);
    ASSERT_EQ(SPUfreeze(1, record.get()), 1);
    ASSERT_EQ(SPUfreeze(0, record.get()), 1);  // nor is the replay of a load
    SPUwriteRegister(0x00000042, 7);
    EXPECT_EQ(plugin::recorder.EntryCount(), 2);
    plugin::StopRecording();
    EXPECT_FALSE(plugin::recorder.IsRecording());
    EXPECT_EQ(LogFileSize(), 524808u + 24);
}

TEST_F(RecordingTest, AFileThatCannotBeWrittenIsTriedAgain) {
    std::filesystem::create_directory(plugin::kLogFileName);  // in the way of the file
    plugin::StartRecording();
    SPUwriteRegister(0x1F801D88, 1);
    plugin::StopRecording();
    EXPECT_TRUE(plugin::recorder.IsRecording());
    SPUwriteRegister(0x1F801D8C, 1);
    std::filesystem::remove(plugin::kLogFileName);
    plugin::StopRecording();
    EXPECT_FALSE(plugin::recorder.IsRecording());
    EXPECT_EQ(LogFileSize(), 524808u + 24);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(directory), {}), 1);
}

TEST_F(RecordingTest, ShutdownWritesARunningRecording) {
    plugin::StartRecording();
    SPUwriteRegister(0x1F801D88, 1);
    SPUshutdown();
    EXPECT_FALSE(plugin::recorder.IsRecording());
    EXPECT_EQ(LogFileSize(), 524808u + 12);
}

}  // namespace
}  // namespace zarn
