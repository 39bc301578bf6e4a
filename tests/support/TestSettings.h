// A settings record that lives in memory only, for tests of the core.
#pragma once

#include "settings/DriverSettings.h"

namespace zarn::test {

class TestSettings : public DriverSettings {
public:
    void Load() override { SetDefaults(); }
    void Save() override {}
};

}  // namespace zarn::test
