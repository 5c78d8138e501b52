// Answers the dialogs this thread opens (the shell's folder chooser, confirmations,
// property sheets, message boxes) through one CBT hook: each is handed to the test's own
// function as it becomes active, which reads it and posts the answer.
#pragma once

#include <windows.h>

#include <functional>
#include <set>
#include <string>

#include "state/app_state.h"

namespace lurmo::test {

class DialogAnswerer {
public:
    explicit DialogAnswerer(std::function<void(HWND)> answer) {
        Answer() = std::move(answer);
        Seen().clear();
        hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
    }
    ~DialogAnswerer() {
        UnhookWindowsHookEx(hook_);
        Answer() = nullptr;
    }
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;

    static std::wstring TitleOf(HWND window) {
        wchar_t title[512]{};
        GetWindowTextW(window, title, 512);
        return title;
    }
    // A message box's text: Windows gives its text control the id 0xFFFF, Wine 100.
    static std::wstring BoxText(HWND window) {
        wchar_t text[1024]{};
        if (!GetDlgItemTextW(window, 0xFFFF, text, 1024)) GetDlgItemTextW(window, 100, text, 1024);
        return text;
    }

private:
    static std::function<void(HWND)>& Answer() {
        static std::function<void(HWND)> answer;
        return answer;
    }
    static std::set<HWND>& Seen() {
        static std::set<HWND> seen;
        return seen;
    }
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam) {
        if (code == HCBT_ACTIVATE) {
            HWND window = reinterpret_cast<HWND>(wParam);
            wchar_t className[32]{};
            GetClassNameW(window, className, 32);
            // A dialog is activated again when a box of its own closes: it is answered once.
            if (window != g_app.main && wcscmp(className, L"#32770") == 0 && Answer() && Seen().insert(window).second) {
                Answer()(window);
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    HHOOK hook_ = nullptr;
};

}  // namespace lurmo::test
