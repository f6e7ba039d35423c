#include "acadlink/prompt_overlay.h"

#include <limits>

#include "acadlink/win_handles.h"
#include "support/checked.h"

namespace tarvel {

void DrawPromptText(HWND window, const std::string& message) {
    if (!window || !IsWindow(window)) return;
    RECT rect{};
    if (!GetWindowRect(window, &rect)) return;
    const std::int32_t height = CheckedSub(rect.bottom, rect.top);

    win::WindowDc dc(window);
    if (!dc) return;
    const int length = message.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())
                           ? std::numeric_limits<int>::max()
                           : static_cast<int>(message.size());
    SIZE extent{};
    GetTextExtentPoint32A(dc.get(), message.data(), length, &extent);
    SetBkColor(dc.get(), kPromptBackColor);
    SetTextColor(dc.get(), kPromptTextColor);
    TextOutA(dc.get(), 0, CheckedSub(height, extent.cy), message.data(), length);
}

}  // namespace tarvel
