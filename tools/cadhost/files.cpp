#include "tools/cadhost/files.h"

#include "tools/cadhost/drawing.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/wide.h"
#include "tools/common/files.h"

namespace cadhost {

namespace {

constexpr std::size_t kLongestPickScript = std::size_t{64} << 20;

void WriteFileBytes(Host& h, const std::u16string& path, const std::string& bytes, const char* what) {
    const bool ok = tarvel::common::WriteWholeFile(W(path), bytes);
    h.log.Write("written", {{"file", what}, {"path", ToUtf8(path)}, {"ok", ok}});
    if (!ok) Tell(u"cadhost: cannot write " + path, true);
}

}  // namespace

File OpenFile(const std::u16string& path, const wchar_t* mode) { return File(_wfopen(W(path).c_str(), mode)); }

bool ReadPickScript(const std::u16string& path, std::vector<PickAction>& script) {
    std::string content;
    if (!tarvel::common::ReadWholeFile(W(path), content, kLongestPickScript)) {
        Tell(u"cadhost: cannot read the pick script " + path, true);
        return false;
    }
    std::u16string error;
    const auto parsed = ParsePickScript(content, error);
    if (!parsed) {
        Tell(u"cadhost: pick script " + path + u", " + error, true);
        return false;
    }
    script = *parsed;
    return true;
}

void WriteOutputs(Host& h) {
    if (h.outputs_written) return;
    h.outputs_written = true;
    if (!h.options.dxf.empty())
        WriteFileBytes(h, h.options.dxf, WriteDxf(h.interp.Dimensions(), h.interp.Identified()), "dxf");
    if (!h.options.svg.empty())
        WriteFileBytes(h, h.options.svg, WriteSvg(h.interp.Dimensions(), h.interp.Identified()), "svg");
}

}  // namespace cadhost
