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

uint32_t ZeroTick() { return 0; }

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
    uint32_t Word(size_t offset, size_t bytes = 4) const {
        uint32_t value = 0;
        std::memcpy(&value, file.data() + offset, bytes);
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

TEST_F(RecorderTest, FileHoldsTheStartSnapshotAndTheEntries) {
    spu->soundRam[0x7FFFF] = 0x22;
    spu->DecodeRegisterWrite(0x1F801C04, 0x1234);
    spu->DecodeRegisterWrite(0x1F801DFE, 0xBEEF);
    ASSERT_TRUE(recorder.StartRecording(*spu, [] { return 0xFFFFFFF0u; }));
    spu->DecodeRegisterWrite(0x1F801C04, 0x9999);  // later changes are not in the snapshot
    recorder.Log(0xFFFFFFF0, 0x1F801C00, 0x00012345);  // same millisecond: time 0
    recorder.Log(0x00000010, 0xFFFFFFFF, 0xFFFF);      // across the wrap of the tick
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_FALSE(recorder.IsRecording());
    ASSERT_EQ(sink.file.size(), 524808u + 2 * 12);
    EXPECT_EQ(sink.file[0x7FFFF], 0x22);
    EXPECT_EQ(sink.Word(524288 + 4, 2), 0x1234u);
    EXPECT_EQ(sink.Word(524288 + 510, 2), 0xBEEFu);
    EXPECT_EQ(sink.Word(524800), 1000u);
    EXPECT_EQ(sink.Word(524804), 2u);
    const uint32_t entries[][3] = {{0, 0x1F801C00, 0x2345}, {0x20, 0xFFFFFFFF, 0xFFFF}};
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(sink.Word(524808 + 12 * i), entries[i][0]);
        EXPECT_EQ(sink.Word(524808 + 12 * i + 4), entries[i][1]);
        EXPECT_EQ(sink.Word(524808 + 12 * i + 8, 2), entries[i][2]);
    }
}

TEST_F(RecorderTest, TickRateIsTenTimesTheTempo) {
    for (const auto& [tempo, rate] : {std::pair{1, 10u}, {100, 1000u}, {200, 2000u}, {0, 0u}}) {
        ASSERT_TRUE(recorder.StartRecording(*spu, ZeroTick));
        ASSERT_TRUE(recorder.StopRecording(tempo, sink));
        EXPECT_EQ(sink.file.size(), 524808u);
        EXPECT_EQ(sink.Word(524800), rate) << tempo;
    }
}

TEST_F(RecorderTest, AMillionEntriesAtMost) {
    ASSERT_TRUE(recorder.StartRecording(*spu, ZeroTick));
    for (int32_t i = 0; i <= SpuRecorder::kMaxEntries; ++i) recorder.Log(i, 0x1F801C00, i);
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_EQ(sink.file.size(), 12524808u);
    EXPECT_EQ(sink.Word(524804), 1000000u);
    EXPECT_EQ(sink.Word(12524808 - 12), 999999u);
}

TEST_F(RecorderTest, AFailedWriteKeepsTheRecordingForTheNextTry) {
    ASSERT_TRUE(recorder.StartRecording(*spu, ZeroTick));
    recorder.Log(1, 0x1F801D88, 1);
    sink.fail = true;
    EXPECT_FALSE(recorder.StopRecording(100, sink));
    EXPECT_TRUE(recorder.IsRecording());
    recorder.Log(2, 0x1F801D8C, 1);  // logging goes on
    sink.fail = false;
    ASSERT_TRUE(recorder.StopRecording(100, sink));
    EXPECT_EQ(sink.Word(524804), 2u);
    recorder.Log(3, 0x1F801D88, 1);  // idle: nothing
    EXPECT_FALSE(recorder.StopRecording(100, sink));
}

void* RefuseLargeBlocks(size_t bytes) { return bytes > 1000000 ? nullptr : ::operator new(bytes, std::nothrow); }
void ReleaseBlock(void* block) { ::operator delete(block); }

TEST_F(RecorderTest, NoMemoryNoRecording) {
    SpuRecorder starved(RefuseLargeBlocks, ReleaseBlock);
    EXPECT_FALSE(starved.StartRecording(*spu, ZeroTick));
    EXPECT_FALSE(starved.IsRecording());
    starved.Log(1, 0x1F801C00, 1);
    EXPECT_EQ(starved.EntryCount(), 0);
    EXPECT_FALSE(starved.StopRecording(100, sink));
}

}  // namespace
}  // namespace zarn
