// A long run and its cancel, in the program's real main window: measures FOLDER (a slow
// file system is the point: see scripts/slowfs), while another thread keeps sending the
// window a message and times the longest wait for an answer while the run measures;
// after --after seconds it presses the accumulate button, answers "はい" to "中止しますか？"
// and times how long the window takes from the answer (the question gone) to its idle
// look. Repeated --runs times.
// Prints one line: RESULT runs=... cancel_worst=... cancel_best=... freeze=... progress=...
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "state/app_state.h"
#include "app/main_window.h"
#include "app/target_boxes.h"
#include "bench/window_bench.h"

using namespace lurmo;
using namespace lurmo::bench;

namespace {

std::atomic<LONG> g_stopPinging{0};
// While a run measures: from when it was started until the button is pressed again. The
// question's own showing is not the run's (under Wine without a window manager a message
// box takes seconds to come up).
std::atomic<double> g_measuringFrom{0}, g_measuringTo{0};
double g_longestWait = 0;   // written by the pinging thread alone until it has ended

unsigned __stdcall PingWhileMeasuring(void*) {
    while (!g_stopPinging.load()) {
        const double start = Now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(g_app.main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double end = Now();
        const bool measuring = start >= g_measuringFrom.load() && (g_measuringTo.load() < g_measuringFrom.load() ||
                                                                    end <= g_measuringTo.load());
        if (measuring && end - start > g_longestWait) g_longestWait = end - start;
        Sleep(2);
    }
    return 0;
}

// The question is answered "はい" the moment it shows; the time it goes is kept.
double g_closed = 0;
HHOOK g_hook = nullptr;

LRESULT CALLBACK AnswerYes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) {
        wchar_t className[32]{};
        GetClassNameW(reinterpret_cast<HWND>(wParam), className, 32);
        if (wcscmp(className, L"#32770") == 0 && reinterpret_cast<HWND>(wParam) != g_app.main) {
            PostMessageW(reinterpret_cast<HWND>(wParam), WM_COMMAND, IDYES, 0);
        }
    }
    if (code == HCBT_DESTROYWND) {
        wchar_t className[32]{};
        GetClassNameW(reinterpret_cast<HWND>(wParam), className, 32);
        if (wcscmp(className, L"#32770") == 0 && reinterpret_cast<HWND>(wParam) != g_app.main) g_closed = Now();
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

std::wstring StatusText() {
    wchar_t text[512]{};
    SendMessageW(g_app.status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fwprintf(stderr, L"usage: lurmo-bench-cancel FOLDER [--after SECONDS] [--runs N]\n");
        return 2;
    }
    double after = 3;
    int runs = 3;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (wcscmp(argv[i], L"--after") == 0) after = _wtof(argv[i + 1]);
        else if (wcscmp(argv[i], L"--runs") == 0) runs = _wtoi(argv[i + 1]);
    }
    ForgetSettings();
    if (!OpenMainWindow()) return 1;
    g_app.settings.snapShot = 0;
    HANDLE pinger = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PingWhileMeasuring, nullptr, 0, nullptr));
    g_hook = SetWindowsHookExW(WH_CBT, AnswerYes, nullptr, GetCurrentThreadId());
    double worst = 0, best = 1e9;
    int cancelled = 0;
    std::wstring progress;
    for (int run = 0; run < runs; ++run) {
        SetBoxEditText(g_app.driveBox, argv[1]);
        SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
        const double start = Now();
        g_measuringFrom.store(start);
        while (Now() - start < after) {
            Pump();
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
        }
        if (!g_app.busy.load()) continue;   // over before the cancel: the folder is too quick
        progress = StatusText();
        g_measuringTo.store(Now());
        SendMessageW(g_app.main, WM_COMMAND, IDC_ACCUMULATE_BUTTON, 0);
        const double took = Now() - g_closed;
        wchar_t button[64]{};
        GetWindowTextW(g_app.accumulateButton, button, 64);
        if (g_app.busy.load() || wcscmp(button, L"集計(&A)") != 0) continue;
        ++cancelled;
        if (took > worst) worst = took;
        if (took < best) best = took;
        Pump();
    }
    UnhookWindowsHookEx(g_hook);
    g_stopPinging.store(1);
    while (WaitForSingleObject(pinger, 0) != WAIT_OBJECT_0) {
        Pump();
        Sleep(5);
    }
    CloseHandle(pinger);
    // The status bar's text as it was just before the last cancel, in UTF-8.
    char shown[1024]{};
    WideCharToMultiByte(CP_UTF8, 0, progress.c_str(), -1, shown, sizeof shown, nullptr, nullptr);
    printf("RESULT runs=%d cancel_worst=%.3f cancel_best=%.3f freeze=%.3f progress=%s\n", cancelled,
           cancelled ? worst : 0.0, cancelled ? best : 0.0, g_longestWait, shown);
    DestroyWindow(g_app.main);
    Pump();
    return cancelled == runs ? 0 : 1;
}
