// Tarvel watched from another thread while runs are under way: the main
// window's state, and every other window of its process (a message box
// would be one), which can be answered so a run can end.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace tarvel::driver {

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
