// Program entry: split the command line, hand the rest to a further instance, create
// the main window and run the message loop.
#include <windows.h>
#include <commctrl.h>

#include "state/app_state.h"
#include "app/command_line.h"
#include "app/main_window.h"
#include "state/message_box.h"

using namespace lurmo;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showState) {
    const CommandLineSplit split = SplitCommandLine(commandLine);
    if (!split.rest.empty()) {
        StartProcessWithCommandLine(FurtherInstanceCommandLine(ExecutablePath(), split.rest),
                                    static_cast<WORD>(showState));
    }
    g_app.initialTarget = split.target;
    g_app.instance = instance;
    wchar_t caption[100]{};
    if (LoadStringW(instance, IDS_CAPTION, caption, 100) > 0) g_app.caption = caption;

    INITCOMMONCONTROLSEX controls{sizeof(controls),
                                  ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    if (!CreateMainWindow()) {
        ShowMessage(L"エラー：CreateDialog()", MB_ICONERROR);
        return 1;
    }
    // The window may have destroyed itself in a failed set-up; the quit message is then
    // already posted and the loop ends at once.
    if (g_app.main && IsWindow(g_app.main)) {
        ShowWindow(g_app.main, SW_SHOW);
        UpdateWindow(g_app.main);
    }
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (TranslateMainWindowMessage(message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
