#include "app/options_dialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>

#include <algorithm>
#include <cwchar>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <utility>

#include "state/app_state.h"
#include "state/message_box.h"
#include "app/target_boxes.h"

namespace lurmo {

namespace {

// A page made but not yet handed to the sheet; the sheet owns the pages it is given.
struct hpage_traits {
    using type = HPROPSHEETPAGE;
    static type empty() noexcept { return nullptr; }
    static void close(type h) noexcept { ::DestroyPropertySheetPage(h); }
};
using unique_hpage = unique_any<hpage_traits>;

// The version-4 page record: mingw's PROPSHEETPAGEW stops at version 3. Its size is the
// platform's own on each target; the 32-bit figures fail on x86_64.
struct PageRecord : PROPSHEETPAGEW {
    HBITMAP headerBitmap;
};

// The display page's working state, alive while the sheet is open.
struct DisplayPage {
    // Copies of the settings' font records. The copied CHOOSEFONTW is pointed at this
    // LOGFONTW, never left at the record it was copied from.
    LOGFONTW logFont{};
    CHOOSEFONTW chooseFont{};
    // A font chosen here and not yet the user font: a later choice, a cancelled sheet or
    // an apply that keeps the system font deletes it.
    unique_hfont chosenFont;
    // The last chosen font could not be made: there is no working font at all.
    bool fontLost = false;
    COLORREF color = 0;
    CHOOSECOLORW chooseColor{};
    WNDPROC previousSampleProc = nullptr;
};

struct OptionsSession {
    DisplayPage display;
    // The history page writes its edit as it starts, which is no change of the user's.
    bool fillingHistory = false;
    // The user typed in the limit or turned its arrows: only then is the limit taken
    // from the page, so that a stored limit the page cannot show whole is kept.
    bool historyLimitChanged = false;
};

OptionsSession* SessionOf(HWND page) { return reinterpret_cast<OptionsSession*>(GetWindowLongPtrW(page, DWLP_USER)); }

// A page's WM_INITDIALOG carries its page record, whose lParam names the session.
OptionsSession& KeepSession(HWND page, LPARAM lParam) {
    const LPARAM session = reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam;
    SetWindowLongPtrW(page, DWLP_USER, session);
    return *reinterpret_cast<OptionsSession*>(session);
}

void MarkChanged(HWND page) { SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0); }

bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void Check(HWND page, int id, bool checked) { CheckDlgButton(page, id, checked ? BST_CHECKED : BST_UNCHECKED); }

void SetResult(HWND page, LONG_PTR result) { SetWindowLongPtrW(page, DWLP_MSGRESULT, result); }

// The working font: the one chosen here, else the user font, unless the last choice
// could not be made.
HFONT WorkingFont(const DisplayPage& state) {
    if (state.chosenFont) return state.chosenFont.get();
    return state.fontLost ? nullptr : g_app.userFont.get();
}

void FormatFontDescription(HWND page, const DisplayPage& state) {
    const LOGFONTW* font = state.chooseFont.lpLogFont;
    if (!font) return;
    const std::wstring text = std::wstring(font->lfFaceName, wcsnlen(font->lfFaceName, LF_FACESIZE)) + L", " +
                              std::to_wstring(state.chooseFont.iPointSize / 10) + L"pt";
    SetDlgItemTextW(page, IDC_FONT_DESCRIPTION, text.c_str());
}

// The sample shows the working colour over the whole of its client area.
LRESULT CALLBACK ColorSampleProc(HWND sample, UINT message, WPARAM wParam, LPARAM lParam) {
    const OptionsSession* session = SessionOf(GetParent(sample));
    if (!session) return DefWindowProcW(sample, message, wParam, lParam);
    if (message == WM_PAINT) {
        PAINTSTRUCT paint{};
        if (HDC dc = BeginPaint(sample, &paint)) {
            RECT client{};
            GetClientRect(sample, &client);
            unique_hbrush brush(CreateSolidBrush(session->display.color));
            if (brush) FillRect(dc, &client, brush.get());
            EndPaint(sample, &paint);
        }
    }
    return CallWindowProcW(session->display.previousSampleProc, sample, message, wParam, lParam);
}

BOOL InitDisplayPage(HWND page, DisplayPage& state) {
    const Settings& s = g_app.settings;
    Check(page, IDC_USED_SIZE, s.usedSize != 0);
    CheckRadioButton(page, IDC_SYSTEM_FONT, IDC_USER_FONT, s.useSystemFont ? IDC_SYSTEM_FONT : IDC_USER_FONT);
    state.logFont = s.logFont;
    state.chooseFont = s.chooseFont;
    state.chooseFont.lpLogFont = &state.logFont;
    FormatFontDescription(page, state);
    state.color = s.graphColor;
    state.chooseColor.lStructSize = sizeof(state.chooseColor);
    state.chooseColor.hwndOwner = page;
    state.chooseColor.rgbResult = state.color;
    state.chooseColor.lpCustColors = g_app.customColors;
    state.chooseColor.Flags = CC_RGBINIT;
    Check(page, IDC_DISPLAY_GRAPH, s.displayGraph != 0);
    Check(page, IDC_FOLLOW_LINKS, s.followLinks != 0);
    EnableWindow(GetDlgItem(page, IDC_CHOOSE_COLOR), s.displayGraph != 0);
    HWND sample = GetDlgItem(page, IDC_COLOR_SAMPLE);
    state.previousSampleProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(sample, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ColorSampleProc)));
    return TRUE;
}

// The chooser works on copies; only a font that could be made replaces the working
// records.
void ChooseWorkingFont(HWND page, DisplayPage& state) {
    LOGFONTW logFont = state.logFont;
    CHOOSEFONTW choice = state.chooseFont;
    choice.lStructSize = sizeof(choice);
    choice.hwndOwner = page;
    choice.lpLogFont = &logFont;
    choice.Flags = CF_SCREENFONTS | CF_INITTOLOGFONTSTRUCT | CF_EFFECTS | CF_FORCEFONTEXIST | CF_NOVERTFONTS;
    choice.nFontType = SCREEN_FONTTYPE;
    if (!ChooseFontW(&choice)) return;
    unique_hfont font(CreateFontIndirectW(&logFont));
    if (!font) {
        state.chosenFont.reset();
        state.fontLost = true;
        return;
    }
    state.chosenFont = std::move(font);
    state.fontLost = false;
    state.logFont = logFont;
    state.chooseFont = choice;
    state.chooseFont.lpLogFont = &state.logFont;
    FormatFontDescription(page, state);
    MarkChanged(page);
}

void ChooseGraphColor(HWND page, DisplayPage& state) {
    state.chooseColor.lStructSize = sizeof(state.chooseColor);
    state.chooseColor.hwndOwner = page;
    state.chooseColor.rgbResult = state.color;
    state.chooseColor.lpCustColors = g_app.customColors;
    if (!ChooseColorW(&state.chooseColor)) return;
    state.color = state.chooseColor.rgbResult;
    InvalidateRect(GetDlgItem(page, IDC_COLOR_SAMPLE), nullptr, FALSE);
    MarkChanged(page);
}

BOOL OnDisplayCommand(HWND page, DisplayPage& state, UINT id) {
    switch (id) {
        case IDC_DISPLAY_GRAPH:
            EnableWindow(GetDlgItem(page, IDC_CHOOSE_COLOR), IsChecked(page, IDC_DISPLAY_GRAPH));
            MarkChanged(page);
            return TRUE;
        case IDC_SYSTEM_FONT:
        case IDC_USER_FONT:
        case IDC_FOLLOW_LINKS: MarkChanged(page); return TRUE;
        case IDC_CHOOSE_FONT: ChooseWorkingFont(page, state); return TRUE;
        case IDC_CHOOSE_COLOR: ChooseGraphColor(page, state); return TRUE;
        default: return FALSE;
    }
}

// True keeps the page: a font is asked for and there is none to use.
bool FontMissing(HWND page, const DisplayPage& state) {
    if (!IsChecked(page, IDC_USER_FONT) || g_app.userFont || WorkingFont(state)) return false;
    ShowMessageOwnedBy(page, L"フォントが指定されていません.", MB_ICONERROR);
    return true;
}

// The system font is the window's own, which the list had from the start: the list's
// built-in font has no Japanese glyphs.
void ApplyFontChoice(DisplayPage& state) {
    Settings& s = g_app.settings;
    if (s.useSystemFont) {
        // The user font is kept for a later choice.
        SendMessageW(g_app.list, WM_SETFONT, SendMessageW(g_app.main, WM_GETFONT, 0, 0), TRUE);
    } else if (state.chosenFont) {
        SendMessageW(g_app.list, WM_SETFONT, reinterpret_cast<WPARAM>(state.chosenFont.get()), TRUE);
        // The list has let go of the old user font only now, so only now is it deleted.
        g_app.userFont = std::move(state.chosenFont);
        s.logFont = state.logFont;
        s.chooseFont = state.chooseFont;
        s.chooseFont.lpLogFont = &s.logFont;
        s.chooseFont.hwndOwner = g_app.main;
    } else if (!state.fontLost && g_app.userFont) {
        SendMessageW(g_app.list, WM_SETFONT, reinterpret_cast<WPARAM>(g_app.userFont.get()), TRUE);
    }
}

// The list's font changes only when the user changed it here: picked the other kind of
// font or chose one.
void ApplyDisplayPage(HWND page, DisplayPage& state) {
    Settings& s = g_app.settings;
    s.usedSize = IsChecked(page, IDC_USED_SIZE);
    const DWORD systemFont = IsChecked(page, IDC_SYSTEM_FONT);
    const bool fontChanged = systemFont != s.useSystemFont || state.chosenFont || state.fontLost;
    s.useSystemFont = systemFont;
    if (fontChanged) ApplyFontChoice(state);
    s.displayGraph = IsChecked(page, IDC_DISPLAY_GRAPH);
    s.graphColor = state.color;
    s.followLinks = IsChecked(page, IDC_FOLLOW_LINKS);
}

BOOL OnDisplayNotify(HWND page, DisplayPage& state, const NMHDR* header) {
    switch (header->code) {
        case PSN_KILLACTIVE: SetResult(page, FontMissing(page, state)); return TRUE;
        case PSN_APPLY:
            ApplyDisplayPage(page, state);
            SetResult(page, PSNRET_NOERROR);
            return TRUE;
        default: return FALSE;
    }
}

BOOL InitModePage(HWND page) {
    const int mode = g_app.settings.snapShot ? IDC_MODE_SNAPSHOT : IDC_MODE_FILE_OPERATION;
    CheckRadioButton(page, IDC_MODE_FILE_OPERATION, IDC_MODE_SNAPSHOT, mode);
    return TRUE;
}

BOOL OnModeNotify(HWND page, const NMHDR* header) {
    if (header->code != PSN_APPLY) return FALSE;
    g_app.settings.snapShot = IsChecked(page, IDC_MODE_SNAPSHOT) ? 1 : 0;
    SetResult(page, PSNRET_NOERROR);
    return TRUE;
}

BOOL InitHistoryPage(HWND page, OptionsSession& session) {
    session.fillingHistory = true;
    HWND edit = GetDlgItem(page, IDC_MAX_HISTORY);
    HWND spin = GetDlgItem(page, IDC_MAX_HISTORY_SPIN);
    SendMessageW(edit, EM_LIMITTEXT, 2, 0);
    // A right-aligned up-down takes its room from the edit each time it is given it, and
    // the template's auto-buddy has already paired them once.
    if (reinterpret_cast<HWND>(SendMessageW(spin, UDM_GETBUDDY, 0, 0)) != edit) {
        SendMessageW(spin, UDM_SETBUDDY, reinterpret_cast<WPARAM>(edit), 0);
    }
    SendMessageW(spin, UDM_SETRANGE32, 0, 99);
    SendMessageW(spin, UDM_SETPOS32, 0, static_cast<LPARAM>(g_app.settings.maxHistory));
    SetWindowTextW(edit, std::to_wstring(g_app.settings.maxHistory).c_str());
    EnableWindow(GetDlgItem(page, IDC_CLEAR_HISTORY), BoxCount(g_app.historyBox) > 0);
    session.fillingHistory = false;
    return TRUE;
}

// Cleared at once: the history stays cleared whatever the sheet ends with.
void AskToClearHistory(HWND page) {
    const int answer = ShowMessageOwnedBy(page, L"履歴をクリアしてよろしいですか？", MB_ICONQUESTION | MB_YESNO);
    if (answer != IDYES) return;
    ClearHistory();
    EnableWindow(GetDlgItem(page, IDC_CLEAR_HISTORY), FALSE);
}

BOOL OnHistoryCommand(HWND page, OptionsSession& session, UINT id, UINT code) {
    if (id == IDC_MAX_HISTORY && code == EN_CHANGE) {
        if (!session.fillingHistory) {
            session.historyLimitChanged = true;
            MarkChanged(page);
        }
        return TRUE;
    }
    if (id == IDC_CLEAR_HISTORY) {
        AskToClearHistory(page);
        return TRUE;
    }
    return FALSE;
}

void OnLimitArrows(HWND page, OptionsSession& session) {
    session.historyLimitChanged = true;
    MarkChanged(page);
}

// The edit takes digits only from the keyboard, but a pasted "-1" or "12345" would
// still reach here; the limit is held to the arrows' range.
void ApplyHistoryPage(HWND page, const OptionsSession& session) {
    if (!session.historyLimitChanged) return;
    wchar_t text[16]{};
    GetDlgItemTextW(page, IDC_MAX_HISTORY, text, 16);
    const long entered = wcstol(text, nullptr, 10);
    const DWORD limit = static_cast<DWORD>(std::clamp(entered, 0L, 99L));
    if (limit == g_app.settings.maxHistory) return;
    g_app.settings.maxHistory = limit;
    TrimHistory();
}

BOOL OnHistoryNotify(HWND page, const OptionsSession& session, const NMHDR* header) {
    if (header->code != PSN_APPLY) return FALSE;
    ApplyHistoryPage(page, session);
    SetResult(page, PSNRET_NOERROR);
    return TRUE;
}

INT_PTR DispatchDisplayPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return InitDisplayPage(page, KeepSession(page, lParam).display);
    OptionsSession* session = SessionOf(page);
    if (!session) return FALSE;
    switch (message) {
        case WM_COMMAND: return OnDisplayCommand(page, session->display, LOWORD(wParam));
        case WM_NOTIFY: return OnDisplayNotify(page, session->display, reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

INT_PTR DispatchModePage(HWND page, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: return InitModePage(page);
        case WM_NOTIFY: return OnModeNotify(page, reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

INT_PTR DispatchHistoryPage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) return InitHistoryPage(page, KeepSession(page, lParam));
    OptionsSession* session = SessionOf(page);
    if (!session) return FALSE;
    switch (message) {
        case WM_COMMAND: return OnHistoryCommand(page, *session, LOWORD(wParam), HIWORD(wParam));
        case WM_VSCROLL: OnLimitArrows(page, *session); return TRUE;
        case WM_NOTIFY: return OnHistoryNotify(page, *session, reinterpret_cast<const NMHDR*>(lParam));
        default: return FALSE;
    }
}

// No exception may leave a dialog procedure: the system's frames cannot pass it on.
template <INT_PTR (*Dispatch)(HWND, UINT, WPARAM, LPARAM)>
INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return Dispatch(page, message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        ShowMessageOwnedBy(page, L"メモリ不足です.", MB_ICONERROR);
    } catch (const std::exception&) {
        // Whatever failed leaves the page as it was.
    }
    return TRUE;
}

unique_hpage CreatePage(int templateId, DLGPROC procedure, OptionsSession& session) {
    PageRecord record{};
    record.dwSize = sizeof(record);
    record.dwFlags = PSP_DEFAULT;
    record.hInstance = g_app.instance;
    record.pszTemplate = MAKEINTRESOURCEW(templateId);
    record.pfnDlgProc = procedure;
    record.lParam = reinterpret_cast<LPARAM>(&session);
    return unique_hpage(CreatePropertySheetPageW(&record));
}

}  // namespace

void ShowOptions() {
    OptionsSession session;
    unique_hpage pages[] = {
        CreatePage(IDD_PAGE_DISPLAY, PageProc<DispatchDisplayPage>, session),
        CreatePage(IDD_PAGE_MODE, PageProc<DispatchModePage>, session),
        CreatePage(IDD_PAGE_HISTORY, PageProc<DispatchHistoryPage>, session),
    };
    for (const unique_hpage& page : pages) {
        if (!page) {
            ShowMessage(L"エラー：CreatePropertySheetPage()", MB_ICONERROR);
            return;
        }
    }
    // From here the sheet owns the pages and destroys them as it closes.
    HPROPSHEETPAGE handles[] = {pages[0].release(), pages[1].release(), pages[2].release()};
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof(header);
    header.dwFlags = PSH_DEFAULT;
    header.hwndParent = g_app.main;
    header.hInstance = g_app.instance;
    header.pszCaption = L"オプション";
    header.nPages = 3;
    header.nStartPage = 0;
    header.phpage = handles;
    PropertySheetW(&header);
}

}  // namespace lurmo
