// GoogleTest's side of the host session: cadhost.exe started for one test
// in a folder of its own, with a log there and, when given, a pick script;
// closed and its files removed when the test is done. What it offers is the
// one host session of tools/scenario.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/common/process.h"
#include "tools/scenario/host_session.h"

namespace wintest {

class HostSession : public tarvel::driver::Host {
public:
    // Starts the host in a new, empty folder with a --log there, `args` and,
    // when given, `picks` as its pick script (written as UTF-8); waits until
    // it shows its idle prompt.
    explicit HostSession(const std::vector<std::wstring>& args = {}, const std::wstring& picks = {});
    ~HostSession();

    bool Ok() const { return error_.empty(); }
    // Why the host is not there (UTF-8).
    const std::string& Error() const { return error_; }

    // Closes the host's main frame and waits for the process to end (ends it
    // when it does not); its exit code.
    DWORD Close();

private:
    std::wstring folder_;
    std::wstring picks_;
    std::string error_;
};

// Runs cadhost.exe with `args` to its end (bounded): its exit code and what
// it printed.
tarvel::common::RunResult RunHostToEnd(const std::vector<std::wstring>& args);

}  // namespace wintest

// A session `var` started with the constructor's arguments; the test ends
// here when the host did not come up.
#define START_HOST(var, ...)                 \
    ::wintest::HostSession var{__VA_ARGS__}; \
    ASSERT_TRUE(var.Ok()) << var.Error()
