// What the benchmarks that drive the program's real main window share: making it,
// pumping its messages, a clock, and the listing against a fresh measurement of the folder.
#pragma once

#include <windows.h>
#include <commctrl.h>

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

// Seconds on the performance counter.
inline double Now() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
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
