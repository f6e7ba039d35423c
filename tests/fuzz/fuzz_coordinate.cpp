// CutField and ParseCoordinate over arbitrary bytes: no crash; a text is
// accepted exactly when it has the coordinate form, and then converts to the
// nearest double (glibc's strtod in the C locale is the reference); every
// other text raises the conversion error quoting it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "dimension/point_table.h"
#include "support/errors.h"

namespace {

bool HasCoordinateForm(const std::string& text) {
    static const std::regex form("^ *[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]*)([eE][+-]?[0-9]+)? *$",
                                 std::regex::ECMAScript | std::regex::optimize);
    return std::regex_match(text, form);
}

void CheckParse(const std::string& text) {
    const bool form = HasCoordinateForm(text);
    double value = 0;
    try {
        value = tarvel::ParseCoordinate(text);
    } catch (const tarvel::ConvertError& e) {
        if (e.text() != text) std::abort();  // the message must quote the field
        if (!form) return;
        // Only a value too large for a double may be refused in the form.
        const double reference = std::strtod(text.c_str(), nullptr);
        if (!std::isinf(reference)) std::abort();
        return;
    }
    if (!form) std::abort();  // accepted something that is not a number
    if (std::isnan(value) || std::isinf(value)) std::abort();
    // strtod takes the same digits; where it sees no digits at all ("." or
    // "-.e5") the value is zero.
    const double reference = std::strtod(text.c_str(), nullptr);
    if (std::fpclassify(reference) == FP_SUBNORMAL || reference == 0) {
        if (value != 0 && value != reference) std::abort();
        return;
    }
    if (std::memcmp(&value, &reference, sizeof value) != 0) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.find('\0') != std::string::npos) return 0;  // window texts end at a zero byte

    CheckParse(input);

    // Cutting: every field is a comma-free piece of the input, the cuts
    // never invent a byte, and the loop ends (each cut consumes a comma).
    std::string rest = input;
    std::string field;
    std::size_t total = 0;
    const std::size_t commas = static_cast<std::size_t>(std::count(input.begin(), input.end(), ','));
    std::size_t cuts = 0;
    do {
        tarvel::CutField(rest, field);
        if (field.find(',') != std::string::npos) std::abort();
        if (input.find(field) == std::string::npos) std::abort();
        total += field.size() + 1;
        if (++cuts > commas + 1) std::abort();
        CheckParse(field);
    } while (!rest.empty());
    if (total > input.size() + 1) std::abort();
    return 0;
}
