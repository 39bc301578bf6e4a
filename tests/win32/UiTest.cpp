// The dialogs of the real spuZarn.dll on Xvfb under Wine, with no common
// controls registered by this program, as some hosts do not. Each dialog runs
// on a thread of its own; this thread finds it by its caption and works it as
// a user would, every wait bounded. configure.png and realtime.png: screenshots.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <gdiplus.h>

#include <string>
#include <tuple>
#include <vector>

#include "store/RegistrySettings.h"
#include "win32/DllCall.h"
#include "xa/XaDecodeBlock.h"

namespace {

using zarn::test::Call;
using zarn::test::library;

constexpr const char* kKeyPath = zarn::RegistrySettings::kKeyPath;
constexpr const char* kCaption = "Configure Zarn's SPU Audio Driver";
const std::string k1To200 = "You must input correct value[1-200].";

// Polls `done` every 20 ms for up to `seconds`.
template <typename Condition>
bool Eventually(Condition done, int seconds = 10) {
    for (int i = 0; i < seconds * 50 && !done(); ++i) Sleep(20);
    return done();
}

// An export run on a thread of its own, as a host's dialogs run.
class HostThread {
public:
    explicit HostThread(const char* name)
        : thread_(CreateThread(nullptr, 0, Run, const_cast<char*>(name), 0, nullptr)) {}
    ~HostThread() { CloseHandle(thread_); }
    bool Ended() { return WaitForSingleObject(thread_, 10000) == WAIT_OBJECT_0; }

private:
    static DWORD WINAPI Run(LPVOID name) { return Call<uint32_t>(static_cast<const char*>(name)); }
    HANDLE thread_;
};

// The visible top-level dialog of that caption, other than `except` (the
// first window of a fresh Wine prefix can take a while).
HWND WaitForDialog(const char* caption, HWND except = nullptr) {
    HWND found = nullptr;
    Eventually(
        [&] {
            for (HWND w = nullptr; (w = FindWindowExA(nullptr, w, "#32770", caption)) != nullptr;) {
                if (w != except && IsWindowVisible(w)) found = w;
            }
            return found != nullptr;
        },
        30);
    return found;
}

// Messages to another thread's windows, bounded in time.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
    return static_cast<LRESULT>(result);
}
std::string TextOf(HWND window) {
    char text[512] = {};
    Send(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}
std::string ItemText(HWND dialog, int id) { return TextOf(GetDlgItem(dialog, id)); }
void SetItemText(HWND dialog, int id, const char* text) {
    Send(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}
bool Checked(HWND dialog, int id) { return Send(GetDlgItem(dialog, id), BM_GETCHECK) == BST_CHECKED; }
void Press(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

std::string EditTexts(HWND dialog) {
    std::string texts;
    for (const int id : {1000, 1004, 1016, 1019, 1023}) texts += ItemText(dialog, id) + " ";
    return texts;
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM texts) {
    char name[16] = {};
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") == 0 && !TextOf(child).empty())
        *reinterpret_cast<std::string*>(texts) += TextOf(child);
    return TRUE;
}

// Waits for the message box of that caption, owned by `owner`, returns its
// text, and closes it with OK.
std::string ReadMessageBox(const char* caption, HWND owner) {
    const HWND box = WaitForDialog(caption);
    if (box == nullptr) return "(no message box)";
    std::string text;
    EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&text));
    if (GetWindow(box, GW_OWNER) != owner) text += " (wrong owner)";
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    if (!Eventually([&] { return !IsWindow(box); })) text += " (still open)";
    return text;
}

// The window as it is on the screen, saved as a PNG file by GDI+.
void SaveScreenshot(HWND window, const wchar_t* file) {
    Sleep(500);  // let it paint
    RECT r;
    GetWindowRect(window, &r);
    const HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    ULONG_PTR gdiplus;
    const Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr);
    CLSID png;
    CLSIDFromString(L"{557CF406-1A04-11D3-9A73-0000F81EF32E}", &png);  // GDI+'s PNG encoder
    Gdiplus::Bitmap(bitmap, nullptr).Save(file, &png, nullptr);
    Gdiplus::GdiplusShutdown(gdiplus);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

std::vector<DWORD> StoredValues() {
    std::vector<DWORD> values;
    for (const char* name : {"SoundBufferSize", "XABufferSize", "ShowRealtimeConfigWindow", "HighResolutionMode",
                             "EnableReverb", "EnableSpuIrq", "XAVolume", "ReverbVolume", "TickParSecond"}) {
        DWORD value = 0xDEAD, size = sizeof value;
        RegGetValueA(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
        values.push_back(value);
    }
    return values;
}
const std::vector<DWORD> kDefaults = {8, 48, 0, 1, 0, 1, 75, 50, 100};

class UiTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(library = LoadLibraryA("spuZarn.dll"), nullptr); }
    void TearDown() override {
        Call<int32_t>("SPUshutdown");  // closes a run a failed test left open
        FreeLibrary(library);
    }
};

TEST_F(UiTest, ConfigureDialog) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kKeyPath);
    {
        HostThread host("SPUconfigure");
        const HWND dialog = WaitForDialog(kCaption);
        ASSERT_NE(dialog, nullptr) << "no configure dialog";
        EXPECT_EQ(EditTexts(dialog), "8 48 75 50 100 ");
        EXPECT_EQ(std::vector<bool>(
                      {Checked(dialog, 1003), Checked(dialog, 1011), Checked(dialog, 1012), Checked(dialog, 1021)}),
                  std::vector<bool>({true, false, true, false}));
        EXPECT_EQ(ItemText(dialog, 1020), "Record ");
        for (const int arrows : {1002, 1005, 1015, 1014, 1022}) {
            EXPECT_EQ(Send(GetDlgItem(dialog, arrows), UDM_GETRANGE), MAKELONG(200, arrows <= 1005 ? 1 : 0)) << arrows;
        }
        SaveScreenshot(dialog, L"configure.png");

        // OK refuses the first bad number in order and keeps the dialog open.
        SetItemText(dialog, 1000, "0");
        Press(dialog, IDOK);
        EXPECT_EQ(ReadMessageBox("Sound buffer size", dialog), k1To200);
        SetItemText(dialog, 1000, "16");
        SetItemText(dialog, 1016, "150");
        SetItemText(dialog, 1023, "-5");
        Press(dialog, IDOK);
        EXPECT_EQ(ReadMessageBox("XA volume", dialog), "You must input correct value[0-100].");
        SetItemText(dialog, 1016, "60");
        SetItemText(dialog, 1023, "");
        Press(dialog, IDOK);
        EXPECT_EQ(ReadMessageBox("Recording tempo", dialog), k1To200);
        Press(dialog, 1020);
        EXPECT_EQ(ReadMessageBox("SPU Record", dialog), "You can use this function while emulating.");

        SetItemText(dialog, 1004, "64");
        SetItemText(dialog, 1019, "40");
        SetItemText(dialog, 1023, "150");
        for (const int box : {1003, 1011, 1021}) Press(dialog, box);
        Press(dialog, IDOK);
        ASSERT_TRUE(host.Ended());
    }
    const std::vector<DWORD> entered = {16, 64, 1, 0, 1, 1, 60, 40, 150};
    EXPECT_EQ(StoredValues(), entered);

    // Default, then Cancel: the store keeps what it had; Default, then OK:
    // the store gets the defaults.
    for (const int end : {IDCANCEL, IDOK}) {
        HostThread host("SPUconfigure");
        const HWND dialog = WaitForDialog(kCaption);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(ItemText(dialog, 1000), "16");  // the store as it is
        Press(dialog, 1006);
        EXPECT_TRUE(Eventually([&] { return EditTexts(dialog) == "8 48 75 50 100 "; }));
        Press(dialog, end);
        ASSERT_TRUE(host.Ended());
        EXPECT_EQ(StoredValues(), end == IDCANCEL ? entered : kDefaults);
    }
}

// Queues XA audio (a constant 10000 at 44100 Hz) and renders a frame of it:
// its left sample. The sound thread drains the queue as well; should it have
// drained it all in between, the frame is silent and is taken again.
int16_t XaOutput() {
    static zarn::XaDecodeBlock block{44100, 16, 0, zarn::XaDecodeBlock::kMaxSamples, {}, {}};
    for (int16_t& sample : block.samples) sample = 10000;
    int16_t frame[2] = {};
    for (int i = 0; i < 10 && frame[0] == 0; ++i) {
        Call("SPUplayADPCMchannel", &block);
        Call("SPUrender", frame, uint32_t{sizeof frame});
    }
    return frame[0];
}

// One click on the up arrow of an up-down control, then the buddy's new text.
std::string ClickUp(HWND window, int arrows, int edit) {
    const std::string before = ItemText(window, edit);
    RECT r;
    GetClientRect(GetDlgItem(window, arrows), &r);
    const LPARAM point = MAKELPARAM(r.right / 2, r.bottom / 4);
    PostMessageA(GetDlgItem(window, arrows), WM_LBUTTONDOWN, MK_LBUTTON, point);
    PostMessageA(GetDlgItem(window, arrows), WM_LBUTTONUP, 0, point);
    Eventually([&] { return ItemText(window, edit) != before; });
    return ItemText(window, edit);
}

TEST_F(UiTest, RealtimeWindow) {
    RegDeleteKeyA(HKEY_CURRENT_USER, kKeyPath);
    const DWORD on = 1;
    RegSetKeyValueA(HKEY_CURRENT_USER, kKeyPath, "ShowRealtimeConfigWindow", REG_DWORD, &on, sizeof on);
    ASSERT_EQ(Call<int32_t>("SPUinit"), 0);
    for (const uint32_t address : {0x1F801D80u, 0x1F801D82u}) Call("SPUwriteRegister", address, 0x3FFFu);
    for (const uint32_t address : {0x1F801DB0u, 0x1F801DB2u}) Call("SPUwriteRegister", address, 0x7FFFu);
    Call<int32_t>("SPUopen", HWND{});
    const HWND window = WaitForDialog(kCaption);
    ASSERT_NE(window, nullptr) << "no real-time window";
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_EQ(std::tuple(r.left, r.top), std::tuple(0L, 0L));
    EXPECT_TRUE(!IsWindowEnabled(GetDlgItem(window, 1021)) && Checked(window, 1021));
    EXPECT_EQ(ItemText(window, 1020), "Record");
    EXPECT_NE(GetWindowLongA(GetDlgItem(window, 1016), GWL_STYLE) & ES_READONLY, 0);
    SaveScreenshot(window, L"realtime.png");

    // The XA volume arrow: 75 becomes 76 in the mix at once.
    const int16_t at75 = XaOutput();
    ASSERT_GT(at75, 1000);
    ASSERT_EQ(ClickUp(window, 1015, 1016), "76");
    EXPECT_NEAR(XaOutput(), at75 * 76 / 75.0, 2);

    // Record twice: the log of the writes in between.
    DeleteFileA("spuZarn.pss");
    Press(window, 1020);
    EXPECT_TRUE(Eventually([&] { return ItemText(window, 1020) == "Recording..."; }));
    for (uint32_t i = 0; i < 3; ++i) Call("SPUwriteRegister", 0x1F801C00u, i);
    Press(window, 1020);
    EXPECT_TRUE(Eventually([&] { return ItemText(window, 1020) == "Record"; }));
    WIN32_FILE_ATTRIBUTE_DATA log{};
    EXPECT_TRUE(GetFileAttributesExA("spuZarn.pss", GetFileExInfoStandard, &log));
    EXPECT_EQ(log.nFileSizeLow, 524808u + 3 * 12);

    // SPUconfigure during the run edits a record of its own: its Default and
    // OK reach the store, not the live settings, which the window goes on
    // editing.
    {
        HostThread host("SPUconfigure");
        const HWND dialog = WaitForDialog(kCaption, window);
        ASSERT_NE(dialog, nullptr);
        Press(dialog, 1006);
        Press(dialog, IDOK);
        ASSERT_TRUE(host.Ended());
    }
    EXPECT_EQ(StoredValues(), kDefaults);
    EXPECT_NEAR(XaOutput(), at75 * 76 / 75.0, 2);
    ASSERT_EQ(ClickUp(window, 1015, 1016), "77");
    EXPECT_NEAR(XaOutput(), at75 * 77 / 75.0, 2);

    EXPECT_EQ(Call<int32_t>("SPUclose"), 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(Call<int32_t>("SPUshutdown"), 0);
}

}  // namespace
