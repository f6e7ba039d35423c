#include "support/win32/text.h"

#include <limits>

#include "support/errors.h"

namespace tarvel::win32 {

namespace {

int CheckedCount(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw IntOverflowError();
    return static_cast<int>(n);
}

}  // namespace

UINT ThreadCodePage() {
    UINT page = 0;
    if (GetLocaleInfoW(GetThreadLocale(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                       reinterpret_cast<LPWSTR>(&page), sizeof page / sizeof(wchar_t)) == 0 ||
        page == 0) {
        return GetACP();
    }
    return page;
}

bool IsLeadByte(UINT code_page, unsigned char byte) { return IsDBCSLeadByteEx(code_page, byte) != FALSE; }

std::wstring ToWide(std::string_view bytes, UINT code_page) {
    if (bytes.empty()) return {};
    const int in = CheckedCount(bytes.size());
    const int n = MultiByteToWideChar(code_page, 0, bytes.data(), in, nullptr, 0);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n), L'\0');
    const int written = MultiByteToWideChar(code_page, 0, bytes.data(), in, text.data(), n);
    text.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return text;
}

std::string ToBytes(std::wstring_view text, UINT code_page) {
    if (text.empty()) return {};
    const int in = CheckedCount(text.size());
    const int n = WideCharToMultiByte(code_page, 0, text.data(), in, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string bytes(static_cast<std::size_t>(n), '\0');
    const int written = WideCharToMultiByte(code_page, 0, text.data(), in, bytes.data(), n, nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return bytes;
}

std::u16string ToUtf16(std::string_view bytes, UINT code_page) {
    const std::wstring wide = ToWide(bytes, code_page);
    return std::u16string(wide.begin(), wide.end());
}

std::string ToBytes(std::u16string_view text, UINT code_page) {
    const std::wstring wide(text.begin(), text.end());
    return ToBytes(std::wstring_view(wide), code_page);
}

}  // namespace tarvel::win32
