// The clipboard as the tests read it: opened on a window of the test,
// retried while another program holds it, every block read within its size.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace wintest {

// The whole block of `format`; empty when the clipboard holds no such
// format, nullopt when it could not be opened.
std::optional<std::vector<unsigned char>> ClipboardBytes(HWND owner, UINT format);

// The text of CF_UNICODETEXT (CF_TEXT) up to its terminator and never past
// its block; "<busy>" when the clipboard could not be opened.
std::wstring ClipboardText(HWND owner = nullptr);
std::string ClipboardAnsiText(HWND owner = nullptr);

}  // namespace wintest
