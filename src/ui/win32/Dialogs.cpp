// The settings dialogs on Win32: template 101 run by the dialog manager,
// each DialogSurface call mapped onto its dialog function. The dialog object
// rides in the window's user slot from WM_INITDIALOG on.
#include "ui/Dialogs.h"

#include <windows.h>
#include <commctrl.h>

#include "platform/SpuLock.h"
#include "settings/DriverSettings.h"

namespace zarn::ui {

namespace {

class DialogWindow : public DialogSurface {
public:
    explicit DialogWindow(HWND window) : window_(window) {}

    std::string Text(int id) override {
        const HWND control = GetDlgItem(window_, id);
        std::string text(static_cast<size_t>(GetWindowTextLengthA(control)) + 1, '\0');
        text.resize(static_cast<size_t>(GetWindowTextA(control, text.data(), static_cast<int>(text.size()))));
        return text;
    }
    void SetText(int id, const char* text) override { SetDlgItemTextA(window_, id, text); }
    bool IsChecked(int id) override { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
    void SetChecked(int id, bool checked) override {
        CheckDlgButton(window_, id, checked ? BST_CHECKED : BST_UNCHECKED);
    }
    void SetRange(int id, int lowest, int highest) override {
        SendDlgItemMessageA(window_, id, UDM_SETRANGE, 0, MAKELPARAM(highest, lowest));
    }
    void Disable(int id) override { EnableWindow(GetDlgItem(window_, id), FALSE); }
    void MakeReadOnly(int id) override { SendDlgItemMessageA(window_, id, EM_SETREADONLY, TRUE, 0); }
    void ShowMessage(const char* text, const char* caption) override {
        MessageBoxA(window_, text, caption, MB_OK | MB_ICONEXCLAMATION);
    }
    void End(int result) override { EndDialog(window_, result); }

private:
    HWND window_;
};

INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            DialogWindow surface(window);
            reinterpret_cast<SettingsDialog*>(lParam)->Initialise(surface);
            return TRUE;
        }
        auto* const dialog = reinterpret_cast<SettingsDialog*>(GetWindowLongPtrA(window, DWLP_USER));
        if (message != WM_COMMAND || dialog == nullptr) return FALSE;
        DialogWindow surface(window);
        return dialog->Command(surface, LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    } catch (...) {
        return FALSE;  // nothing escapes into the window system
    }
}

INT_PTR CALLBACK ConfigureDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return Handle(window, message, wParam, lParam);
}

// Every message, whatever it is, is handled with the SPU lock held.
INT_PTR CALLBACK RealtimeDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const SpuLockGuard lock;
    return Handle(window, message, wParam, lParam);
}

// Hosts need not have registered the up-down class "msctls_updown32" that
// template 101 uses: without it neither dialog could be created.
void RegisterUpDownClass() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
}

LPARAM CreationParameter(SettingsDialog& dialog) { return reinterpret_cast<LPARAM>(&dialog); }

}  // namespace

int RunConfigureDialog(ConfigureDialog& dialog, void* moduleInstance) {
    RegisterUpDownClass();
    return static_cast<int>(DialogBoxParamA(static_cast<HINSTANCE>(moduleInstance), MAKEINTRESOURCEA(kDialogTemplate),
                                            static_cast<HWND>(dialog.DialogTarget.OwnerWindow), ConfigureDialogProc,
                                            CreationParameter(dialog)));
}

void ShowAbout(const char* caption) { MessageBoxA(nullptr, kAboutText, caption, MB_OK | MB_TASKMODAL | MB_TOPMOST); }

void* CreateRealtimeWindow(RealtimeDialog& dialog, void* moduleInstance) {
    RegisterUpDownClass();
    const HWND window = CreateDialogParamA(static_cast<HINSTANCE>(moduleInstance), MAKEINTRESOURCEA(kDialogTemplate),
                                           nullptr, RealtimeDialogProc, CreationParameter(dialog));
    if (window != nullptr) ShowWindow(window, SW_SHOWNA);  // the host's window keeps the focus
    return window;
}

void DispatchWindowMessages(void* window) {
    if (window == nullptr) return;
    MSG message;
    while (PeekMessageA(&message, static_cast<HWND>(window), 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void DestroyRealtimeWindow(void* window) {
    if (window != nullptr) DestroyWindow(static_cast<HWND>(window));
}

}  // namespace zarn::ui
