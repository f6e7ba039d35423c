// The modes of the Windows driver (tarvel-check.exe): the self-check a user
// runs, the probe of the user's own AutoCAD, one scenario of
// scripts/scenario, and the fault runs of the tests. Each takes the
// arguments after its mode's name and gives the exit status.
#pragma once

#include "tools/scenario/console.h"

namespace tarvel::driver {

int RunCheck(int argc, wchar_t** argv, Console& console);
int RunProbe(int argc, wchar_t** argv, Console& console);
int RunScenario(int argc, wchar_t** argv);
int RunFaults(int argc, wchar_t** argv);

}  // namespace tarvel::driver
