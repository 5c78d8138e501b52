// Real key presses for tests of the real main window: SendInput puts them in the
// system's input queue, and they reach the focused window through the program's own
// loop step, accelerators and dialog keys included.
#pragma once

#include <windows.h>

#include <cctype>
#include <vector>

#include "state/app_state.h"
#include "app/main_window.h"

namespace lurmo::test {

// Takes what is queued through the program's own loop step (accelerators, dialog keys)
// until the queue has been quiet for a moment, as the program's message loop would.
inline void PumpAsProgram() {
    DWORD quietSince = GetTickCount();
    while (GetTickCount() - quietSince < 150) {
        MSG message;
        if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (!TranslateMainWindowMessage(message)) {
                TranslateMessage(&message);
                DispatchMessageW(&message);
            }
            quietSince = GetTickCount();
        } else {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
    }
}

// A real key press, with Ctrl held when asked: it goes through the system's input queue
// to the window that has the focus, and so through the program's loop.
inline void PressKey(WORD key, bool control = false) {
    std::vector<INPUT> inputs;
    auto add = [&](WORD vk, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = vk;
        input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
        const bool extended = vk == VK_HOME || vk == VK_END || vk == VK_DELETE || vk == VK_LEFT || vk == VK_RIGHT;
        input.ki.dwFlags = flags | (extended ? KEYEVENTF_EXTENDEDKEY : 0);
        inputs.push_back(input);
    };
    if (control) add(VK_CONTROL, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (control) add(VK_CONTROL, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    PumpAsProgram();
}

inline void TypeLetters(const char* letters) {
    for (const char* c = letters; *c; ++c) PressKey(static_cast<WORD>(toupper(*c)));
}

// The main window in front with the list focused, so that key presses reach it.
inline void BringToFront() {
    SetForegroundWindow(g_app.main);
    SetActiveWindow(g_app.main);
    SetFocus(g_app.list);
    PumpAsProgram();
}

}  // namespace lurmo::test
