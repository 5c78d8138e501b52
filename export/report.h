// lurmo-report: measures one folder from the command line and writes the lines the
// list's export of all rows would write, for scripts and for checking the export.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace lurmo {

// args are the words after the program name. The export goes to out (bytes as they are)
// or to the --output file; usage for --help goes to out, errors and usage mistakes to err.
// With --progress the counts measured so far go to standard error while the folder is
// measured. Returns the exit status: 0 written, 1 the folder cannot be measured or the
// output cannot be written, 2 bad usage.
int RunReport(const std::vector<std::wstring>& args, std::ostream& out, std::wostream& err);

// Writes text to a standard handle: as characters to a console, otherwise as UTF-8.
void WriteStandardText(HANDLE handle, const std::wstring& text);

}  // namespace lurmo
