#include "app/window_dpi.h"

#include <commctrl.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "list/dpi.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

// The font the dialog's controls are drawn in, made again at the new DPI from the one
// they use now. The dialog's own font stays the dialog's: DefDlgProc would delete a font
// handed to it as its own.
unique_hfont MakeDialogFont(UINT previousDpi) {
    HFONT current = g_app.dialogFont ? g_app.dialogFont.get()
                                     : reinterpret_cast<HFONT>(SendMessageW(g_app.main, WM_GETFONT, 0, 0));
    LOGFONTW font{};
    if (!current || !GetObjectW(current, sizeof(font), &font)) return {};
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(g_app.dpi), static_cast<int>(previousDpi));
    return unique_hfont(CreateFontIndirectW(&font));
}

// The user font keeps its point size; a font without one is scaled like the others.
unique_hfont MakeUserFont(UINT previousDpi) {
    Settings& s = g_app.settings;
    if (s.logFont.lfFaceName[0] == L'\0') return {};
    if (s.chooseFont.iPointSize > 0) s.logFont.lfHeight = FontHeightFromPointSize(s.chooseFont.iPointSize, g_app.dpi);
    else s.logFont.lfHeight = MulDiv(s.logFont.lfHeight, static_cast<int>(g_app.dpi), static_cast<int>(previousDpi));
    return unique_hfont(CreateFontIndirectW(&s.logFont));
}

// The children the template places (the label and the buttons) keep their places in
// dialog units, which grow with the DPI; the layout then moves the buttons.
void ScaleTemplateChild(HWND child, UINT previousDpi) {
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, g_app.main, reinterpret_cast<POINT*>(&rect), 2);
    auto scale = [&](LONG value) { return MulDiv(value, static_cast<int>(g_app.dpi), static_cast<int>(previousDpi)); };
    SetWindowPos(child, nullptr, scale(rect.left), scale(rect.top), scale(rect.right - rect.left),
                 scale(rect.bottom - rect.top), SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetFont(HWND window, HFONT font) {
    if (window && font) SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

}  // namespace

void OnDpiChanged(UINT dpi, const RECT* suggested) {
    const UINT previousDpi = g_app.dpi;
    if (dpi == 0 || dpi == previousDpi) return;
    g_app.dpi = dpi;

    unique_hfont dialogFont = MakeDialogFont(previousDpi);
    for (HWND child = GetWindow(g_app.main, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const bool laidOut = child == g_app.list || child == g_app.status || child == g_app.driveBox ||
                             child == g_app.historyBox;
        if (!laidOut) ScaleTemplateChild(child, previousDpi);
        if (child != g_app.list) SetFont(child, dialogFont.get());
    }
    unique_hfont userFont = MakeUserFont(previousDpi);
    if (g_app.settings.useSystemFont || !userFont) SetFont(g_app.list, dialogFont.get());
    else SetFont(g_app.list, userFont.get());
    // Only now that no control holds the old fonts are they let go.
    if (dialogFont) g_app.dialogFont = std::move(dialogFont);
    if (userFont) g_app.userFont = std::move(userFont);

    if (HIMAGELIST images = SystemImageListFor(SmallIconSize(dpi))) {
        g_app.smallImages = images;
        SendMessageW(g_app.list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
        for (HWND box : {g_app.driveBox, g_app.historyBox}) {
            SendMessageW(box, CBEM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(images));
        }
    }
    RescaleColumns(previousDpi);
    g_app.headerHeight = MeasureHeaderHeight();

    // The status bar takes its new height from its font at its next WM_SIZE.
    SendMessageW(g_app.status, WM_SIZE, 0, 0);
    if (suggested) {
        SetWindowPos(g_app.main, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                     suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // A rectangle of the same size sends no WM_SIZE: the new lengths are laid out here.
    LayoutMainWindow();
    InvalidateRect(g_app.main, nullptr, TRUE);
}

}  // namespace lurmo
