#include "engine/error_report.h"

#include <atomic>

namespace lurmo {

namespace {
std::atomic<ErrorReporter> g_reporter{nullptr};
}

ErrorReporter SetErrorReporter(ErrorReporter reporter) { return g_reporter.exchange(reporter); }

void ReportError(const std::wstring& text) {
    if (ErrorReporter reporter = g_reporter.load()) reporter(text);
}

}  // namespace lurmo

#include <windows.h>

#include <cstdio>

namespace lurmo {

std::wstring SystemErrorText(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring result;
    if (length > 0 && text) result.assign(text, length);
    if (text) LocalFree(text);
    while (!result.empty() && (result.back() == L'\n' || result.back() == L'\r' || result.back() == L' ')) {
        result.pop_back();
    }
    if (result.empty()) {
        wchar_t number[32];
        swprintf(number, 32, L"0x%08lX", code);
        result = number;
    }
    return result;
}

}  // namespace lurmo
