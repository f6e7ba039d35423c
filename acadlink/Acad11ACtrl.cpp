#include "acadlink/Acad11ACtrl.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <utility>
#include <vector>

#include "acadlink/kept_clipboard.h"
#include "acadlink/link_testing.h"
#include "acadlink/linktext.h"
#include "support/checked.h"
#include "support/errors.h"
#include "support/win32/owner.h"
#include "support/win32/text.h"

namespace tarvel::Acad11ACtrl {

namespace {

ModuleState g_state;
UINT g_reply_timeout_ms = kHostReplyTimeoutMs;

// An exception thrown inside an enumeration callback waits here until the
// enumeration has returned; it never unwinds through Win32's frames.
std::exception_ptr g_callback_error;

constexpr BOOL kGoOn = static_cast<BOOL>(-1);  // all bits set
constexpr BOOL kStop = 0;

template <typename Body>
BOOL Guarded(Body body) noexcept {
    try {
        return body();
    } catch (...) {
        if (!g_callback_error) g_callback_error = std::current_exception();
        return kStop;
    }
}

void RethrowCallbackError() {
    if (g_callback_error) {
        std::exception_ptr error = g_callback_error;
        g_callback_error = nullptr;
        std::rethrow_exception(error);
    }
}

unsigned g_enumerations = 0;

void EnumTopLevel(WNDENUMPROC callback) {
    ++g_enumerations;
    EnumWindows(callback, 0);
    RethrowCallbackError();
}

// A null parent means the top-level windows, as Win32 documents it
// ("equivalent to EnumWindows"); Wine would enumerate nothing.
void EnumDescendants(HWND parent, WNDENUMPROC callback) {
    if (!parent) return EnumTopLevel(callback);
    ++g_enumerations;
    EnumChildWindows(parent, callback, 0);
    RethrowCallbackError();
}

bool Names(HWND window) { return window && IsWindow(window); }

// Title and class name as the search sees them: a 256-byte buffer and a
// maximum count of 255.
std::string WindowTitle(HWND window) {
    char buffer[256] = {};
    if (GetWindowTextA(window, buffer, 255) <= 0) return {};
    return std::string(buffer);
}

std::string WindowClass(HWND window) {
    char buffer[256] = {};
    if (GetClassNameA(window, buffer, 255) <= 0) return {};
    return std::string(buffer);
}

DWORD OwningProcess(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// No SMTO_BLOCK for what makes AutoCAD work: it may send to this thread
// meanwhile (the clipboard tells its previous owner, our own window, that
// it is being emptied), and those messages must be answered for it to go
// on. Reading the prompt line sends this thread nothing: those waits block,
// which under Wine spares a thread that owns windows a look at its queue
// and its display connection for each of the prompt line's five reads a
// second.
constexpr UINT kSendFlags = SMTO_ABORTIFHUNG;
constexpr UINT kReadFlags = SMTO_ABORTIFHUNG | SMTO_BLOCK;

BOOL SendMessageTimeoutEither(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wide, UINT flags,
                              UINT timeout_ms, DWORD_PTR* result) {
    return wide ? SendMessageTimeoutW(window, message, wparam, lparam, flags, timeout_ms, result)
                : SendMessageTimeoutA(window, message, wparam, lparam, flags, timeout_ms, result);
}

seams::HostSend g_host_send = &SendMessageTimeoutEither;

// One message to a window of AutoCAD, bounded: false when the window did
// not take it in time (or does not exist). Windows refuses the message with
// ERROR_ACCESS_DENIED when AutoCAD runs with more privilege than Tarvel:
// nothing sent then can reach it, so the run ends with an error that says
// so instead of going on as if AutoCAD had not answered.
bool SendToHost(HWND window, UINT message, WPARAM wparam, LPARAM lparam, bool wide, LRESULT& result,
                UINT flags = kSendFlags) {
    DWORD_PTR answer = 0;
    SetLastError(ERROR_SUCCESS);
    if (!g_host_send(window, message, wparam, lparam, wide, flags, g_reply_timeout_ms, &answer)) {
        if (GetLastError() == ERROR_ACCESS_DENIED) throw AcadElevatedError();
        return false;
    }
    result = static_cast<LRESULT>(answer);
    return true;
}

bool SendToHost(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    return SendToHost(window, message, wparam, lparam, false, result);
}

// The text's length, to size the buffer for the 8-bit text. Asked in
// UTF-16: Wine does not bound the wait for an 8-bit WM_GETTEXTLENGTH to
// another process. Either count fits the 8-bit text in 2 x len + 2 bytes
// (at most two bytes a UTF-16 unit in the code page, and an 8-bit window
// counts its bytes).
bool TextLength(HWND window, LRESULT& length) {
    return SendToHost(window, WM_GETTEXTLENGTH, 0, 0, true, length, kReadFlags);
}

bool DeliverCopyData(HWND acad, const void* data, DWORD bytes) {
    COPYDATASTRUCT record{};
    record.dwData = 1;
    record.cbData = bytes;
    record.lpData = const_cast<void*>(data);
    LRESULT ignored = 0;
    if (!SendToHost(acad, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record), ignored)) {
        return false;  // not delivered; never sent again
    }
    PostMessageA(acad, WM_NULL, 0, 0);
    return true;
}

std::int32_t ToInt32(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) throw IntOverflowError();
    return static_cast<std::int32_t>(n);
}

HWND FindPane(HWND ModuleState::*sought) {
    FindAcadWindow();
    if (!Names(g_state.AcadWnd)) return Names(g_state.*sought) ? g_state.*sought : nullptr;
    if (Names(g_state.*sought)) return g_state.*sought;

    EnumDescendants(g_state.AcadWnd, MatchPaneWindow);  // docked
    if (!Names(g_state.*sought)) {
        EnumTopLevel(MatchCmdLineWindow);
        if (Names(g_state.CmdLineWnd)) {
            EnumDescendants(g_state.CmdLineWnd, MatchPaneWindow);  // floating
        } else {
            FindTextWindow();
            // Also with a null text window: a null parent enumerates the
            // top-level windows.
            EnumDescendants(g_state.TextWnd, MatchPaneWindow);
        }
    }
    return Names(g_state.*sought) ? g_state.*sought : nullptr;
}

}  // namespace

ModuleState& State() { return g_state; }

void seams::ResetForTests() {
    g_state = ModuleState{};
    g_callback_error = nullptr;
}

unsigned seams::WindowEnumerationsForTests() { return g_enumerations; }

seams::HostSend seams::SetHostSend(HostSend send) {
    return std::exchange(g_host_send, send ? send : &SendMessageTimeoutEither);
}

void seams::SetHostReplyTimeoutForTests(UINT milliseconds) {
    g_reply_timeout_ms = milliseconds ? milliseconds : kHostReplyTimeoutMs;
}

// ---- text tests ----

bool BeginsWithByLocale(const std::string& text, const std::string& literal, int n) {
    if (n <= 0 || literal.size() < static_cast<std::size_t>(n)) return false;
    const int have = text.size() < static_cast<std::size_t>(n) ? static_cast<int>(text.size()) : n;
    return CompareStringA(LOCALE_USER_DEFAULT, 0, text.data(), have, literal.data(), n) == CSTR_EQUAL;
}

bool ContainsDbcsAware(const std::string& text, const std::string& literal) {
    if (text.empty() || literal.empty()) return false;
    const int n = ToInt32(literal.size());
    const UINT page = win32::ThreadCodePage();
    std::size_t at = text.find(literal);
    while (at != std::string::npos && text.size() - at >= literal.size()) {
        // What the byte at `at` is: walk the characters from the start.
        bool lead = false;
        bool trail = false;
        for (std::size_t i = 0; i <= at; ++i) {
            if (i == at) {
                lead = win32::IsLeadByte(page, static_cast<unsigned char>(text[i]));
                break;
            }
            if (win32::IsLeadByte(page, static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
                ++i;
                if (i == at) {
                    trail = true;
                    break;
                }
            }
        }
        if (!trail && CompareStringA(LOCALE_USER_DEFAULT, 0, text.data() + at, n, literal.data(), n) == CSTR_EQUAL) {
            return true;
        }
        at = text.find(literal, at + (lead ? 2 : 1));
    }
    return false;
}

// ---- window discovery ----

MainWindowTests TestMainWindow(HWND window) {
    MainWindowTests tests;
    tests.title = WindowTitle(window);
    if (tests.title.empty()) return tests;
    tests.title_passes = linktext::BeginsWithBytes(tests.title, "AutoCAD ") ||
                         linktext::BeginsWithBytes(tests.title, "Autodesk ") ||
                         linktext::BeginsWithBytes(tests.title, "ACAD");
    // The class is read only for a title that passes, as the search does.
    if (!tests.title_passes) return tests;
    tests.class_name = WindowClass(window);
    const std::string& name = tests.class_name;
    // Each test made whatever the others gave; the first that holds is told.
    const bool tested[] = {
        linktext::BeginsWithBytes(name, "Afx:") && linktext::ContainsBytes(name, ":8:"),
        linktext::ContainsBytes(name, "AfxMDIFrame90u"),
        linktext::ContainsBytes(name, "AfxMDIFrame100u"),
    };
    for (int i = 2; i >= 0; --i) {
        if (tested[i]) tests.class_test = i + 1;
    }
    return tests;
}

bool LooksLikeTextWindow(HWND window) {
    const std::string title = WindowTitle(window);
    if (title.empty()) return false;
    if (!BeginsWithByLocale(title, "AutoCAD ", 8)) return false;
    const std::string name = WindowClass(window);
    if (!linktext::BeginsWithBytes(name, "Afx:")) return false;
    if (!linktext::ContainsBytes(name, ":b:")) return false;
    return ContainsDbcsAware(title, "テキスト ウィンドウ");
}

BOOL CALLBACK MatchAcadWindow(HWND window, LPARAM) {
    return Guarded([&] {
        if (!TestMainWindow(window).Taken()) return kGoOn;
        g_state.AcadWnd = window;
        g_state.AcadProcessId = OwningProcess(window);
        return kStop;
    });
}

BOOL CALLBACK MatchTextWindow(HWND window, LPARAM) {
    return Guarded([&] {
        if (!LooksLikeTextWindow(window)) return kGoOn;
        if (OwningProcess(window) != g_state.AcadProcessId) return kGoOn;
        g_state.TextWnd = window;
        return kStop;
    });
}

BOOL CALLBACK MatchCmdLineWindow(HWND window, LPARAM) {
    return Guarded([&] {
        const std::string title = WindowTitle(window);
        if (title.empty()) return kGoOn;
        // The tests in this order; the first that fails goes on.
        const std::string name = WindowClass(window);
        const bool floating_command_line = ContainsDbcsAware(title, "コマンド ライン") &&
                                           linktext::BeginsWithBytes(name, "Afx:") &&
                                           linktext::ContainsBytes(name, ":8:");
        if (floating_command_line) g_state.CmdLineWnd = window;
        return floating_command_line ? kStop : kGoOn;
    });
}

BOOL CALLBACK MatchPaneWindow(HWND window, LPARAM) {
    return Guarded([&] {
        const std::string title = WindowTitle(window);
        if (title.empty()) return kGoOn;
        if (linktext::EqualsBytes(title, "Headlands")) g_state.PromptLineWnd = window;
        if (linktext::EqualsBytes(title, "MountTam")) g_state.HistoryPaneWnd = window;
        return Names(g_state.PromptLineWnd) && Names(g_state.HistoryPaneWnd) ? kStop : kGoOn;
    });
}

HWND FindAcadWindow() {
    if (Names(g_state.AcadWnd)) return g_state.AcadWnd;
    EnumTopLevel(MatchAcadWindow);
    return g_state.AcadWnd;
}

bool AcadIsRunning() {
    FindAcadWindow();
    return Names(g_state.AcadWnd);
}

HWND FindTextWindow() {
    g_state.TextWnd = nullptr;
    EnumTopLevel(MatchTextWindow);
    return g_state.TextWnd;
}

HWND FindPromptLine() { return FindPane(&ModuleState::PromptLineWnd); }

HWND FindHistoryPane() { return FindPane(&ModuleState::HistoryPaneWnd); }

ModuleState SurveyAcadWindows() {
    // The searches write the module state: they run on a fresh one, and the
    // kept one is put back however they end.
    struct Kept {
        ModuleState state = std::exchange(g_state, ModuleState{});
        ~Kept() { g_state = state; }
    } kept;
    FindAcadWindow();
    FindPromptLine();
    FindHistoryPane();
    FindTextWindow();
    return g_state;
}

// ---- command sending ----

namespace {

// Hands a command to AutoCAD's main window with `deliver`. The kept window
// is not asked first whether it still exists: under Wine every IsWindow on
// another process's window is a round trip to the window server, and a
// chain sends hundreds of commands. A window that has gone fails the send
// with ERROR_INVALID_WINDOW_HANDLE having received nothing; the main window
// is then searched for again and the command goes to the one found, as when
// the search comes first. A send that failed otherwise (AutoCAD did not take
// it in time) is never made again.
template <class Deliver>
bool ToAcad(Deliver deliver) {
    if (g_state.AcadWnd) {
        if (deliver(g_state.AcadWnd)) return true;
        if (GetLastError() != ERROR_INVALID_WINDOW_HANDLE) return false;
    }
    const HWND found = FindAcadWindow();  // searches again
    return Names(found) && deliver(found);
}

// The command as UTF-16.
bool DeliverWide(HWND acad, const std::u16string& command) {
    const std::int32_t n = ToInt32(command.size());
    // Through the code page and back: AutoCAD gets the characters the code
    // page holds, the default character for the others.
    const std::u16string back = win32::ToUtf16(win32::ToBytes(command));
    // The buffer fits the whole command and its terminator.
    std::vector<wchar_t> buffer(static_cast<std::size_t>(CheckedAdd(n, 1)), L'\0');
    const std::size_t units = back.size() < buffer.size() - 1 ? back.size() : buffer.size() - 1;
    for (std::size_t i = 0; i < units; ++i) buffer[i] = static_cast<wchar_t>(back[i]);
    const auto bytes = static_cast<DWORD>(CheckedMul(2, CheckedAdd(n, 1)));
    return DeliverCopyData(acad, buffer.data(), bytes);
}

// The command as 8-bit text of the code page.
bool DeliverAnsi(HWND acad, const std::u16string& command) {
    std::vector<char> buffer;
    const std::string bytes = win32::ToBytes(command);
    buffer.assign(bytes.begin(), bytes.end());
    buffer.push_back('\0');
    const auto count = static_cast<DWORD>(CheckedAdd(ToInt32(std::strlen(buffer.data())), 1));
    return DeliverCopyData(acad, buffer.data(), count);
}

}  // namespace

bool SendCommand(const std::u16string& command) {
    return ToAcad(
        [&](HWND acad) { return IsWindowUnicode(acad) ? DeliverWide(acad, command) : DeliverAnsi(acad, command); });
}

bool SendCommandAs(const std::u16string& command, bool wide) {
    return ToAcad([&](HWND acad) { return wide ? DeliverWide(acad, command) : DeliverAnsi(acad, command); });
}

bool ActivateAcad() {
    FindAcadWindow();
    if (!Names(g_state.AcadWnd)) return false;
    SetForegroundWindow(g_state.AcadWnd);
    return true;
}

// ---- command-line reading ----

void ReadWindowText(HWND window, std::string& text) {
    text.clear();
    LRESULT length = 0;
    if (!TextLength(window, length) || length <= 0) return;
    if (length > std::numeric_limits<std::int32_t>::max()) throw IntOverflowError();
    const std::int32_t size = CheckedAdd(CheckedMul(2, static_cast<std::int32_t>(length)), 2);
    std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
    LRESULT copied = 0;
    if (!SendToHost(window, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer.data()), false,
                    copied, kReadFlags)) {
        return;
    }
    buffer.back() = '\0';
    text.assign(buffer.data());
}

void ReadPromptLine(std::string& text) {
    FindPromptLine();
    ReadWindowText(g_state.PromptLineWnd, text);
}

namespace {

// The clipboard's CF_TEXT up to its first zero byte; empty when it holds
// no text. The clipboard must be open.
std::string ClipboardText() {
    const HANDLE data = GetClipboardData(CF_TEXT);
    if (!data) return {};
    win32::LockedGlobal lock(static_cast<HGLOBAL>(data));
    if (!lock) return {};
    const char* bytes = static_cast<const char*>(lock.data());
    const SIZE_T size = lock.size();
    SIZE_T n = 0;
    while (n < size && bytes[n] != '\0') ++n;
    return std::string(bytes, n);
}

}  // namespace

void CopyHistoryText(std::string& text) {
    text.clear();
    FindTextWindow();
    const HWND text_window = g_state.TextWnd;
    if (!Names(text_window)) return;  // the clipboard is not touched

    // Keep what the user has there, copy the history, read it, put the
    // user's back. A clipboard that cannot be kept is left as it was, and
    // the run ends.
    const HWND owner = clipboard::OwnerWindow();
    if (!owner) throw SilentAbort();
    clipboard::KeptClipboard kept(owner, g_state.AcadProcessId, kClipboardOpenRetryMs, g_reply_timeout_ms);
    if (kept.Keep() != clipboard::KeptClipboard::Keeping::Kept) throw SilentAbort();

    bool read = true;
    // Closed while AutoCAD works. A text window that does not answer in time
    // gives the empty text.
    LRESULT ignored = 0;
    if (SendToHost(text_window, WM_COMMAND, MAKEWPARAM(kCopyHistoryCommand, 0), 0, ignored)) {
        const win32::ClipboardOpen open = win32::OpenClipboardRetrying(owner, kClipboardOpenRetryMs);
        if (open) {
            text = ClipboardText();
        } else {
            read = false;
        }
    }
    if (!kept.PutBack() || !read) {
        text.clear();
        throw SilentAbort();
    }
}

void LastHistoryLine(std::string& line) {
    line.clear();
    std::string history;
    CopyHistoryText(history);
    line = linktext::LastNonEmptyLine(history);
}

// ---- system variable query ----

namespace {

class LinkSysVarHost final : public linktext::SysVarHost {
public:
    explicit LinkSysVarHost(bool wide) : wide_(wide) {}
    bool IsRunning() override { return AcadIsRunning(); }
    void Send(const std::string& command) override { SendCommandAs(win32::ToUtf16(command), wide_); }
    void ReadPromptLine(std::string& text) override { Acad11ACtrl::ReadPromptLine(text); }
    void CopyHistoryText(std::string& text) override { Acad11ACtrl::CopyHistoryText(text); }

private:
    bool wide_;
};

}  // namespace

void QuerySysVarAs(const std::string& name, bool wide, std::string& value) {
    LinkSysVarHost host(wide);
    linktext::QuerySysVar(host, name, value);
}

void QuerySysVar(const std::string& name, std::string& value) {
    const bool wide = IsWindowUnicode(g_state.AcadWnd) != FALSE;
    QuerySysVarAs(name, wide, value);
}

}  // namespace tarvel::Acad11ACtrl
