// Test hooks: the n-th next call of a kind fails; dialogs answered by a test;
// anonymous files refused, as a volume that holds none refuses them.
#include <array>

#include "platform/win32/win32_internal.h"

namespace zar::platform {
namespace {

std::array<int, 5> countdown{};
DialogOverride overrideDialog = nullptr;
bool anonymousRefused = false;

}  // namespace

void failNthCall(Fault kind, int n) { countdown[static_cast<size_t>(kind)] = n; }

void setDialogOverride(DialogOverride dialog) { overrideDialog = dialog; }

void refuseAnonymousFiles(bool refuse) { anonymousRefused = refuse; }

namespace win32 {

bool faultNow(Fault kind) {
    int& left = countdown[static_cast<size_t>(kind)];
    if (left <= 0) return false;
    return --left == 0;
}

DialogOverride dialogOverride() { return overrideDialog; }

bool anonymousFilesRefused() { return anonymousRefused; }

}  // namespace win32
}  // namespace zar::platform
