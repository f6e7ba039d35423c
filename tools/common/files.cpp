#include "tools/common/files.h"

#include <windows.h>

#include <algorithm>

#include "support/win32/owner.h"

namespace tarvel::common {

using win32::Handle;

bool ReadWholeFile(const std::wstring& path, std::string& out, std::size_t limit) {
    out.clear();
    const Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file.value(), buffer, sizeof buffer, &got, nullptr)) return false;
        if (got == 0) return true;
        if (out.size() + got > limit) return false;
        out.append(buffer, got);
    }
}

bool WriteWholeFile(const std::wstring& path, std::string_view bytes) {
    const Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file.value(), bytes.data(), chunk, &written, nullptr) || written == 0) return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace tarvel::common
