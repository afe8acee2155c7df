// The built-in message boxes, the message peek of the yield step, and the
// locale's date order.
#include <windows.h>

#include "platform/win32/win32_internal.h"

namespace zar::platform {

int messageBox(const char* text, const char* caption, uint32_t style) {
    if (DialogOverride dialog = win32::dialogOverride()) return dialog(text, caption, style);
    // The library has no window of its own: the box belongs to the task.
    return ::MessageBoxA(nullptr, text, caption, style | MB_TASKMODAL);
}

void peekMessages() {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&message);
        ::DispatchMessageA(&message);
    }
}

namespace {

int dateOrderOverride = -1;

}  // namespace

void setDateOrderOverride(int order) { dateOrderOverride = order; }

int localeDateOrder() {
    if (dateOrderOverride >= 0) return dateOrderOverride;
    char order[4] = {};
    if (::GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDATE, order, sizeof order) == 0) return 0;
    return order[0] >= '0' && order[0] <= '2' ? order[0] - '0' : 0;
}

}  // namespace zar::platform
