#include "tools/scenario/console.h"

#include <windows.h>

#include "support/win32/text.h"

namespace tarvel::driver {

Console::Console()
    : language_(PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? Language::Japanese : Language::English) {}

bool Console::Choose(std::wstring_view word) {
    if (word == L"ja") {
        language_ = Language::Japanese;
    } else if (word == L"en") {
        language_ = Language::English;
    } else {
        return false;
    }
    return true;
}

void Console::Print(std::wstring_view text) const {
    const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(out, &mode)) {
        WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    } else {
        const std::string utf8 = win32::ToUtf8(text);
        WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
    }
}

void Console::HoldIfOwnWindow() const {
    DWORD processes[2] = {};
    DWORD mode = 0;
    const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    if (GetConsoleProcessList(processes, 2) != 1 || !in || !GetConsoleMode(in, &mode)) return;
    Print(Say(L"\nPress Enter to close this window.\n", L"\nEnter キーを押すと、このウィンドウを閉じます。\n"));
    wchar_t line[64];
    DWORD read = 0;
    ReadConsoleW(in, line, 64, &read, nullptr);
}

std::size_t Columns(std::wstring_view text) {
    std::size_t n = 0;
    for (const wchar_t c : text) {
        if (c >= 0xDC00 && c <= 0xDFFF) continue;  // the second half of a pair
        const bool half_width_kana = c >= 0xFF61 && c <= 0xFF9F;
        const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                          (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                          (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFE6 && !half_width_kana) ||
                          (c >= 0xD800 && c <= 0xDBFF);
        n += wide ? 2 : 1;
    }
    return n;
}

std::wstring Padded(std::wstring text, std::size_t columns) {
    const std::size_t have = Columns(text);
    text.append(have + 2 < columns ? columns - have : 2, L' ');
    return text;
}

}  // namespace tarvel::driver
