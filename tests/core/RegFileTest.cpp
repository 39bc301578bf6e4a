// The REGEDIT4 text store, and numbers as the settings editors read them.
#include <gtest/gtest.h>

#include <utility>

#include "settings/RegFile.h"
#include "settings/SettingsRules.h"

namespace zarn {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn";

TEST(RegFileTest, ReadsFourByteValuesOnly) {
    // Keys and names in any case, CRLF line ends, a hex value continued on the next line.
    const RegFile file(
        "REGEDIT4\r\n\r\n[hkey_current_user\\software\\VISION THING\\PSEmu Pro\\SPU\\spuZarn]\r\n"
        "\"SoundBufferSize\"=dword:0000000C\r\n\"XABufferSize\"=hex:30,00,00,80\r\n"
        "\"XAVolume\"=hex(4):01,02,\\\r\n  03,04\r\n\"ReverbVolume\"=hex:01,02,03\r\n"
        "\"TickParSecond\"=\"text\"\r\n\"EnableReverb\"=dword:123456789\r\n\"EnableSpuIrq\"=hex:01,02,03,04,05\r\n");
    const std::pair<const char*, std::optional<uint32_t>> values[] = {
        {"soundbuffersize", 12u},       {"XABufferSize", 0x80000030u},   {"XAVolume", 0x04030201u},
        {"ReverbVolume", std::nullopt}, {"TickParSecond", std::nullopt}, {"EnableReverb", std::nullopt},
        {"EnableSpuIrq", std::nullopt}, {"Missing", std::nullopt}};
    for (const auto& [name, expected] : values) EXPECT_EQ(file.ReadValue(kKey, name), expected) << name;
    EXPECT_EQ(file.ReadValue("HKEY_CURRENT_USER\\Other", "SoundBufferSize"), std::nullopt);
}

TEST(SettingsRulesTest, OnlyPlainDecimalTextIsANumber) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"8", 8}, {"  200", 200}, {"0", 0},   {"4294967295", -1},  // 32 bits, compared as signed
        {"", {}}, {" ", {}},      {"-5", {}}, {"+5", {}},         {"12a", {}}, {"1 2", {}}, {"4294967296", {}}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseSettingNumber(text), value) << '"' << text << '"';
}

}  // namespace
}  // namespace zarn
