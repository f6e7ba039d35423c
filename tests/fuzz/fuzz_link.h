// A CadLink for the harnesses: records what is sent and widens bytes one to
// one (the harnesses' texts are ASCII).
#pragma once

#include <string>
#include <vector>

#include "dimension/cad_link.h"

namespace tarvel::fuzz {

class RecordingLink final : public CadLink {
public:
    std::vector<std::u16string> sent;
    std::string last_point;

    bool ActivateAcad() override { return true; }
    void ReadPromptLine(std::string& text) override { text.clear(); }
    void LastHistoryLine(std::string& line) override { line.clear(); }
    bool SendCommand(const std::u16string& command) override {
        sent.push_back(command);
        return true;
    }
    void QuerySysVar(const std::string&, std::string& value) override { value = last_point; }
    WindowHandle FindHistoryPane() override { return nullptr; }
    void DrawPromptText(WindowHandle, const std::string&) override {}
    std::u16string AnsiToWide(const std::string& text) override {
        std::u16string wide;
        for (unsigned char c : text) wide.push_back(c);
        return wide;
    }
};

}  // namespace tarvel::fuzz
