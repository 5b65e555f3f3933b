#pragma once

#include <windows.h>

namespace tavorline {
class Configuration;
class UiSink;
}  // namespace tavorline

namespace tavorline::win {

class EventLoop;

// The settings dialog `TFSET01`, found by class and caption.
inline constexpr const wchar_t* kSettingsClassName = L"TFSET01";
inline constexpr const wchar_t* kSettingsCaption = L"환경 설정 ";

// The dialog's controls by ID (GetDlgItem), fixed so that a test or a helper
// in another process can find them. The nine fields of the focus order have
// consecutive IDs in that order; each caption's ID is its control's plus
// kSettingsCaptionOffset.
enum class SettingsControl : int {
    CB_TAVO_PORT = 1001,  // combo box, EcPort
    CB_TAVO_SPEED,        // combo box, EcSpeed
    CB_TAVO_TYPE,         // combo box, EcType
    Edt_AdslAddr,         // edit, AdslAddr
    Edt_AdslSPort,        // edit, AdslSPort
    Edt_UPAddr,           // edit, UpAddr
    Edt_UPPort,           // edit, UpPort
    Edt_DNAddr,           // edit, DnAddr
    Edt_DNPort,           // edit, DnPort
    Edt_DscAddr = 1021,   // edit, disabled and covered by the credit row
    Edt_DscPort,          // edit, likewise
    CB_RSA = 1031,        // check box, hidden, RsaYN
    EDT_RSA,              // edit, hidden, RsaPort
    BT_SAVE = 1041,       // "저    장"
    BT_EXIT,              // "닫    기"
    Lab_Disp = 1051,      // "화면표시", shown while the display switch is on
};
inline constexpr int kSettingsCaptionOffset = 100;

// Shows the settings dialog modally and returns once it has closed: true
// when it saved (it reads vorn.Ini when it opens and writes it on save; the
// caller reloads the configuration either way). It runs on `loop`, so the
// terminal and the host go on being served while it is open; it also closes
// when the program is ending. Ctrl+Alt+Shift+F8 in it flips `dispMode`. A
// save that fails goes to `errors` and the dialog stays open. `owner`
// keeps the dialog above the (always on top) main window; none may be given.
// Throws std::system_error when the window cannot be made.
bool runSettingsDialog(EventLoop& loop, Configuration& config, bool& dispMode, UiSink& errors,
                       HWND owner = nullptr);

}  // namespace tavorline::win
