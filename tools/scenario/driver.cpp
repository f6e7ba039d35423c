// tarvel-check.exe: the Windows half of every whole-program check.
//
//   tarvel-check.exe [--keep]                  the self-check of the release
//   tarvel-check.exe scenario --report FILE …  one scenario of scripts/scenario
//   tarvel-check.exe faults --report FILE …    two runs against a faulty host
//
// Each mode says its arguments at the head of its own file.
#include <windows.h>

#include <cwchar>
#include <exception>
#include <string>

#include "support/win32/text.h"
#include "tools/scenario/modes.h"

int wmain(int argc, wchar_t** argv) {
    using namespace tarvel::driver;
    try {
        if (argc > 1 && std::wcscmp(argv[1], L"scenario") == 0) return RunScenario(argc - 1, argv + 1);
        if (argc > 1 && std::wcscmp(argv[1], L"faults") == 0) return RunFaults(argc - 1, argv + 1);
        if (argc > 1 && std::wcscmp(argv[1], L"check") == 0) return RunCheck(argc - 1, argv + 1);
        return RunCheck(argc, argv);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "tarvel-check: %s\n", error.what());
        return 2;
    }
}
