// clipholder.exe: a second program on the clipboard, as a clipboard manager
// or another application is on a user's desktop.
//
//   clipholder.exe --hold MS [--after MS]
//       opens the clipboard (after --after ms), prints "holding", keeps it
//       open for MS ms, closes it, prints "released"
//   clipholder.exe --write-at MS --text TEXT
//       after MS ms writes TEXT to the clipboard as Unicode text, prints
//       "written"
//   clipholder.exe --put TEXT [--format NAME --data TEXT]
//       the clipboard becomes TEXT (Unicode text) and, with --format, also
//       the registered format NAME holding the bytes of --data (UTF-8, no
//       terminator)
//   clipholder.exe --check TEXT [--format NAME --data TEXT]
//       exit status 0 when the clipboard holds exactly that; prints what it
//       holds either way
//
// Every wait is bounded: no time above 60000 ms is taken, and opening the
// clipboard is given up after 5 s. Exit status 0 on success, 1 on a
// failure, 2 on a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr long kMaxMs = 60000;
constexpr DWORD kOpenTimeoutMs = 5000;

std::string Utf8(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
    return s;
}

void Say(const std::string& line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

struct Args {
    long hold = -1, after = 0, write_at = -1;
    bool has_text = false, put = false, check = false;
    std::wstring text, format, data;
};

bool Number(const wchar_t* s, long& out) {
    wchar_t* end = nullptr;
    const long v = std::wcstol(s, &end, 10);
    if (!*s || *end || v < 0 || v > kMaxMs) return false;
    out = v;
    return true;
}

bool Parse(int argc, wchar_t** argv, Args& a) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring o = argv[i];
        if (i + 1 >= argc) return false;
        const wchar_t* v = argv[++i];
        if (o == L"--hold") {
            if (!Number(v, a.hold)) return false;
        } else if (o == L"--after") {
            if (!Number(v, a.after)) return false;
        } else if (o == L"--write-at") {
            if (!Number(v, a.write_at)) return false;
        } else if (o == L"--text") {
            a.text = v;
            a.has_text = true;
        } else if (o == L"--put" || o == L"--check") {
            (o == L"--put" ? a.put : a.check) = true;
            a.text = v;
            a.has_text = true;
        } else if (o == L"--format") {
            a.format = v;
        } else if (o == L"--data") {
            a.data = v;
        } else {
            return false;
        }
    }
    const int modes = (a.hold >= 0) + (a.write_at >= 0) + a.put + a.check;
    if (modes != 1) return false;
    if (a.write_at >= 0 && !a.has_text) return false;
    return true;
}

// The clipboard opened on a window of our own, retried while another
// program holds it.
class Clipboard {
public:
    explicit Clipboard(HWND owner) {
        const ULONGLONG deadline = GetTickCount64() + kOpenTimeoutMs;
        while (!(open_ = OpenClipboard(owner) != FALSE) && GetTickCount64() < deadline) Sleep(10);
    }
    ~Clipboard() {
        if (open_) CloseClipboard();
    }
    explicit operator bool() const { return open_; }

private:
    bool open_ = false;
};

bool PutBytes(UINT format, const void* bytes, size_t size) {
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size ? size : 1);
    void* p = mem ? GlobalLock(mem) : nullptr;
    if (!p) {
        if (mem) GlobalFree(mem);
        return false;
    }
    if (size) std::memcpy(p, bytes, size);
    GlobalUnlock(mem);
    if (!SetClipboardData(format, mem)) {
        GlobalFree(mem);
        return false;
    }
    return true;
}

bool PutText(const std::wstring& text) {
    return PutBytes(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

// Bytes of one format as the clipboard holds them; false when absent.
bool GetBytes(UINT format, std::string& out) {
    HANDLE h = GetClipboardData(format);
    if (!h) return false;
    const void* p = GlobalLock(h);
    if (!p) return false;
    out.assign(static_cast<const char*>(p), GlobalSize(h));
    GlobalUnlock(h);
    return true;
}

int Run(const Args& a, HWND owner) {
    if (a.hold >= 0) {
        if (a.after) Sleep(static_cast<DWORD>(a.after));
        Clipboard c(owner);
        if (!c) {
            Say("cannot open the clipboard");
            return 1;
        }
        Say("holding");
        Sleep(static_cast<DWORD>(a.hold));
        Say("released");
        return 0;
    }
    if (a.write_at >= 0) {
        Sleep(static_cast<DWORD>(a.write_at));
        Clipboard c(owner);
        if (!c || !EmptyClipboard() || !PutText(a.text)) {
            Say("cannot write the clipboard");
            return 1;
        }
        Say("written");
        return 0;
    }
    const std::string data = Utf8(a.data);
    const UINT format = a.format.empty() ? 0 : RegisterClipboardFormatW(a.format.c_str());
    if (!a.format.empty() && !format) {
        Say("cannot register the format");
        return 1;
    }
    Clipboard c(owner);
    if (!c) {
        Say("cannot open the clipboard");
        return 1;
    }
    if (a.put) {
        if (!EmptyClipboard() || !PutText(a.text) || (format && !PutBytes(format, data.data(), data.size()))) {
            Say("cannot write the clipboard");
            return 1;
        }
        Say("put");
        return 0;
    }
    // --check: the text, and the registered format's bytes (a block may be
    // rounded up, so what follows the data must be zeros).
    std::string bytes;
    std::wstring text;
    if (GetBytes(CF_UNICODETEXT, bytes)) {
        text.assign(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / sizeof(wchar_t));
        text = text.substr(0, text.find(L'\0'));
    }
    bool ok = text == a.text;
    Say("text=" + Utf8(text));
    if (format) {
        std::string got;
        const bool there = GetBytes(format, got);
        const bool same = there && got.size() >= data.size() && got.compare(0, data.size(), data) == 0 &&
                          got.find_first_not_of('\0', data.size()) == std::string::npos;
        ok = ok && same;
        Say("format=" + (there ? got.substr(0, got.find('\0')) : std::string("(absent)")));
    }
    Say(ok ? "same" : "different");
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Args a;
    if (!Parse(argc, argv, a)) {
        std::fputs("usage: clipholder.exe --hold MS [--after MS] | --write-at MS --text TEXT |\n"
                   "       --put TEXT [--format NAME --data TEXT] | --check TEXT [--format NAME --data TEXT]\n"
                   "(times in ms, at most 60000)\n",
                   stderr);
        return 2;
    }
    HWND owner = CreateWindowW(L"STATIC", L"clipholder", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    const int status = Run(a, owner);
    if (owner) DestroyWindow(owner);
    return status;
}
