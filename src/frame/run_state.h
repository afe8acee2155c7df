// The process-wide run state: reporting switch, hook, flags, cancel flag,
// DoEvents switch, more-status word, parse place and type, the extended
// status and the StatusRecord. One instance from load to unload; nothing
// resets it as a whole.
#pragma once

#include <cstdint>

#include "frame/result.h"
#include "zarlib32.h"

namespace zar::frame {

// The library's own status record. Operations fill the fields they own; the
// dispatcher only ever copies it.
StatusRecord& status();

// Reporting on empties both names, sets the operation to -1 and clears the
// size, method and reserved fields; off leaves the record alone.
void setReporting(bool on);
bool reporting();

void setHook(AxCPrintHookProc hook);
AxCPrintHookProc hook();

void setFlags(uint32_t flags);
uint32_t flags();

// Cancel protocol: a host sets the flag; long loops test it after each
// progress report and each work block, and the loop that sees it clears it
// and stops with kCancelled. A request made while nothing runs stays pending.
void requestCancel();
bool cancelPending();
// True (and the flag cleared) when a cancel was pending.
bool takeCancel();

void setDoEvents(bool on);
bool doEvents();
// The DoEvents step, once per work block: a peek at the calling thread's
// message queue when the switch is on, nothing when it is off.
void yield();

int16_t moreStatus();
void setMoreStatus(int16_t code);

uint16_t parsePlace();
void setParsePlace(uint16_t place);

// True when the second option syntax is selected.
bool secondParseType();
void setSecondParseType(bool on);

// DOS date and time of the entry being unzipped or tested.
void setExtendedStatus(uint16_t date, uint16_t time);
// Copies min(size, 4) bytes (date, then time) and returns the count; a size
// of 0 or less copies nothing and returns the size.
int16_t copyExtendedStatus(int16_t size, void* buffer);

}  // namespace zar::frame
