// The CAD link as the dimension run sees it, over the real Acad11ACtrl
// functions and the prompt overlay.
#pragma once

#include <string>

#include "dimension/cad_link.h"

namespace tarvel {

class AcadCadLink final : public CadLink {
public:
    bool ActivateAcad() override;
    void ReadPromptLine(std::string& text) override;
    void LastHistoryLine(std::string& line) override;
    bool SendCommand(const std::u16string& command) override;
    void QuerySysVar(const std::string& name, std::string& value) override;
    WindowHandle FindHistoryPane() override;
    void DrawPromptText(WindowHandle window, const std::string& message) override;
    std::u16string AnsiToWide(const std::string& text) override;
};

}  // namespace tarvel
