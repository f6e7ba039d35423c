// Looking at windows, ours or another program's: their titles, class names,
// processes, the top-level windows of a process and the descendants of a
// window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvel::common {

// The title the system keeps for a window; for a window of another process
// it is read without asking the window.
std::wstring Title(HWND window);
std::wstring ClassName(HWND window);
DWORD ProcessOf(HWND window);

// The window's text as it answers WM_GETTEXT, waited for at most `ms`; empty
// when it does not answer in time.
std::wstring WindowText(HWND window, UINT ms = 2000);

// Top-level windows in EnumWindows order, all or only those of a process.
std::vector<HWND> TopLevelWindows();
std::vector<HWND> TopLevelWindowsOf(DWORD process);

// Every descendant of a window, in EnumChildWindows order.
std::vector<HWND> Descendants(HWND parent);

}  // namespace tarvel::common
