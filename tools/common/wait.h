// Waiting on other programs from outside: the tick count every process
// shares, a bounded poll, and this thread's messages answered meanwhile.
#pragma once

#include <windows.h>

namespace tarvel::common {

// Milliseconds on the tick count every process shares.
ULONGLONG Now();

// Polls `holds` every `step_ms` until it is true or `timeout_ms` has passed.
template <class Holds>
bool WaitFor(DWORD timeout_ms, Holds holds, DWORD step_ms = 25) {
    const ULONGLONG start = Now();
    for (;;) {
        if (holds()) return true;
        if (Now() - start >= timeout_ms) return false;
        Sleep(step_ms);
    }
}

// Dispatches what is pending for this thread, sent messages included.
void PumpMessages();

}  // namespace tarvel::common
