// The display-mode dialog on Win32: dialog 103 of the library's own resources
// (lumora_win32.rc), run modally, its answer written into fwk.
//
// The close box ends the dialog as cancelled. Posting the quit message there
// instead would leave the dialog up, its modal loop waiting for a click that
// never means anything, and hand the quit to the program's main loop.
//
// With TESSARO_DIALOG_DUMP set, the dialog prints what it shows on standard
// output once it is on screen, in the lines the GTK dialog prints, read back
// from the controls themselves: a test written for one reads the other.
#include "framework/lumora_local_win32.h"

#include <cstdio>  // printf
#include <cstdlib> // getenv
#include <string>

namespace {

// Posted from WM_INITDIALOG: by the time it arrives the dialog is visible.
constexpr UINT kMsgDumpControls = WM_APP + 1;

HFONT s_linkFont = nullptr;

void ReleaseLinkFont() {
    if (s_linkFont != nullptr) {
        DeleteObject(s_linkFont);
        s_linkFont = nullptr;
    }
}

// Integer halves of what the desktop leaves around the dialog; size unchanged.
void CentreOnDesktop(const HWND dialog) {
    RECT desktop{0, 0, 0, 0};
    RECT own{0, 0, 0, 0};
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &own);
    const int width = own.right - own.left;
    const int height = own.bottom - own.top;
    MoveWindow(dialog, (desktop.right - width) / 2, (desktop.bottom - height) / 2, width, height, TRUE);
}

void InitDialog(const HWND dialog) {
    fwk.dialogResult = 0;
    CentreOnDesktop(dialog);
    for (const DisplayModeEntry& mode : kDisplayModes) {
        SendDlgItemMessageA(dialog, IDC_MODE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(mode.text));
    }
    SendDlgItemMessageA(dialog, IDC_MODE_LIST, CB_SETCURSEL, kDefaultModeIndex, 0);
    CheckDlgButton(dialog, IDC_FULLSCREEN, BST_CHECKED);
    ReleaseLinkFont();
    s_linkFont = CreateFontA(19, 0, 0, 0, 400, FALSE, TRUE, FALSE, DEFAULT_CHARSET, OUT_STRING_PRECIS,
                             CLIP_CHARACTER_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, "Times New Roman");
    SendDlgItemMessageA(dialog, IDC_LINK, WM_SETFONT, reinterpret_cast<WPARAM>(s_linkFont), TRUE);
}

void Confirm(const HWND dialog) {
    ResDialogChoice choice{};
    choice.index = static_cast<int>(SendDlgItemMessageA(dialog, IDC_MODE_LIST, CB_GETCURSEL, 0, 0));
    choice.fullscreen = IsDlgButtonChecked(dialog, IDC_FULLSCREEN) == BST_CHECKED;
    choice.playSounds = IsDlgButtonChecked(dialog, IDC_PLAY_SOUNDS) == BST_CHECKED;
    ApplyResChoice(fwk, choice);
    ReleaseLinkFont();
    EndDialog(dialog, fwk.dialogResult);
}

void Cancel(const HWND dialog) {
    fwk.dialogResult = -1;
    ReleaseLinkFont();
    EndDialog(dialog, -1);
}

// ---- the dump ----

std::string WindowText(const HWND window) {
    char text[512] = "";
    GetWindowTextA(window, text, sizeof(text));
    std::string out;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\r') {
            continue;
        }
        out += *p == '\n' ? std::string("\\n") : std::string(1, *p);
    }
    return out;
}

// The kinds the GTK dialog names its widgets by.
const char* ControlKind(const HWND control) {
    char className[32] = "";
    GetClassNameA(control, className, sizeof(className));
    const LONG_PTR style = GetWindowLongPtrA(control, GWL_STYLE);
    if (lstrcmpiA(className, "ComboBox") == 0) {
        return "combo";
    }
    if (lstrcmpiA(className, "Button") == 0) {
        const LONG_PTR type = style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            return "group";
        }
        if (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX) {
            return "check";
        }
        return "button";
    }
    if (GetDlgCtrlID(control) == IDC_LINK) {
        return "link";
    }
    return (style & SS_TYPEMASK) == SS_BITMAP ? "image" : "static";
}

void DumpCombo(const HWND combo) {
    const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char item[64] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof(item))) {
            SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
        }
        std::printf("item|%s|%d\n", item, i);
    }
}

BOOL CALLBACK DumpControl(const HWND control, const LPARAM dialogParam) {
    const HWND dialog = reinterpret_cast<HWND>(dialogParam);
    if (GetParent(control) != dialog) {
        return TRUE; // the combo box's own edit and list
    }
    const std::string kind = ControlKind(control);
    RECT rect{0, 0, 0, 0};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    // The bitmap's text is its resource name and the list's its selection:
    // neither is text a person reads there.
    const std::string text = kind == "image" || kind == "combo" ? std::string() : WindowText(control);
    std::string state;
    if (kind == "check") {
        state = IsDlgButtonChecked(dialog, GetDlgCtrlID(control)) == BST_CHECKED ? "checked" : "unchecked";
    } else if (kind == "button") {
        state = (GetWindowLongPtrA(control, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON ? "default" : "";
    } else if (kind == "combo") {
        DumpCombo(control);
        state = "selected=" + std::to_string(SendMessageA(control, CB_GETCURSEL, 0, 0));
    }
    std::printf("%s|%s|%ld,%ld,%ld,%ld|%s\n", kind.c_str(), text.c_str(), static_cast<long>(rect.left),
                static_cast<long>(rect.top), static_cast<long>(rect.right - rect.left),
                static_cast<long>(rect.bottom - rect.top), state.c_str());
    return TRUE;
}

// The dialog's lines: caption and client size, base units, every control,
// then (Win32 only) its outer rectangle and where its client area lies on
// the screen, which is where tests click.
void DumpControls(const HWND dialog) {
    char caption[128] = "";
    GetWindowTextA(dialog, caption, sizeof(caption));
    RECT client{0, 0, 0, 0};
    GetClientRect(dialog, &client);
    std::printf("dialog|%s|%ld,%ld\n", caption, static_cast<long>(client.right),
                static_cast<long>(client.bottom));
    RECT units{0, 0, 4, 8};
    MapDialogRect(dialog, &units);
    std::printf("units|%ld|%ld|font %ld,%ld\n", static_cast<long>(units.right),
                static_cast<long>(units.bottom), static_cast<long>(units.right),
                static_cast<long>(units.bottom));
    EnumChildWindows(dialog, DumpControl, reinterpret_cast<LPARAM>(dialog));
    RECT window{0, 0, 0, 0};
    GetWindowRect(dialog, &window);
    std::printf("window|%ld,%ld,%ld,%ld\n", static_cast<long>(window.left), static_cast<long>(window.top),
                static_cast<long>(window.right - window.left), static_cast<long>(window.bottom - window.top));
    POINT origin{0, 0};
    ClientToScreen(dialog, &origin);
    std::printf("client-origin|%ld,%ld\n", static_cast<long>(origin.x), static_cast<long>(origin.y));
    std::printf("dialog-ready\n");
    std::fflush(stdout);
}

INT_PTR CALLBACK ResDialogProc(const HWND dialog, const UINT message, const WPARAM wParam,
                               const LPARAM lParam) {
    (void)lParam;
    switch (message) {
    case WM_INITDIALOG: {
        InitDialog(dialog);
        const char* dump = std::getenv("TESSARO_DIALOG_DUMP");
        if (dump != nullptr && dump[0] != '\0') {
            PostMessageA(dialog, kMsgDumpControls, 0, 0);
        }
        return 0;
    }
    case kMsgDumpControls:
        DumpControls(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            Confirm(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            Cancel(dialog);
            return TRUE;
        }
        return 0;
    case WM_CLOSE:
        Cancel(dialog);
        return TRUE;
    default:
        return 0;
    }
}

} // namespace

void ShowResDialog(HINSTANCE hInstance) {
    (void)hInstance;
    ResDialogChoice preset{};
    if (TakeResDialogPreset(&preset)) {
        ApplyResChoice(fwk, preset);
        fwk.dialogResult = 0;
        return;
    }
    fwk.dialogResult = static_cast<int>(
        DialogBoxParamA(LibraryModule(), MAKEINTRESOURCEA(IDD_DISPLAY_MODE), nullptr, ResDialogProc, 0));
}
