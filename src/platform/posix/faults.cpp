// Fault injection for tests: the n-th next call of a kind fails.
#include <array>

#include "platform/posix/posix_internal.h"

namespace zar::platform {
namespace {

std::array<int, 4> countdown{};
bool dialogsAllowed = true;

}  // namespace

void failNthCall(Fault kind, int n) { countdown[static_cast<size_t>(kind)] = n; }

void setTerminalDialogs(bool allowed) { dialogsAllowed = allowed; }

namespace posix {

bool faultNow(Fault kind) {
    int& left = countdown[static_cast<size_t>(kind)];
    if (left <= 0) return false;
    return --left == 0;
}

bool terminalDialogsAllowed() { return dialogsAllowed; }

}  // namespace posix
}  // namespace zar::platform
