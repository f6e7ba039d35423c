#include "tools/scenario/host_log.h"

#include <cstdio>
#include <cstdlib>

#include "support/win32/files.h"
#include "support/win32/text.h"

namespace tarvel::driver {

namespace {

// The JSON string that begins just after the opening quote at `at`.
bool ParseJsonString(const std::string& s, std::size_t at, std::wstring& out) {
    std::string utf8;
    out.clear();
    auto flush = [&] {
        out += win32::FromUtf8(utf8);
        utf8.clear();
    };
    for (std::size_t i = at; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '"') {
            flush();
            return true;
        }
        if (c != '\\') {
            utf8 += c;
            continue;
        }
        if (++i >= s.size()) return false;
        switch (s[i]) {
            case '"':
                utf8 += '"';
                break;
            case '\\':
                utf8 += '\\';
                break;
            case '/':
                utf8 += '/';
                break;
            case 'b':
                utf8 += '\b';
                break;
            case 'f':
                utf8 += '\f';
                break;
            case 'n':
                utf8 += '\n';
                break;
            case 'r':
                utf8 += '\r';
                break;
            case 't':
                utf8 += '\t';
                break;
            case 'u': {
                if (i + 4 >= s.size()) return false;
                flush();
                out += static_cast<wchar_t>(std::strtoul(s.substr(i + 1, 4).c_str(), nullptr, 16));
                i += 4;
                break;
            }
            default:
                return false;
        }
    }
    return false;
}

}  // namespace

bool LogRecord::Text(const char* name, std::wstring& value) const {
    const std::string key = std::string("\"") + name + "\":\"";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return false;
    return ParseJsonString(line, at + key.size(), value);
}

std::wstring LogRecord::Text(const char* name) const {
    std::wstring value;
    Text(name, value);
    return value;
}

long long LogRecord::Number(const char* name) const {
    const std::string key = std::string("\"") + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return -1;
    return std::atoll(line.c_str() + at + key.size());
}

std::vector<LogRecord> ReadHostLog(const std::wstring& path) {
    std::vector<LogRecord> records;
    std::string all;
    if (!win32::ReadWholeFile(path, all)) return records;
    std::size_t start = 0;
    for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
        LogRecord record;
        record.line = all.substr(start, end - start);
        if (record.line.empty() || record.line.back() != '}') continue;
        record.kind = win32::ToUtf8(record.Text("kind"));
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<LogRecord> OfKind(const std::vector<LogRecord>& records, const char* kind) {
    std::vector<LogRecord> found;
    for (const LogRecord& r : records) {
        if (r.kind == kind) found.push_back(r);
    }
    return found;
}

}  // namespace tarvel::driver
