// Tarvel's own small window framework: an application object with a hidden
// application window that owns the task-bar button, and forms whose event
// handlers do the work. Layouts are given in pixels for 96 dpi and scaled
// to the window's dpi.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "support/win32/owner.h"

namespace tarvel::app {

// A rectangle in 96-dpi pixels: left, top, width, height.
struct Rect96 {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

int ScaleForDpi(int value, UINT dpi);
RECT ScaleRect(const Rect96& rect, UINT dpi);

// The dpi to lay a window out at: the monitor's `dpi`, but no more than lets
// the whole window fit the `work` area (the screen less the task bar): its
// client area, `client96` in 96-dpi pixels, scaled, and the `frame` the
// system draws around it at the monitor's dpi. Never below 96, the layout's
// natural size; a dpi of 96 or less is taken as it is.
UINT FitLayoutDpi(UINT dpi, SIZE client96, SIZE frame, SIZE work);

// A font in 96-dpi terms: the face name, the character height in pixels
// (internal leading excluded) and the character set.
struct FontChoice {
    const wchar_t* face;
    int height;
    BYTE charset;
};

class Form;

// The window procedure of every window class of ours. The object is given
// as lpCreateParams when the window is made and bound to the window at
// WM_NCCREATE; each message goes to its WindowMessage, and nothing thrown
// there crosses the window procedure: ReportException reports it. T gives
// Attach(HWND) (at WM_NCCREATE), Detach() (at WM_NCDESTROY),
// WindowMessage(UINT, WPARAM, LPARAM) and ReportException().
template <class T>
LRESULT CALLBACK BoundWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    T* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        if (self) self->Attach(window);
    } else {
        self = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(window, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->Detach();
        return DefWindowProcW(window, message, wparam, lparam);
    }
    try {
        return self->WindowMessage(message, wparam, lparam);
    } catch (...) {
        self->ReportException();
        return 0;
    }
}

// Registers a window class of ours once (a class already registered is
// left as it is).
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background,
                         HICON icon);

class Application {
public:
    explicit Application(HINSTANCE instance);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    HINSTANCE Instance() const { return instance_; }
    // The hidden application window: it carries the title and the task-bar
    // button and owns the main form.
    HWND Handle() const { return handle_; }

    void SetTitle(const std::wstring& title);
    const std::wstring& Title() const { return title_; }

    // The first form created becomes the main form: closing it ends the
    // program.
    Form* MainForm() const { return main_form_; }

    // Shows the main form and dispatches messages until the program is told
    // to end. What the first sight of the window does not need waits until
    // the window has been on the screen a moment (kSettleMs): the task-bar
    // button, and `shown` when given.
    void Run(const std::function<void()>& shown = {});
    // Does now what Run left for later, when it has not been done yet.
    void Settle();
    static constexpr UINT kSettleMs = 150;
    // Shows the application window, and with it the task-bar button (Run
    // does it once the main form is on the screen).
    void ShowTaskBarButton();
    // Dispatches every pending message, then returns. A quit request found
    // here ends the program once the running handler has returned.
    void ProcessMessages();
    // Asks the program to end (PostQuitMessage).
    void Terminate();
    bool Terminated() const { return terminated_; }
    // Dispatches one message, with the keyboard handling of dialogs (Tab,
    // arrows, Enter) for our forms.
    void HandleMessage(MSG& msg);

    // Reports the exception being handled; call only inside a catch block.
    void HandleException();

    // While held, an activation of the application window does not restore
    // the minimised main form. Windows activates the owner, this window,
    // from inside ShowWindow(SW_MINIMIZE) on the main form: held across the
    // minimise and the messages pending right after it, that activation
    // leaves the form minimised. Released, the user's activations (the
    // task-bar button, Alt+Tab, Restore from the button's menu) bring it
    // back.
    void HoldMainFormMinimised(bool hold) { hold_minimised_ = hold; }
    bool MainFormHeldMinimised() const { return hold_minimised_; }

    void AddForm(Form* form);
    void RemoveForm(Form* form);
    Form* FindForm(HWND window) const;
    const std::vector<Form*>& Forms() const { return forms_; }

    // The binding of the application window (BoundWindowProc).
    void Attach(HWND window) { handle_ = window; }
    void Detach() { handle_ = nullptr; }
    LRESULT WindowMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void ReportException() { HandleException(); }

private:
    void RestoreMainForm();
    HWND OwnerForReports() const;

    HINSTANCE instance_;
    HWND handle_ = nullptr;
    std::wstring title_;
    std::vector<Form*> forms_;
    Form* main_form_ = nullptr;
    bool terminated_ = false;
    bool hold_minimised_ = false;
    std::function<void()> after_showing_;
    bool settled_ = true;
};

struct FormLayout {
    const wchar_t* class_name;
    const wchar_t* caption;
    Rect96 bounds;  // the window's left and top, the client area's width and height
    DWORD style;
    DWORD ex_style;
    FontChoice font;
};

// Both forms are dialog frames with the system menu only: no minimise or
// maximise box.
constexpr DWORD kDialogFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
constexpr DWORD kDialogFrameExStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;

// A top-level window of ours with named child controls. It is made in two
// steps: the object, then its window with Create(), so that every message
// the window gets, from the first, reaches the derived form.
class Form {
public:
    Form(Application& app, const FormLayout& layout, HWND owner);
    virtual ~Form();

    // Makes the window (hidden), lays it out for its dpi, then lets the
    // derived form add its controls (OnCreate). Throws when the window
    // cannot be made.
    void Create();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    HWND Handle() const { return handle_; }
    Application& App() const { return app_; }
    // The dpi the layout is drawn at: the window's, or less where the form
    // must fit the screen (LayoutDpi).
    UINT Dpi() const { return dpi_; }

    // A child control by its name ("bStart"), or nullptr.
    HWND Control(const std::wstring& name) const;
    int ControlId(const std::wstring& name) const;
    std::vector<std::wstring> ControlNames() const;

    // Shows the form modally: every other form of the application is
    // disabled, a nested message loop runs until a modal result is set, and
    // the form is hidden again (not destroyed). Returns the modal result.
    int ShowModal();
    bool Modal() const { return modal_; }
    void SetModalResult(int result) { modal_result_ = result; }

    // Takes the layout to the window's dpi: window size (at `suggested` when
    // given, else at the scaled designed position on first layout, else
    // where it is), controls and font.
    void ApplyDpi(UINT dpi, const RECT* suggested);

    // The binding of the form's window (BoundWindowProc).
    void Attach(HWND window) { handle_ = window; }
    void Detach() { handle_ = nullptr; }
    LRESULT WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) { return HandleMessage(message, wparam, lparam); }
    void ReportException() { app_.HandleException(); }

protected:
    // A child control; `param` goes to its window as lpCreateParams.
    HWND AddControl(const std::wstring& name, const wchar_t* class_name, const wchar_t* caption, DWORD style,
                    const Rect96& rect, int id, void* param = nullptr);
    virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
    virtual void OnCommand(int /*id*/, int /*code*/, HWND /*control*/) {}
    // Called before each modal showing, while the form is still hidden.
    virtual void OnShowModal() {}
    virtual void OnDpiChanged() {}
    // The dpi to draw the layout at on a window of `dpi`, whose frame takes
    // `frame` around the client area: the window's own by default.
    virtual UINT LayoutDpi(UINT dpi, SIZE /*frame*/) const { return dpi; }
    const Rect96& DesignedBounds() const { return layout_.bounds; }
    // Called once by Create, after the window is made: the controls go here.
    virtual void OnCreate() {}
    HFONT Font() const { return font_.value(); }

private:
    struct ControlEntry {
        std::wstring name;
        int id;
        HWND handle;
        Rect96 rect;
    };
    const ControlEntry* Find(const std::wstring& name) const;

    Application& app_;
    FormLayout layout_;
    HWND owner_ = nullptr;
    HWND handle_ = nullptr;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    bool laid_out_ = false;
    win32::Font font_;
    std::vector<ControlEntry> controls_;
    bool modal_ = false;
    int modal_result_ = 0;
};

}  // namespace tarvel::app
