// bench-startup.exe: how long Tarvel.exe takes from process start to its
// main window being visible, and how much memory it holds then.
//
//   bench-startup.exe --tarvel EXE --same-window EXE [--runs N] [--cwd DIR]
//
// Each run times Tarvel.exe, then its two baselines: the same window made
// bare (bench-same-window.exe: Tarvel's manifest, window and five controls
// with plain Win32 calls), and this program started with --window, a bare
// Win32 program that registers a class, creates one visible window and
// pumps messages, what Wine itself costs to start a program that shows a
// window. Timed by turns, a change in the machine's load falls on all alike.
//
// The three take turns in a rotating order, so that whatever the previous
// program leaves to Wine to clean up falls on each alike, and each start
// comes after a pause of 300 ms. Each program is started and polled every
// millisecond until a visible top-level window of its main class (TTarvelF
// for Tarvel) owned by the new process shows; then, once its input is idle
// and a moment longer, its memory counters are read and it is ended (closing
// it costs Wine seconds a window without a window manager, and tells
// nothing of its start).
// Prints one line per program and run, "run=I program=tarvel|same_window|baseline
// startup_ms=F peak_ws_kb=N ws_kb=N private_kb=N", and exits non-zero when
// a run failed.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr wchar_t kBaselineClass[] = L"BenchStartupBaseline";

struct Found {
    DWORD pid;
    const wchar_t* cls;
    HWND window;
};

BOOL CALLBACK FindMain(HWND w, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != f->pid || !IsWindowVisible(w)) return TRUE;
    wchar_t cls[64] = {};
    GetClassNameW(w, cls, 63);
    if (std::wcscmp(cls, f->cls) != 0) return TRUE;
    f->window = w;
    return FALSE;
}

double Ms(LARGE_INTEGER from, LARGE_INTEGER to) {
    static LARGE_INTEGER freq = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(freq.QuadPart);
}

int Fail(const wchar_t* what) {
    std::fwprintf(stderr, L"bench-startup: %ls (error %lu)\n", what, GetLastError());
    return 1;
}

LRESULT CALLBACK BaselineProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(w, msg, wp, lp);
}

int BaselineWindow() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = BaselineProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kBaselineClass;
    RegisterClassExW(&wc);
    HWND w = CreateWindowExW(0, kBaselineClass, L"baseline", WS_OVERLAPPEDWINDOW, 100, 100, 300, 120, nullptr, nullptr,
                             wc.hInstance, nullptr);
    if (!w) return 1;
    ShowWindow(w, SW_SHOWNORMAL);
    UpdateWindow(w);
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageW(&m);
    }
    return 0;
}

// Starts one program, times it to its visible main window of class `cls`,
// prints its line and closes it. 0 when all went well.
int TimeOne(int run, const char* name, const std::wstring& program, const wchar_t* args, const wchar_t* cls,
            const std::wstring& cwd) {
    std::wstring cmd = L"\"" + program + L"\"" + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    // Under load Wine now and then fails a start; one retry is enough.
    bool started = false;
    for (int attempt = 0; attempt < 3 && !started; ++attempt) {
        if (attempt) Sleep(500);
        QueryPerformanceCounter(&t0);
        started = CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 cwd.empty() ? nullptr : cwd.c_str(), &si, &pi) != FALSE;
    }
    if (!started) return Fail(L"cannot start the program");
    Found f{pi.dwProcessId, cls, nullptr};
    const ULONGLONG deadline = GetTickCount64() + 20000;
    while (true) {
        EnumWindows(FindMain, reinterpret_cast<LPARAM>(&f));
        if (f.window) break;
        if (GetTickCount64() > deadline || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) {
            TerminateProcess(pi.hProcess, 1);
            return Fail(L"the program showed no main window within 20 s");
        }
        Sleep(1);
    }
    QueryPerformanceCounter(&t1);
    WaitForInputIdle(pi.hProcess, 5000);
    Sleep(300);
    PROCESS_MEMORY_COUNTERS_EX mem{};
    mem.cb = sizeof mem;
    if (!GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mem), sizeof mem))
        return Fail(L"GetProcessMemoryInfo failed");
    std::printf("run=%d program=%s startup_ms=%.3f peak_ws_kb=%llu ws_kb=%llu private_kb=%llu\n", run, name, Ms(t0, t1),
                static_cast<unsigned long long>(mem.PeakWorkingSetSize / 1024),
                static_cast<unsigned long long>(mem.WorkingSetSize / 1024),
                static_cast<unsigned long long>(mem.PrivateUsage / 1024));
    std::fflush(stdout);
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 10000);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring tarvel, same_window, cwd;
    int runs = 5;
    if (argc == 2 && std::wstring(argv[1]) == L"--window") return BaselineWindow();
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a == L"--tarvel" && i + 1 < argc)
            tarvel = argv[++i];
        else if (a == L"--same-window" && i + 1 < argc)
            same_window = argv[++i];
        else if (a == L"--runs" && i + 1 < argc)
            runs = _wtoi(argv[++i]);
        else if (a == L"--cwd" && i + 1 < argc)
            cwd = argv[++i];
        else {
            std::fwprintf(stderr, L"usage: bench-startup.exe --tarvel EXE --same-window EXE [--runs N] [--cwd DIR]\n");
            return 2;
        }
    }
    if (tarvel.empty() || same_window.empty() || runs < 1) {
        return Fail(L"--tarvel EXE, --same-window EXE and --runs N (N >= 1) are needed");
    }
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    struct Program {
        const char* name;
        std::wstring exe;
        const wchar_t* args;
        const wchar_t* cls;
    };
    const Program programs[] = {{"tarvel", tarvel, L"", L"TTarvelF"},
                                {"same_window", same_window, L"", L"BenchSameWindow"},
                                {"baseline", self, L" --window", kBaselineClass}};
    for (int run = 1; run <= runs; ++run) {
        for (int k = 0; k < 3; ++k) {
            const Program& p = programs[(run + k) % 3];
            Sleep(300);
            if (const int failed = TimeOne(run, p.name, p.exe, p.args, p.cls, cwd)) return failed;
        }
    }
    return 0;
}
