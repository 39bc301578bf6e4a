// Sound-RAM transfers: halfword order, stepping and the wrap at 512 KiB.
#include <gtest/gtest.h>

#include <memory>

#include "spu/SpuCore.h"
#include "support/TestSettings.h"

namespace zarn {
namespace {

class TransferTest : public ::testing::Test {
protected:
    test::TestSettings settings;
    std::unique_ptr<SpuCore> spu = std::make_unique<SpuCore>(settings);
    uint16_t Halfword(uint32_t offset) { return spu->soundRam[offset] | (spu->soundRam[offset + 1] << 8); }
};

TEST_F(TransferTest, BlockWriteWrapsAtTheEndOfSoundRam) {
    spu->transferAddress = 0x7FFFE;
    const uint16_t words[3] = {0x1122, 0x3344, 0x5566};
    spu->WriteTransferBlock(words, 3);
    EXPECT_EQ(spu->soundRam[0x7FFFE], 0x22);  // little-endian
    EXPECT_EQ(spu->soundRam[0x7FFFF], 0x11);
    EXPECT_EQ(Halfword(0), 0x3344);
    EXPECT_EQ(Halfword(2), 0x5566);
    EXPECT_EQ(spu->transferAddress, 4u);

    spu->transferAddress = 0x7FFFE;
    uint16_t back[3] = {};
    spu->ReadTransferBlock(back, 3);
    EXPECT_EQ(back[0], 0x1122);
    EXPECT_EQ(back[1], 0x3344);
    EXPECT_EQ(back[2], 0x5566);
    EXPECT_EQ(spu->transferAddress, 4u);
}

TEST_F(TransferTest, SingleWordsAndTheDataRegisterStepTheSameAddress) {
    spu->DecodeRegisterWrite(0x1F801DA6, 0xFFFF);  // 0x7FFF8
    spu->WriteTransfer(0xAAAA);
    spu->DecodeRegisterWrite(0x1F801DA8, 0xBBBB);
    spu->WriteTransfer(0xCCCC);
    spu->WriteTransfer(0xDDDD);  // last halfword of sound RAM
    EXPECT_EQ(spu->transferAddress, 0u);
    EXPECT_EQ(Halfword(0x7FFF8), 0xAAAA);
    EXPECT_EQ(Halfword(0x7FFFA), 0xBBBB);
    EXPECT_EQ(Halfword(0x7FFFC), 0xCCCC);
    EXPECT_EQ(Halfword(0x7FFFE), 0xDDDD);

    spu->transferAddress = 0x7FFFE;
    EXPECT_EQ(spu->ReadTransfer(), 0xDDDD);
    EXPECT_EQ(spu->transferAddress, 0u);
    spu->transferAddress = 0x7FFFC;
    EXPECT_EQ(spu->ReadRegister(0x1F801DA8), 0xCCCC);
    EXPECT_EQ(spu->transferAddress, 0x7FFFEu);
}

TEST_F(TransferTest, CountsBelowOneTouchNothing) {
    spu->transferAddress = 0x100;
    uint16_t guard[2] = {0x1234, 0x5678};
    spu->ReadTransferBlock(guard, 0);
    spu->ReadTransferBlock(guard, -5);
    spu->WriteTransferBlock(guard, -1);
    EXPECT_EQ(guard[0], 0x1234);
    EXPECT_EQ(guard[1], 0x5678);
    EXPECT_EQ(spu->transferAddress, 0x100u);
    EXPECT_EQ(Halfword(0x100), 0);
}

TEST_F(TransferTest, TransferBeforeAnyAddressStaysInsideSoundRam) {
    // All ones until the host writes the address: the access lands on the last
    // halfword and stepping continues at the start.
    spu->WriteTransfer(0x0102);
    spu->WriteTransfer(0x0304);
    EXPECT_EQ(Halfword(0x7FFFE), 0x0102);
    EXPECT_EQ(Halfword(0), 0x0304);
    spu->transferAddress = SpuCore::kNoTransferAddress;
    EXPECT_EQ(spu->ReadRegister(0x1F801DA8), 0x0102);
    EXPECT_EQ(spu->ReadTransfer(), 0x0304);
}

}  // namespace
}  // namespace zarn
