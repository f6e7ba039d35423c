#include "tools/common/window_list.h"

namespace tarvel::common {

namespace {

BOOL CALLBACK Collect(HWND window, LPARAM list) {
    reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
    return TRUE;
}

}  // namespace

std::wstring Title(HWND window) {
    wchar_t buffer[512] = {};
    const int n = GetWindowTextW(window, buffer, 511);
    return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::wstring ClassName(HWND window) {
    wchar_t buffer[256] = {};
    const int n = GetClassNameW(window, buffer, 255);
    return std::wstring(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    if (window) GetWindowThreadProcessId(window, &process);
    return process;
}

std::wstring WindowText(HWND window, UINT ms) {
    wchar_t buffer[512] = {};
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, 511, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, ms, &got)) {
        return {};
    }
    return std::wstring(buffer, got < 511 ? got : 511);
}

std::vector<HWND> TopLevelWindows() {
    std::vector<HWND> list;
    EnumWindows(Collect, reinterpret_cast<LPARAM>(&list));
    return list;
}

std::vector<HWND> TopLevelWindowsOf(DWORD process) {
    std::vector<HWND> list;
    for (HWND window : TopLevelWindows()) {
        if (ProcessOf(window) == process) list.push_back(window);
    }
    return list;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> list;
    if (parent) EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&list));
    return list;
}

}  // namespace tarvel::common
