// The run state lives here and nowhere else.
#include "frame/run_state.h"

#include "frame/status.h"

#include <atomic>
#include <cstring>

#include "common/bytes.h"
#include "platform/platform.h"

namespace zar::frame {
namespace {

struct RunState {
    bool reporting = false;
    AxCPrintHookProc hook = nullptr;
    uint32_t flags = 0;
    // Hosts set it from other threads and from signal handlers.
    std::atomic<bool> cancel{false};
    static_assert(std::atomic<bool>::is_always_lock_free, "safe to set from a signal handler");
    bool doEvents = true;
    int16_t moreStatus = 0;
    uint16_t parsePlace = 65535;
    bool secondParseType = false;
    uint16_t extendedDate = 0;
    uint16_t extendedTime = 0;
    StatusRecord status{};
};

RunState state;

}  // namespace

StatusRecord& status() { return state.status; }

void setReporting(bool on) {
    if (on) {
        StatusRecord& s = state.status;
        s.archiveName[0] = '\0';
        s.entryName[0] = '\0';
        s.operation = static_cast<int16_t>(Operation::None);
        s.totalBytes = s.doneBytes = s.packedBytes = 0;
        s.method = 0;
        s.reserved16 = 0;
        s.reserved32 = 0;
    }
    state.reporting = on;
}

bool reporting() { return state.reporting; }

void setHook(AxCPrintHookProc hook) { state.hook = hook; }
AxCPrintHookProc hook() { return state.hook; }

void setFlags(uint32_t flags) { state.flags = flags; }
uint32_t flags() { return state.flags; }

void requestCancel() { state.cancel = true; }
bool cancelPending() { return state.cancel; }

bool takeCancel() { return state.cancel.exchange(false); }

void setDoEvents(bool on) { state.doEvents = on; }
bool doEvents() { return state.doEvents; }

void yield() {
    if (state.doEvents) platform::peekMessages();
}

int16_t moreStatus() { return state.moreStatus; }
void setMoreStatus(int16_t code) { state.moreStatus = code; }

uint16_t parsePlace() { return state.parsePlace; }
void setParsePlace(uint16_t place) { state.parsePlace = place; }

bool secondParseType() { return state.secondParseType; }
void setSecondParseType(bool on) { state.secondParseType = on; }

void setExtendedStatus(uint16_t date, uint16_t time) {
    state.extendedDate = date;
    state.extendedTime = time;
}

int16_t copyExtendedStatus(int16_t size, void* buffer) {
    if (size <= 0) return size;
    uint8_t bytes[4];
    storeLe16(bytes, state.extendedDate);
    storeLe16(bytes + 2, state.extendedTime);
    int16_t count = size < 4 ? size : 4;
    if (buffer != nullptr) std::memcpy(buffer, bytes, static_cast<size_t>(count));
    return count;
}

}  // namespace zar::frame
