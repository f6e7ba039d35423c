// The scripted host's log (--log): JSON Lines, one object a line, each with
// "kind"; a command record carries "enc", "cbData" and "text", and with
// --log-times every record "ms", the tick count.
#pragma once

#include <string>
#include <vector>

namespace tarvel::driver {

struct LogRecord {
    std::string kind;
    std::string line;  // the raw JSON object
    // A string field, decoded to UTF-16; false when absent or malformed.
    bool Text(const char* name, std::wstring& value) const;
    std::wstring Text(const char* name) const;
    // A number field; -1 when absent.
    long long Number(const char* name) const;
};

// The complete records of the log written so far (a last line still being
// written is left out); empty when the file cannot be read.
std::vector<LogRecord> ReadHostLog(const std::wstring& path);

// The records of one kind.
std::vector<LogRecord> OfKind(const std::vector<LogRecord>& records, const char* kind);

}  // namespace tarvel::driver
