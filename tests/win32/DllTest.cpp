// Drives the real spuZarn.dll the way a host does: LoadLibrary, every export
// looked up by its plain name, called through stdcall function pointers.
#include <gtest/gtest.h>

#include "plugin/Version.h"
#include "support/ExportNames.h"
#include "win32/DllCall.h"

#include <cstdint>
#include <cstring>
#include <tuple>
#include <vector>

namespace {

using zarn::test::Call;
using zarn::test::library;

uint16_t Read(uint32_t address) { return Call<uint16_t>("SPUreadRegister", address); }
void Write(std::initializer_list<std::pair<uint32_t, uint32_t>> program) {
    for (const auto& [address, value] : program) Call("SPUwriteRegister", address, value);
}

class DllTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(library = LoadLibraryA("spuZarn.dll"), nullptr); }
    void TearDown() override { FreeLibrary(library); }
};

TEST_F(DllTest, ExportsIdentificationAndTrivialCalls) {
    for (const char* name : zarn::test::kExportNames) ASSERT_NE(GetProcAddress(library, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(library, "_SPUinit@0"), GetProcAddress(library, "SPUinit@0"));  // both absent
    EXPECT_STREQ(Call<const char*>("PSEgetLibName"), "Zarn's SPU Audio Driver");
    EXPECT_EQ(std::tuple(Call<uint32_t>("PSEgetLibType"), Call<uint32_t>("PSEgetLibVersion"), Call<int32_t>("SPUtest")),
              std::tuple(4u, zarn::kLibVersion, 0));
    // The do-nothing exports pop their own arguments: a wrong count would
    // unbalance the stack and crash here.
    for (const char* name : {"SPUputOne", "SPUsetAddr", "SPUsetPitch", "SPUsetVolumeL", "SPUsetVolumeR"})
        Call(name, 1u, 2u);
    for (const char* name :
         {"SPUplaySample", "SPUstartChannels1", "SPUstartChannels2", "SPUstopChannels1", "SPUstopChannels2"})
        Call(name, 1u);
    Call("SPUplaySector");
}

TEST_F(DllTest, RegistersAndDmaAcrossTheEndOfSoundRam) {
    ASSERT_EQ(Call<int32_t>("SPUinit"), 0);
    Write({{0x1F801C06, 0x0100}});
    uint16_t out[8] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888}, back[8] = {};
    Write({{0x1F801DA6, 0xFFFF}});  // 8 bytes before the end
    Call("SPUwriteDMAMem", out, 7);
    Call("SPUwriteDMA", uint16_t{0x8888});
    EXPECT_EQ(Read(0x1F801DA6), 0x0001);  // 8 bytes past the start
    Write({{0x1F801DA6, 0xFFFF}});
    Call("SPUreadDMAMem", back, 7);
    back[7] = Call<uint16_t>("SPUreadDMA");
    EXPECT_EQ(std::memcmp(back, out, sizeof out), 0);
    EXPECT_EQ(Call<int32_t>("SPUopen", HWND{}) | Call<int32_t>("SPUclose"), 0);
    EXPECT_EQ(Read(0x1F801C06), 0x0100);  // the state survives the run
    EXPECT_EQ(Call<int32_t>("SPUshutdown"), 0);
}

int irqCalls = 0;
void CALLBACK CountIrq() { ++irqCalls; }

// Through the DLL: a voice keyed on plays out the IRQ block in frame 28 and
// the host's stdcall interrupt function is called (spuhost's golden demo
// render under Wine pins the frames).
TEST_F(DllTest, TheInterruptReachesTheHost) {
    ASSERT_EQ(Call<int32_t>("SPUinit"), 0);
    Write({{0x1F801C04, 0x1000}, {0x1F801C06, 0x10}, {0x1F801DA4, 0x11}, {0x1F801D88, 1}});
    Call("SPUregisterCallback", &CountIrq);
    int16_t frames[2 * 28];
    Call("SPUrender", frames, uint32_t{sizeof frames - 4});
    EXPECT_EQ(irqCalls, 0);
    Call("SPUrender", frames, 4u);
    EXPECT_EQ(irqCalls, 1);
    EXPECT_EQ(Call<int32_t>("SPUshutdown"), 0);
}

}  // namespace
