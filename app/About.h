// The operating-instructions window TAboutBox: one picture and a close
// button, shown modally from the main window's help button.
#pragma once

#include "app/forms.h"
#include "app/jpeg_picture.h"

namespace tarvel::app {

// The name of the RCDATA resource holding the picture's JPEG data.
constexpr wchar_t kHelpPictureResource[] = L"HELPPICTURE";

class TAboutBox final : public Form {
public:
    // The picture is decoded from the JPEG resource of `module`, to the
    // depth the screen wants.
    TAboutBox(Application& app, HWND owner, HMODULE module);
    TAboutBox(Application& app, HWND owner, HMODULE module, PictureDepth depth);

    const Picture& Image() const { return picture_; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void OnCommand(int id, int code, HWND control) override;
    void OnShowModal() override;
    void OnDpiChanged() override;

private:
    static LRESULT CALLBACK ImageProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    void PaintImage(HWND window);
    void CentreOnScreen();

    Picture picture_;
    win32::Palette palette_;
    bool shownBefore_ = false;
};

// The instructions window, for the program's lifetime.
extern TAboutBox* AboutBox;

}  // namespace tarvel::app
