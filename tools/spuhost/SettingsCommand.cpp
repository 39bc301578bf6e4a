#include "spuhost/SettingsCommand.h"

#include <cstdio>
#include <string_view>

#include "settings/SettingsRules.h"
#include "spuhost/ToolError.h"
#include "store/RegistryKey.h"
#include "store/RegistrySettings.h"

namespace spuhost {

namespace {

using zarn::kSettingRules;
using zarn::SettingRule;

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

const SettingRule* FindRule(std::string_view name) {
    for (const SettingRule& rule : kSettingRules) {
        if (SameName(rule.name, name)) return &rule;
    }
    return nullptr;
}

void Show(const zarn::RegistrySettings& settings) {
    std::printf("%s\n", zarn::RegistryKey::Location(settings.KeyPath).c_str());
    for (const SettingRule& rule : kSettingRules) {
        const bool number = &rule - kSettingRules < zarn::kNumberRules;
        std::printf("  %-25s %5d   %s [%d-%d]%s\n", rule.name, settings.*rule.field, rule.caption, rule.lowest,
                    rule.highest, number ? "" : " (switch)");
    }
}

}  // namespace

void Settings(const std::vector<std::string>& assignments) {
    // Loading creates the store with the defaults on a first run, as the
    // plugin's own first SPUinit would.
    zarn::RegistrySettings settings;
    settings.Load();
    if (assignments.empty()) {
        Show(settings);
        return;
    }

    std::string refused;
    for (const std::string& assignment : assignments) {
        const size_t equals = assignment.find('=');
        const std::string name = assignment.substr(0, equals);
        const SettingRule* rule = FindRule(name);
        if (equals == std::string::npos || rule == nullptr) {
            std::string known;
            for (const SettingRule& each : kSettingRules) known += std::string(known.empty() ? "" : ", ") + each.name;
            refused += (equals == std::string::npos ? "\"" + assignment + "\" is not NAME=VALUE"
                                                    : "unknown setting \"" + name + "\"") +
                       "; the settings are " + known + "\n";
            continue;
        }
        const std::string text = assignment.substr(equals + 1);
        const std::optional<int32_t> value = zarn::ParseSettingNumber(text);
        if (!value || !zarn::Accepts(*rule, *value)) {
            refused += std::string(rule->name) + "=" + text + ": " + rule->caption + ": " + rule->message + "\n";
            continue;
        }
        settings.*rule->field = *value;
    }
    if (!refused.empty()) {
        refused.pop_back();
        throw ToolError(refused + "\nnothing was saved");
    }
    settings.Save();
    // The store may refuse the values (a read-only file, a folder that
    // cannot be made): what counts is what a fresh load finds.
    zarn::RegistrySettings saved;
    saved.Load();
    for (const SettingRule& rule : kSettingRules) {
        if (saved.*rule.field != settings.*rule.field) {
            throw ToolError("the settings could not be saved in " + zarn::RegistryKey::Location(settings.KeyPath));
        }
    }
    Show(saved);
}

}  // namespace spuhost
