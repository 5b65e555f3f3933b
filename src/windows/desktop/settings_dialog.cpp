#include "windows/desktop/settings_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <system_error>

#include "app/error_guard.h"
#include "app/settings_form.h"
#include "windows/desktop/look.h"
#include "windows/desktop/modal_scope.h"
#include "windows/desktop/settings_layout.h"
#include "windows/event_loop.h"
#include "windows/win_text.h"
#include "windows/window_class.h"

namespace tavorline::win {
namespace {

namespace layout = settings_layout;
using Field = SettingsForm::Field;
using List = SettingsForm::List;
using Id = SettingsControl;

constexpr wchar_t kPortHint[] = L"단말기 포트를 선택합니다";
constexpr wchar_t kSpeedHint[] = L"단말기 접속속도를 지정합니다";
constexpr wchar_t kSaveHint[] = L"입력한 값을 저장 합니다";

// Room for the opened list below a combo box's field.
constexpr int kDropDownHeight = 200;

struct ListCell {
    Id id;
    const wchar_t* caption;
    layout::Row row;
    layout::Column column;
    List list;
    const wchar_t* hint;
};

constexpr ListCell kListCells[] = {
    {Id::CB_TAVO_PORT, L"P C 포트", layout::kPortRow, layout::kLeft, List::EcPort, kPortHint},
    {Id::CB_TAVO_SPEED, L"단말기속도", layout::kSpeedRow, layout::kLeft, List::EcSpeed, kSpeedHint},
    {Id::CB_TAVO_TYPE, L"통 신 유 형", layout::kSpeedRow, layout::kRight, List::EcType, kPortHint},
};

struct EditCell {
    Id id;
    const wchar_t* caption;
    layout::Row row;
    layout::Column column;
    Field field;
};

// The DSC pair first: the credit row, in the very same cells, covers it.
constexpr EditCell kEditCells[] = {
    {Id::Edt_DscAddr, L"신용IP(DSC)", layout::kCreditRow, layout::kLeft, Field::DscAddr},
    {Id::Edt_DscPort, L"신용PORT(DSC)", layout::kCreditRow, layout::kRight, Field::DscPort},
    {Id::Edt_AdslAddr, L"신용 IP  ", layout::kCreditRow, layout::kLeft, Field::AdslAddr},
    {Id::Edt_AdslSPort, L"신용 PORT", layout::kCreditRow, layout::kRight, Field::AdslSPort},
    {Id::Edt_UPAddr, L"PMS  IP  ", layout::kPmsRow, layout::kLeft, Field::UpAddr},
    {Id::Edt_UPPort, L"PMS  PORT", layout::kPmsRow, layout::kRight, Field::UpPort},
    {Id::Edt_DNAddr, L"단말정보 IP  ", layout::kTerminalInfoRow, layout::kLeft, Field::DnAddr},
    {Id::Edt_DNPort, L"단말정보 PORT", layout::kTerminalInfoRow, layout::kRight, Field::DnPort},
};

constexpr int kFirstInFocusOrder = static_cast<int>(Id::CB_TAVO_PORT);
constexpr int kLastInFocusOrder = static_cast<int>(Id::Edt_DNPort);

bool isList(int id) { return id >= kFirstInFocusOrder && id <= static_cast<int>(Id::CB_TAVO_TYPE); }

bool isCaption(int id) { return id >= kFirstInFocusOrder + kSettingsCaptionOffset; }

bool held(int key) { return GetKeyState(key) < 0; }

// Exactly these three: with a Windows key as well it is some other chord.
bool isDisplaySwitchChord(WPARAM key) {
    return key == VK_F8 && held(VK_SHIFT) && held(VK_CONTROL) && held(VK_MENU) && !held(VK_LWIN) &&
           !held(VK_RWIN);
}

std::wstring windowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

[[noreturn]] void throwLastError(const char* what) {
    throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

look::Brush solidBrush(COLORREF colour) { return look::Brush(CreateSolidBrush(colour)); }

class SettingsWindow {
public:
    SettingsWindow(EventLoop& loop, Configuration& config, bool& dispMode, UiSink& errors,
                   HWND owner);
    ~SettingsWindow();
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Shows the dialog with the focus on the first field.
    void show();
    bool closed() const { return closed_; }
    bool saved() const { return saved_; }

private:
    template <typename T>
    friend LRESULT CALLBACK ::tavorline::win::forwardToObject(HWND, UINT, WPARAM, LPARAM);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void createWindow(HWND owner);
    void destroyWindow();
    void buildCells();
    void buildRsaCell();
    void buildButtons();
    HWND addControl(const wchar_t* className, const wchar_t* text, DWORD style, int id,
                    const RECT& at, DWORD exStyle = 0);
    RECT editorRect(layout::Row row, layout::Column column) const;
    int textHeight() const;
    void addCaption(const wchar_t* caption, Id control, layout::Row row, layout::Column column);
    void addHint(HWND control, const wchar_t* hint);

    void Load_Data();
    void BT_SAVEClick();
    void BT_EXITClick() { closed_ = true; }
    SettingsForm::Entries shownEntries() const;

    bool FormKeyDown(WPARAM key);
    bool FormKeyPress(WPARAM character);
    bool preview(const MSG& message);
    void toggleDispMode();
    void moveFocus(int step);
    void focusField(int id);
    void noteFocus(int id, WORD notification);

    void onCommand(int id, WORD notification);
    void paintCells(HDC dc) const;
    void paintCell(HDC dc, layout::Row row, layout::Column column, bool focused) const;
    void invalidateCellOf(int id);
    LRESULT colourStatic(HDC dc, HWND control);

    HWND item(Id id) const { return GetDlgItem(window_, static_cast<int>(id)); }

    EventLoop& loop_;
    SettingsForm form_;
    bool& dispMode_;
    UiSink& errors_;
    look::Scale scale_;
    look::Font font_;
    look::Font boldFont_;
    look::Brush background_ = solidBrush(layout::kBackground);
    look::Brush captionFill_ = solidBrush(layout::kCaptionFill);
    look::Brush captionBorder_ = solidBrush(layout::kCaptionBorder);
    look::Brush valueFill_ = solidBrush(layout::kValueFill);
    look::Brush valueBorder_ = solidBrush(layout::kValueBorder);
    look::Brush focusedBorder_ = solidBrush(layout::kFocusedBorder);
    HWND window_ = nullptr;
    HWND hints_ = nullptr;
    int lastFocusedId_ = 0;
    bool closed_ = false;
    bool saved_ = false;
};

SettingsWindow::SettingsWindow(EventLoop& loop, Configuration& config, bool& dispMode,
                               UiSink& errors, HWND owner)
    : loop_(loop),
      form_(config),
      dispMode_(dispMode),
      errors_(errors),
      scale_(look::Scale::ofScreen()),
      font_(look::gulimChe(9, scale_)),
      boldFont_(look::gulimChe(9, scale_, true)) {
    createWindow(owner);
    try {
        buildCells();
        buildButtons();
        Load_Data();
    } catch (...) {
        destroyWindow();
        throw;
    }
    ShowWindow(item(Id::Lab_Disp), dispMode_ ? SW_SHOW : SW_HIDE);
    loop_.filterMessages(window_, [this](const MSG& message) { return preview(message); });
}

SettingsWindow::~SettingsWindow() {
    loop_.unfilterMessages(window_);
    destroyWindow();
}

// The window's last messages must not reach an object on its way out.
void SettingsWindow::destroyWindow() {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
}

void SettingsWindow::show() {
    ShowWindow(window_, SW_SHOW);
    focusField(kFirstInFocusOrder);
}

LRESULT SettingsWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            onCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            BT_EXITClick();
            return 0;
        case WM_ACTIVATE:
            // Back from another program, the staff carry on where they were.
            if (LOWORD(wParam) != WA_INACTIVE && lastFocusedId_ != 0) {
                SetFocus(GetDlgItem(window_, lastFocusedId_));
                return 0;
            }
            break;
        case WM_ERASEBKGND: {
            RECT client;
            GetClientRect(window_, &client);
            FillRect(reinterpret_cast<HDC>(wParam), &client, background_.get());
            return 1;
        }
        case WM_PAINT: {
            PAINTSTRUCT paint;
            const HDC dc = BeginPaint(window_, &paint);
            paintCells(dc);
            EndPaint(window_, &paint);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            return colourStatic(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam));
        default:
            break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void SettingsWindow::createWindow(HWND owner) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    registerWindowClass(kSettingsClassName, &forwardToObject<SettingsWindow>, nullptr);
    constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;
    const SIZE client{scale_(layout::kClientSize.cx), scale_(layout::kClientSize.cy)};
    const SIZE frame = look::frameSizeFor(client, kStyle, kExStyle);
    const POINT at = look::centredOnScreen(frame);
    window_ = CreateWindowExW(kExStyle, kSettingsClassName, kSettingsCaption, kStyle, at.x, at.y,
                              frame.cx, frame.cy, owner, nullptr, instance, this);
    if (window_ == nullptr) throwLastError("CreateWindowExW TFSET01");

    const INITCOMMONCONTROLSEX common{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&common);
    hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
    // Without it the hints would be in the system's font, which on Wine
    // and English Windows draws Korean as boxes.
    if (hints_) SendMessageW(hints_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
}

void SettingsWindow::buildCells() {
    const HWND label =
        addControl(L"STATIC", L"화면표시", SS_LEFT | SS_NOPREFIX, static_cast<int>(Id::Lab_Disp),
                   scale_(layout::displaySwitchLabel()));
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(boldFont_.get()), FALSE);

    for (const ListCell& cell : kListCells) {
        addCaption(cell.caption, cell.id, cell.row, cell.column);
        const RECT editor = editorRect(cell.row, cell.column);
        RECT withDropDown = editor;
        withDropDown.bottom += scale_(kDropDownHeight);
        const HWND combo = addControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL,
                                      static_cast<int>(cell.id), withDropDown);
        for (const ValueItem& value : SettingsForm::itemsOf(cell.list)) {
            SendMessageW(combo, CB_ADDSTRING, 0,
                         reinterpret_cast<LPARAM>(wideFromCp949(value.text).c_str()));
        }
        // The closed box as tall as the edit fields; its frame takes the rest.
        constexpr int kComboFrame = 6;
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                     editor.bottom - editor.top - kComboFrame);
        addHint(combo, cell.hint);
    }
    buildRsaCell();
    for (const EditCell& cell : kEditCells) {
        addCaption(cell.caption, cell.id, cell.row, cell.column);
        addControl(L"EDIT", L"", ES_AUTOHSCROLL, static_cast<int>(cell.id),
                   editorRect(cell.row, cell.column), WS_EX_CLIENTEDGE);
    }
    for (Id covered : {Id::Edt_DscAddr, Id::Edt_DscPort}) {
        const int id = static_cast<int>(covered);
        for (int under : {id, id + kSettingsCaptionOffset}) {
            const HWND control = GetDlgItem(window_, under);
            EnableWindow(control, FALSE);
            SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
    }
}

// Kept for the file's sake: its values are loaded and written back unseen.
void SettingsWindow::buildRsaCell() {
    const RECT value = layout::valueCell(layout::kPortRow, layout::kRight);
    addCaption(L"RSA 적용", Id::CB_RSA, layout::kPortRow, layout::kRight);
    addControl(L"BUTTON", L"", BS_AUTOCHECKBOX, static_cast<int>(Id::CB_RSA),
               scale_(layout::checkBoxIn(value)));
    addControl(L"EDIT", L"", ES_AUTOHSCROLL, static_cast<int>(Id::EDT_RSA),
               scale_(layout::besideCheckBoxIn(value)), WS_EX_CLIENTEDGE);
    for (int id : {static_cast<int>(Id::CB_RSA), static_cast<int>(Id::EDT_RSA),
                   static_cast<int>(Id::CB_RSA) + kSettingsCaptionOffset}) {
        ShowWindow(GetDlgItem(window_, id), SW_HIDE);
    }
}

// Plain push buttons, neither of them the default: Enter moves between
// fields and must never save.
void SettingsWindow::buildButtons() {
    const HWND save = addControl(L"BUTTON", L"저    장", BS_PUSHBUTTON,
                                 static_cast<int>(Id::BT_SAVE), scale_(layout::saveButton()));
    addHint(save, kSaveHint);
    addControl(L"BUTTON", L"닫    기", BS_PUSHBUTTON, static_cast<int>(Id::BT_EXIT),
               scale_(layout::exitButton()));
}

HWND SettingsWindow::addControl(const wchar_t* className, const wchar_t* text, DWORD style, int id,
                                const RECT& at, DWORD exStyle) {
    const HWND control = CreateWindowExW(
        exStyle, className, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | style, at.left, at.top,
        at.right - at.left, at.bottom - at.top, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) throwLastError("CreateWindowExW settings control");
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
    return control;
}

void SettingsWindow::addCaption(const wchar_t* caption, Id control, layout::Row row,
                                layout::Column column) {
    addControl(L"STATIC", caption, SS_LEFT | SS_CENTERIMAGE | SS_NOPREFIX,
               static_cast<int>(control) + kSettingsCaptionOffset,
               scale_(layout::captionTextIn(layout::captionCell(row, column))));
}

// An edit field draws its text at the top, so the editors are made as tall
// as a line of text and centred in their cells, rather than filling them.
RECT SettingsWindow::editorRect(layout::Row row, layout::Column column) const {
    constexpr int kFrameAndMargins = 8;
    RECT editor = scale_(layout::editorIn(layout::valueCell(row, column)));
    const int room = editor.bottom - editor.top;
    const int height = std::min(room, textHeight() + scale_(kFrameAndMargins));
    editor.top += (room - height) / 2;
    editor.bottom = editor.top + height;
    return editor;
}

int SettingsWindow::textHeight() const {
    const HDC dc = GetDC(window_);
    const HGDIOBJ previous = SelectObject(dc, font_.get());
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(window_, dc);
    return metrics.tmHeight;
}

void SettingsWindow::addHint(HWND control, const wchar_t* hint) {
    if (hints_ == nullptr) return;
    TTTOOLINFOW tool{};
    // The oldest layout, which every version of the common controls takes.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(hint);
    SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void SettingsWindow::Load_Data() {
    form_.Load_Data();
    for (const EditCell& cell : kEditCells) {
        SetWindowTextW(item(cell.id), wideFromCp949(form_.loaded(cell.field)).c_str());
    }
    SetWindowTextW(item(Id::EDT_RSA), wideFromCp949(form_.loaded(Field::RsaPort)).c_str());
    for (const ListCell& cell : kListCells) {
        SendMessageW(item(cell.id), CB_SETCURSEL, form_.selected(cell.list), 0);
    }
    SendMessageW(item(Id::CB_RSA), BM_SETCHECK, form_.rsaTicked() ? BST_CHECKED : BST_UNCHECKED, 0);
}

// A key that cannot be written stops the save there; the dialog stays open
// with the error shown.
void SettingsWindow::BT_SAVEClick() {
    runGuarded(errors_, [this] {
        form_.save(shownEntries());
        saved_ = true;
        closed_ = true;
    });
}

// A field showing what it was loaded with counts as untouched, even when it
// was edited and changed back: its bytes may be no CP949 at all.
SettingsForm::Entries SettingsWindow::shownEntries() const {
    SettingsForm::Entries shown;
    const auto report = [this, &shown](Id id, Field field) {
        const std::wstring text = windowText(item(id));
        if (text != wideFromCp949(form_.loaded(field))) shown.type(field, cp949FromWide(text));
    };
    for (const EditCell& cell : kEditCells) report(cell.id, cell.field);
    report(Id::EDT_RSA, Field::RsaPort);
    for (const ListCell& cell : kListCells) {
        shown.select(cell.list, static_cast<int>(SendMessageW(item(cell.id), CB_GETCURSEL, 0, 0)));
    }
    shown.rsaTicked = SendMessageW(item(Id::CB_RSA), BM_GETCHECK, 0, 0) == BST_CHECKED;
    return shown;
}

// The dialog sees every key before its controls do: WM_SYSKEYDOWN too, for
// Alt is part of the display switch's chord.
bool SettingsWindow::preview(const MSG& message) {
    switch (message.message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            return FormKeyDown(message.wParam);
        case WM_CHAR:
            return FormKeyPress(message.wParam);
        default:
            return false;
    }
}

// Up and Down always move between fields, so they never change a list's
// selection. Tab does the same as the dialog manager would.
bool SettingsWindow::FormKeyDown(WPARAM key) {
    if (isDisplaySwitchChord(key)) toggleDispMode();
    switch (key) {
        case VK_ESCAPE:
            BT_EXITClick();
            return true;
        case VK_UP:
            moveFocus(-1);
            return true;
        case VK_DOWN:
            moveFocus(+1);
            return true;
        case VK_TAB:
            moveFocus(held(VK_SHIFT) ? -1 : +1);
            return true;
        default:
            return false;
    }
}

// Enter moves to the next field and never reaches the field itself.
bool SettingsWindow::FormKeyPress(WPARAM character) {
    if (character != L'\r') return false;
    moveFocus(+1);
    return true;
}

void SettingsWindow::toggleDispMode() {
    dispMode_ = !dispMode_;
    ShowWindow(item(Id::Lab_Disp), dispMode_ ? SW_SHOW : SW_HIDE);
}

// Round the nine fields in reading order; from anywhere else (a button) to
// the first or the last.
void SettingsWindow::moveFocus(int step) {
    constexpr int kCount = kLastInFocusOrder - kFirstInFocusOrder + 1;
    const HWND focus = GetFocus();
    const int index =
        focus && GetParent(focus) == window_ ? GetDlgCtrlID(focus) - kFirstInFocusOrder : -1;
    int next = step > 0 ? 0 : kCount - 1;
    if (index >= 0 && index < kCount) next = (index + step + kCount) % kCount;
    focusField(kFirstInFocusOrder + next);
}

// As with Tab in any dialog, an edit field is entered with its text selected.
void SettingsWindow::focusField(int id) {
    const HWND field = GetDlgItem(window_, id);
    SetFocus(field);
    if (!isList(id)) SendMessageW(field, EM_SETSEL, 0, -1);
}

void SettingsWindow::onCommand(int id, WORD notification) {
    if (id == static_cast<int>(Id::BT_SAVE) && notification == BN_CLICKED) {
        BT_SAVEClick();
    } else if (id == static_cast<int>(Id::BT_EXIT) && notification == BN_CLICKED) {
        BT_EXITClick();
    } else {
        noteFocus(id, notification);
    }
}

void SettingsWindow::noteFocus(int id, WORD notification) {
    const bool gained = notification == (isList(id) ? CBN_SETFOCUS : EN_SETFOCUS);
    const bool lost = notification == (isList(id) ? CBN_KILLFOCUS : EN_KILLFOCUS);
    if (!gained && !lost) return;
    if (gained) lastFocusedId_ = id;
    invalidateCellOf(id);
}

void SettingsWindow::invalidateCellOf(int id) {
    const auto invalidate = [this](layout::Row row, layout::Column column) {
        const RECT cell = scale_(layout::valueCell(row, column));
        InvalidateRect(window_, &cell, TRUE);
    };
    for (const ListCell& cell : kListCells) {
        if (static_cast<int>(cell.id) == id) invalidate(cell.row, cell.column);
    }
    for (const EditCell& cell : kEditCells) {
        if (static_cast<int>(cell.id) == id) invalidate(cell.row, cell.column);
    }
}

// The editors lie on top and are left alone (WS_CLIPCHILDREN); the covered
// DSC cells come first in the table, so the credit row's paint wins.
void SettingsWindow::paintCells(HDC dc) const {
    const HWND focus = GetFocus();
    const auto focused = [this, focus](Id id) { return focus != nullptr && focus == item(id); };
    for (const ListCell& cell : kListCells) paintCell(dc, cell.row, cell.column, focused(cell.id));
    for (const EditCell& cell : kEditCells) paintCell(dc, cell.row, cell.column, focused(cell.id));
}

void SettingsWindow::paintCell(HDC dc, layout::Row row, layout::Column column, bool focused) const {
    const RECT caption = scale_(layout::captionCell(row, column));
    FillRect(dc, &caption, captionFill_.get());
    FrameRect(dc, &caption, captionBorder_.get());
    const RECT value = scale_(layout::valueCell(row, column));
    FillRect(dc, &value, valueFill_.get());
    FrameRect(dc, &value, focused ? focusedBorder_.get() : valueBorder_.get());
}

LRESULT SettingsWindow::colourStatic(HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    if (id == static_cast<int>(Id::Lab_Disp)) {
        SetTextColor(dc, look::kGreen);
        SetBkColor(dc, layout::kBackground);
        return reinterpret_cast<LRESULT>(background_.get());
    }
    if (isCaption(id)) {
        SetBkColor(dc, layout::kCaptionFill);
        return reinterpret_cast<LRESULT>(captionFill_.get());
    }
    return DefWindowProcW(window_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                          reinterpret_cast<LPARAM>(control));
}

}  // namespace

bool runSettingsDialog(EventLoop& loop, Configuration& config, bool& dispMode, UiSink& errors,
                       HWND owner) {
    ModalScope modal(loop);
    SettingsWindow dialog(loop, config, dispMode, errors, owner);
    dialog.show();
    modal.runUntil([&dialog] { return dialog.closed(); });
    modal.end();
    return dialog.saved();
}

}  // namespace tavorline::win
