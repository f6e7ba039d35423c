// What the dimension run needs of the main window and the message loop.
#pragma once

#include <cstdint>
#include <string>

namespace tarvel {

class RunWindow {
public:
    virtual ~RunWindow() = default;

    virtual void Minimize() = 0;         // ShowWindow(SW_MINIMIZE)
    virtual void Restore() = 0;          // ShowWindow(SW_SHOWNORMAL)
    virtual void ProcessMessages() = 0;  // peek and dispatch until none is left
    virtual void Sleep(std::uint32_t milliseconds) = 0;

    // Deletes a file of the process's current folder; a missing file is no
    // error and nothing is reported.
    virtual void DeleteWorkFile(const std::string& name) = 0;

    // The tier options as the window shows them now.
    virtual bool RadioButton1Checked() = 0;
    virtual bool RadioButton2Checked() = 0;
};

}  // namespace tarvel
