#include "tools/cadhost/input.h"

#include <cstring>
#include <string>
#include <string_view>

#include "support/win32/text.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace win32 = tarvel::win32;

namespace {

// The command line shows the input at once; the drawing, whose paint grows
// with every dimension, at most every kViewRepaintMs, as AutoCAD redraws
// when it has a moment rather than after each command of a script.
void Refresh(Host& h) {
    for (HWND w : {h.headlands, h.mounttam})
        if (w) InvalidateRect(w, nullptr, TRUE);
    if (h.view && !h.view_timer_armed && !h.options.no_redraw) {
        SetTimer(h.frame, kViewTimer, kViewRepaintMs, nullptr);
        h.view_timer_armed = true;
    }
}

// Arms the script timer for the ID prompt now showing; a prompt that went
// away before the timer fired gets nothing.
void ScheduleScript(Host& h) {
    const bool want = h.interp.InIdPrompt() && h.next_action < h.script.size();
    if (want) {
        if (!h.timer_armed || h.timer_serial != h.interp.PromptSerial()) {
            SetTimer(h.frame, kScriptTimer, static_cast<UINT>(h.options.think_ms), nullptr);
            h.timer_armed = true;
            h.timer_serial = h.interp.PromptSerial();
        }
    } else if (h.timer_armed) {
        KillTimer(h.frame, kScriptTimer);
        h.timer_armed = false;
    }
}

void AfterInput(Host& h) {
    Refresh(h);
    ScheduleScript(h);
}

// --close-after-pick: the host goes away as AutoCAD closed by the user
// does, outputs written, right after the Nth point of ID.
void CountIdPick(Host& h) {
    ++h.id_picks;
    if (h.options.close_after_pick > 0 && h.id_picks == h.options.close_after_pick && !h.closing) {
        h.closing = true;
        h.log.Write("fault", {{"fault", "close-after-pick"}, {"picks", h.id_picks}});
        PostMessageW(h.frame, WM_CLOSE, 0, 0);
    }
}

bool MouseMayPick(const Host& h) { return h.next_action >= h.script.size(); }

}  // namespace

void RunScriptAction(Host& h) {
    KillTimer(h.frame, kScriptTimer);
    h.timer_armed = false;
    if (!h.interp.InIdPrompt() || h.timer_serial != h.interp.PromptSerial() || h.next_action >= h.script.size()) {
        ScheduleScript(h);
        return;
    }
    const PickAction a = h.script[h.next_action++];
    h.events.SetSource("script");
    switch (a.kind) {
        case PickKind::Pick:
            h.log.Write("pick", {{"source", "script"}, {"point", PointJson(a.p)}, {"line", a.line}});
            if (h.interp.Pick(a.p)) CountIdPick(h);
            break;
        case PickKind::End:
            h.log.Write("end", {{"source", "script"}, {"line", a.line}});
            h.interp.RightClick();
            break;
        case PickKind::Cancel:
            h.interp.Escape();
            break;
        case PickKind::Wait:
            // The same prompt stays up; its next action comes this much later.
            h.log.Write("wait", {{"wait_ms", a.wait_ms}, {"line", a.line}});
            h.events.SetSource("typed");
            SetTimer(h.frame, kScriptTimer, static_cast<UINT>(a.wait_ms + h.options.think_ms), nullptr);
            h.timer_armed = true;
            return;
    }
    h.events.SetSource("typed");
    if (h.next_action == h.script.size()) h.log.Write("script-done");
    AfterInput(h);
}

LRESULT OnCopyData(Host& h, const COPYDATASTRUCT* cds) {
    if (!cds) return FALSE;
    Delay(h);
    const bool wide = IsWindowUnicode(h.frame) != FALSE;
    std::wstring text;
    if (cds->lpData && cds->cbData) {
        if (wide) {
            const auto* p = static_cast<const wchar_t*>(cds->lpData);
            size_t n = cds->cbData / 2;  // an odd last byte is no character
            for (size_t i = 0; i < n; ++i) {
                if (p[i] == 0) break;
                text += p[i];
            }
        } else {
            const auto* p = static_cast<const char*>(cds->lpData);
            const size_t n = strnlen(p, cds->cbData);
            text = win32::ToWide(std::string_view(p, n), kAnsiCodePage);
        }
    }
    Record fields = {{"enc", wide ? "W" : "A"}, {"cbData", cds->cbData}, {"text", ToUtf8(U(text))}};
    if (cds->dwData != 1) {
        // Logged like every record, but it is not typed input.
        fields["dwData"] = static_cast<unsigned long long>(cds->dwData);
        fields["ignored"] = true;
        h.log.Write("command", fields);
        return FALSE;
    }
    h.log.Write("command", fields);
    h.events.SetSource("typed");
    h.interp.Type(U(text));
    AfterInput(h);
    ++h.commands;
    if (h.options.hang_after > 0 && h.commands == h.options.hang_after) {
        // Answered first, then the UI thread blocks without pumping: every
        // message to the host's windows waits until it wakes.
        ReplyMessage(TRUE);
        h.log.Write("fault", {{"fault", "hang"}, {"after", h.commands}, {"hang_ms", h.options.hang_ms}});
        Sleep(static_cast<DWORD>(h.options.hang_ms));
        h.log.Write("fault", {{"fault", "hang-over"}});
    }
    return TRUE;
}

void TypeKey(Host& h, WPARAM ch) {
    std::wstring w;
    if (h.ansi) {
        const char b = static_cast<char>(ch & 0xFF);
        if (h.key_lead) {
            const char pair[2] = {h.key_lead, b};
            h.key_lead = 0;
            w = win32::ToWide(std::string_view(pair, 2), kAnsiCodePage);
        } else if (win32::IsLeadByte(kAnsiCodePage, static_cast<unsigned char>(b))) {
            h.key_lead = b;
            return;
        } else {
            w = win32::ToWide(std::string_view(&b, 1), kAnsiCodePage);
        }
    } else {
        w = std::wstring(1, static_cast<wchar_t>(ch));
    }
    h.events.SetSource("keyboard");
    h.interp.Type(U(w));
    h.events.SetSource("typed");
    AfterInput(h);
}

void MousePick(Host& h, HWND view, LPARAM lp) {
    if (!MouseMayPick(h) || !h.interp.WantsPoint()) return;
    RECT rc;
    GetClientRect(view, &rc);
    // The mapping the user sees.
    const Point p = ToDrawing(FitView(h.interp, rc), static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
    h.log.Write("pick", {{"source", "mouse"}, {"point", PointJson(p)}});
    h.events.SetSource("mouse");
    const bool id = h.interp.InIdPrompt();
    if (h.interp.Pick(p) && id) CountIdPick(h);
    h.events.SetSource("typed");
    AfterInput(h);
}

void MouseEnd(Host& h) {
    if (!MouseMayPick(h) || h.interp.Idle()) return;
    h.log.Write("end", {{"source", "mouse"}});
    h.events.SetSource("mouse");
    h.interp.RightClick();
    h.events.SetSource("typed");
    AfterInput(h);
}

}  // namespace cadhost
