#include "app/error_report.h"

#include <exception>

#include "support/errors.h"
#include "support/win32/text.h"

namespace tarvel::app {

namespace {

MessageBoxFunction g_messageBox = nullptr;

}  // namespace

MessageBoxFunction SetMessageBoxFunction(MessageBoxFunction function) {
    MessageBoxFunction before = g_messageBox;
    g_messageBox = function;
    return before;
}

bool NeedsFinalPeriod(const std::string& message) {
    if (message.empty()) return false;
    // Walk the characters from the start: only then is it known whether the
    // last byte begins a character or ends a double-byte one.
    const UINT page = win32::ThreadCodePage();
    size_t last = 0;
    for (size_t i = 0; i < message.size();) {
        last = i;
        const bool lead = win32::IsLeadByte(page, static_cast<unsigned char>(message[i])) && i + 1 < message.size();
        i += lead ? 2 : 1;
    }
    return static_cast<unsigned char>(message[last]) > static_cast<unsigned char>('.');
}

std::wstring ErrorReportText(const std::string& message) {
    std::wstring text = win32::ToWide(message);
    if (NeedsFinalPeriod(message)) text += L'.';
    return text;
}

void ReportError(HWND owner, const std::wstring& caption, const std::string& message) {
    const std::wstring text = ErrorReportText(message);
    MessageBoxFunction show = g_messageBox ? g_messageBox : &MessageBoxW;
    show(owner, text.c_str(), caption.c_str(), MB_ICONSTOP | MB_OK);
}

void ReportCurrentException(HWND owner, const std::wstring& caption) {
    try {
        throw;
    } catch (const tarvel::SilentAbort&) {
        // ends the user's action and shows nothing
    } catch (const tarvel::Error& error) {
        ReportError(owner, caption, error.message());
    } catch (const std::exception& error) {
        ReportError(owner, caption, error.what());
    } catch (...) {
        ReportError(owner, caption, "unknown exception");
    }
}

}  // namespace tarvel::app
