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
