#include "tests/windows/support/test_host.h"

#include "support/win32/text.h"
#include "tests/windows/support/files.h"
#include "tools/common/files.h"

namespace wintest {

namespace {

constexpr DWORD kStartTimeoutMs = 20000;
constexpr DWORD kCloseTimeoutMs = 10000;
constexpr DWORD kRunToEndTimeoutMs = 15000;

}  // namespace

HostSession::HostSession(const std::vector<std::wstring>& args, const std::wstring& picks) : folder_(MakeTempDir()) {
    std::vector<std::wstring> all = {L"--log", folder_ + L"\\log.jsonl"};
    if (!picks.empty()) {
        picks_ = folder_ + L"\\test.picks";
        tarvel::common::WriteWholeFile(picks_, tarvel::win32::ToUtf8(picks));
        all.insert(all.end(), {L"--picks", picks_});
    }
    all.insert(all.end(), args.begin(), args.end());
    error_ = Start(CadHostExe(), all, folder_, kStartTimeoutMs);
    if (!error_.empty()) error_ += " (" + tarvel::win32::ToUtf8(tarvel::common::CommandLine(CadHostExe(), all)) + ")";
}

HostSession::~HostSession() {
    Close();
    DeleteFileW(LogPath().c_str());
    if (!picks_.empty()) DeleteFileW(picks_.c_str());
    RemoveDirectoryW(folder_.c_str());
}

DWORD HostSession::Close() {
    if (!Host::Close(kCloseTimeoutMs).empty()) Kill();
    return Process().ExitCode();
}

tarvel::common::RunResult RunHostToEnd(const std::vector<std::wstring>& args) {
    return tarvel::common::RunToEnd(CadHostExe(), args, kRunToEndTimeoutMs);
}

}  // namespace wintest
