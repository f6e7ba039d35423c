// A user's clipboard as the whole-program checks put it there before a run
// and look for it afterwards: a text, a registered format's bytes and, with
// pictures, an enhanced metafile, a metafile picture, a bitmap and a
// palette, made the same way every time.
#pragma once

#include <windows.h>

#include <string>

namespace tarvel::driver {

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

}  // namespace tarvel::driver
