// Test hooks: the n-th next call of a kind fails; dialogs answered by a test.
#include <array>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

std::array<int, 4> countdown{};
DialogOverride overrideDialog = nullptr;

}  // namespace

void failNthCall(Fault kind, int n) { countdown[static_cast<size_t>(kind)] = n; }

void setDialogOverride(DialogOverride dialog) { overrideDialog = dialog; }

namespace posix {

bool faultNow(Fault kind) {
    int& left = countdown[static_cast<size_t>(kind)];
    if (left <= 0) return false;
    return --left == 0;
}

DialogOverride dialogOverride() { return overrideDialog; }

}  // namespace posix
}  // namespace zar::platform
