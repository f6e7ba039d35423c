#include "app/forms.h"

#include <algorithm>
#include <utility>

#include "app/error_report.h"
#include "support/errors.h"

namespace tarvel::app {

namespace {
constexpr wchar_t kApplicationClass[] = L"TApplication";
}  // namespace

int ScaleForDpi(int value, UINT dpi) { return MulDiv(value, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI); }

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, UINT style, HBRUSH background,
                         HICON icon) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, name, &wc)) return;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.style = style;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hIcon = icon;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = background;
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
}

UINT FitLayoutDpi(UINT dpi, SIZE client96, SIZE frame, SIZE work) {
    auto fits = [&](UINT d) {
        return ScaleForDpi(client96.cx, d) + frame.cx <= work.cx && ScaleForDpi(client96.cy, d) + frame.cy <= work.cy;
    };
    UINT layout = dpi;
    while (layout > USER_DEFAULT_SCREEN_DPI && !fits(layout)) --layout;
    return layout;
}

RECT ScaleRect(const Rect96& rect, UINT dpi) {
    const int left = ScaleForDpi(rect.left, dpi);
    const int top = ScaleForDpi(rect.top, dpi);
    return RECT{left, top, left + ScaleForDpi(rect.width, dpi), top + ScaleForDpi(rect.height, dpi)};
}

// ---------------------------------------------------------------- Application

Application::Application(HINSTANCE instance) : instance_(instance) {
    RegisterWindowClass(instance_, kApplicationClass, &BoundWindowProc<Application>, 0, nullptr,
                        LoadIconW(instance_, L"MAINICON"));
    // A window of no size in the middle of the screen: unowned, so it takes
    // the task-bar button, and the forms it owns take none. It is shown once
    // the main form is on the screen (ShowTaskBarButton).
    handle_ = CreateWindowExW(0, kApplicationClass, L"", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                              GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                              nullptr, instance_, this);
}

void Application::ShowTaskBarButton() {
    if (handle_ && !IsWindowVisible(handle_)) ShowWindow(handle_, SW_SHOWNOACTIVATE);
}

Application::~Application() {
    if (handle_) {
        SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
        DestroyWindow(handle_);
    }
}

void Application::SetTitle(const std::wstring& title) {
    title_ = title;
    if (handle_) SetWindowTextW(handle_, title_.c_str());
}

namespace {
constexpr UINT_PTR kSettleTimer = 1;
}  // namespace

void Application::Run(const std::function<void()>& shown) {
    if (main_form_ && main_form_->Handle()) {
        ShowWindow(main_form_->Handle(), SW_SHOWNORMAL);
        UpdateWindow(main_form_->Handle());
        SetForegroundWindow(main_form_->Handle());
    }
    // The rest would only compete with the first paint for the processor
    // (and with the window server, which every program on the desktop
    // shares): it comes a moment later.
    after_showing_ = shown;
    settled_ = false;
    if (!handle_ || !SetTimer(handle_, kSettleTimer, kSettleMs, nullptr)) Settle();
    MSG msg;
    while (!terminated_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            terminated_ = true;
            break;
        }
        if (got < 0) break;
        HandleMessage(msg);
    }
}

void Application::Settle() {
    if (settled_) return;
    settled_ = true;
    if (handle_) KillTimer(handle_, kSettleTimer);
    ShowTaskBarButton();
    if (after_showing_) std::exchange(after_showing_, nullptr)();
}

void Application::ProcessMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        HandleMessage(msg);
    }
}

void Application::Terminate() { PostQuitMessage(0); }

void Application::HandleMessage(MSG& msg) {
    if (msg.hwnd && msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        HWND root = GetAncestor(msg.hwnd, GA_ROOT);
        if (root && FindForm(root) && IsDialogMessageW(root, &msg)) return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

HWND Application::OwnerForReports() const {
    HWND active = GetActiveWindow();
    if (active && FindForm(active)) return active;
    if (main_form_ && main_form_->Handle()) return main_form_->Handle();
    return handle_;
}

void Application::HandleException() { ReportCurrentException(OwnerForReports(), title_); }

void Application::AddForm(Form* form) {
    forms_.push_back(form);
    if (!main_form_) main_form_ = form;
}

void Application::RemoveForm(Form* form) {
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (main_form_ == form) main_form_ = nullptr;
}

Form* Application::FindForm(HWND window) const {
    for (Form* form : forms_) {
        if (form->Handle() == window) return form;
    }
    return nullptr;
}

void Application::RestoreMainForm() {
    if (!main_form_ || !main_form_->Handle()) return;
    HWND main = main_form_->Handle();
    if (IsIconic(main)) ShowWindow(main, SW_RESTORE);
    // A modal form shown from the main form takes the activation.
    HWND popup = GetLastActivePopup(main);
    SetForegroundWindow(popup && IsWindowVisible(popup) ? popup : main);
}

LRESULT Application::WindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_SYSCOMMAND:
            switch (wparam & 0xFFF0) {
                case SC_RESTORE:
                    if (!hold_minimised_) RestoreMainForm();
                    return 0;
                case SC_MINIMIZE:
                    // The task-bar button of the active program: minimised,
                    // and not brought straight back by the activation of
                    // this window that the minimise makes.
                    if (main_form_ && main_form_->Handle()) {
                        const bool held = hold_minimised_;
                        hold_minimised_ = true;
                        ShowWindow(main_form_->Handle(), SW_MINIMIZE);
                        ProcessMessages();
                        hold_minimised_ = held;
                    }
                    return 0;
                case SC_CLOSE:
                    if (main_form_ && main_form_->Handle()) PostMessageW(main_form_->Handle(), WM_CLOSE, 0, 0);
                    return 0;
            }
            break;
        case WM_ACTIVATE:
            // The task-bar button and Alt+Tab activate this window: hand the
            // activation on to the main form, restoring it when it is
            // minimised. Windows also activates this window, the owner, when
            // it minimises the main form: while that is held the activation
            // stays here.
            if (LOWORD(wparam) != WA_INACTIVE && !hold_minimised_) {
                RestoreMainForm();
                return 0;
            }
            break;
        case WM_CLOSE:
            if (main_form_ && main_form_->Handle()) PostMessageW(main_form_->Handle(), WM_CLOSE, 0, 0);
            return 0;
        case WM_TIMER:
            if (wparam == kSettleTimer) {
                Settle();
                return 0;
            }
            break;
    }
    return DefWindowProcW(handle_, message, wparam, lparam);
}

// ---------------------------------------------------------------- Form

Form::Form(Application& app, const FormLayout& layout, HWND owner) : app_(app), layout_(layout), owner_(owner) {}

void Form::Create() {
    if (handle_) return;
    RegisterWindowClass(app_.Instance(), layout_.class_name, &BoundWindowProc<Form>, CS_DBLCLKS,
                        reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1), LoadIconW(app_.Instance(), L"MAINICON"));
    RECT frame{0, 0, layout_.bounds.width, layout_.bounds.height};
    AdjustWindowRectEx(&frame, layout_.style, FALSE, layout_.ex_style);
    CreateWindowExW(layout_.ex_style, layout_.class_name, layout_.caption, layout_.style & ~WS_VISIBLE,
                    layout_.bounds.left, layout_.bounds.top, frame.right - frame.left, frame.bottom - frame.top, owner_,
                    nullptr, app_.Instance(), this);
    if (!handle_) throw tarvel::Error("ウィンドウを作成できません");
    app_.AddForm(this);
    ApplyDpi(GetDpiForWindow(handle_), nullptr);
    OnCreate();
}

Form::~Form() {
    app_.RemoveForm(this);
    if (handle_) {
        HWND window = handle_;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        handle_ = nullptr;
        DestroyWindow(window);
    }
}

HWND Form::AddControl(const std::wstring& name, const wchar_t* class_name, const wchar_t* caption, DWORD style,
                      const Rect96& rect, int id, void* param) {
    const RECT r = ScaleRect(rect, dpi_);
    HWND control = CreateWindowExW(0, class_name, caption, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                                   r.right - r.left, r.bottom - r.top, handle_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), app_.Instance(), param);
    if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font_.value()), FALSE);
    controls_.push_back(ControlEntry{name, id, control, rect});
    return control;
}

const Form::ControlEntry* Form::Find(const std::wstring& name) const {
    for (const ControlEntry& entry : controls_) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

HWND Form::Control(const std::wstring& name) const {
    const ControlEntry* entry = Find(name);
    return entry ? entry->handle : nullptr;
}

int Form::ControlId(const std::wstring& name) const {
    const ControlEntry* entry = Find(name);
    return entry ? entry->id : 0;
}

std::vector<std::wstring> Form::ControlNames() const {
    std::vector<std::wstring> names;
    for (const ControlEntry& entry : controls_) names.push_back(entry.name);
    return names;
}

void Form::ApplyDpi(UINT dpi, const RECT* suggested) {
    if (!handle_) return;
    if (dpi == 0) dpi = USER_DEFAULT_SCREEN_DPI;
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(handle_, GWL_STYLE));
    const DWORD ex_style = static_cast<DWORD>(GetWindowLongPtrW(handle_, GWL_EXSTYLE));
    // The frame is the system's, at the window's dpi; what it holds is drawn
    // at the layout's.
    RECT border{0, 0, 0, 0};
    AdjustWindowRectExForDpi(&border, style, FALSE, ex_style, dpi);
    dpi_ = LayoutDpi(dpi, SIZE{border.right - border.left, border.bottom - border.top});
    RECT frame{0, 0, ScaleForDpi(layout_.bounds.width, dpi_), ScaleForDpi(layout_.bounds.height, dpi_)};
    AdjustWindowRectExForDpi(&frame, style, FALSE, ex_style, dpi);
    RECT placed{};
    GetWindowRect(handle_, &placed);
    POINT at{placed.left, placed.top};  // once laid out, where it is
    if (suggested) {
        at = POINT{suggested->left, suggested->top};
    } else if (!laid_out_) {
        at = POINT{ScaleForDpi(layout_.bounds.left, dpi), ScaleForDpi(layout_.bounds.top, dpi)};
    }
    if (placed.left != at.x || placed.top != at.y || placed.right - placed.left != frame.right - frame.left ||
        placed.bottom - placed.top != frame.bottom - frame.top) {
        SetWindowPos(handle_, nullptr, at.x, at.y, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Where the frame the system draws differs from the computed one, the
    // client area is what must come out right: correct by the difference.
    RECT window{}, client{};
    GetWindowRect(handle_, &window);
    GetClientRect(handle_, &client);
    const int dx = ScaleForDpi(layout_.bounds.width, dpi_) - client.right;
    const int dy = ScaleForDpi(layout_.bounds.height, dpi_) - client.bottom;
    if (dx != 0 || dy != 0) {
        SetWindowPos(handle_, nullptr, 0, 0, window.right - window.left + dx, window.bottom - window.top + dy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    laid_out_ = true;

    win32::Font font(CreateFontW(-ScaleForDpi(layout_.font.height, dpi_), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                 layout_.font.charset, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                 DEFAULT_PITCH | FF_DONTCARE, layout_.font.face));
    for (const ControlEntry& entry : controls_) {
        const RECT r = ScaleRect(entry.rect, dpi_);
        SetWindowPos(entry.handle, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(entry.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font.value()), TRUE);
    }
    font_ = std::move(font);
    OnDpiChanged();
}

int Form::ShowModal() {
    if (!handle_ || modal_) return 0;
    OnShowModal();
    std::vector<HWND> disabled;
    for (Form* form : app_.Forms()) {
        if (form != this && form->Handle() && IsWindowEnabled(form->Handle())) {
            EnableWindow(form->Handle(), FALSE);
            disabled.push_back(form->Handle());
        }
    }
    modal_ = true;
    modal_result_ = 0;
    ShowWindow(handle_, SW_SHOWNORMAL);
    SetForegroundWindow(handle_);
    if (HWND first = GetNextDlgTabItem(handle_, nullptr, FALSE)) SetFocus(first);

    MSG msg;
    while (modal_result_ == 0 && handle_) {
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            // The program is ending: leave the quit request to the outer loop.
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
            modal_result_ = IDCANCEL;
            break;
        }
        app_.HandleMessage(msg);
    }
    // Enabled again before hiding, so the activation returns to them.
    for (HWND window : disabled) {
        if (IsWindow(window)) EnableWindow(window, TRUE);
    }
    if (handle_) ShowWindow(handle_, SW_HIDE);
    modal_ = false;
    return modal_result_;
}

LRESULT Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_COMMAND:
            OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
            return 0;
        case WM_DPICHANGED:
            ApplyDpi(LOWORD(wparam), reinterpret_cast<const RECT*>(lparam));
            return 0;
        case WM_CLOSE:
            if (app_.MainForm() == this) {
                DestroyWindow(handle_);
            } else if (modal_) {
                modal_result_ = IDCANCEL;
            } else {
                ShowWindow(handle_, SW_HIDE);
            }
            return 0;
        case WM_DESTROY:
            if (app_.MainForm() == this) app_.Terminate();
            return 0;
    }
    return DefWindowProcW(handle_, message, wparam, lparam);
}

}  // namespace tarvel::app
