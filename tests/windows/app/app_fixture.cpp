#include "app_fixture.h"

#include "support/win32/text.h"
#include "tools/common/wait.h"

namespace tarvel::app::testing {

namespace {
std::deque<std::function<void()>> g_steps;
UINT_PTR g_timer = 0;
}  // namespace

void TimerScript::Play(std::deque<std::function<void()>> steps) {
    g_steps = std::move(steps);
    if (!g_timer) g_timer = SetTimer(nullptr, 0, 40, &TimerScript::Tick);
}

bool TimerScript::Done() { return g_steps.empty(); }

void CALLBACK TimerScript::Tick(HWND, UINT, UINT_PTR, DWORD) {
    if (g_steps.empty()) {
        KillTimer(nullptr, g_timer);
        g_timer = 0;
        return;
    }
    auto step = std::move(g_steps.front());
    g_steps.pop_front();
    step();
}

void AppTest::SetUp() {
    application = std::make_unique<Application>(GetModuleHandleW(nullptr));
    application->SetTitle(L"Tarvel");
    main = std::make_unique<TTarvelF>(*application, link,
                                      [this](tarvel::CadLink& l, tarvel::RunWindow& w) { return run(l, w); });
    main->Create();
    TarvelF = main.get();
    about = std::make_unique<TAboutBox>(*application, main->Handle(), GetModuleHandleW(nullptr));
    about->Create();
    AboutBox = about.get();
    ShowWindow(main->Handle(), SW_SHOWNORMAL);
    application->ShowTaskBarButton();
    Pump(20);
}

void AppTest::TearDown() {
    g_steps.clear();
    AboutBox = nullptr;
    TarvelF = nullptr;
    about.reset();
    main.reset();
    application.reset();
    // A quit request left by a test must not reach the next one.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
}

RECT RectInParent(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(window), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

RECT ClientRect(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r;
}

::testing::AssertionResult IsDialogFrame(HWND window, const wchar_t* class_name, const wchar_t* caption, int width,
                                         int height) {
    std::string wrong;
    if (ClassName(window) != class_name) wrong += " class " + win32::ToUtf8(ClassName(window)) + ";";
    if (WindowText(window) != caption) wrong += " caption " + win32::ToUtf8(WindowText(window)) + ";";
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    if (!(style & WS_CAPTION) || !(style & WS_SYSMENU)) wrong += " no caption with a close box;";
    if (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) wrong += " a minimise or maximise box;";
    if (style & WS_THICKFRAME) wrong += " resizable;";
    if (!(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_DLGMODALFRAME)) wrong += " no dialog frame;";
    const RECT client = ClientRect(window);
    if (client.right != width || client.bottom != height) {
        wrong += " client " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + ";";
    }
    if (wrong.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "wrong:" << wrong;
}

void Pump(DWORD ms) {
    const ULONGLONG start = common::Now();
    do {
        common::PumpMessages();
        Sleep(5);
    } while (common::Now() - start < ms);
}

}  // namespace tarvel::app::testing
