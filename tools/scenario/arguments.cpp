#include "tools/scenario/arguments.h"

#include <cwchar>
#include <utility>

#include "support/win32/text.h"

namespace tarvel::driver {

ArgumentTable& ArgumentTable::Text(const wchar_t* name, std::wstring& to) {
    entries_.push_back({name, true, [&to](const std::wstring& v) { to = v; }});
    return *this;
}

ArgumentTable& ArgumentTable::Texts(const wchar_t* name, std::vector<std::wstring>& to) {
    entries_.push_back({name, true, [&to](const std::wstring& v) { to.push_back(v); }});
    return *this;
}

ArgumentTable& ArgumentTable::Number(const wchar_t* name, int& to) {
    entries_.push_back({name, true, [&to](const std::wstring& v) { to = _wtoi(v.c_str()); }});
    return *this;
}

ArgumentTable& ArgumentTable::Seconds(const wchar_t* name, DWORD& to_ms) {
    entries_.push_back(
        {name, true, [&to_ms](const std::wstring& v) { to_ms = 1000u * static_cast<DWORD>(_wtoi(v.c_str())); }});
    return *this;
}

ArgumentTable& ArgumentTable::Flag(const wchar_t* name, bool& to, bool value) {
    entries_.push_back({name, false, [&to, value](const std::wstring&) { to = value; }});
    return *this;
}

ArgumentTable& ArgumentTable::Each(const wchar_t* name, std::function<void(const std::wstring&)> use) {
    entries_.push_back({name, true, std::move(use)});
    return *this;
}

bool ArgumentTable::Read(int argc, wchar_t** argv, std::string& error) const {
    for (int i = 1; i < argc; ++i) {
        const std::wstring word = argv[i];
        const Entry* entry = nullptr;
        for (const Entry& e : entries_) {
            if (e.name == word) entry = &e;
        }
        if (!entry) {
            error = "unknown argument " + win32::ToUtf8(word);
            return false;
        }
        if (entry->takes_value && i + 1 >= argc) {
            error = "missing value after " + win32::ToUtf8(word);
            return false;
        }
        entry->set(entry->takes_value ? std::wstring(argv[++i]) : std::wstring());
    }
    return true;
}

}  // namespace tarvel::driver
