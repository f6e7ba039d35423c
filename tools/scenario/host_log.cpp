#include "tools/scenario/host_log.h"

#include <nlohmann/json.hpp>

#include "support/win32/text.h"
#include "tools/common/files.h"

namespace tarvel::driver {

namespace {

const nlohmann::json& Field(const LogRecord& record, const char* name) {
    const auto it = record.fields->find(name);
    if (it == record.fields->end()) {
        throw HostLogError("the host's " + record.kind + " record has no \"" + name + "\": " + record.Raw());
    }
    return *it;
}

[[noreturn]] void WrongType(const LogRecord& record, const char* name, const char* type) {
    throw HostLogError("the host's " + record.kind + " record's \"" + name + "\" is not " + type + ": " + record.Raw());
}

}  // namespace

std::wstring LogRecord::Text(const char* name) const {
    const nlohmann::json& value = Field(*this, name);
    if (!value.is_string()) WrongType(*this, name, "a text");
    return win32::FromUtf8(value.get_ref<const std::string&>());
}

bool LogRecord::Text(const char* name, std::wstring& value) const {
    const auto it = fields->find(name);
    if (it == fields->end() || it->is_null()) return false;
    value = Text(name);
    return true;
}

long long LogRecord::Number(const char* name) const {
    const nlohmann::json& value = Field(*this, name);
    if (!value.is_number()) WrongType(*this, name, "a number");
    return value.get<long long>();
}

double LogRecord::Real(const char* name) const {
    const nlohmann::json& value = Field(*this, name);
    if (!value.is_number()) WrongType(*this, name, "a number");
    return value.get<double>();
}

std::vector<LogRecord> ReadHostLog(const std::wstring& path) {
    std::vector<LogRecord> records;
    std::string all;
    if (!common::ReadWholeFile(path, all)) return records;
    std::size_t start = 0;
    int number = 0;
    for (std::size_t end; (end = all.find('\n', start)) != std::string::npos; start = end + 1) {
        ++number;
        const std::string line = all.substr(start, end - start);
        LogRecord record;
        record.line = line;
        auto fields = std::make_shared<nlohmann::json>(nlohmann::json::parse(line, nullptr, false));
        if (!fields->is_object()) {
            throw HostLogError("line " + std::to_string(number) + " of the host's log is not a JSON object: " + line);
        }
        const auto kind = fields->find("kind");
        if (kind == fields->end() || !kind->is_string()) {
            throw HostLogError("line " + std::to_string(number) + " of the host's log has no \"kind\": " + line);
        }
        record.kind = kind->get<std::string>();
        record.fields = std::move(fields);
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
