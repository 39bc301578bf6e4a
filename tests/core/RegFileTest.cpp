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

TEST(RegFileTest, WritingKeepsEverythingElse) {
    const std::string original =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Other]\n\"SoundBufferSize\"=dword:00000001\n; a comment\n\n"
        "[HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn]\n"
        "\"XAVolume\"=dword:00000010\n\"Blob\"=hex:01,\\\n  02\n\n"
        "[HKEY_CURRENT_USER\\Third]\n@=\"default\"\n";
    RegFile file(original);
    file.WriteDword(kKey, "XAVolume", 0x64);
    file.WriteDword(kKey, "TickParSecond", 0xDEADBEEF);
    // The value replaced in its line, the new one after the key's last line.
    std::string expected = original;
    expected.replace(expected.find("00000010"), 8, "00000064");
    expected.insert(expected.find("\n[HKEY_CURRENT_USER\\Third]"), "\"TickParSecond\"=dword:deadbeef\n");
    EXPECT_EQ(file.Text(), expected);
    EXPECT_EQ(RegFile(file.Text()).ReadValue(kKey, "TickParSecond"), 0xDEADBEEFu);

    // A continuation mark with a stray carriage return after it continues,
    // before and after the text is written back (and fuzz/corpus has such files).
    const RegFile stray(std::string("[") + kKey + "]\r\n\"XAVolume\"=hex:01,02,\\\r\r\n  03,04\r\n");
    EXPECT_EQ(stray.ReadValue(kKey, "XAVolume"), 0x04030201u);
    EXPECT_EQ(RegFile(stray.Text()).ReadValue(kKey, "XAVolume"), 0x04030201u);
}

TEST(SettingsRulesTest, OnlyPlainDecimalTextIsANumber) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"8", 8}, {"  200", 200}, {"0", 0},   {"4294967295", -1},  // 32 bits, compared as signed
        {"", {}}, {" ", {}},      {"-5", {}}, {"+5", {}},         {"12a", {}}, {"1 2", {}}, {"4294967296", {}}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseSettingNumber(text), value) << '"' << text << '"';
}

}  // namespace
}  // namespace zarn
