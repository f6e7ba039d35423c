// Text conversions at the Win32 calls. Tarvel's 8-bit texts are in the ANSI
// code page of the calling thread's locale (Shift-JIS on the target
// machines): every conversion to and from UTF-16 goes through here, with no
// flags, so a character the code page cannot hold becomes its default
// character. Lengths are checked: a text too long for the Win32 count raises
// the integer overflow error instead of being cut.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarvel::win32 {

// The ANSI code page of the calling thread's locale, as a number (932 in a
// Japanese locale); CP_ACP's value when the locale gives none.
UINT ThreadCodePage();

// Whether the byte begins a double-byte character in the code page.
bool IsLeadByte(UINT code_page, unsigned char byte);

// Between UTF-16 and the bytes of a code page (CP_THREAD_ACP, CP_UTF8, or a
// number); empty when the conversion fails.
std::wstring ToWide(std::string_view bytes, UINT code_page = CP_THREAD_ACP);
std::string ToBytes(std::wstring_view text, UINT code_page = CP_THREAD_ACP);

// The same for the UTF-16 texts of the portable code.
std::u16string ToUtf16(std::string_view bytes, UINT code_page = CP_THREAD_ACP);
std::string ToBytes(std::u16string_view text, UINT code_page = CP_THREAD_ACP);

inline std::string ToUtf8(std::wstring_view text) { return ToBytes(text, CP_UTF8); }
inline std::wstring FromUtf8(std::string_view bytes) { return ToWide(bytes, CP_UTF8); }

}  // namespace tarvel::win32
