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
    // The picture is the JPEG resource of `module`, decoded to the depth the
    // screen wants when the window is first shown (or LoadPicture is
    // called). The window is made by Create().
    TAboutBox(Application& app, HWND owner, HMODULE module);
    TAboutBox(Application& app, HWND owner, HMODULE module, PictureDepth depth);

    const Picture& Image() const { return picture_; }
    // Decodes the picture unless it is already; throws when it cannot.
    void LoadPicture();

protected:
    void OnCreate() override;
    LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
    void OnCommand(int id, int code, HWND control) override;
    void OnShowModal() override;
    void OnDpiChanged() override;
    // Scaled with the monitor's dpi, but no larger than fits its work area.
    UINT LayoutDpi(UINT dpi, SIZE frame) const override;

private:
    // The picture control Image1, bound to its window by BoundWindowProc.
    class ImageControl {
    public:
        explicit ImageControl(TAboutBox& box) : box_(box) {}
        void Attach(HWND window) { window_ = window; }
        void Detach() { window_ = nullptr; }
        LRESULT WindowMessage(UINT message, WPARAM wparam, LPARAM lparam);
        // A paint that failed was ended all the same (its EndPaint is owned).
        void ReportException() { box_.App().HandleException(); }

    private:
        TAboutBox& box_;
        HWND window_ = nullptr;
    };

    void PaintImage(HWND window);
    // The work area (the screen less the task bar) of the monitor the
    // window is shown on: its owner's.
    RECT WorkArea() const;
    void CentreInWorkArea();

    HMODULE module_;
    PictureDepth depth_;
    Picture picture_;
    win32::Palette palette_;
    bool shown_before_ = false;
    ImageControl image_{*this};
};

// The instructions window, for the program's lifetime.
extern TAboutBox* AboutBox;

}  // namespace tarvel::app
