// Seams of the CAD link for its tests; the program never calls these.
#pragma once

#include <windows.h>

namespace tarvel::Acad11ACtrl::seams {

// A fresh module state, as at the start of the program.
void ResetForTests();

// How many window enumerations (EnumWindows, EnumChildWindows) the link
// has made since the program started.
unsigned WindowEnumerationsForTests();

// A shorter bound on AutoCAD's replies (0 restores kHostReplyTimeoutMs).
void SetHostReplyTimeoutForTests(UINT milliseconds);

// How the link hands one message to a window of AutoCAD: SendMessageTimeout
// in its 8-bit (wide false) or UTF-16 form. Gives the call's result and
// leaves its error in GetLastError.
using HostSend = BOOL (*)(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wide, UINT flags,
                          UINT timeout_ms, DWORD_PTR* result);

// Replaces how messages reach AutoCAD (nullptr puts SendMessageTimeout
// back); returns the one before.
HostSend SetHostSend(HostSend send);

}  // namespace tarvel::Acad11ACtrl::seams
