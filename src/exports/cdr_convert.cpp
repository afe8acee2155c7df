#include "exports/cdr_convert.h"

#include "archive/records.h"
#include "common/bytes.h"

namespace zar::exports {

using archive::CentralRecord;

void toCdr(const uint8_t* b, CDR* r) {
    r->signature = loadLe32(b + CentralRecord::kSignature);
    r->versionMadeBy = loadLe16(b + CentralRecord::kVersionMadeBy);
    r->versionNeeded = loadLe16(b + CentralRecord::kVersionNeeded);
    r->flags = loadLe16(b + CentralRecord::kFlags);
    r->method = loadLe16(b + CentralRecord::kMethod);
    r->time = loadLe16(b + CentralRecord::kTime);
    r->date = loadLe16(b + CentralRecord::kDate);
    r->crc = loadLe32(b + CentralRecord::kCrc);
    r->packedSize = loadLe32(b + CentralRecord::kPackedSize);
    r->unpackedSize = loadLe32(b + CentralRecord::kUnpackedSize);
    r->nameLength = loadLe16(b + CentralRecord::kNameLength);
    r->extraLength = loadLe16(b + CentralRecord::kExtraLength);
    r->commentLength = loadLe16(b + CentralRecord::kCommentLength);
    r->diskStart = loadLe16(b + CentralRecord::kDiskStart);
    r->internalAttributes = loadLe16(b + CentralRecord::kInternalAttributes);
    r->externalAttributes = loadLe32(b + CentralRecord::kExternalAttributes);
    r->localOffset = loadLe32(b + CentralRecord::kLocalOffset);
}

void toVb32(const CDR& r, CDRVB32* v) {
    v->signature = r.signature;
    v->crc = r.crc;
    v->packedSize = r.packedSize;
    v->unpackedSize = r.unpackedSize;
    v->externalAttributes = r.externalAttributes;
    v->localOffset = r.localOffset;
    v->versionMadeBy = r.versionMadeBy;
    v->versionNeeded = r.versionNeeded;
    v->flags = r.flags;
    v->method = r.method;
    v->time = r.time;
    v->date = r.date;
    v->nameLength = r.nameLength;
    v->extraLength = r.extraLength;
    v->commentLength = r.commentLength;
    v->diskStart = r.diskStart;
    v->internalAttributes = r.internalAttributes;
}

void fromVb32(const CDRVB32& v, CDR* r) {
    r->signature = v.signature;
    r->crc = v.crc;
    r->packedSize = v.packedSize;
    r->unpackedSize = v.unpackedSize;
    r->externalAttributes = v.externalAttributes;
    r->localOffset = v.localOffset;
    r->versionMadeBy = v.versionMadeBy;
    r->versionNeeded = v.versionNeeded;
    r->flags = v.flags;
    r->method = v.method;
    r->time = v.time;
    r->date = v.date;
    r->nameLength = v.nameLength;
    r->extraLength = v.extraLength;
    r->commentLength = v.commentLength;
    r->diskStart = v.diskStart;
    r->internalAttributes = v.internalAttributes;
}

void fromCdr(const CDR& r, uint8_t* b) {
    storeLe32(b + CentralRecord::kSignature, r.signature);
    storeLe16(b + CentralRecord::kVersionMadeBy, r.versionMadeBy);
    storeLe16(b + CentralRecord::kVersionNeeded, r.versionNeeded);
    storeLe16(b + CentralRecord::kFlags, r.flags);
    storeLe16(b + CentralRecord::kMethod, r.method);
    storeLe16(b + CentralRecord::kTime, r.time);
    storeLe16(b + CentralRecord::kDate, r.date);
    storeLe32(b + CentralRecord::kCrc, r.crc);
    storeLe32(b + CentralRecord::kPackedSize, r.packedSize);
    storeLe32(b + CentralRecord::kUnpackedSize, r.unpackedSize);
    storeLe16(b + CentralRecord::kNameLength, r.nameLength);
    storeLe16(b + CentralRecord::kExtraLength, r.extraLength);
    storeLe16(b + CentralRecord::kCommentLength, r.commentLength);
    storeLe16(b + CentralRecord::kDiskStart, r.diskStart);
    storeLe16(b + CentralRecord::kInternalAttributes, r.internalAttributes);
    storeLe32(b + CentralRecord::kExternalAttributes, r.externalAttributes);
    storeLe32(b + CentralRecord::kLocalOffset, r.localOffset);
}

}  // namespace zar::exports
