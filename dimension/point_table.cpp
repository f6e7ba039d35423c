#include "dimension/point_table.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <system_error>

#include "support/checked.h"
#include "support/errors.h"
#include "support/text.h"

namespace tarvel {

namespace {

PointTable& Table() {
    static PointTable table;
    return table;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Decimal exponent of the leading significant digit of the digits
// `integer` "." `fraction`, with the written exponent `exponent` added;
// only its sign matters to the caller, so it saturates.
std::int64_t LeadingPower(const std::string& integer, const std::string& fraction, std::int64_t exponent) {
    std::int64_t power = 0;
    const auto first = integer.find_first_not_of('0');
    if (first != std::string::npos) {
        power = static_cast<std::int64_t>(integer.size() - first) - 1;
    } else {
        const auto lead = fraction.find_first_not_of('0');
        power = -static_cast<std::int64_t>(lead) - 1;
    }
    return power + exponent;
}

}  // namespace

PointTable& Points() { return Table(); }

void ResetPointTable() { Table() = PointTable{}; }

void CutField(std::string& text, std::string& field) {
    field.clear();
    const std::string trimmed(TrimControls(text));

    const auto comma = trimmed.find(',');
    if (comma == std::string::npos) {
        field = trimmed;
        text.clear();
    } else {
        field = trimmed.substr(0, comma);
        text = trimmed.substr(comma + 1);
    }
}

double ParseCoordinate(const std::string& text) {
    const std::size_t n = text.size();
    std::size_t i = 0;
    while (i < n && text[i] == ' ') ++i;

    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }

    std::string integer;
    while (i < n && IsDigit(text[i])) integer += text[i++];
    std::string fraction;
    bool point = false;
    if (i < n && text[i] == '.') {
        point = true;
        ++i;
        while (i < n && IsDigit(text[i])) fraction += text[i++];
    }
    if (integer.empty() && !point) throw ConvertError(text);

    std::string exponent;
    bool exponent_negative = false;
    if (i < n && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            exponent_negative = text[i] == '-';
            ++i;
        }
        while (i < n && IsDigit(text[i])) exponent += text[i++];
        if (exponent.empty()) throw ConvertError(text);
    }

    while (i < n && text[i] == ' ') ++i;
    if (i != n) throw ConvertError(text);

    const double zero = negative ? -0.0 : 0.0;
    const bool all_zero =
        integer.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
    if (all_zero) return zero;  // "0", "0.000", ".", "0e999"

    // The same number in the plain form std::from_chars takes, which reads
    // "." as the separator whatever the locale says and rounds to nearest.
    std::string plain = negative ? "-" : "";
    plain += integer.empty() ? "0" : integer;
    if (!fraction.empty()) plain += "." + fraction;
    if (!exponent.empty()) plain += (exponent_negative ? "e-" : "e") + exponent;

    double value = 0;
    const char* first = plain.data();
    const char* last = first + plain.size();
    const auto result = std::from_chars(first, last, value);
    if (result.ec == std::errc() && result.ptr == last) return value;
    if (result.ec != std::errc::result_out_of_range || result.ptr != last) throw ConvertError(text);

    // Out of range: too large is an error, too small becomes zero.
    std::int64_t written = 0;
    for (char c : exponent) {
        written = written * 10 + (c - '0');
        if (written > 1000000000) break;  // far beyond any real's range
    }
    if (exponent_negative) written = -written;
    if (LeadingPower(integer, fraction, written) >= 0) throw ConvertError(text);
    return zero;
}

void AddPoint(CadLink& link) {
    std::string t;
    link.QuerySysVar("LASTPOINT", t);

    PointTable& table = Table();
    const std::int32_t slot = CheckedAdd(table.PointCount, 1);
    if (!RangeArray<double, MaxPoints>::InRange(slot)) throw RangeError();
    table.PointCount = slot;
    table.PointText[slot] = t;

    std::string rest = t;
    ParsePointXY(rest, table.PointX[slot], table.PointY[slot]);

    // The text goes back into AutoCAD inside dimlinear commands, so it must
    // be a coordinate and nothing else: a Z that is there must be a number,
    // and there is no fourth field.
    if (!IsBlankText(rest)) {
        std::string field;
        CutField(rest, field);
        ParseCoordinate(field);
        if (!IsBlankText(rest)) {
            CutField(rest, field);
            throw ConvertError(field);
        }
    }

    // A blank or a control character ends an answer when AutoCAD reads the
    // typed command, so a text holding one would leave AutoCAD inside a
    // half-typed dimlinear: refuse it, naming the field that holds it.
    std::size_t begin = 0;
    while (begin <= t.size()) {
        const auto comma = std::min(t.find(',', begin), t.size());
        const std::string piece = t.substr(begin, comma - begin);
        for (char c : piece) {
            if (IsBlankOrControl(c)) throw ConvertError(piece);
        }
        begin = comma + 1;
    }
}

void ParsePointXY(std::string& text, double& x, double& y) {
    std::string field;
    CutField(text, field);
    x = ParseCoordinate(field);
    CutField(text, field);
    y = ParseCoordinate(field);
}

void SwapDouble(double& a, double& b) {
    unsigned char held[sizeof(double)];
    std::memcpy(held, &a, sizeof held);
    std::memcpy(&a, &b, sizeof held);
    std::memcpy(&b, held, sizeof held);
}

}  // namespace tarvel
