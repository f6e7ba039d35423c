// The arguments of a driver mode: `--name value` pairs and `--flag` words,
// each bound to the variable its value goes to.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace tarvel::driver {

class ArgumentTable {
public:
    ArgumentTable& Text(const wchar_t* name, std::wstring& to);
    // Given any number of times, each value in turn.
    ArgumentTable& Texts(const wchar_t* name, std::vector<std::wstring>& to);
    ArgumentTable& Number(const wchar_t* name, int& to);
    // Given in seconds, kept in milliseconds.
    ArgumentTable& Seconds(const wchar_t* name, DWORD& to_ms);
    // A word without a value: sets `to` to `value`.
    ArgumentTable& Flag(const wchar_t* name, bool& to, bool value = true);
    // Any other use of a value.
    ArgumentTable& Each(const wchar_t* name, std::function<void(const std::wstring&)> use);

    // Reads argv[1] on. False, with `error` saying why, at a word no entry
    // names or a name without its value.
    bool Read(int argc, wchar_t** argv, std::string& error) const;

private:
    struct Entry {
        std::wstring name;
        bool takes_value;
        std::function<void(const std::wstring&)> set;
    };
    std::vector<Entry> entries_;
};

}  // namespace tarvel::driver
