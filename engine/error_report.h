// The engine shows nothing itself: a failure text goes to whoever the program installs
// (the main window shows a message box, the console report writes to standard error).
#pragma once

#include <string>

namespace lurmo {

using ErrorReporter = void (*)(const std::wstring& text);

// Returns the reporter that was installed before.
ErrorReporter SetErrorReporter(ErrorReporter reporter);
void ReportError(const std::wstring& text);

}  // namespace lurmo

namespace lurmo {

// The system's own words for an error code, without the line break it ends with; the
// code in hexadecimal when the system has none.
std::wstring SystemErrorText(unsigned long code);

}  // namespace lurmo
