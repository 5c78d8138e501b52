// The console report's entry: standard output carries the export's bytes untranslated.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "export/report.h"

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::wostringstream err;
    const int status = lurmo::RunReport(std::vector<std::wstring>(argv + 1, argv + argc), std::cout, err);
    std::cout.flush();
    lurmo::WriteStandardText(GetStdHandle(STD_ERROR_HANDLE), err.str());
    return status;
}
