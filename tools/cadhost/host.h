// The state of one CAD host: its options, its pick script, the interpreter
// and its log, its windows and what the faults count. Made once by main and
// passed to whatever needs it; the window procedures reach it through their
// windows (see host_windows.cpp).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/cadhost/interpreter.h"
#include "tools/cadhost/log.h"
#include "tools/cadhost/options.h"
#include "tools/cadhost/view.h"

namespace cadhost {

// The frame's timers: the next action of the pick script, and the
// drawing's repaint after input.
constexpr UINT_PTR kScriptTimer = 1;
constexpr UINT_PTR kViewTimer = 2;
constexpr UINT kViewRepaintMs = 50;

struct Host {
    Host() = default;
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    // The windows point at the host (GWLP_USERDATA); a message that comes
    // after it is gone finds none and gets the default handling.
    ~Host() {
        for (HWND w : {frame, view, bar, cmdline, floating, text_wnd, headlands, mounttam})
            if (w) SetWindowLongPtrW(w, GWLP_USERDATA, 0);
    }

    Options options;
    std::vector<PickAction> script;
    size_t next_action = 0;
    Log log;
    Events events{log};
    Interpreter interp{&events};

    HINSTANCE instance = nullptr;
    bool ansi = false;
    HWND frame = nullptr, view = nullptr, bar = nullptr, cmdline = nullptr;
    HWND floating = nullptr, text_wnd = nullptr, headlands = nullptr, mounttam = nullptr;
    PaintTools paint;

    char key_lead = 0;  // the lead byte of a double-byte WM_CHAR pair, until its trail byte
    int commands = 0;   // typed commands received (dwData 1)
    int id_picks = 0;   // points given to the prompt of ID
    bool closing = false;

    bool timer_armed = false;
    bool view_timer_armed = false;
    std::uint64_t timer_serial = 0;
    bool outputs_written = false;
};

// --delay: every answer is this late.
inline void Delay(const Host& h) {
    if (h.options.delay_ms > 0) Sleep(static_cast<DWORD>(h.options.delay_ms));
}

}  // namespace cadhost
