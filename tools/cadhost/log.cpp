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

void Log::Write(const std::string& kind, const Record& fields) {
    if (!file_) return;
    Record record = {{"kind", kind}};
    for (const auto& [name, value] : fields.items()) record[name] = value;
    if (times_) {
        FILETIME ft;
        GetSystemTimePreciseAsFileTime(&ft);
        const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
        // 100 ns ticks since 1601 to microseconds since 1970.
        record["ms"] = GetTickCount64();
        record["unix_us"] = (ticks - 116444736000000000ULL) / 10;
    }
    const std::string line = LogLine(record);
    std::fwrite(line.data(), 1, line.size(), file_.get());
    std::fflush(file_.get());
}

void Events::OnCancel(const std::u16string& line) {
    log_.Write("cancel", {{"source", source_}, {"text", ToUtf8(line)}});
}

void Events::OnDimension(const Dimension& d) {
    log_.Write("dimension", {{"index", ++count_},
                             {"p1", PointJson(d.p1)},
                             {"p2", PointJson(d.p2)},
                             {"dir", d.dir == Direction::H ? "H" : "V"},
                             {"pos", PointJson(d.pos)},
                             {"text", d.text ? Record(ToUtf8(*d.text)) : Record(nullptr)},
                             {"measurement", Number(d.measurement)},
                             {"shown", ToUtf8(ResolvedText(d))}});
}

}  // namespace cadhost
