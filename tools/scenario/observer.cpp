#include "tools/scenario/observer.h"

#include "support/win32/text.h"
#include "tools/common/wait.h"
#include "tools/common/window_list.h"

namespace tarvel::driver {

using common::ClassName;
using common::Now;
using common::PumpMessages;
using common::Title;
using common::WaitFor;
using win32::ToUtf8;

void Observer::Start() {
    stop_ = false;
    ready_ = false;
    thread_ = std::thread([this] { Loop(); });
    // Watching from before the first run begins.
    WaitFor(
        5000, [&] { return ready_.load(); }, 1);
}

void Observer::RunStarting() {
    fast_until_ = Now() + kFastMs;
    // Woken from a slow wait at once.
    if (const DWORD id = thread_id_) PostThreadMessageW(id, WM_NULL, 0, 0);
}

void Observer::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::string Observer::Foreign() const {
    std::lock_guard<std::mutex> lock(mu_);
    std::string all;
    for (const std::string& s : foreign_) all += (all.empty() ? "" : "; ") + s;
    return all;
}

std::vector<Observer::Sample> Observer::Samples() const {
    std::lock_guard<std::mutex> lock(mu_);
    return samples_;
}

std::vector<Observer::Box> Observer::Boxes() const {
    std::lock_guard<std::mutex> lock(mu_);
    return boxes_;
}

void Observer::TakeSample() {
    const bool iconic = IsIconic(main_) != FALSE;
    if (iconic) minimized_ = true;
    std::lock_guard<std::mutex> lock(mu_);
    samples_.push_back(Sample{Now(), iconic, IsWindowVisible(main_) != FALSE});
}

void Observer::Scan() {
    for (HWND w : common::TopLevelWindowsOf(process_)) {
        if (w == main_ || !IsWindowVisible(w)) continue;
        const std::wstring cls = ClassName(w);
        // The application's own window (it carries the task-bar button),
        // tooltips and the input method's windows belong to every start.
        if (cls == L"TApplication" || cls == L"tooltips_class32" || cls == L"IME") continue;
        {
            std::lock_guard<std::mutex> lock(mu_);
            if (allowed_.count(cls)) continue;
            foreign_.insert(ToUtf8(cls) + " \"" + ToUtf8(Title(w)) + "\"");
        }
        if (dismiss_ && cls == L"#32770") Answer(w);
    }
}

void Observer::Look() {
    TakeSample();
    Scan();
}

void Observer::Answer(HWND box) {
    {
        std::lock_guard<std::mutex> lock(mu_);
        if (!answered_.insert(box).second) return;  // closing already
    }
    Box seen;
    seen.caption = Title(box);
    HWND ok = nullptr;
    for (HWND c : common::Descendants(box)) {
        const std::wstring cls = ClassName(c);
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && !Title(c).empty()) seen.text = Title(c);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) ok = c;
    }
    seen.at = Now();
    seen.main_iconic = IsIconic(main_) != FALSE;
    seen.owned_by_process = common::ProcessOf(GetWindow(box, GW_OWNER)) == process_;
    {
        std::lock_guard<std::mutex> lock(mu_);
        boxes_.push_back(seen);
    }
    // OK, so the run can end.
    if (ok) {
        PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

void CALLBACK Observer::OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG, DWORD, DWORD) {
    Observer* self = current_;
    if (!self || object != OBJID_WINDOW) return;
    if (window == self->main_) {
        // The main window minimised or shown again: looked at the moment it
        // happens.
        if (event == EVENT_SYSTEM_MINIMIZESTART) self->minimized_ = true;
        self->TakeSample();
    } else if (event == EVENT_OBJECT_SHOW && window && GetAncestor(window, GA_ROOT) == window) {
        self->Scan();  // a new top-level window of Tarvel's
    }
}

void Observer::Loop() {
    current_ = this;
    thread_id_ = GetCurrentThreadId();
    // Out of context: the callbacks run on this thread while it pumps. The
    // events say when something happens; the slow looks between them cost
    // the window server little, so the run is watched, not disturbed.
    HWINEVENTHOOK minimise = SetWinEventHook(EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND, nullptr, OnEvent,
                                             process_, 0, WINEVENT_OUTOFCONTEXT);
    HWINEVENTHOOK shown =
        SetWinEventHook(EVENT_OBJECT_SHOW, EVENT_OBJECT_SHOW, nullptr, OnEvent, process_, 0, WINEVENT_OUTOFCONTEXT);
    ULONGLONG next_scan = 0;
    TakeSample();
    ready_ = true;
    while (!stop_) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, Now() < fast_until_ ? 1 : kSampleMs, QS_ALLINPUT);
        PumpMessages();
        TakeSample();
        if (Now() >= next_scan) {
            Scan();
            next_scan = Now() + kScanMs;
        }
    }
    if (minimise) UnhookWinEvent(minimise);
    if (shown) UnhookWinEvent(shown);
    current_ = nullptr;
}

}  // namespace tarvel::driver
