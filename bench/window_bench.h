// What the benchmarks that drive the program's real main window share: making it,
// pumping its messages, a clock, and the listing against a fresh measurement of the folder.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

#include "engine/accumulation.h"
#include "engine/size_rule.h"
#include "list/result_rows.h"
#include "state/app_state.h"
#include "app/main_window.h"

namespace lurmo::bench {

// The program's settings and history forgotten, as for a new user.
inline void ForgetSettings() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Brennic\\Lurmo"); }

// The program's real main window, made as the program makes it; false when it could not be.
inline bool OpenMainWindow() {
    g_app.instance = GetModuleHandleW(nullptr);
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_USEREX_CLASSES};
    InitCommonControlsEx(&controls);
    return CreateMainWindow();
}

using Sizes = std::map<std::wstring, uint64_t>;

inline void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// How long the window takes to answer, asked by another thread every few milliseconds
// in two ways: a sent message, which the window answers even while it handles messages
// other threads send it, and a posted one, which waits behind those as the user's clicks
// and keys do. The longest of each, and when it began (seconds after `from`).
struct PingResults {
    double sent = 0, sentAt = 0;
    double posted = 0, postedAt = 0;
};

struct Pinger {
    std::atomic<LONG> stop{0};
    HWND answer = nullptr;        // a window of this thread that answers posted pings
    HANDLE answered = nullptr;
    HANDLE thread = nullptr;
    double from = 0;
    PingResults results;          // written by the pinging thread alone until it has ended
};

inline Pinger g_pinger;

inline LRESULT CALLBACK AnswerPostedPing(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        SetEvent(g_pinger.answered);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

inline unsigned __stdcall PingWindow(void*) {
    Pinger& pinger = g_pinger;
    while (!pinger.stop.load()) {
        const double sentStart = Now();
        DWORD_PTR result = 0;
        SendMessageTimeoutW(g_app.main, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
        const double sent = Now() - sentStart;
        if (sent > pinger.results.sent) {
            pinger.results.sent = sent;
            pinger.results.sentAt = sentStart - pinger.from;
        }
        const double postedStart = Now();
        ResetEvent(pinger.answered);
        PostMessageW(pinger.answer, WM_APP, 0, 0);
        WaitForSingleObject(pinger.answered, 60000);
        const double posted = Now() - postedStart;
        if (posted > pinger.results.posted) {
            pinger.results.posted = posted;
            pinger.results.postedAt = postedStart - pinger.from;
        }
        Sleep(2);
    }
    return 0;
}

// Starts pinging the main window; the waits are timed from `from`.
inline void StartPinging(double from) {
    if (!g_pinger.answer) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = AnswerPostedPing;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"LurmoBenchPing";
        RegisterClassW(&windowClass);
        g_pinger.answer = CreateWindowW(L"LurmoBenchPing", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
        g_pinger.answered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    g_pinger.stop.store(0);
    g_pinger.from = from;
    g_pinger.results = {};
    g_pinger.thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, PingWindow, nullptr, 0, nullptr));
}

template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeout);

// Stops the pinging thread, answering it meanwhile, and returns what it found.
inline PingResults StopPinging() {
    g_pinger.stop.store(1);
    PumpUntil([] { return WaitForSingleObject(g_pinger.thread, 0) == WAIT_OBJECT_0; }, 60000);
    CloseHandle(g_pinger.thread);
    g_pinger.thread = nullptr;
    return g_pinger.results;
}

// Pumps until the condition holds; false when the time is up first.
template <typename Condition>
bool PumpUntil(Condition condition, DWORD timeout) {
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeout) return false;
        Pump();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
    return true;
}

// The rows as listed, by name.
inline Sizes Listed() {
    Sizes sizes;
    for (int row = 0; row < g_app.rowCount; ++row) {
        if (const RowEntry* entry = RowEntryAt(row)) sizes[entry->name] = entry->size;
    }
    return sizes;
}

// The folder's children measured afresh under the listing's size rule.
inline Sizes Fresh(const std::wstring& folder) {
    RunParameters params;
    params.usedSize = g_app.effect.usedSize != 0;
    params.clusterSize = g_app.scan.clusterSize;
    SetScanTarget(params, folder);
    return MeasureChildSizes(params);
}

}  // namespace lurmo::bench
