// The modes of the Windows driver (tarvel-check.exe): the self-check a user
// runs, one scenario of scripts/scenario, and the fault runs of the tests.
// Each takes the arguments after its mode's name and gives the exit status.
#pragma once

namespace tarvel::driver {

int RunCheck(int argc, wchar_t** argv);
int RunScenario(int argc, wchar_t** argv);
int RunFaults(int argc, wchar_t** argv);

}  // namespace tarvel::driver
