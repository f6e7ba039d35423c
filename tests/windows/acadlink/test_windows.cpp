#include "test_windows.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace linktest {

// Every kind of line end, and an empty line at the end.
const char* const kChildHistory =
    "コマンド: ID\r\n点を指定: \rX = 1.0000     Y = 2.0000     Z = 0.0000\n\r\n";
const char* const kChildMainTitle = "AutoCAD 2005 - [child.dwg]";
const char* const kChildTextTitle = "AutoCAD テキスト ウィンドウ - child.dwg";
// 0x89 0x83 is one character ("宴"); its trail byte 0x83 starts the bytes
// of "テキスト ウィンドウ", which do not begin a character here.
const char* const kFalseTextTitle = "AutoCAD 宴eキスト ウィンドウ - child.dwg";
const char* const kFalseCmdLineTitle = "宴Rマンド ライン";

ULONGLONG Now() { return GetTickCount64(); }

namespace {

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcA(window, message, wparam, lparam);
}

LRESULT CALLBACK PlainProcW(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(window, message, wparam, lparam);
}

std::wstring FromShiftJis(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

void EnsureClass(const std::string& name, bool unicode, WNDPROC proc = nullptr) {
    if (unicode) {
        const std::wstring wide = FromShiftJis(name) + L"#W";
        WNDCLASSW wc{};
        wc.lpfnWndProc = proc ? proc : PlainProcW;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = wide.c_str();
        RegisterClassW(&wc);
    } else {
        WNDCLASSA wc{};
        wc.lpfnWndProc = proc ? proc : PlainProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = name.c_str();
        RegisterClassA(&wc);
    }
}

HWND Create(const std::string& window_class, const std::string& title, HWND parent, DWORD style, bool unicode,
            WNDPROC proc = nullptr) {
    EnsureClass(window_class, unicode, proc);
    if (parent) style |= WS_CHILD;
    if (unicode) {
        const std::wstring cls = FromShiftJis(window_class) + L"#W";
        return CreateWindowExW(0, cls.c_str(), FromShiftJis(title).c_str(), style, 0, 0, 200, 100, parent, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
    }
    return CreateWindowExA(0, window_class.c_str(), title.c_str(), style, 0, 0, 200, 100, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

BOOL CALLBACK CollectProc(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

std::string TitleOf(HWND window) {
    char buffer[256] = {};
    GetWindowTextA(window, buffer, 255);
    return buffer;
}

}  // namespace

TestWindow::TestWindow(const std::string& window_class, const std::string& title, HWND parent, DWORD style,
                       bool unicode)
    : window_(Create(window_class, title, parent, style, unicode)) {}

TestWindow::TestWindow(TestWindow&& other) noexcept : window_(other.window_) { other.window_ = nullptr; }

TestWindow& TestWindow::operator=(TestWindow&& other) noexcept {
    if (this != &other) {
        destroy();
        window_ = other.window_;
        other.window_ = nullptr;
    }
    return *this;
}

TestWindow::~TestWindow() { destroy(); }

void TestWindow::destroy() {
    if (window_ && IsWindow(window_)) DestroyWindow(window_);
    window_ = nullptr;
}

std::vector<HWND> TopLevelOrder() {
    std::vector<HWND> list;
    EnumWindows(CollectProc, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::vector<HWND> ChildOrder(HWND parent) {
    std::vector<HWND> list;
    EnumChildWindows(parent, CollectProc, reinterpret_cast<LPARAM>(&list));
    return list;
}

int IndexOf(const std::vector<HWND>& list, HWND window) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i] == window) return static_cast<int>(i);
    }
    return -1;
}

void BringToTop(HWND window) {
    SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

HWND FindTopLevel(DWORD process, const std::string& title) {
    for (HWND window : TopLevelOrder()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == process && TitleOf(window) == title) return window;
    }
    return nullptr;
}

HWND FindChild(HWND parent, const std::string& title) {
    for (HWND window : ChildOrder(parent)) {
        if (TitleOf(window) == title) return window;
    }
    return nullptr;
}

// ---- the child process ----

ChildHost::ChildHost(const std::vector<std::string>& items) {
    static int serial = 0;
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    const std::string ready_name = "TarvelLinkTestReady-" + tag;
    const std::string quit_name = "TarvelLinkTestQuit-" + tag;
    ready_event_ = CreateEventA(nullptr, TRUE, FALSE, ready_name.c_str());
    quit_event_ = CreateEventA(nullptr, TRUE, FALSE, quit_name.c_str());

    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string command = std::string("\"") + exe + "\" --child " + ready_name + " " + quit_name;
    for (const std::string& item : items) command += " " + item;

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string mutable_command = command;
    if (!CreateProcessA(nullptr, mutable_command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info_)) {
        return;
    }
    const HANDLE waits[2] = {ready_event_, info_.hProcess};
    ready_ = WaitForMultipleObjects(2, waits, FALSE, 20000) == WAIT_OBJECT_0;
}

int ChildHost::finish(DWORD wait_ms) {
    if (finished_) return exit_code_;
    finished_ = true;
    if (!info_.hProcess) return -1;
    SetEvent(quit_event_);
    if (WaitForSingleObject(info_.hProcess, wait_ms) != WAIT_OBJECT_0) {
        TerminateProcess(info_.hProcess, 255);
        WaitForSingleObject(info_.hProcess, 5000);
        return -1;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    exit_code_ = static_cast<int>(code);
    return exit_code_;
}

ChildHost::~ChildHost() {
    finish();
    if (info_.hProcess) CloseHandle(info_.hProcess);
    if (info_.hThread) CloseHandle(info_.hThread);
    if (ready_event_) CloseHandle(ready_event_);
    if (quit_event_) CloseHandle(quit_event_);
}

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
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE quit = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !quit) return 251;

    DWORD hang_ms = 0;
    bool main = false, text = false, floating = false, dbcstext = false;
    for (int i = 4; i < argc; ++i) {
        const std::string item = argv[i];
        if (item == "main") main = true;
        else if (item == "text") text = true;
        else if (item == "floating") floating = true;
        else if (item == "dbcstext") dbcstext = true;
        else if (item == "thirdparty") g_thirdparty = true;
        else if (item.rfind("holdclip=", 0) == 0) g_holdclip_ms = static_cast<DWORD>(std::atoi(item.c_str() + 9));
        else if (item.rfind("slow=", 0) == 0) g_slow_ms = static_cast<DWORD>(std::atoi(item.c_str() + 5));
        else if (item.rfind("hang=", 0) == 0) hang_ms = static_cast<DWORD>(std::atoi(item.c_str() + 5));
        else return 252;
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
    SetEvent(ready);
    if (hang_ms) Sleep(hang_ms);  // no messages are handled meanwhile

    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &quit, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return g_copydata_count;
}

}  // namespace linktest
