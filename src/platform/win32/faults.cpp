// Test hooks: the n-th next call of a kind fails; dialogs answered by a test;
// anonymous files refused, as a volume that holds none refuses them.
#include <array>
#include <atomic>

#include "platform/win32/win32_internal.h"

namespace zar::platform {
namespace {

// Atomic: the writing run reads files on worker threads too.
std::array<std::atomic<int>, 5> countdown{};
DialogOverride overrideDialog = nullptr;
bool anonymousRefused = false;

}  // namespace

void failNthCall(Fault kind, int n) { countdown[static_cast<size_t>(kind)] = n; }

void setDialogOverride(DialogOverride dialog) { overrideDialog = dialog; }

void refuseAnonymousFiles(bool refuse) { anonymousRefused = refuse; }

namespace win32 {

bool faultNow(Fault kind) {
    std::atomic<int>& counter = countdown[static_cast<size_t>(kind)];
    int left = counter.load();
    while (left > 0 && !counter.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

DialogOverride dialogOverride() { return overrideDialog; }

bool anonymousFilesRefused() { return anonymousRefused; }

}  // namespace win32
}  // namespace zar::platform
