// The pick prompts painted onto AutoCAD's command-line history pane: one
// line at its bottom-left corner, black on light red, until the pane
// repaints itself.
#pragma once

#include <windows.h>

#include <string>

namespace tarvel {

constexpr COLORREF kPromptBackColor = 0x7F7FFF;  // red 255, green 127, blue 127
constexpr COLORREF kPromptTextColor = 0x000000;

// Paints the 8-bit text in the window's current font. Paints nothing when
// the handle is null or no longer names a window.
void DrawPromptText(HWND window, const std::string& message);

}  // namespace tarvel
