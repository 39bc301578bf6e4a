// The register recorder and its log file layout.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>
#include <vector>

#include "state/SpuRecorder.h"
#include "support/CoreRig.h"

namespace zarn {
namespace {

// The fixture is also the sink: it keeps the file in memory.
class RecorderTest : public test::CoreTest, public RecordingSink {
protected:
    SpuRecorder recorder;
    std::vector<std::byte> file;
    bool Write(std::span<const Piece> pieces) override {
        file.clear();
        for (const Piece& piece : pieces) file.insert(file.end(), piece.begin(), piece.end());
        return true;
    }
    uint32_t Word(size_t offset, size_t bytes = 4) const {
        uint32_t value = 0;
        std::memcpy(&value, file.data() + offset, bytes);
        return value;
    }
};

TEST_F(RecorderTest, FileHoldsTheStartSnapshotTheTickRateAndTheEntries) {
    spu->soundRam[0x7FFFF] = 0x22;
    spu->DecodeRegisterWrite(0x1F801C04, 0x1234);
    spu->DecodeRegisterWrite(0x1F801DFE, 0xBEEF);
    ASSERT_TRUE(recorder.StartRecording(*spu, [] { return 0xFFFFFFF0u; }));
    spu->DecodeRegisterWrite(0x1F801C04, 0x9999);      // later changes are not in the snapshot
    recorder.Log(0xFFFFFFF0, 0x1F801C00, 0x00012345);  // same millisecond: time 0
    recorder.Log(0x00000010, 0xFFFFFFFF, 0xFFFF);      // across the wrap of the tick
    ASSERT_TRUE(recorder.StopRecording(100, *this));
    EXPECT_FALSE(recorder.IsRecording());
    ASSERT_EQ(file.size(), 524808u + 2 * 12);
    // RAM, registers, tick rate and count, then time, address and value per entry: offset, bytes, value.
    const std::tuple<size_t, size_t, uint32_t> fields[] = {
        {0x7FFFF, 1, 0x22}, {524288 + 4, 2, 0x1234}, {524288 + 510, 2, 0xBEEF}, {524800, 4, 1000},
        {524804, 4, 2},     {524808, 4, 0},          {524812, 4, 0x1F801C00},   {524816, 2, 0x2345},
        {524820, 4, 0x20},  {524824, 4, 0xFFFFFFFF}, {524828, 2, 0xFFFF}};
    for (const auto& [offset, bytes, value] : fields) EXPECT_EQ(Word(offset, bytes), value) << offset;

    // The tick rate is 10 x the tempo, unchecked.
    ASSERT_TRUE(recorder.StartRecording(*spu, [] { return 0u; }) && recorder.StopRecording(0, *this));
    EXPECT_EQ(std::tuple(file.size(), Word(524800)), std::tuple(size_t{524808}, 0u));
}

TEST_F(RecorderTest, AMillionEntriesAtMost) {
    ASSERT_TRUE(recorder.StartRecording(*spu, [] { return 0u; }));
    for (int32_t i = 0; i <= SpuRecorder::kMaxEntries; ++i) recorder.Log(i, 0x1F801C00, i);
    ASSERT_TRUE(recorder.StopRecording(100, *this));
    EXPECT_EQ(file.size(), 12524808u);
    EXPECT_EQ(std::tuple(Word(524804), Word(12524808 - 12)), std::tuple(1000000u, 999999u));
}

}  // namespace
}  // namespace zarn
