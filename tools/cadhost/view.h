// The view, the prompt line and the history pane: how the view maps drawing
// units to pixels, and how the three are painted.
#pragma once

#include <windows.h>

#include "support/win32/owner.h"
#include "tools/cadhost/interpreter.h"

namespace cadhost {

// The GDI objects of the paints, made once with the host and kept.
struct PaintTools {
    tarvel::win32::Font ui_font;
    tarvel::win32::Brush white, black;
    tarvel::win32::Pen dimension, tick, pick;
};

PaintTools MakePaintTools();

// The view's mapping from drawing units to pixels (y up in the drawing).
struct ViewMapping {
    double scale = 1, x0 = 0, y0 = 0;
    int height = 0;
};

// Fits the drawing into a view of this client area, keeping at least a
// default area so the first picks of an empty drawing land where the user
// expects them.
ViewMapping FitView(const Interpreter& interp, const RECT& rc);

// The drawing point under a pixel of the view, to a tenth of a unit.
Point ToDrawing(const ViewMapping& m, int px, int py);

// WM_PAINT of the view, the prompt line and the history pane.
void PaintView(const PaintTools& tools, const Interpreter& interp, HWND hwnd);
void PaintPrompt(const PaintTools& tools, const Interpreter& interp, HWND hwnd);
void PaintHistory(const PaintTools& tools, const Interpreter& interp, HWND hwnd);

}  // namespace cadhost
