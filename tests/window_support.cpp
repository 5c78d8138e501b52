// The program's real main window, made and destroyed in the test process.
#include <windows.h>
#include <commctrl.h>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/target_boxes.h"
#include "tests/ui_support.h"

namespace lurmo::test {

MainWindow::MainWindow(const std::wstring& initialTarget, bool keepRegistry) {
    if (!keepRegistry) ForgetStoredSettings();
    g_app.instance = GetModuleHandleW(nullptr);
    g_app.initialTarget = initialTarget;
    g_app.nameSlot = 0;
    g_app.pathBuffer[0] = L'\0';
    g_app.rowCount = 0;
    g_app.grandTotal = 0;
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_UPDOWN_CLASS |
                                                        ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    handle_ = CreateMainWindow();
    if (handle_) ShowWindow(handle_, SW_SHOW);
    PumpMessages();
}

void MainWindow::Destroy() {
    if (handle_ && IsWindow(handle_)) DestroyWindow(handle_);
    handle_ = nullptr;
    // The window posts its quit message as it goes; take it out of the queue so the
    // next test's pumping is not ended by it.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message != WM_QUIT) DispatchMessageW(&message);
    }
}

MainWindow::~MainWindow() { Destroy(); }

bool AccumulateAndWait(const std::wstring& target) {
    SendMessageW(g_app.driveBox, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetBoxEditText(g_app.driveBox, target);
    SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
    const bool ended =
        PumpUntil([] { return g_app.worker && WaitForSingleObject(g_app.worker.get(), 0) == WAIT_OBJECT_0; });
    PumpMessages();
    return ended;
}

}  // namespace lurmo::test
