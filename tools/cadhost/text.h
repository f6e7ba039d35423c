// Text helpers of the CAD host: number and point formats as AutoCAD writes
// them, the coordinate grammar it accepts, UTF-16 to UTF-8.
// Portable: no <windows.h>, so the parsers can be fuzzed natively.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cadhost {

struct Point {
    double x = 0;
    double y = 0;
    double z = 0;
};

// A coordinate with four decimals, as AutoCAD's default precision writes it;
// a value that rounds to zero is written "0.0000", never "-0.0000".
std::u16string FormatCoord(double v);

// "x,y,z", each with four decimals.
std::u16string FormatPoint(const Point& p);

// A measured value as a dimension shows it: four decimals with trailing
// zeros (and a trailing decimal point) suppressed: 2000.0000 -> "2000",
// 12.5000 -> "12.5".
std::u16string FormatMeasurement(double v);

// One real number in AutoCAD's typed form: optional sign, digits with an
// optional decimal point, optional exponent. Nothing else, not even blanks.
std::optional<double> ParseReal(std::u16string_view text);

// A typed point: "x,y", "x,y,z", relative "@dx,dy[,dz]" (to `last`) or a lone
// "@" (the last point itself). Two-dimensional input has z = 0 (elevation).
std::optional<Point> ParsePoint(std::u16string_view text, const Point& last);

// Upper-cases the ASCII letters a to z only.
std::u16string AsciiUpper(std::u16string_view text);

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string FromUtf8(std::string_view text);

// The text as AutoCAD echoes it on the command line: control characters
// shown as "^A" ... "^_", DEL as "^?".
std::u16string EchoForm(std::u16string_view text);

}  // namespace cadhost
