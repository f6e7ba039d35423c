#include "tools/cadhost/files.h"

#include "tools/cadhost/drawing.h"
#include "tools/cadhost/host.h"
#include "tools/cadhost/wide.h"

namespace cadhost {

namespace {

bool ReadWholeFile(const std::u16string& path, std::string& out) {
    const File f = OpenFile(path, L"rb");
    if (!f) return false;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        out.append(buf, n);
        if (out.size() > (64u << 20)) return false;
    }
    return !std::ferror(f.get());
}

void WriteFileBytes(Host& h, const std::u16string& path, const std::string& bytes, const char* what) {
    File f = OpenFile(path, L"wb");
    bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f.get()) == bytes.size();
    if (f && std::fclose(f.release()) != 0) ok = false;
    h.log.Write("written", std::string("\"file\":\"") + what + "\"," + Field("path", path) + ",\"ok\":" +
                               (ok ? "true" : "false"));
    if (!ok) Tell(u"cadhost: cannot write " + path, true);
}

}  // namespace

File OpenFile(const std::u16string& path, const wchar_t* mode) { return File(_wfopen(W(path).c_str(), mode)); }

bool ReadPickScript(const std::u16string& path, std::vector<PickAction>& script) {
    std::string content;
    if (!ReadWholeFile(path, content)) {
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
