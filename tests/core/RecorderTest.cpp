// The register recorder and its log file layout.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "spu/SpuCore.h"
#include "state/SpuRecorder.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

class MemorySink : public RecordingSink {
public:
    bool fail = false;
    std::vector<uint8_t> file;
    bool Write(std::span<const Piece> pieces) override {
        if (fail) return false;
        file.clear();
        for (const Piece& piece : pieces) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(piece.data());
            file.insert(file.end(), bytes, bytes + piece.size());
        }
        return true;
    }
    uint32_t Word(size_t offset) const {
        uint32_t value;
        std::memcpy(&value, file.data() + offset, 4);
        return value;
    }
    uint16_t Half(size_t offset) const {
        uint16_t value;
        std::memcpy(&value, file.data() + offset, 2);
        return value;
    }
};

class RecorderTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    SpuRecorder recorder;
    MemorySink sink;
};

TEST_F(RecorderTest, StartThenStopWritesTheSnapshotAndNoEntries) {
    spu->soundRam[0] = 0x11;
    spu->soundRam[0x7FFFF] = 0x22;
    spu->DecodeRegisterWrite(0x1F801C04, 0x1234);
    spu->DecodeRegisterWrite(0x1F801DFE, 0xBEEF);
    spu->DecodeRegisterWrite(0x1F801E00, 0xDEAD);  // beyond the 256 words saved
    ASSERT_TRUE(recorder.StartRecording(*spu, 5000));
    EXPECT_TRUE(recorder.IsRecording());
    spu->DecodeRegisterWrite(0x1F801C04, 0x9999);  // later changes are not in the snapshot
    spu->soundRam[0] = 0x33;
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_FALSE(recorder.IsRecording());
    ASSERT_EQ(sink.file.size(), 524808u);
    EXPECT_EQ(sink.file[0], 0x11);
    EXPECT_EQ(sink.file[0x7FFFF], 0x22);
    EXPECT_EQ(sink.Half(524288 + 4), 0x1234);
    EXPECT_EQ(sink.Half(524288 + 510), 0xBEEF);
    EXPECT_EQ(sink.Word(524800), 1000u);
    EXPECT_EQ(sink.Word(524804), 0u);
}

TEST_F(RecorderTest, EntriesKeepTimesFullAddressesAndLowValues) {
    ASSERT_TRUE(recorder.StartRecording(*spu, 0xFFFFFFF0));
    recorder.Log(0xFFFFFFF0, 0x1F801C00, 0x00012345);  // same millisecond: time 0
    recorder.Log(0x00000010, 0x00000042, 0xFFFF);      // across the wrap of the tick
    recorder.Log(0x00000011, 0xFFFFFFFF, 0);
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    ASSERT_EQ(sink.file.size(), 524808u + 3 * 12);
    EXPECT_EQ(sink.Word(524804), 3u);
    const size_t e = 524808;
    EXPECT_EQ(sink.Word(e + 0), 0u);
    EXPECT_EQ(sink.Word(e + 4), 0x1F801C00u);
    EXPECT_EQ(sink.Half(e + 8), 0x2345);
    EXPECT_EQ(sink.Word(e + 12), 0x20u);
    EXPECT_EQ(sink.Word(e + 16), 0x42u);
    EXPECT_EQ(sink.Half(e + 20), 0xFFFF);
    EXPECT_EQ(sink.Word(e + 24), 0x21u);
    EXPECT_EQ(sink.Word(e + 28), 0xFFFFFFFFu);
}

TEST_F(RecorderTest, TickRateIsTenTimesTheTempo) {
    for (const auto& [tempo, rate] : {std::pair{1, 10u}, {100, 1000u}, {200, 2000u}, {50, 500u}, {0, 0u}}) {
        ASSERT_TRUE(recorder.StartRecording(*spu, 0));
        ASSERT_TRUE(recorder.StopRecording(tempo, sink));
        EXPECT_EQ(sink.Word(524800), rate) << tempo;
    }
}

TEST_F(RecorderTest, AMillionEntriesAtMost) {
    ASSERT_TRUE(recorder.StartRecording(*spu, 0));
    for (int32_t i = 0; i < SpuRecorder::kMaxEntries + 1; ++i) recorder.Log(i, 0x1F801C00 + 2 * (i & 0xFF), i);
    EXPECT_EQ(recorder.EntryCount(), SpuRecorder::kMaxEntries);
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_EQ(sink.file.size(), 12524808u);
    EXPECT_EQ(sink.Word(524804), 1000000u);
    EXPECT_EQ(sink.Word(12524808 - 12), 999999u);
}

TEST_F(RecorderTest, AFailedWriteKeepsTheRecordingForTheNextTry) {
    ASSERT_TRUE(recorder.StartRecording(*spu, 0));
    recorder.Log(1, 0x1F801D88, 1);
    sink.fail = true;
    EXPECT_FALSE(recorder.StopRecording(100, sink));
    EXPECT_TRUE(recorder.IsRecording());
    recorder.Log(2, 0x1F801D8C, 1);  // logging goes on
    sink.fail = false;
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_EQ(sink.Word(524804), 2u);
    EXPECT_FALSE(recorder.IsRecording());
    recorder.Log(3, 0x1F801D88, 1);  // idle: nothing
    EXPECT_FALSE(recorder.StopRecording(100, sink));
}

void* RefuseLargeBlocks(size_t bytes) { return bytes > 1000000 ? nullptr : ::operator new(bytes, std::nothrow); }
void ReleaseBlock(void* block) { ::operator delete(block); }

TEST_F(RecorderTest, NoMemoryNoRecording) {
    SpuRecorder starved(RefuseLargeBlocks, ReleaseBlock);
    EXPECT_FALSE(starved.StartRecording(*spu, 0));
    EXPECT_FALSE(starved.IsRecording());
    starved.Log(1, 0x1F801C00, 1);
    EXPECT_EQ(starved.EntryCount(), 0);
    EXPECT_FALSE(starved.StopRecording(100, sink));
    EXPECT_TRUE(sink.file.empty());
}

}  // namespace
}  // namespace zarn
