// Text rules shared by the point table and the CAD link.
#pragma once

#include <string_view>

namespace tarvel {

// A character of code 32 or lower: the blank or a control character. Bytes
// of 128 and above (the bytes of double-byte characters) are not.
constexpr bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

// The text without the blanks and control characters at either end.
constexpr std::string_view TrimControls(std::string_view text) {
    while (!text.empty() && IsBlankOrControl(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlankOrControl(text.back())) text.remove_suffix(1);
    return text;
}

// True when the text holds nothing but blanks and control characters.
constexpr bool IsBlankText(std::string_view text) { return TrimControls(text).empty(); }

}  // namespace tarvel
