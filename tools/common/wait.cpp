#include "tools/common/wait.h"

namespace tarvel::common {

ULONGLONG Now() { return GetTickCount64(); }

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace tarvel::common
