#include "tests/windows/support/clipboard.h"

#include <cstring>

#include "support/win32/owner.h"

namespace wintest {

namespace {

// Long enough for a holder that lets go within the link's own bounds.
constexpr DWORD kOpenRetryMs = 3000;

// The units of `bytes` up to the first zero one.
template <class Char>
std::basic_string<Char> UpToTerminator(const std::vector<unsigned char>& bytes) {
    std::basic_string<Char> text(bytes.size() / sizeof(Char), Char{});
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(Char));
    return text.substr(0, text.find(Char{}));
}

}  // namespace

std::optional<std::vector<unsigned char>> ClipboardBytes(HWND owner, UINT format) {
    const tarvel::win32::ClipboardOpen open = tarvel::win32::OpenClipboardRetrying(owner, kOpenRetryMs);
    if (!open) return std::nullopt;
    std::vector<unsigned char> bytes;
    const tarvel::win32::LockedGlobal block(static_cast<HGLOBAL>(GetClipboardData(format)));
    if (const auto* p = static_cast<const unsigned char*>(block.data())) bytes.assign(p, p + block.size());
    return bytes;
}

std::wstring ClipboardText(HWND owner) {
    const auto bytes = ClipboardBytes(owner, CF_UNICODETEXT);
    return bytes ? UpToTerminator<wchar_t>(*bytes) : L"<busy>";
}

std::string ClipboardAnsiText(HWND owner) {
    const auto bytes = ClipboardBytes(owner, CF_TEXT);
    return bytes ? UpToTerminator<char>(*bytes) : "<busy>";
}

}  // namespace wintest
