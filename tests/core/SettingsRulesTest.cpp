// Field texts read as the configure dialog reads its numbers.
#include <gtest/gtest.h>

#include "settings/SettingsRules.h"

namespace zarn {
namespace {

TEST(SettingsRulesTest, OnlyPlainDecimalTextIsANumber) {
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"8", 8}, {"  200", 200}, {"0", 0},   {"4294967295", -1},  // 32 bits, compared as signed
        {"", {}}, {" ", {}},      {"-5", {}}, {"+5", {}},         {"12a", {}}, {"1 2", {}}, {"4294967296", {}}};
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseSettingNumber(text), value) << '"' << text << '"';
    // The dialog's order and ranges: 0 is refused as a sound buffer size, 150 as a volume.
    EXPECT_STREQ(kSettingRules[0].caption, "Sound buffer size");
    EXPECT_FALSE(Accepts(kSettingRules[0], 0));
    EXPECT_FALSE(Accepts(kSettingRules[2], 150));
    EXPECT_TRUE(Accepts(kSettingRules[4], 200));
    EXPECT_STREQ(kSettingRules[4].message, "You must input correct value[1-200].");
}

}  // namespace
}  // namespace zarn
