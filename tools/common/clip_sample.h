// The clipboard as the checks, the tests and the clipboard holder see it
// from outside. A user's clipboard as the whole-program checks put it there
// before a run and look for it afterwards: a text, a registered format's
// bytes and, with pictures, an enhanced metafile, a metafile picture, a
// bitmap and a palette, made the same way every time. And what is on the
// clipboard now, read within its blocks.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace tarvel::common {

struct ClipSample {
    std::wstring text = L"利用者の文 user text";
    std::wstring format_name = L"Tarvel Test Private Format";  // empty: no registered format
    std::string data = "user-bytes-0123";                      // the registered format's bytes, no terminator
    bool pictures = true;
};

// Empties the clipboard and puts the sample there. False when a format
// could not be put.
bool PutClip(HWND owner, const ClipSample& sample);

// "same" when every format of the sample holds what PutClip put there;
// otherwise what was found, "text=... format=..." and, for the pictures
// that differ, "enhmetafile=absent" and the like. The text field escapes
// control characters as \xHH.
std::string CheckClip(HWND owner, const ClipSample& sample);

// The whole block of `format`; empty when the clipboard holds no such
// format, nullopt when it could not be opened.
std::optional<std::vector<unsigned char>> ClipboardBytes(HWND owner, UINT format);

// The text of CF_UNICODETEXT (CF_TEXT) up to its terminator and never past
// its block; "<busy>" when the clipboard could not be opened.
std::wstring ClipboardText(HWND owner = nullptr);
std::string ClipboardAnsiText(HWND owner = nullptr);

// Control characters and backslashes as \xHH, so a text stays one line.
std::string Escaped(const std::wstring& text);

}  // namespace tarvel::common
