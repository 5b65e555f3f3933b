// The Windows settings dialog against a real vorn.Ini, driven the way the
// staff drive it: key messages to the focused control, typed text, clicks.
// Each test runs its steps inside the dialog's own modal loop.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ui_sink.h"
#include "support/configuration.h"
#include "temp_folder.h"
#include "windows/desktop/settings_dialog.h"
#include "windows/event_loop.h"

namespace tavorline::win {
namespace {

using testing::readBytes;
using testing::writeBytes;
using Id = SettingsControl;

// "가맹점" in CP949.
constexpr char kShopCp949[] = "\xB0\xA1\xB8\xCD\xC1\xA1";

class NoVersions : public VersionSource {
public:
    std::optional<VersionStrings> read() const override { return std::nullopt; }
};

// The dialog only ever reports errors.
class ErrorsShown : public UiSink {
public:
    void showStatus(BytesView) override {}
    void setTitle(BytesView) override {}
    void setAddress(BytesView) override {}
    void setDisplayField(DisplayField, BytesView) override {}
    void clearDisplay() override {}
    void showDisplayWindow() override {}
    void reportError(BytesView message) override { texts.emplace_back(message); }
    std::vector<Bytes> texts;
};

class WinSettingsDialog : public ::testing::Test {
protected:
    void SetUp() override { writeIni("EcPort=6\r\nEcSpeed=9600\r\n"); }

    void writeIni(const std::string& keys) { writeBytes(folder / "vorn.Ini", "[VORN]\r\n" + keys); }
    std::string ini() const { return readBytes(folder / "vorn.Ini"); }

    // Opens the dialog, runs `steps` on it from within its loop and closes
    // it if they left it open; true when it saved.
    bool open(std::function<void()> steps) {
        config.Load_Config();
        steps_ = std::move(steps);
        running_ = this;
        SetTimer(nullptr, 0, 0, &runSteps);
        return runSettingsDialog(loop, config, dispMode, errors);
    }

    HWND control(Id id) const { return GetDlgItem(dialog, static_cast<int>(id)); }
    int focused() const { return GetDlgCtrlID(GetFocus()); }
    int selection(Id list) const {
        return static_cast<int>(SendMessageW(control(list), CB_GETCURSEL, 0, 0));
    }
    void type(Id edit, const wchar_t* text) { SetWindowTextW(control(edit), text); }
    void click(Id button) {
        SendMessageW(control(button), BM_CLICK, 0, 0);
        settle();
    }

    // A key pressed while the focused control has the keyboard, with the
    // modifier keys held that the keyboard state says, as Windows would
    // deliver it: Alt turns it into a system key.
    void press(WORD key, std::initializer_list<BYTE> modifiers = {}) {
        BYTE saved[256];
        GetKeyboardState(saved);
        BYTE held[256] = {};
        bool alt = false;
        for (BYTE modifier : modifiers) {
            held[modifier] = 0x80;
            alt = alt || modifier == VK_MENU;
        }
        SetKeyboardState(held);
        const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
        const LPARAM down = scan | 1 | (alt ? 1 << 29 : 0);
        const HWND target = GetFocus();
        PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key, down);
        PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, key, down | 0xC0000000);
        settle();
        SetKeyboardState(saved);
    }

    // Handles what is queued, as the loop would next.
    void settle() {
        for (int round = 0; round < 100 && loop.runOnce(0); ++round) {
        }
    }

    testing::TempFolder folder;
    NoVersions versions;
    Configuration config{folder.path(), versions};
    ErrorsShown errors;
    EventLoop loop;
    bool dispMode = false;
    HWND dialog = nullptr;

private:
    // ctest runs the tests in parallel in one Wine prefix: FindWindowW would
    // find another's dialog as well.
    static HWND dialogOfThisThread() {
        HWND found = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), &noteDialog, reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static BOOL CALLBACK noteDialog(HWND window, LPARAM found) {
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (std::wstring_view(className) != kSettingsClassName) return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }

    static void CALLBACK runSteps(HWND, UINT, UINT_PTR timer, DWORD) {
        KillTimer(nullptr, timer);
        WinSettingsDialog& test = *running_;
        test.dialog = dialogOfThisThread();
        ASSERT_NE(test.dialog, nullptr);
        test.steps_();
        if (IsWindow(test.dialog)) PostMessageW(test.dialog, WM_CLOSE, 0, 0);
    }

    static inline WinSettingsDialog* running_ = nullptr;
    std::function<void()> steps_;
};

// Keys new to the file are appended, so the file shows the order of the
// writes. A missing key shows and saves as "Empty", type "D" and port "Empty"
// are no item (the first is saved), "y" is not "Y", a field left alone keeps
// bytes that are no CP949, a typed one is saved in CP949, DSC never. A value
// the file cannot hold stops the save with the reason shown, and the dialog
// stays open for the next try.
TEST_F(WinSettingsDialog, SavesWhatItShowsKeyByKey) {
    writeIni("EcType=D\r\nRsaYN=y\r\nDnAddr=\xFF\x80shop\xA1\r\nDscAddr=10.1.1.1\r\n");
    const bool saved = open([this] {
        EXPECT_EQ(selection(Id::CB_TAVO_TYPE), 0);
        type(Id::Edt_AdslAddr, L"10.0.0.1\r\nx");
        click(Id::BT_SAVE);
        ASSERT_EQ(errors.texts.size(), 1u);
        EXPECT_EQ(errors.texts[0], "Unable to write to " + config.iniPath());
        ASSERT_TRUE(IsWindowVisible(dialog));

        type(Id::Edt_AdslAddr, L"Empty");
        type(Id::Edt_AdslSPort, L"가맹점");
        SendMessageW(control(Id::CB_TAVO_SPEED), CB_SETCURSEL, 7, 0);
        click(Id::BT_SAVE);
    });

    EXPECT_TRUE(saved);
    EXPECT_EQ(ini(),
              "[VORN]\r\nEcType=A\r\nRsaYN=N\r\nDnAddr=\xFF\x80shop\xA1\r\nDscAddr=10.1.1.1\r\n"
              "AdslAddr=Empty\r\nAdslSPort=" +
                  std::string(kShopCp949) +
                  "\r\nUpAddr=Empty\r\nUpPort=Empty\r\nDnPort=Empty\r\n"
                  "EcPort=1\r\nEcSpeed=115200\r\nRsaPort=Empty\r\n");
}

// Enter and the arrows go round the nine fields in reading order; they
// never change a list's selection or save. Escape leaves without writing,
// whatever was edited. The program's other windows wait meanwhile.
TEST_F(WinSettingsDialog, KeysMoveTheFocusRoundAndEscapeWritesNothing) {
    const std::string before = ini();
    const HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                       nullptr, nullptr, nullptr, nullptr);
    const bool saved = open([this, other] {
        EXPECT_FALSE(IsWindowEnabled(other));
        EXPECT_EQ(focused(), static_cast<int>(Id::CB_TAVO_PORT));
        const int first = static_cast<int>(Id::CB_TAVO_PORT);
        for (int step = 1; step <= 9; ++step) {
            press(VK_RETURN);
            EXPECT_EQ(focused(), first + step % 9) << "after Enter number " << step;
        }
        press(VK_UP);
        EXPECT_EQ(focused(), static_cast<int>(Id::Edt_DNPort));
        press(VK_DOWN);
        press(VK_DOWN);
        EXPECT_EQ(focused(), static_cast<int>(Id::CB_TAVO_SPEED));
        press(VK_UP);
        EXPECT_EQ(selection(Id::CB_TAVO_PORT), 5);
        EXPECT_EQ(selection(Id::CB_TAVO_SPEED), 3);

        type(Id::Edt_AdslAddr, L"10.9.9.9");
        press(VK_ESCAPE);
    });

    EXPECT_FALSE(saved);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_EQ(ini(), before);
    EXPECT_TRUE(IsWindowEnabled(other));
    DestroyWindow(other);
}

// Only the whole chord counts; the switch outlives the dialog, whose label
// follows it. A program that ends takes the dialog with it.
TEST_F(WinSettingsDialog, ChordSwitchesTheDisplayModeAndTheProgramsEndClosesTheDialog) {
    open([this] {
        press(VK_F8, {VK_CONTROL, VK_MENU});
        EXPECT_FALSE(dispMode);
        press(VK_F8, {VK_CONTROL, VK_MENU, VK_SHIFT});
        EXPECT_TRUE(dispMode);
        EXPECT_TRUE(IsWindowVisible(control(Id::Lab_Disp)));
        press(VK_F8, {VK_CONTROL, VK_MENU, VK_SHIFT});
        EXPECT_FALSE(dispMode);
        EXPECT_FALSE(IsWindowVisible(control(Id::Lab_Disp)));
    });

    dispMode = true;
    const bool saved = open([this] {
        EXPECT_TRUE(IsWindowVisible(control(Id::Lab_Disp)));
        loop.quit(0);
    });
    EXPECT_FALSE(saved);
    EXPECT_FALSE(IsWindow(dialog));
}

}  // namespace
}  // namespace tavorline::win
