// What reaches the interpreter: typed commands (WM_COPYDATA), keys, mouse
// clicks in the view and the actions of the pick script, each logged with
// its source; after each the windows are repainted and the script timer is
// armed again for the prompt now showing.
#pragma once

#include <windows.h>

namespace cadhost {

struct Host;

// WM_COPYDATA with dwData 1: typed input, UTF-16 for a Unicode frame, else
// 8-bit text of the ANSI code page. The length comes from cbData alone; the
// text ends early at a zero character.
LRESULT OnCopyData(Host& h, const COPYDATASTRUCT* cds);

// WM_CHAR: a UTF-16 unit for a Unicode window; for an ANSI window a byte of
// the code page, a double-byte character arriving as two messages.
void TypeKey(Host& h, WPARAM ch);

// The left button in the view at `lp`: a point for a prompt that takes one;
// the right button ends the answer. Neither while the pick script has
// actions left.
void MousePick(Host& h, HWND view, LPARAM lp);
void MouseEnd(Host& h);

// The script timer went off.
void RunScriptAction(Host& h);

}  // namespace cadhost
