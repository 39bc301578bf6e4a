// The REGEDIT4 text store.
#include <gtest/gtest.h>

#include "settings/RegFile.h"

namespace zarn {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn";

TEST(RegFileTest, ReadsFourByteValuesOnly) {
    const RegFile file(
        "REGEDIT4\r\n"
        "\r\n"
        "[hkey_current_user\\software\\VISION THING\\PSEmu Pro\\SPU\\spuZarn]\r\n"
        "\"SoundBufferSize\"=dword:0000000C\r\n"
        "\"XABufferSize\"=hex:30,00,00,80\r\n"
        "\"XAVolume\"=hex(4):01,02,\\\r\n"
        "  03,04\r\n"
        "\"ReverbVolume\"=hex:01,02,03\r\n"
        "\"TickParSecond\"=\"text\"\r\n"
        "\"EnableReverb\"=dword:123456789\r\n"
        "\"EnableSpuIrq\"=hex:01,02,03,04,05\r\n");
    EXPECT_EQ(file.ReadValue(kKey, "soundbuffersize"), 12u);
    EXPECT_EQ(file.ReadValue(kKey, "XABufferSize"), 0x80000030u);
    EXPECT_EQ(file.ReadValue(kKey, "XAVolume"), 0x04030201u);
    EXPECT_EQ(file.ReadValue(kKey, "ReverbVolume"), std::nullopt);
    EXPECT_EQ(file.ReadValue(kKey, "TickParSecond"), std::nullopt);
    EXPECT_EQ(file.ReadValue(kKey, "EnableReverb"), std::nullopt);
    EXPECT_EQ(file.ReadValue(kKey, "EnableSpuIrq"), std::nullopt);
    EXPECT_EQ(file.ReadValue(kKey, "Missing"), std::nullopt);
    EXPECT_EQ(file.ReadValue("HKEY_CURRENT_USER\\Other", "SoundBufferSize"), std::nullopt);
}

TEST(RegFileTest, WritingKeepsEverythingElse) {
    const std::string original =
        "REGEDIT4\n"
        "\n"
        "[HKEY_CURRENT_USER\\Other]\n"
        "\"SoundBufferSize\"=dword:00000001\n"
        "; a comment\n"
        "\n"
        "[HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn]\n"
        "\"Blob\"=hex:01,\\\n"
        "  02\n"
        "\"XAVolume\"=dword:00000010\n"
        "\n"
        "[HKEY_CURRENT_USER\\Third]\n"
        "@=\"default\"\n";
    RegFile file(original);
    file.WriteDword(kKey, "XAVolume", 0x64);
    file.WriteDword(kKey, "TickParSecond", 0xDEADBEEF);
    EXPECT_EQ(file.Text(),
              "REGEDIT4\n"
              "\n"
              "[HKEY_CURRENT_USER\\Other]\n"
              "\"SoundBufferSize\"=dword:00000001\n"
              "; a comment\n"
              "\n"
              "[HKEY_CURRENT_USER\\Software\\Vision Thing\\PSEmu Pro\\SPU\\spuZarn]\n"
              "\"Blob\"=hex:01,\\\n"
              "  02\n"
              "\"XAVolume\"=dword:00000064\n"
              "\"TickParSecond\"=dword:deadbeef\n"
              "\n"
              "[HKEY_CURRENT_USER\\Third]\n"
              "@=\"default\"\n");
    EXPECT_EQ(RegFile(file.Text()).ReadValue(kKey, "TickParSecond"), 0xDEADBEEFu);
    EXPECT_EQ(RegFile(file.Text()).ReadValue("HKEY_CURRENT_USER\\Other", "SoundBufferSize"), 1u);
}

TEST(RegFileTest, NewFileGetsTheExportHeader) {
    RegFile file;
    EXPECT_FALSE(file.HasKey(kKey));
    file.AddKey(kKey);
    EXPECT_TRUE(file.HasKey(kKey));
    file.WriteDword(kKey, "SoundBufferSize", 8);
    EXPECT_EQ(file.Text(), std::string("REGEDIT4\n\n[") + kKey + "]\n\"SoundBufferSize\"=dword:00000008\n");
}

}  // namespace
}  // namespace zarn
