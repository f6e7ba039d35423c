// The host's Win32 side holds its texts as the portable code does, UTF-16 in
// std::u16string; the Win32 calls take the same units as std::wstring
// (wchar_t is 16 bits on Windows). Conversions to and from 8-bit text go
// through support/win32/text.h.
#pragma once

#include <windows.h>

#include <string>

namespace cadhost {

inline std::wstring W(const std::u16string& s) { return std::wstring(s.begin(), s.end()); }
inline std::u16string U(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// The 8-bit windows, WM_COPYDATA and the clipboard's CF_TEXT all use the
// system's ANSI code page (not the thread's).
constexpr UINT kAnsiCodePage = CP_ACP;

}  // namespace cadhost
