// One session of Tarvel against the scripted CAD host, from outside, as a
// user would have it: the host and Tarvel started and waited for, the tier
// option checked, Start pressed (a sent BM_CLICK returns when the run is
// over), Tarvel watched while it runs, both closed. Every wait is bounded;
// a step that fails gives back a text saying what did not happen.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/win32/process.h"

namespace tarvel::driver {

// Milliseconds on the tick count every process shares.
ULONGLONG Now();

// Polls `holds` every `step_ms` until it is true or `timeout_ms` has passed.
template <class Holds>
bool WaitFor(DWORD timeout_ms, Holds holds, DWORD step_ms = 25) {
    const ULONGLONG start = Now();
    for (;;) {
        if (holds()) return true;
        if (Now() - start >= timeout_ms) return false;
        Sleep(step_ms);
    }
}

// Dispatches what is pending for this thread, sent messages included.
void PumpMessages();

// key=value lines, UTF-8, written whole under a temporary name and renamed,
// so a reader that polls for the file never reads half of it.
class Report {
public:
    void Set(const std::string& key, const std::string& value);
    void Set(const std::string& key, long long value) { Set(key, std::to_string(value)); }
    std::string Get(const std::string& key) const;
    bool Write(const std::wstring& path) const;

private:
    mutable std::mutex mu_;
    std::vector<std::pair<std::string, std::string>> entries_;
};

// The host's windows: the prompt line "Headlands" under any of its windows,
// and its main frame (titled "AutoCAD ...", not the text window).
HWND HostPromptLine(DWORD process);
HWND HostMainFrame(DWORD process);

// Waits until the host's prompt line reads the idle prompt "コマンド: ".
bool WaitHostIdle(const win32::Process& host, DWORD timeout_ms);

// Starts the host and waits until its prompt line reads the idle prompt.
std::string StartHost(win32::Process& host, const std::wstring& exe, const std::vector<std::wstring>& args,
                      const std::wstring& folder, DWORD timeout_ms);

struct TarvelWindow {
    HWND main = nullptr;   // class TTarvelF
    HWND start = nullptr;  // "開始"
};

// Starts Tarvel.exe in `folder` and waits until its main window shows Start.
std::string StartTarvel(win32::Process& tarvel, const std::wstring& exe, const std::wstring& folder, DWORD timeout_ms,
                        TarvelWindow& found);
HWND FindTarvelWindow(DWORD process);

// A control of Tarvel's main window by caption, else by its designed
// position in client pixels.
HWND Control(HWND main, const std::wstring& caption, int left, int top);

// Checks tier option 1 ("２段(上付)"), 2 ("２段(中間)") or 3 ("1段") with a
// click, and makes sure the other two are unchecked.
std::string CheckOption(HWND main, int option);

// Presses Start; returns when the run is over. A failure reads "did not
// end within N s" or "BM_CLICK on bStart failed (error E)".
std::string PressStart(HWND start, DWORD timeout_ms);

// Closes Tarvel (WM_CLOSE to its main window) and the host (to its frame).
std::string CloseTarvel(win32::Process& tarvel, HWND main, DWORD timeout_ms);
std::string CloseHost(win32::Process& host, DWORD timeout_ms);

// Control characters and backslashes as \xHH, so a text stays one line.
std::string Escaped(const std::wstring& text);

// Watches Tarvel from another thread while runs are under way: the main
// window's state (iconic or not, with the time) every 50 ms, and every
// millisecond or two in the first second of a run (RunStarting), and every other visible top-level window of
// its process (a message box would be one) when one is shown and every
// 250 ms. With `dismiss_boxes` a message box is recorded and answered with
// OK, so that the run can end and say what it showed.
class Observer {
public:
    struct Sample {
        ULONGLONG at;
        bool iconic;
        bool visible;
    };
    struct Box {
        std::wstring caption, text;
        ULONGLONG at = 0;
        bool main_iconic = false;       // the main window then
        bool owned_by_process = false;  // its owner is a window of the process
    };
    Observer(DWORD process, HWND main, bool dismiss_boxes = false)
        : process_(process), main_(main), dismiss_(dismiss_boxes) {}
    ~Observer() { Stop(); }
    Observer(const Observer&) = delete;
    Observer& operator=(const Observer&) = delete;

    void Start();
    void Stop();
    // Windows of this class are Tarvel's own too (the instructions window,
    // when the user is to open it).
    void Allow(const std::wstring& class_name) {
        std::lock_guard<std::mutex> lock(mu_);
        allowed_.insert(class_name);
    }
    // One look, also from the caller's thread after a run.
    void Look();
    // A run is about to begin: its first second is looked at every
    // millisecond or two, so a minimise that lasts only as long as a run
    // without AutoCAD is seen.
    void RunStarting();

    bool MinimizedSeen() const { return minimized_; }
    // The other windows seen, "class \"title\"; ...", empty when none.
    std::string Foreign() const;
    std::vector<Sample> Samples() const;
    std::vector<Box> Boxes() const;

private:
    static void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD);
    void Loop();
    void TakeSample();
    void Scan();
    void Answer(HWND box);

    static constexpr DWORD kSampleMs = 50;
    static constexpr ULONGLONG kScanMs = 250;
    static constexpr ULONGLONG kFastMs = 1000;
    std::atomic<ULONGLONG> fast_until_{0};
    std::atomic<DWORD> thread_id_{0};

    DWORD process_;
    HWND main_;
    bool dismiss_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> ready_{false};
    std::atomic<bool> minimized_{false};
    mutable std::mutex mu_;
    std::set<std::string> foreign_;
    std::set<std::wstring> allowed_;
    std::vector<Sample> samples_;
    std::vector<Box> boxes_;
    std::set<HWND> answered_;
    std::thread thread_;
    static inline Observer* current_ = nullptr;
};

}  // namespace tarvel::driver
