// A dialog's controls in memory: texts and check marks by control id. Like a
// real edit, a text set while `dialog` is given tells it of the change at
// once, also while it fills its controls (the Record button is no edit).
#pragma once

#include <map>
#include <string>

#include "ui/SettingsDialog.h"

namespace zarn::test {

class FakeSurface : public ui::DialogSurface {
public:
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
    ui::SettingsDialog* dialog = nullptr;

    // A user's typing and click; whether the dialog handled it.
    bool Type(int id, const std::string& text) {
        texts[id] = text;
        return dialog->Command(*this, id, ui::kEditChanged);
    }
    bool Click(int id) {
        checks[id] = !checks[id];
        return dialog->Command(*this, id, 0);
    }

    std::string Text(int id) override { return texts[id]; }
    void SetText(int id, const char* text) override {
        texts[id] = text;
        if (dialog != nullptr && id != ui::control::kRecord) dialog->Command(*this, id, ui::kEditChanged);
    }
    bool IsChecked(int id) override { return checks[id]; }
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    void SetRange(int, int, int) override {}
    void Disable(int) override {}
    void MakeReadOnly(int) override {}
    void ShowMessage(const char*, const char*) override {}
    void End(int) override {}
};

}  // namespace zarn::test
