// Test hooks: the n-th next call of a kind fails; dialogs answered by a test;
// volumes without anonymous files.
#include <array>
#include <atomic>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

// Atomic: the writing run reads files on worker threads too.
std::array<std::atomic<int>, 5> countdown{};
DialogOverride overrideDialog = nullptr;
bool anonymousRefused = false;
bool procOnly = false;

}  // namespace

void failNthCall(Fault kind, int n) { countdown[static_cast<size_t>(kind)] = n; }

void setDialogOverride(DialogOverride dialog) { overrideDialog = dialog; }

void refuseAnonymousFiles(bool refuse) { anonymousRefused = refuse; }

namespace posix {

bool faultNow(Fault kind) {
    std::atomic<int>& counter = countdown[static_cast<size_t>(kind)];
    int left = counter.load();
    while (left > 0 && !counter.compare_exchange_weak(left, left - 1)) {
    }
    return left == 1;
}

DialogOverride dialogOverride() { return overrideDialog; }

bool anonymousFilesRefused() { return anonymousRefused; }

void nameThroughProcOnly(bool only) { procOnly = only; }

bool namingThroughProcOnly() { return procOnly; }

}  // namespace posix
}  // namespace zar::platform
