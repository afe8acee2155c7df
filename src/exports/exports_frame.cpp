// Exports of the run state: reporting, hook, cancel, DoEvents, parse settings.
#include "frame/percent.h"
#include "frame/run_state.h"
#include "zarlib32.h"

using namespace zar;

extern "C" {

ZARLIB_EXPORT void AXAPI Ax4SetCPrint(int16_t on) AX_NOEXCEPT { frame::setReporting(on != 0); }

ZARLIB_EXPORT int16_t AXAPI Ax4GetCPrint(void) AX_NOEXCEPT { return frame::reporting() ? 1 : 0; }

ZARLIB_EXPORT void AXAPI Ax4CPrintHook(AxCPrintHookProc hook) AX_NOEXCEPT { frame::setHook(hook); }

ZARLIB_EXPORT void AXAPI Ax4SetCPrintFlags(uint32_t flags) AX_NOEXCEPT { frame::setFlags(flags); }

ZARLIB_EXPORT int16_t AXAPI Ax4ExtendedCPrintInfo(int16_t size, void* buffer) AX_NOEXCEPT {
    return frame::copyExtendedStatus(size, buffer);
}

ZARLIB_EXPORT int16_t AXAPI Ax4MoreStatus(void) AX_NOEXCEPT { return frame::moreStatus(); }

ZARLIB_EXPORT uint16_t AXAPI Ax4GetParsePlace(void) AX_NOEXCEPT { return frame::parsePlace(); }

ZARLIB_EXPORT void AXAPI Ax4SetParseType(int16_t type) AX_NOEXCEPT { frame::setSecondParseType(type != 0); }

ZARLIB_EXPORT int16_t AXAPI Ax4GetParseType(void) AX_NOEXCEPT { return frame::secondParseType() ? -1 : 0; }

ZARLIB_EXPORT void AXAPI Ax4Cancel(void) AX_NOEXCEPT { frame::requestCancel(); }

ZARLIB_EXPORT void AXAPI Ax4SetDoEvents(int16_t on) AX_NOEXCEPT { frame::setDoEvents(on != 0); }

ZARLIB_EXPORT int16_t AXAPI Ax4GetDoEvents(void) AX_NOEXCEPT { return frame::doEvents() ? 1 : 0; }

ZARLIB_EXPORT int16_t AXAPI Ax4ZipPercent(int32_t total, int32_t remaining) AX_NOEXCEPT {
    return frame::zipPercent(total, remaining);
}

}  // extern "C"
