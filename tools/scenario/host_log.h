// The scripted host's log (--log): JSON Lines, one object a line, each with
// "kind"; a command record carries "enc", "cbData" and "text", and with
// --log-times every record "ms", the tick count. Read with a JSON library:
// a line that does not parse, or a field asked for that a record lacks or
// holds as another type, is an error (HostLogError), never an empty text
// or a zero.
#pragma once

#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarvel::driver {

class HostLogError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct LogRecord {
    std::string kind;
    std::string line;                              // as written
    std::shared_ptr<const nlohmann::json> fields;  // the object the line holds

    // A string field, in UTF-16. Throws HostLogError when absent or not a
    // string.
    std::wstring Text(const char* name) const;
    // The same as a question: false when it is absent or null (a
    // dimension's "text" when the command gave none).
    bool Text(const char* name, std::wstring& value) const;
    // A number field; throws HostLogError when absent or not a number.
    long long Number(const char* name) const;
    double Real(const char* name) const;
    // The record as written, for messages and for the host's own tests.
    const std::string& Raw() const { return line; }
};

// The complete records of the log written so far (a last line still being
// written is left out); empty when the file cannot be read. Throws
// HostLogError for a line that is not a JSON object with a "kind".
std::vector<LogRecord> ReadHostLog(const std::wstring& path);

// The records of one kind.
std::vector<LogRecord> OfKind(const std::vector<LogRecord>& records, const char* kind);

}  // namespace tarvel::driver
