#include "tools/scenario/report.h"

#include <windows.h>

#include "tools/common/files.h"

namespace tarvel::driver {

void Report::Set(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(mu_);
    for (auto& entry : entries_) {
        if (entry.first == key) {
            entry.second = value;
            return;
        }
    }
    entries_.emplace_back(key, value);
}

std::string Report::Get(const std::string& key) const {
    std::lock_guard<std::mutex> lock(mu_);
    for (const auto& entry : entries_) {
        if (entry.first == key) return entry.second;
    }
    return {};
}

bool Report::Write(const std::wstring& path) const {
    std::lock_guard<std::mutex> lock(mu_);
    const std::wstring temporary = path + L".tmp";
    std::string lines;
    for (const auto& [key, value] : entries_) {
        lines += key + "=";
        for (char c : value) lines += (c == '\n' || c == '\r') ? ' ' : c;
        lines += "\n";
    }
    return common::WriteWholeFile(temporary, lines) &&
           MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

}  // namespace tarvel::driver
