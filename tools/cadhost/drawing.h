// The drawing of the CAD host: how a linear dimension is laid out (extension
// lines, dimension line, ticks, text), and the DXF and SVG files written from
// it. Portable: no <windows.h>.
#pragma once

#include <string>
#include <vector>

#include "tools/cadhost/interpreter.h"

namespace cadhost {

struct Segment {
    Point a;
    Point b;
};

// One line of dimension text: its centre, its height and its angle (0 for a
// horizontal dimension, 90 for a vertical one, reading upwards).
struct TextLine {
    std::u16string text;
    Point center;
    double height = 0;
    double angle = 0;
};

struct DimGeometry {
    Segment ext1, ext2;    // extension lines
    Segment line;          // dimension line
    Segment tick1, tick2;  // oblique ticks where it meets the extension lines
    std::vector<TextLine> texts;
};

// The dimension text with "<>" replaced by the measured value (trailing
// zeros suppressed); the measured value alone when there is no override.
std::u16string ResolvedText(const Dimension& d);

// The text split as AutoCAD lays it out: "\X" divides the lines above the
// dimension line from those below it (only the first "\X" does), "\P" breaks
// a line.
struct TextLayout {
    std::vector<std::u16string> above;
    std::vector<std::u16string> below;
};
TextLayout SplitText(const std::u16string& resolved);

// The dimension scale for a drawing: a round number (1, 2 or 5 times a power
// of ten) that makes the text readable at the size of the whole drawing.
double DrawingScale(const std::vector<Dimension>& dims, const std::vector<Point>& points);

// Dimension sizes at scale 1, as the ISO-25 style has them.
constexpr double kTextHeight = 2.5;
constexpr double kExtOffset = 0.625;
constexpr double kExtBeyond = 1.25;
constexpr double kTextGap = 0.625;
constexpr double kTickSize = 1.25;
constexpr double kLineSpacing = 1.6;  // between text lines, in text heights

DimGeometry LayOut(const Dimension& d, double scale);

// An ASCII DXF (R12) with one DIMENSION entity per dimension, each with its
// anonymous block *Dn holding the drawn geometry.
std::string WriteDxf(const std::vector<Dimension>& dims, const std::vector<Point>& points);

// An SVG of the dimensions (and the picked points, as small crosses).
std::string WriteSvg(const std::vector<Dimension>& dims, const std::vector<Point>& points);

}  // namespace cadhost
