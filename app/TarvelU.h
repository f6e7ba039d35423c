// The main window TTarvelF: the tier options, Start and the help button.
// It is the window a dimension run minimises, restores and pumps.
#pragma once

#include <functional>

#include "app/forms.h"
#include "dimension/cad_link.h"
#include "dimension/run_window.h"

namespace tarvel::app {

// Puts the window into the topmost band (on) or takes it out.
void SetStayOnTop(HWND window, bool on);

class TTarvelF final : public Form, public tarvel::RunWindow {
public:
    // One whole dimension run; false when it did not start because a run is
    // already under way.
    using DimensionRun = std::function<bool(tarvel::CadLink&, tarvel::RunWindow&)>;

    // The window is made by Create().
    TTarvelF(Application& app, tarvel::CadLink& link, DimensionRun run);

    void FormCreate();
    void bStartClick();
    void bHelpClick();

    bool RunUnderWay() const { return run_under_way_; }
    // The tooltip of bStart, made when the mouse first comes over the window
    // (its first WM_SETCURSOR): until then nothing needs the common controls.
    HWND Tooltip() const { return tooltip_; }

    // tarvel::RunWindow
    void Minimize() override;
    void Restore() override;
    void ProcessMessages() override;
    void Sleep(std::uint32_t milliseconds) override;
    void DeleteWorkFile(const std::string& name) override;
    bool RadioButton1Checked() override;
    bool RadioButton2Checked() override;

protected:
    void OnCreate() override;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void OnCommand(int id, int code, HWND control) override;

private:
    void CreateTooltip();
    // The checked radio button is the group's one Tab stop.
    void UpdateRadioTabStops();
    bool Checked(const wchar_t* name) const;

    tarvel::CadLink& link_;
    DimensionRun run_;
    HWND tooltip_ = nullptr;
    bool run_under_way_ = false;
};

// The main window, for the program's lifetime.
extern TTarvelF* TarvelF;

}  // namespace tarvel::app
