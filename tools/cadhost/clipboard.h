// The text window's "copy history": the whole history onto the clipboard.
#pragma once

#include <windows.h>

namespace cadhost {

struct Host;

// WM_COMMAND 32781 to the text window: the whole history onto the clipboard
// as text (CF_UNICODETEXT and CF_TEXT), before the message returns; logged
// with whether it worked.
void CopyHistory(Host& h, HWND owner);

}  // namespace cadhost
