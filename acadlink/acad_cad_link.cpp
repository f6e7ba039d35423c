#include "acadlink/acad_cad_link.h"

#include <windows.h>

#include "acadlink/Acad11ACtrl.h"
#include "acadlink/prompt_overlay.h"
#include "support/win32/text.h"

namespace tarvel {

bool AcadCadLink::ActivateAcad() { return Acad11ACtrl::ActivateAcad(); }

void AcadCadLink::ReadPromptLine(std::string& text) { Acad11ACtrl::ReadPromptLine(text); }

void AcadCadLink::LastHistoryLine(std::string& line) { Acad11ACtrl::LastHistoryLine(line); }

bool AcadCadLink::SendCommand(const std::u16string& command) { return Acad11ACtrl::SendCommand(command); }

void AcadCadLink::QuerySysVar(const std::string& name, std::string& value) { Acad11ACtrl::QuerySysVar(name, value); }

WindowHandle AcadCadLink::FindHistoryPane() { return Acad11ACtrl::FindHistoryPane(); }

void AcadCadLink::DrawPromptText(WindowHandle window, const std::string& message) {
    tarvel::DrawPromptText(static_cast<HWND>(window), message);
}

std::u16string AcadCadLink::AnsiToWide(const std::string& text) { return win32::ToUtf16(text); }

}  // namespace tarvel
