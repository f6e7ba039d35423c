// The application's error report: what escapes an event handler is shown in
// a message box with the stop icon and OK, captioned with the application
// title; the silent abort shows nothing.
#pragma once

#include <windows.h>

#include <string>

namespace tarvel::app {

// The function that shows the box; MessageBoxW unless a test replaced it.
using MessageBoxFunction = int(WINAPI*)(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

// Replaces the box (nullptr puts MessageBoxW back); returns the one before.
MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function);

// True when the last character of the code-page text (double-byte aware)
// sorts after "."; its first byte is compared unsigned.
bool NeedsFinalPeriod(const std::string& message);

// The box's text: the message turned into UTF-16 with the thread's code page,
// followed by "." when NeedsFinalPeriod says so.
std::wstring ErrorReportText(const std::string& message);

// Shows the box for a code-page message.
void ReportError(HWND owner, const std::wstring& caption, const std::string& message);

// Reports the exception being handled (call only inside a catch block):
// tarvel::Error and other std::exception with their message, the silent
// abort not at all.
void ReportCurrentException(HWND owner, const std::wstring& caption);

}  // namespace tarvel::app
