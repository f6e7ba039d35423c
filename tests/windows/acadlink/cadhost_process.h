// cadhost.exe started by a test, with a pick script and a log, closed again
// when dropped; and the log read back.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace linktest {

struct LogEntry {
    std::string kind;
    std::string line;  // the raw JSON object
    // A string field decoded to UTF-16; false when absent.
    bool Text(const char* name, std::u16string& value) const;
    // A number field; -1 when absent.
    long long Number(const char* name) const;
};

class CadHost {
public:
    // layout: docked, floating or text.
    CadHost(const std::string& layout, bool ansi, const std::string& picks);
    ~CadHost();
    CadHost(const CadHost&) = delete;
    CadHost& operator=(const CadHost&) = delete;

    bool ready() const { return ready_; }
    DWORD pid() const { return info_.dwProcessId; }
    std::vector<LogEntry> Log() const;
    std::vector<LogEntry> Commands() const;  // the "command" entries
    // Waits until the log has an entry of this kind beyond `skip` entries.
    bool WaitFor(const char* kind, std::size_t skip, DWORD ms) const;
    void Close();

private:
    PROCESS_INFORMATION info_{};
    std::string log_path_;
    std::string picks_path_;
    bool ready_ = false;
};

// UTF-8 to UTF-16 and the 8-bit code page to UTF-16.
std::u16string FromUtf8(const std::string& text);

}  // namespace linktest
