// Sound-RAM transfers: halfword order, stepping and the wrap at 512 KiB.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/SpuCore.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

class TransferTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    std::vector<uint8_t> Bytes(uint32_t at, uint32_t count) { return {spu->soundRam + at, spu->soundRam + at + count}; }
};

TEST_F(TransferTest, EveryPathStepsOneAddressThatWrapsAtTheEndOfSoundRam) {
    spu->DecodeRegisterWrite(0x1F801DA6, 0xFFFF);  // 0x7FFF8
    spu->WriteTransfer(0xAAAA);
    spu->DecodeRegisterWrite(0x1F801DA8, 0xBBBB);
    const uint16_t words[3] = {0x1122, 0x3344, 0x5566};
    spu->WriteTransferBlock(words, 3);
    EXPECT_EQ(Bytes(0x7FFF8, 8), (std::vector<uint8_t>{0xAA, 0xAA, 0xBB, 0xBB, 0x22, 0x11, 0x44, 0x33}));
    EXPECT_EQ(Bytes(0, 4), (std::vector<uint8_t>{0x66, 0x55, 0, 0}));

    spu->transferAddress = 0x7FFFB;  // bit 0 is ignored
    uint16_t back[2] = {};
    spu->ReadTransferBlock(back, 2);
    EXPECT_EQ(std::vector<uint16_t>(back, back + 2), (std::vector<uint16_t>{0xBBBB, 0x1122}));
    EXPECT_EQ(spu->ReadRegister(0x1F801DA8), 0x3344);
    EXPECT_EQ(spu->ReadTransfer(), 0x5566);
    EXPECT_EQ(spu->transferAddress, 2u);
}

TEST_F(TransferTest, NothingStraysOutsideSoundRam) {
    // All ones until the host writes the address: the access lands on the last
    // halfword and stepping continues at the start.
    spu->WriteTransfer(0x0102);
    spu->WriteTransfer(0x0304);
    EXPECT_EQ(Bytes(0x7FFFE, 2), (std::vector<uint8_t>{0x02, 0x01}));
    EXPECT_EQ(Bytes(0, 2), (std::vector<uint8_t>{0x04, 0x03}));
    spu->transferAddress = SpuCore::kNoTransferAddress;
    EXPECT_EQ(spu->ReadRegister(0x1F801DA8), 0x0102);
    EXPECT_EQ(spu->ReadTransfer(), 0x0304);
    // Counts below 1 touch neither the words nor sound RAM nor the address.
    spu->transferAddress = 0x100;
    uint16_t guard[2] = {0x1234, 0x5678};
    spu->ReadTransferBlock(guard, 0);
    spu->ReadTransferBlock(guard, -5);
    spu->WriteTransferBlock(guard, -1);
    EXPECT_EQ(std::vector<uint16_t>(guard, guard + 2), (std::vector<uint16_t>{0x1234, 0x5678}));
    EXPECT_EQ(spu->transferAddress, 0x100u);
    EXPECT_EQ(Bytes(0x100, 2), (std::vector<uint8_t>{0, 0}));
}

}  // namespace
}  // namespace zarn
