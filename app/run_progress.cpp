#include "app/run_progress.h"

#include <commctrl.h>
#include <shobjidl.h>

#include "state/app_state.h"
#include "state/window_messages.h"
#include "list/progress_text.h"
#include "list/result_rows.h"

namespace lurmo {

namespace {

constexpr int kShareRange = 1000;   // tenths of a percent

// The run still measures: its end steps, which rewrite the status bar, have not begun.
bool RunStillMeasuring() {
    return g_app.busy.load() && g_app.completedRun.load() != g_app.runNumber;
}

// Asked for once: Windows before 7 has no ITaskbarList3, and there is then no taskbar
// progress at all.
ITaskbarList3* TaskbarProgress() {
    if (!g_app.taskbarAsked) {
        g_app.taskbarAsked = true;
        com_ptr<ITaskbarList3> taskbar;
        if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                       taskbar.put_void())) &&
            SUCCEEDED(taskbar->HrInit())) {
            g_app.taskbar = std::move(taskbar);
        }
    }
    return g_app.taskbar.get();
}

int ScaleToDpi(int pixels) {
    HDC screen = GetDC(g_app.status);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(g_app.status, screen);
    return MulDiv(pixels, dpi > 0 ? dpi : 96, 96);
}

void CreateProgressBar() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    g_app.runProgressBar = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, g_app.status,
                                           nullptr, g_app.instance, nullptr);
    if (g_app.runProgressBar) SendMessageW(g_app.runProgressBar, PBM_SETRANGE32, 0, kShareRange);
}

}  // namespace

void BeginRunProgress() {
    EndRunProgress();
    g_app.runProgressShown = true;
    g_app.runStartTick = GetTickCount();
    g_app.runVolume = ReadVolumeUsedSpace(TargetPath(), g_app.runVolumeUsed);
    if (g_app.runVolume) {
        CreateProgressBar();
        if (ITaskbarList3* taskbar = TaskbarProgress()) taskbar->SetProgressState(g_app.main, TBPF_NORMAL);
    }
    LayoutRunProgress();
    SetTimer(g_app.main, kTimerRunProgress, kRunProgressInterval, nullptr);
}

void OnRunProgressTimer() {
    if (RunStillMeasuring()) ShowRunProgress();
    else EndRunProgress();
}

void ShowRunProgress() {
    if (!g_app.runProgressShown) return;
    const RunCounts counts = SumRunCounters(g_app.runCounters);
    const int share = g_app.runVolume ? ShareOfUsedSpace(counts.bytes, g_app.runVolumeUsed, false) : -1;
    const std::wstring text = L"しばらくお待ちください...  " +
                              FormatRunProgress(counts, GetTickCount() - g_app.runStartTick,
                                                static_cast<int>(g_app.settings.unit), g_app.settings.comma != 0,
                                                share);
    // The taskbar is another process: while this thread waits for it, the worker's end
    // steps may write the status bar, which is then not to be written over.
    if (share >= 0 && g_app.taskbar) g_app.taskbar->SetProgressValue(g_app.main, share, kShareRange);
    if (!RunStillMeasuring()) return;
    SendMessageW(g_app.status, SB_SETTEXTW, SBT_NOBORDERS, reinterpret_cast<LPARAM>(text.c_str()));
    if (share >= 0 && g_app.runProgressBar) SendMessageW(g_app.runProgressBar, PBM_SETPOS, share, 0);
}

void EndRunProgress() {
    if (!g_app.runProgressShown) return;
    g_app.runProgressShown = false;
    KillTimer(g_app.main, kTimerRunProgress);
    if (g_app.runProgressBar) {
        DestroyWindow(g_app.runProgressBar);
        g_app.runProgressBar = nullptr;
    }
    if (g_app.runVolume) {
        if (g_app.taskbar) g_app.taskbar->SetProgressState(g_app.main, TBPF_NOPROGRESS);
        // A completed run's end steps have laid out the status bar already.
        if (g_app.completedRun.load() != g_app.runNumber) {
            int edge = -1;
            SendMessageW(g_app.status, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
        }
    }
    g_app.runVolume = false;
}

bool RunProgressOwnsStatusBar() { return g_app.runProgressShown && RunStillMeasuring(); }

void LayoutRunProgress() {
    if (!RunProgressOwnsStatusBar()) return;
    if (!g_app.runVolume) {
        int edge = -1;
        SendMessageW(g_app.status, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&edge));
        return;
    }
    RECT client{};
    GetClientRect(g_app.main, &client);
    const int barWidth = ScaleToDpi(100);
    int edges[2] = {client.right > barWidth ? static_cast<int>(client.right) - barWidth : 0, -1};
    SendMessageW(g_app.status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(edges));
    RECT part{};
    if (!g_app.runProgressBar || !SendMessageW(g_app.status, SB_GETRECT, 1, reinterpret_cast<LPARAM>(&part))) return;
    // Clear of the size grip at the right.
    const int grip = GetSystemMetrics(SM_CXVSCROLL);
    const int inset = ScaleToDpi(2);
    const int right = part.right - grip > part.left + inset ? part.right - grip : part.right;
    SetWindowPos(g_app.runProgressBar, nullptr, part.left + inset, part.top + inset, right - part.left - 2 * inset,
                 part.bottom - part.top - 2 * inset, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ReleaseTaskbarProgress() {
    EndRunProgress();
    g_app.taskbar.reset();
    g_app.taskbarAsked = false;
}

}  // namespace lurmo
