// What a driver mode reports: key=value lines, UTF-8, written whole under a
// temporary name and renamed, so a reader that polls for the file never
// reads half of it.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace tarvel::driver {

class Report {
public:
    void Set(const std::string& key, const std::string& value);
    void Set(const std::string& key, long long value) { Set(key, std::to_string(value)); }
    std::string Get(const std::string& key) const;
    bool Write(const std::wstring& path) const;

private:
    mutable std::mutex mu_;
    std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace tarvel::driver
