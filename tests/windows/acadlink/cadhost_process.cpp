#include "cadhost_process.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace linktest {

namespace {

// Under Wine a Unix path /x/y is Z:\x\y.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string WorkDir() {
    char buffer[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, buffer);
    return buffer;
}

bool ParseJsonString(const std::string& s, std::size_t at, std::u16string& out) {
    // `at` is just after the opening quote.
    std::string utf8;
    out.clear();
    auto flush = [&] {
        out += FromUtf8(utf8);
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
            case '"': utf8 += '"'; break;
            case '\\': utf8 += '\\'; break;
            case '/': utf8 += '/'; break;
            case 'b': utf8 += '\b'; break;
            case 'f': utf8 += '\f'; break;
            case 'n': utf8 += '\n'; break;
            case 'r': utf8 += '\r'; break;
            case 't': utf8 += '\t'; break;
            case 'u': {
                if (i + 4 >= s.size()) return false;
                flush();
                out += static_cast<char16_t>(std::stoul(s.substr(i + 1, 4), nullptr, 16));
                i += 4;
                break;
            }
            default: return false;
        }
    }
    return false;
}

}  // namespace

std::u16string FromUtf8(const std::string& text) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return std::u16string(wide.begin(), wide.end());
}

bool LogEntry::Text(const char* name, std::u16string& value) const {
    const std::string key = std::string("\"") + name + "\":\"";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return false;
    return ParseJsonString(line, at + key.size(), value);
}

long long LogEntry::Number(const char* name) const {
    const std::string key = std::string("\"") + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return -1;
    return std::atoll(line.c_str() + at + key.size());
}

CadHost::CadHost(const std::string& layout, bool ansi, const std::string& picks) {
    static int serial = 0;
    const std::string tag = std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    log_path_ = WorkDir() + "\\cadhost-" + tag + ".jsonl";
    picks_path_ = WorkDir() + "\\cadhost-" + tag + ".picks";
    {
        std::ofstream out(picks_path_, std::ios::binary);
        out << picks;
    }
    DeleteFileA(log_path_.c_str());
    std::string command = "\"" + WindowsPath(TARVEL_CADHOST_EXE) + "\" --layout " + layout + " --think 50 --log \"" +
                          log_path_ + "\" --picks \"" + picks_path_ + "\"";
    if (ansi) command += " --ansi";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_)) {
        return;
    }
    ready_ = WaitFor("start", 0, 20000);
}

std::vector<LogEntry> CadHost::Log() const {
    std::vector<LogEntry> entries;
    std::ifstream in(log_path_, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line.back() != '}') continue;  // not complete yet
        LogEntry e;
        e.line = line;
        std::u16string kind;
        e.Text("kind", kind);
        e.kind.assign(kind.begin(), kind.end());
        entries.push_back(e);
    }
    return entries;
}

std::vector<LogEntry> CadHost::Commands() const {
    std::vector<LogEntry> commands;
    for (const LogEntry& e : Log()) {
        if (e.kind == "command") commands.push_back(e);
    }
    return commands;
}

bool CadHost::WaitFor(const char* kind, std::size_t skip, DWORD ms) const {
    const ULONGLONG end = GetTickCount64() + ms;
    for (;;) {
        const std::vector<LogEntry> entries = Log();
        for (std::size_t i = skip; i < entries.size(); ++i) {
            if (entries[i].kind == kind) return true;
        }
        if (GetTickCount64() >= end) return false;
        if (info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_OBJECT_0) return false;
        Sleep(20);
    }
}

void CadHost::Close() {
    if (!info_.hProcess) return;
    if (WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
        // Close the host's main frame; the host ends with it.
        struct Ctx {
            DWORD pid;
        } ctx{info_.dwProcessId};
        EnumWindows(
            [](HWND w, LPARAM p) -> BOOL {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                char title[64] = {};
                GetWindowTextA(w, title, sizeof title);
                if (owner == reinterpret_cast<Ctx*>(p)->pid && std::strncmp(title, "AutoCAD 2004 - ", 15) == 0) {
                    PostMessageW(w, WM_CLOSE, 0, 0);
                }
                return TRUE;
            },
            reinterpret_cast<LPARAM>(&ctx));
        if (WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(info_.hProcess, 255);
            WaitForSingleObject(info_.hProcess, 5000);
        }
    }
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
    info_ = {};
    DeleteFileA(picks_path_.c_str());
}

CadHost::~CadHost() {
    Close();
    DeleteFileA(log_path_.c_str());
}

}  // namespace linktest
