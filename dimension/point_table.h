// The point table of a dimension run and the small operations on it.
//
// The table is module-level state that lives as long as the process. Slots
// are numbered from 1; slots 1..PointCount are in use. For every slot in use,
// PointX and PointY are the conversions of the first and second
// comma-separated fields of PointText.
#pragma once

#include <cstdint>
#include <string>

#include "dimension/cad_link.h"
#include "support/range_array.h"

namespace tarvel {

inline constexpr std::int32_t MaxPoints = 500;

struct PointTable {
    RangeArray<std::string, MaxPoints> PointText;  // LASTPOINT text as AutoCAD gave it
    std::int32_t PointCount = 0;
    RangeArray<double, MaxPoints> PointX;
    RangeArray<double, MaxPoints> PointY;
};

// The one table of the program.
PointTable& Points();

// Puts the table back into its start-up state: empty texts, reals 0,
// PointCount 0.
void ResetPointTable();

// Trims characters of code 32 or lower from both ends of `text`, then
// removes the leading comma-separated field from it and gives it back in
// `field` (untrimmed; the comma itself is dropped).
void CutField(std::string& text, std::string& field);

// Converts a coordinate field to a real. Accepts: spaces, an optional sign,
// digits with an optional "." and fraction digits (at least a digit or the
// point), an optional exponent ("E" or "e", an optional sign, one digit or
// more), spaces, end. The decimal separator is always ".". Gives the nearest
// 8-byte real; a value too small for one gives zero (with its sign).
// Throws ConvertError for anything else, including a value too large.
double ParseCoordinate(const std::string& text);

// X and Y of a point text, its first two fields, cut off `text` by CutField
// and converted by ParseCoordinate; what is left stays in `text`.
void ParsePointXY(std::string& text, double& x, double& y);

// Reads LASTPOINT through the link and appends it as point PointCount + 1.
// Throws RangeError when the table is full (nothing is stored then) and
// ConvertError when the text's X or Y is not a number, when a third field
// is there and is not a number, when there is a fourth field, or when the
// text holds a blank or a control character anywhere, which would end an
// answer inside the dimlinear command the text is typed into (the text is
// stored and counted then, and X and Y as far as they converted).
void AddPoint(CadLink& link);

// Exchanges the two reals bit for bit.
void SwapDouble(double& a, double& b);

}  // namespace tarvel
