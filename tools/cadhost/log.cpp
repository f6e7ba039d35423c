#include "tools/cadhost/log.h"

#include <windows.h>

#include <cstdint>

#include "support/win32/owner.h"
#include "tools/cadhost/drawing.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace win32 = tarvel::win32;

void Tell(const std::u16string& text, bool error) {
    const std::string utf8 = ToUtf8(text) + (text.empty() || text.back() != u'\n' ? "\n" : "");
    win32::Handle console;  // the parent's console, when it is written to
    HANDLE h = GetStdHandle(error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (!h || h == INVALID_HANDLE_VALUE) {
        if (AttachConsole(ATTACH_PARENT_PROCESS)) {
            console.reset(CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
            h = console.value();
        }
    }
    DWORD written = 0;
    if (h && h != INVALID_HANDLE_VALUE && WriteFile(h, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr))
        return;
    MessageBoxW(nullptr, W(text).c_str(), L"cadhost", MB_OK | (error ? MB_ICONSTOP : MB_ICONINFORMATION));
}

bool Log::Open(const std::u16string& path, bool times) {
    file_ = OpenFile(path, L"wb");
    times_ = times;
    return file_ != nullptr;
}

void Log::Write(const std::string& kind, const std::string& fields) {
    if (!file_) return;
    std::string line = "{\"kind\":" + JsonString(FromUtf8(kind));
    if (!fields.empty()) line += "," + fields;
    if (times_) {
        FILETIME ft;
        GetSystemTimePreciseAsFileTime(&ft);
        const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        // 100 ns ticks since 1601 to microseconds since 1970.
        const std::uint64_t unix_us = (ticks - 116444736000000000ULL) / 10;
        line += ",\"ms\":" + std::to_string(GetTickCount64()) + ",\"unix_us\":" + std::to_string(unix_us);
    }
    line += "}\n";
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

std::string Field(const char* name, const std::u16string& text) {
    return std::string("\"") + name + "\":" + JsonString(text);
}

std::string PointField(const char* name, const Point& p) {
    return std::string("\"") + name + "\":[" + JsonNumber(p.x) + "," + JsonNumber(p.y) + "," + JsonNumber(p.z) + "]";
}

void Events::OnCancel(const std::u16string& line) {
    log_.Write("cancel", "\"source\":\"" + source_ + "\"," + Field("text", line));
}

void Events::OnDimension(const Dimension& d) {
    std::string f = "\"index\":" + std::to_string(++count_) + "," + PointField("p1", d.p1) + "," +
                    PointField("p2", d.p2) + ",\"dir\":\"" + (d.dir == Direction::H ? "H" : "V") + "\"," +
                    PointField("pos", d.pos) + ",\"text\":" + (d.text ? JsonString(*d.text) : "null") +
                    ",\"measurement\":" + JsonNumber(d.measurement) + "," + Field("shown", ResolvedText(d));
    log_.Write("dimension", f);
}

}  // namespace cadhost
