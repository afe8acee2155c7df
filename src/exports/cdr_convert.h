// Conversions between the 46 bytes of a central record and the two layouts
// hosts receive it in.
#pragma once

#include <cstdint>

#include "zarlib32.h"

namespace zar::exports {

void toCdr(const uint8_t* bytes, CDR* record);
void fromCdr(const CDR& record, uint8_t* bytes);
void toVb32(const CDR& record, CDRVB32* basic);
void fromVb32(const CDRVB32& basic, CDR* record);

}  // namespace zar::exports
