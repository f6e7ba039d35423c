#include "tools/cadhost/text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace cadhost {

namespace {

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// Largest magnitude a typed coordinate may have; AutoCAD refuses anything
// that does not fit its drawing limits, and this keeps every sum finite.
constexpr double kMaxCoordinate = 1e99;

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

}  // namespace

std::u16string FormatCoord(double v) {
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    std::string s = buf;
    if (s == "-0.0000") s = "0.0000";
    return Widen(s);
}

std::u16string FormatPoint(const Point& p) {
    return FormatCoord(p.x) + u"," + FormatCoord(p.y) + u"," + FormatCoord(p.z);
}

std::u16string FormatMeasurement(double v) {
    std::u16string s = FormatCoord(v);
    const auto dot = s.find(u'.');
    if (dot != std::u16string::npos) {
        while (s.back() == u'0') s.pop_back();
        if (s.back() == u'.') s.pop_back();
    }
    return s;
}

std::optional<double> ParseReal(std::u16string_view t) {
    size_t i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
    size_t digits = 0;
    while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && IsDigit(t[i])) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
        size_t exp_digits = 0;
        while (i < t.size() && IsDigit(t[i])) ++i, ++exp_digits;
        if (exp_digits == 0) return std::nullopt;
    }
    if (i != t.size() || t.size() > 400) return std::nullopt;
    const std::string ascii(t.begin(), t.end());  // all ASCII by now
    const double v = std::strtod(ascii.c_str(), nullptr);
    if (!std::isfinite(v) || std::fabs(v) > kMaxCoordinate) return std::nullopt;
    return v;
}

std::optional<Point> ParsePoint(std::u16string_view t, const Point& last) {
    bool relative = false;
    if (!t.empty() && t[0] == u'@') {
        relative = true;
        t.remove_prefix(1);
        if (t.empty()) return last;
    }
    double v[3] = {0, 0, 0};
    int n = 0;
    while (true) {
        const size_t comma = t.find(u',');
        const std::u16string_view part = t.substr(0, comma);
        if (n == 3) return std::nullopt;
        const auto r = ParseReal(part);
        if (!r) return std::nullopt;
        v[n++] = *r;
        if (comma == std::u16string_view::npos) break;
        t.remove_prefix(comma + 1);
    }
    if (n < 2) return std::nullopt;
    Point p{v[0], v[1], v[2]};
    if (relative) {
        p.x += last.x;
        p.y += last.y;
        p.z += last.z;
        if (std::fabs(p.x) > kMaxCoordinate || std::fabs(p.y) > kMaxCoordinate || std::fabs(p.z) > kMaxCoordinate)
            return std::nullopt;
    }
    return p;
}

std::u16string AsciiUpper(std::u16string_view text) {
    std::u16string s(text);
    for (auto& c : s)
        if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return s;
}

std::string ToUtf8(std::u16string_view t) {
    std::string out;
    out.reserve(t.size() * 3);
    for (size_t i = 0; i < t.size(); ++i) {
        char32_t c = t[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (t[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string FromUtf8(std::string_view s) {
    std::u16string out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char b = static_cast<unsigned char>(s[i]);
        char32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if (b >= 0xC2 && b <= 0xF4) {
            const size_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            if (i + need <= s.size()) {
                char32_t v = b & (need == 2 ? 0x1F : need == 3 ? 0x0F : 0x07);
                bool ok = true;
                for (size_t k = 1; k < need; ++k) {
                    const unsigned char cb = static_cast<unsigned char>(s[i + k]);
                    if ((cb & 0xC0) != 0x80) {
                        ok = false;
                        break;
                    }
                    v = (v << 6) | (cb & 0x3F);
                }
                const char32_t min = need == 2 ? 0x80 : need == 3 ? 0x800 : 0x10000;
                if (ok && v >= min && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
                    c = v;
                    len = need;
                }
            }
        }
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += len;
    }
    return out;
}

std::u16string EchoForm(std::u16string_view text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c < 0x20) {
            out += u'^';
            out += static_cast<char16_t>(c + 0x40);
        } else if (c == 0x7F) {
            out += u"^?";
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace cadhost
