#include "acadlink/prompt_overlay.h"

#include <limits>

#include "support/checked.h"
#include "support/win32/owner.h"

namespace tarvel {

void DrawPromptText(HWND window, const std::string& message) {
    if (!window || !IsWindow(window)) return;
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return;
    const std::int32_t height = CheckedSub(rect.bottom, rect.top);

    const win32::WindowDc owned = win32::GetWindowDc(window);
    if (!owned) return;
    const HDC dc = owned.value().held;
    const int length = message.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())
                           ? std::numeric_limits<int>::max()
                           : static_cast<int>(message.size());
    SIZE extent{};
    GetTextExtentPoint32A(dc, message.data(), length, &extent);
    SetBkColor(dc, kPromptBackColor);
    SetTextColor(dc, kPromptTextColor);
    TextOutA(dc, 0, CheckedSub(height, extent.cy), message.data(), length);
}

}  // namespace tarvel
