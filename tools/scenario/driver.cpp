// tarvel-check.exe: the Windows half of every whole-program check.
//
//   tarvel-check.exe [--keep] [--lang ja|en]   the self-check of the release
//   tarvel-check.exe --probe [--lang ja|en]    a look at the AutoCAD that is open
//   tarvel-check.exe scenario --report FILE …  one scenario of scripts/scenario
//   tarvel-check.exe faults --report FILE …    two runs against a faulty host
//
// Each mode says its arguments at the head of its own file. The two a user
// runs print in his language and, started by a double-click, wait for Enter
// before their window closes.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <exception>
#include <string>

#include "support/win32/text.h"
#include "tools/scenario/console.h"
#include "tools/scenario/modes.h"

namespace {

bool HasArgument(int argc, wchar_t** argv, const wchar_t* word) {
    for (int i = 1; i < argc; ++i) {
        if (std::wcscmp(argv[i], word) == 0) return true;
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    using namespace tarvel::driver;
    Console console;
    try {
        if (argc > 1 && std::wcscmp(argv[1], L"scenario") == 0) return RunScenario(argc - 1, argv + 1);
        if (argc > 1 && std::wcscmp(argv[1], L"faults") == 0) return RunFaults(argc - 1, argv + 1);
        const int status =
            HasArgument(argc, argv, L"--probe") ? RunProbe(argc, argv, console) : RunCheck(argc, argv, console);
        console.HoldIfOwnWindow();
        return status;
    } catch (const std::exception& error) {
        console.Print(L"tarvel-check: " + tarvel::win32::ToWide(error.what()) + L"\n");
        console.HoldIfOwnWindow();
        return 2;
    }
}
