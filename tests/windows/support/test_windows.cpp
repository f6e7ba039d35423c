#include "tests/windows/support/test_windows.h"

#include <cstdlib>
#include <cstring>

#include "support/win32/text.h"
#include "tools/common/window_list.h"

namespace wintest {

using tarvel::common::Title;
using tarvel::win32::ToBytes;
using tarvel::win32::ToWide;

// Every kind of line end, and an empty line at the end.
const char* const kChildHistory = "コマンド: ID\r\n点を指定: \rX = 1.0000     Y = 2.0000     Z = 0.0000\n\r\n";
const char* const kChildMainTitle = "AutoCAD 2005 - [child.dwg]";
const char* const kChildTextTitle = "AutoCAD テキスト ウィンドウ - child.dwg";
// 0x89 0x83 is one character ("宴"); its trail byte 0x83 starts the bytes
// of "テキスト ウィンドウ", which do not begin a character here.
const char* const kFalseTextTitle = "AutoCAD 宴eキスト ウィンドウ - child.dwg";
const char* const kFalseCmdLineTitle = "宴Rマンド ライン";

namespace {

// A Unicode class gets the 8-bit name with "#W", so both kinds can be had.
void EnsureClass(const std::string& name, bool unicode, WNDPROC proc = nullptr) {
    auto fill = [&](auto& wc, WNDPROC plain) {
        wc.lpfnWndProc = proc ? proc : plain;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    };
    if (unicode) {
        const std::wstring wide = ToWide(name) + L"#W";
        WNDCLASSW wc{};
        fill(wc, DefWindowProcW);
        wc.lpszClassName = wide.c_str();
        RegisterClassW(&wc);
    } else {
        WNDCLASSA wc{};
        fill(wc, DefWindowProcA);
        wc.lpszClassName = name.c_str();
        RegisterClassA(&wc);
    }
}

HWND Create(const std::string& window_class, const std::string& title, HWND parent, DWORD style, bool unicode,
            WNDPROC proc = nullptr) {
    EnsureClass(window_class, unicode, proc);
    if (parent) style |= WS_CHILD;
    if (unicode) {
        const std::wstring cls = ToWide(window_class) + L"#W";
        return CreateWindowExW(0, cls.c_str(), ToWide(title).c_str(), style, 0, 0, 200, 100, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
    return CreateWindowExA(0, window_class.c_str(), title.c_str(), style, 0, 0, 200, 100, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

HWND FirstTitled(const std::vector<HWND>& windows, const std::string& title) {
    for (HWND window : windows) {
        if (ToBytes(Title(window)) == title) return window;
    }
    return nullptr;
}

}  // namespace

TestWindow::TestWindow(const std::string& window_class, const std::string& title, HWND parent, DWORD style,
                       bool unicode)
    : window_(Create(window_class, title, parent, style, unicode)) {}

int IndexOf(const std::vector<HWND>& list, HWND window) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == window) return static_cast<int>(i);
    }
    return -1;
}

void BringToTop(HWND window) { SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE); }

HWND FindTopLevel(DWORD process, const std::string& title) {
    return FirstTitled(tarvel::common::TopLevelWindowsOf(process), title);
}

HWND FindChild(HWND parent, const std::string& title) {
    return FirstTitled(tarvel::common::Descendants(parent), title);
}

// ---- the child process ----

ChildHost::ChildHost(const std::vector<std::string>& items) {
    static int serial = 0;
    const std::wstring tag = std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++serial);
    const std::wstring ready_name = L"TarvelLinkTestReady-" + tag;
    const std::wstring quit_name = L"TarvelLinkTestQuit-" + tag;
    ready_event_.reset(CreateEventW(nullptr, TRUE, FALSE, ready_name.c_str()));
    quit_event_.reset(CreateEventW(nullptr, TRUE, FALSE, quit_name.c_str()));

    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::vector<std::wstring> args = {L"--child", ready_name, quit_name};
    for (const std::string& item : items) args.push_back(ToWide(item));
    if (!process_.Start(exe, args)) return;
    const HANDLE waits[2] = {ready_event_.value(), process_.Handle()};
    ready_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
}

int ChildHost::Finish(DWORD wait_ms) {
    if (finished_) return exit_code_;
    finished_ = true;
    if (!process_.Started()) return -1;
    SetEvent(quit_event_.value());
    if (!process_.WaitExit(wait_ms)) {
        process_.Kill(255);
        return -1;
    }
    exit_code_ = static_cast<int>(process_.ExitCode());
    return exit_code_;
}

ChildHost::~ChildHost() { Finish(); }

namespace {

int g_copydata_count = 0;
DWORD g_holdclip_ms = 0;
DWORD g_slow_ms = 0;
bool g_thirdparty = false;

LRESULT CALLBACK ChildMainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COPYDATA) {
        ++g_copydata_count;
        if (g_slow_ms) Sleep(g_slow_ms);  // busy with the command
        return TRUE;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK ChildTextProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_COMMAND && LOWORD(wparam) == 32781) {
        if (OpenClipboard(window)) {
            EmptyClipboard();
            const std::size_t n = std::strlen(kChildHistory) + 1;
            HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, n);
            std::memcpy(GlobalLock(block), kChildHistory, n);
            GlobalUnlock(block);
            SetClipboardData(CF_TEXT, block);
            if (g_holdclip_ms) {
                SetTimer(window, 1, g_holdclip_ms, nullptr);  // closes it later
            } else {
                CloseClipboard();
            }
        }
        if (g_thirdparty) {
            // Another program writes to the clipboard right after the copy.
            if (HWND third = FindWindowA(kThirdProgramClass, nullptr)) {
                DWORD_PTR ignored = 0;
                SendMessageTimeoutA(third, kThirdProgramWrite, 0, 0, SMTO_NORMAL, 5000, &ignored);
            }
        }
        return 0;
    }
    if (message == WM_TIMER && wparam == 1) {
        KillTimer(window, 1);
        CloseClipboard();
        return 0;
    }
    return DefWindowProcA(window, message, wparam, lparam);
}

}  // namespace

int RunChild(int argc, char** argv) {
    if (argc < 4) return 250;
    const tarvel::win32::Handle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
    const tarvel::win32::Handle quit(OpenEventA(SYNCHRONIZE, FALSE, argv[3]));
    if (!ready || !quit) return 251;

    DWORD hang_ms = 0;
    bool main = false, text = false, floating = false, dbcstext = false;
    for (int i = 4; i < argc; ++i) {
        const std::string item = argv[i];
        if (item == "main")
            main = true;
        else if (item == "text")
            text = true;
        else if (item == "floating")
            floating = true;
        else if (item == "dbcstext")
            dbcstext = true;
        else if (item == "thirdparty")
            g_thirdparty = true;
        else if (item.rfind("holdclip=", 0) == 0)
            g_holdclip_ms = static_cast<DWORD>(std::atoi(item.c_str() + 9));
        else if (item.rfind("slow=", 0) == 0)
            g_slow_ms = static_cast<DWORD>(std::atoi(item.c_str() + 5));
        else if (item.rfind("hang=", 0) == 0)
            hang_ms = static_cast<DWORD>(std::atoi(item.c_str() + 5));
        else
            return 252;
    }

    if (main) {
        HWND w = Create(kMainClass, kChildMainTitle, nullptr, 0, false, ChildMainProc);
        Create(kPaneClass, "Headlands", w, 0, false);
    }
    if (text) Create(kTextClass, kChildTextTitle, nullptr, 0, false, ChildTextProc);
    if (dbcstext) Create(kTextClass, kFalseTextTitle, nullptr, 0, false, ChildTextProc);
    if (floating) {
        HWND f = Create(kFloatClass, "コマンド ライン", nullptr, 0, false);
        Create(kPaneClass, "Headlands", f, 0, false);
        Create(kPaneClass, "MountTam", f, 0, false);
    }
    // Let the windows settle, then tell the test.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    SetEvent(ready.value());
    if (hang_ms) Sleep(hang_ms);  // no messages are handled meanwhile

    const HANDLE quit_event = quit.value();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &quit_event, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return g_copydata_count;
}

}  // namespace wintest
