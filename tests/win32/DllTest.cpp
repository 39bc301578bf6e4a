// Drives the real spuZarn.dll the way a host does: LoadLibrary, every export
// looked up by its plain name, called through stdcall function pointers.
#include <gtest/gtest.h>

#include "support/ExportNames.h"

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kKeyPath = "Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn";

typedef const char*(CALLBACK* GetNameFn)(void);
typedef uint32_t(CALLBACK* GetNumberFn)(void);
typedef int32_t(CALLBACK* LifecycleFn)(void);
typedef int32_t(CALLBACK* OpenFn)(HWND);
typedef void(CALLBACK* WriteRegisterFn)(uint32_t, uint32_t);
typedef uint16_t(CALLBACK* ReadRegisterFn)(uint32_t);
typedef void(CALLBACK* WriteDmaFn)(uint16_t);
typedef uint16_t(CALLBACK* ReadDmaFn)(void);
typedef void(CALLBACK* DmaMemFn)(uint16_t*, int32_t);
typedef void(CALLBACK* IrqFn)(void);
typedef void(CALLBACK* RegisterCallbackFn)(IrqFn);
typedef uint16_t(CALLBACK* GetOneFn)(uint32_t);
typedef void(CALLBACK* TwoArgumentFn)(uint32_t, uint32_t);
typedef void(CALLBACK* OneArgumentFn)(uint32_t);
typedef void(CALLBACK* NoArgumentFn)(void);
typedef void(CALLBACK* RenderFn)(int16_t*, uint32_t);
typedef int32_t(CALLBACK* FreezeFn)(uint32_t, void*);

class DllTest : public ::testing::Test {
protected:
    void SetUp() override {
        library = LoadLibraryA("spuZarn.dll");
        ASSERT_NE(library, nullptr);
    }
    void TearDown() override { FreeLibrary(library); }

    template <typename T>
    T Get(const char* name) {
        return reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    }

    HMODULE library = nullptr;
};

TEST_F(DllTest, EveryExportByItsPlainName) {
    for (const char* name : zarn::test::kExportNames) EXPECT_NE(GetProcAddress(library, name), nullptr) << name;
    EXPECT_EQ(GetProcAddress(library, "_SPUinit@0"), nullptr);
    EXPECT_EQ(GetProcAddress(library, "SPUinit@0"), nullptr);
}

TEST_F(DllTest, IdentificationAndTrivialCalls) {
    EXPECT_STREQ(Get<GetNameFn>("PSEgetLibName")(), "Zarn's SPU Audio Driver");
    EXPECT_EQ(Get<GetNumberFn>("PSEgetLibType")(), 4u);
    EXPECT_EQ(Get<GetNumberFn>("PSEgetLibVersion")(), 0x1000Cu);
    EXPECT_EQ(Get<LifecycleFn>("SPUtest")(), 0);
    EXPECT_EQ(Get<GetOneFn>("SPUgetOne")(7), 0);
    // The do-nothing exports pop their own arguments: a wrong count would
    // unbalance the stack and crash here.
    for (const char* name : {"SPUputOne", "SPUsetAddr", "SPUsetPitch", "SPUsetVolumeL", "SPUsetVolumeR"}) {
        Get<TwoArgumentFn>(name)(1, 2);
    }
    for (const char* name : {"SPUplaySample", "SPUstartChannels1", "SPUstartChannels2", "SPUstopChannels1",
                             "SPUstopChannels2"}) {
        Get<OneArgumentFn>(name)(1);
    }
    Get<NoArgumentFn>("SPUplaySector")();
}

TEST_F(DllTest, FirstInitCreatesTheRegistryKey) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kKeyPath);
    ASSERT_EQ(Get<LifecycleFn>("SPUinit")(), 0);
    const std::pair<const char*, DWORD> defaults[] = {
        {"SoundBufferSize", 8}, {"XABufferSize", 48}, {"HighResolutionMode", 1},
        {"ShowRealtimeConfigWindow", 0}, {"EnableReverb", 0}, {"EnableSpuIrq", 1},
        {"XAVolume", 75}, {"ReverbVolume", 50}, {"TickParSecond", 100},
    };
    for (const auto& [name, value] : defaults) {
        DWORD type = 0, data = 0, size = sizeof data;
        ASSERT_EQ(RegGetValueA(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_ANY, &type, &data, &size), ERROR_SUCCESS)
            << name;
        EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD)) << name;
        EXPECT_EQ(data, value) << name;
    }
    EXPECT_EQ(Get<LifecycleFn>("SPUshutdown")(), 0);
}

TEST_F(DllTest, RegistersAndDmaRoundTripAcrossTheEndOfSoundRam) {
    ASSERT_EQ(Get<LifecycleFn>("SPUinit")(), 0);
    const auto write = Get<WriteRegisterFn>("SPUwriteRegister");
    const auto read = Get<ReadRegisterFn>("SPUreadRegister");
    EXPECT_EQ(read(0x1F801DA6), 0xFFFF);
    write(0x1F801DAE, 0xFFFF);
    EXPECT_EQ(read(0x1F801DAE), 0xF800);
    write(0x1F801C06, 0x0100);
    write(0x1F801D88, 0x0001);  // key-on publishes the activity bit
    EXPECT_EQ(read(0x1F801D9C), 0x0001);
    EXPECT_EQ(read(0x1F801C0C), 1);

    write(0x1F801DA6, 0xFFFF);  // 8 bytes before the end
    uint16_t out[8] = {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888};
    Get<DmaMemFn>("SPUwriteDMAMem")(out, 7);
    Get<WriteDmaFn>("SPUwriteDMA")(0x8888);
    EXPECT_EQ(read(0x1F801DA6), 0x0001);  // 8 bytes past the start

    write(0x1F801DA6, 0xFFFF);
    uint16_t back[8] = {};
    Get<DmaMemFn>("SPUreadDMAMem")(back, 7);
    back[7] = Get<ReadDmaFn>("SPUreadDMA")();
    EXPECT_EQ(std::memcmp(back, out, sizeof out), 0);

    Get<RegisterCallbackFn>("SPUregisterCallback")(nullptr);
    EXPECT_EQ(Get<OpenFn>("SPUopen")(nullptr), 0);
    EXPECT_EQ(Get<LifecycleFn>("SPUclose")(), 0);
    EXPECT_EQ(read(0x1F801C06), 0x0100);
    EXPECT_EQ(Get<LifecycleFn>("SPUshutdown")(), 0);
}

int irqCalls = 0;
void CALLBACK CountIrq() { ++irqCalls; }

TEST_F(DllTest, RenderPlaysAKeyedOnVoice) {
    ASSERT_EQ(Get<LifecycleFn>("SPUinit")(), 0);
    const auto write = Get<WriteRegisterFn>("SPUwriteRegister");
    // One looping ADPCM block at unit 0x10: shift 0, filter 0, samples 4096,
    // 8192, ..., 28672, 4096, ...
    uint16_t block[8] = {0x0300};
    for (int i = 0; i < 14; ++i) {
        reinterpret_cast<uint8_t*>(block)[2 + i] = static_cast<uint8_t>((1 + (2 * i) % 7) | (1 + (2 * i + 1) % 7) << 4);
    }
    write(0x1F801DA6, 0x10);
    Get<DmaMemFn>("SPUwriteDMAMem")(block, 8);
    const uint32_t program[][2] = {
        {0x1F801C00, 0x3FFF}, {0x1F801C02, 0x2000}, {0x1F801C04, 0x1000}, {0x1F801C06, 0x10},
        {0x1F801C08, 0x000F}, {0x1F801C0A, 127 << 6}, {0x1F801C0E, 0x10}, {0x1F801D80, 0x3FFF},
        {0x1F801D82, 0x3FFF}, {0x1F801DA4, 0x11}, {0x1F801D88, 1},
    };
    for (const auto& [address, value] : program) write(address, value);
    Get<RegisterCallbackFn>("SPUregisterCallback")(CountIrq);

    int16_t out[8] = {0, 0, 0, 0, 0, 0, 0x5555, 0x5555};
    Get<RenderFn>("SPUrender")(out, 14);
    const int16_t expected[8] = {2045, 1022, 8189, 4094, 9828, 4914, 0x5555, 0x5555};
    EXPECT_EQ(std::memcmp(out, expected, sizeof out), 0);
    EXPECT_EQ(Get<ReadRegisterFn>("SPUreadRegister")(0x1F801C0C), 26214);

    // The block is played out in frame 28: the host interrupt is called.
    irqCalls = 0;
    int16_t more[2 * 25];
    Get<RenderFn>("SPUrender")(more, sizeof more);
    EXPECT_EQ(irqCalls, 1);
    EXPECT_EQ(Get<LifecycleFn>("SPUshutdown")(), 0);
}

TEST_F(DllTest, SaveStatesRoundTrip) {
    constexpr size_t kRecordBytes = 558640;
    std::vector<uint8_t> record(kRecordBytes, 0xA5);
    const auto freeze = Get<FreezeFn>("SPUfreeze");
    EXPECT_EQ(freeze(2, record.data()), 1);  // size query, before SPUinit too
    uint32_t version, size;
    std::memcpy(&version, &record[8], 4);
    std::memcpy(&size, &record[12], 4);
    EXPECT_EQ(std::memcmp(record.data(), "TOVRA\0", 6), 0);
    EXPECT_EQ(record[6], 0xA5);
    EXPECT_EQ(version, 1u);
    EXPECT_EQ(size, kRecordBytes);
    EXPECT_EQ(record[16], 0xA5);
    EXPECT_EQ(freeze(1, nullptr), 0);

    ASSERT_EQ(Get<LifecycleFn>("SPUinit")(), 0);
    const auto write = Get<WriteRegisterFn>("SPUwriteRegister");
    const auto read = Get<ReadRegisterFn>("SPUreadRegister");
    write(0x1F801C04, 0x1234);
    write(0x1F801DA6, 0x0100);
    uint16_t data[4] = {0x1111, 0x2222, 0x3333, 0x4444};
    Get<DmaMemFn>("SPUwriteDMAMem")(data, 4);
    EXPECT_EQ(freeze(1, record.data()), 1);
    EXPECT_EQ(record[6], 0);
    EXPECT_EQ(record[16 + 4], 0x34);
    EXPECT_EQ(record[528 + 0x800], 0x11);
    EXPECT_EQ(record[kRecordBytes - 1], 0);

    write(0x1F801C04, 0);
    write(0x1F801DA6, 0x0100);
    uint16_t zeros[4] = {};
    Get<DmaMemFn>("SPUwriteDMAMem")(zeros, 4);
    EXPECT_EQ(freeze(0, record.data()), 1);
    EXPECT_EQ(read(0x1F801C04), 0x1234);
    write(0x1F801DA6, 0x0100);
    uint16_t back[4] = {};
    Get<DmaMemFn>("SPUreadDMAMem")(back, 4);
    // The replay stores the transfer-data word (never written: 0) once more
    // at the replayed transfer address, over the first word.
    const uint16_t expected[4] = {0, 0x2222, 0x3333, 0x4444};
    EXPECT_EQ(std::memcmp(back, expected, sizeof back), 0);
    EXPECT_EQ(Get<LifecycleFn>("SPUshutdown")(), 0);
}

}  // namespace
