#include "tests/windows/support/files.h"

#include <windows.h>

#include <atomic>

#include "support/win32/text.h"
#include "tools/common/files.h"

namespace wintest {

std::wstring WindowsPath(std::string_view path) {
    std::wstring wide = tarvel::win32::FromUtf8(path);
    if (wide.empty() || wide[0] != L'/') return wide;
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    return L"Z:" + wide;
}

std::wstring CadHostExe() { return WindowsPath(TARVEL_CADHOST_EXE); }
std::wstring ClipHolderExe() { return WindowsPath(TARVEL_CLIPHOLDER_EXE); }
std::wstring TarvelCheckExe() { return WindowsPath(TARVEL_CHECK_EXE); }

std::wstring MakeTempDir() {
    // Wine reuses process ids from one test run to the next, so a folder of
    // an earlier run may have the same name: the tick count and a counter
    // make it new.
    static std::atomic<int> counter{0};
    wchar_t base[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, base);
    for (;;) {
        const std::wstring dir = std::wstring(base) + L"tarvel-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                                 std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(++counter);
        if (CreateDirectoryW(dir.c_str(), nullptr) || GetLastError() != ERROR_ALREADY_EXISTS) return dir;
    }
}

std::string ReadTextFile(const std::wstring& path) {
    std::string out;
    if (!tarvel::common::ReadWholeFile(path, out)) out.clear();
    return out;
}

}  // namespace wintest
