// The host's files: the pick script it reads, the DXF and SVG files it
// writes when it closes, and the FILE owner they and the log share.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tools/cadhost/options.h"

namespace cadhost {

struct Host;

struct FileCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File OpenFile(const std::u16string& path, const wchar_t* mode);

// Reads and parses the pick script; tells the user what is wrong when that
// fails.
bool ReadPickScript(const std::u16string& path, std::vector<PickAction>& script);

// The --dxf and --svg outputs, written once (the first call) and logged.
void WriteOutputs(Host& h);

}  // namespace cadhost
