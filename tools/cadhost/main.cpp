// cadhost.exe: a Win32 program that presents the windows of a Japanese
// AutoCAD 2004 and answers typed input (WM_COPYDATA) the way it does. The
// command interpreter, the formats and the drawing live in portable files;
// the windows, the input, the paints, the clipboard, the files and the log
// each have a file of their own. This one reads the command line, makes the
// host and runs the message loop.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/cadhost/files.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/host_windows.h"
#include "tools/cadhost/log.h"
#include "tools/cadhost/options.h"
#include "tools/cadhost/text.h"
#include "tools/cadhost/view.h"
#include "tools/cadhost/wide.h"

namespace {

using namespace cadhost;

void LogStart(Host& host) {
    const char* layout = host.options.layout == Layout::Docked     ? "docked"
                         : host.options.layout == Layout::Floating ? "floating"
                                                                   : "text";
    auto number = [](HWND window) { return static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)); };
    host.log.Write("start", {{"layout", layout},
                             {"enc", host.ansi ? "A" : "W"},
                             {"pid", GetCurrentProcessId()},
                             {"picks", host.script.size()},
                             {"frame", number(host.frame)},
                             {"text", number(host.text_wnd)},
                             {"headlands", number(host.headlands)},
                             {"mounttam", number(host.mounttam)}});
    host.log.Write("prompt", {{"text", ToUtf8(host.interp.Prompt())}});
}

// Until WM_QUIT (or a GetMessage failure), in the windows' character set.
void RunMessageLoop(const Host& host) {
    MSG msg;
    BOOL r;
    while ((r = host.ansi ? GetMessageA(&msg, nullptr, 0, 0) : GetMessageW(&msg, nullptr, 0, 0)) != 0 && r != -1) {
        TranslateMessage(&msg);
        if (host.ansi)
            DispatchMessageA(&msg);
        else
            DispatchMessageW(&msg);
    }
}

int Run(HINSTANCE instance) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::vector<std::u16string> args;
    for (int i = 1; argv && i < argc; ++i) args.push_back(U(argv[i]));
    if (argv) LocalFree(argv);

    std::u16string error;
    const auto options = ParseOptions(args, error);
    if (!options) {
        Tell(error, true);
        return 2;
    }
    if (options->help) {
        Tell(UsageText(), false);
        return 0;
    }

    // The windows are never destroyed (see WM_CLOSE): the host they point
    // at lasts until the process ends, as they do.
    static Host host;
    host.options = *options;
    host.instance = instance;
    host.ansi = options->ansi;
    host.interp.SetLastPointText(options->lastpoint);
    host.interp.SetPromptPad(static_cast<size_t>(options->prompt_pad));

    if (!options->picks.empty() && !ReadPickScript(options->picks, host.script)) return 2;
    if (!options->log.empty() && !host.log.Open(options->log, options->log_times)) {
        Tell(u"cadhost: cannot write the log " + options->log, true);
        return 2;
    }

    host.paint = MakePaintTools();
    if (!CreateWindows(host)) {
        Tell(u"cadhost: the windows could not be created", true);
        return 1;
    }
    LogStart(host);
    RunMessageLoop(host);
    WriteOutputs(host);
    host.log.Write("exit");
    host.log.Close();
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        return Run(instance);
    } catch (const std::exception& e) {
        cadhost::Tell(u"cadhost: " + cadhost::FromUtf8(e.what()), true);
        return 1;
    }
}
